// Guarded regular-expression search shared by the date patterns and the
// title and link finders.
#pragma once

#include <boost/regex.hpp>

#include <string>

namespace re2 { class RE2; }

// The match flags of every search in the system: match_flag (no flag set).
boost::match_flag_type searchFlags();

// Builds a linear-time twin of a Boost pattern that locates where the
// leftmost match starts; null when the pattern has no exact twin.
re2::RE2* makeAccelerator(const char* pattern, bool icase);

// Leftmost search of re over [a, b) with Perl semantics into m. With an
// accelerator the match start is located first in linear time. A search
// that throws (complexity or memory limits) counts as no match.
bool guardedSearch(const boost::regex& re, const re2::RE2* accel,
                   const char* a, const char* b,
                   boost::match_results<const char*>& m);

// Where the leftmost match of accel in [a, b) starts; null when none does.
const char* acceleratedStart(const re2::RE2* accel, const char* a,
                             const char* b);

// guardedSearch over [a, b) for a caller that knows that no match starts in
// [a, from): the search begins at from, positions and prefix are reported
// against a.
bool guardedSearchFrom(const boost::regex& re, const re2::RE2* accel,
                       const char* a, const char* from, const char* b,
                       boost::match_results<const char*>& m);

// The RE2 pattern makeAccelerator compiles for a Boost pattern; empty when
// the pattern uses syntax outside the translated subset.
std::string translateToAccelerator(const char* pattern, bool icase);
