// Lookup indexes over the scanner's fixed tables (private to the scanner).
#pragma once

#include "scanner/scanner.h"

namespace w2r {

// Known element names grouped by their upper-case first letter and the
// byte after it (a letter, a digit or anything else, kNameSeconds kinds),
// highest id first: among names matching at one place the highest id is
// both the longest name and the earliest rule. A one-letter name is in
// every group of its letter.
constexpr int kNameSeconds = 37;
constexpr int kNamesPerGroup = 8;
struct NameIndex {
    unsigned char ids[26][kNameSeconds][kNamesPerGroup];
    unsigned char count[26][kNameSeconds];
    constexpr NameIndex();
};

// The group of the byte after a name's first letter: 0-25 for letters
// (either case), 26-35 for digits, 36 for any other byte.
constexpr int nameSecond(char c) {
    return c >= 'a' && c <= 'z'   ? c - 'a'
           : c >= 'A' && c <= 'Z' ? c - 'A'
           : c >= '0' && c <= '9' ? 26 + (c - '0')
                                  : 36;
}

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
