// Lookup indexes over the scanner's fixed tables (private to the scanner).
#pragma once

#include "scanner/scanner.h"

namespace w2r {

// Known element names grouped by their upper-case first letter, highest id
// first: among names matching at one place the highest id is both the
// longest name and the earliest rule.
struct NameIndex {
    unsigned char ids[26][kTagCount];
    unsigned char count[26];
    constexpr NameIndex();
};

// Named entities grouped by their first byte, with their name lengths.
struct EntityIndex {
    unsigned char ids[128][kEntityCount];
    unsigned char count[128];
    unsigned char len[kEntityCount];
    constexpr EntityIndex();
};

extern const NameIndex kNameIndex;
extern const EntityIndex kEntityIndex;

}  // namespace w2r
