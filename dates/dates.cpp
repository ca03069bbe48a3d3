// The fifteen date and time patterns, their compilation, and the searches
// the entry locator runs with them.
#include "dates/dates.h"

#include <re2/re2.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "dates/search.h"

namespace {

// Pattern texts in id order: 0-11 dates, 12-14 times.
const char* const date_patterns[15] = {
    R"((Monday|Mon|Tuesday|Tue|Wednesday|Wed|Thursday|Thu|Thur|Friday|Fri|Saturday|Sat|Sunday|Sun)\W{1,3}(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec|January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{1,2})\W{1,2}(\d{2,4}))",
    R"((\d{2})(th|st|nd|rd)\W+(January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{4}))",
    R"((Monday|Mon|Tuesday|Tue|Wednesday|Wed|Thursday|Thu|Thur|Friday|Fri|Saturday|Sat|Sunday|Sun)\W{1,3}(\d{1,2})\W{1,3}(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec|January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{2,4}))",
    R"((Monday|Mon|Tuesday|Tue|Wednesday|Wed|Thursday|Thu|Thur|Friday|Fri|Saturday|Sat|Sunday|Sun)\W{1,3}(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec|January|February|March|April|May|June|July|August|September|October|November|December)\W{1,4}(\d{1,2}))",
    R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec|January|February|March|April|May|June|July|August|September|October|November|December).{1,3}?(\d{1,2})\W{1,3}?(\d{2,4}))",
    R"((Monday|Mon|Tuesday|Tue|Wednesday|Wed|Thursday|Thu|Thur|Friday|Fri|Saturday|Sat|Sunday|Sun)\W{1,3}(\d{2})-(\d{2})-(\d{2,4}))",
    R"((January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{1,2})\W{1,3}(\d{4}))",
    R"((January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{1,2})(th|rd|st|nd)\W{1,3}(\d{4}))",
    R"(>[^<]*(\d{4})[-|/|\.](\d{1,2})[-|/|\.](\d{1,2}))",
    R"(>[^<]*(\d{1,2})[-|/|\.](\d{1,2})[-|/|\.](\d{4}|\d{2}))",
    R"((\d{2})\W{1,3}(January|February|March|April|May|June|July|August|September|October|November|December|Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)\W{1,3}(\d{2,4}))",
    R"((\d{2})(January|February|March|April|May|June|July|August|September|October|November|December|Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)(\d{2,4}))",
    R"((\d{1,2}):(\d{1,2}):\d{1,2}\s?([a|p]m))",
    R"((\d{1,2}):(\d{1,2})\s?([a|p]m))",
    R"(@\s?(\d{1,2}):(\d{1,2})\s?([a|p]m)?)",
};

// Linear-time twins of the compiled patterns (null where none was built).
re2::RE2* date_accel[15];

// Per-page index over the text store: for each pattern, the matches a
// left-to-right scan of the whole store finds (each search starting where
// the previous match ended), built on the pattern's first search.
struct MatchSpan {
    const char* start;
    const char* end;
};
const char* index_begin;
const char* index_end;
std::vector<MatchSpan> index_spans[15];
bool index_built[15];
bool index_usable[15];

// Candidate windows. Every match of a pattern contains a short feature at a
// bounded distance from its ends: a month or weekday name (all alternatives
// begin with the three-letter abbreviation), "\d:\d", "@", a digit-separator-
// digit run or "\d\d" with an ordinal suffix. One pass over the store
// records where these features are; each pattern then searches only merged
// windows around its feature that provably contain every one of its
// matches, so the recorded match sequence is the whole-store one.
enum Feature { kMonth, kWeekday, kOrdinal, kDigitSepDigit, kDigitColonDigit, kAt, kFeatures };
const char* features_for;  // store the feature lists were found in
std::vector<const char*> feature_at[kFeatures];

// 5-bit byte codes: letters 1-26 (both cases), then digit, separator of
// patterns 8 and 9 ("-", "|", "/", "."), ":" and "@"; every other byte 0.
enum : unsigned char { kDigit = 27, kSep = 28, kColon = 29, kAtSign = 30 };
unsigned char byte_code[256];
// For every three-code sequence, the features it is (bit per Feature).
unsigned char trigram_features[1 << 15];

unsigned letterCode(char c) { return static_cast<unsigned>(c - 'a' + 1); }

void initializeFeatureTables() {
    for (unsigned c = 0; c < 256; ++c) {
        unsigned char code = 0;
        if (c >= 'a' && c <= 'z') code = static_cast<unsigned char>(c - 'a' + 1);
        else if (c >= 'A' && c <= 'Z') code = static_cast<unsigned char>(c - 'A' + 1);
        else if (c >= '0' && c <= '9') code = kDigit;
        else if (c == '-' || c == '|' || c == '/' || c == '.') code = kSep;
        else if (c == ':') code = kColon;
        else if (c == '@') code = kAtSign;
        byte_code[c] = code;
    }
    auto word = [](const char* w) {
        return letterCode(w[0]) << 10 | letterCode(w[1]) << 5 | letterCode(w[2]);
    };
    for (const char* m : {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug",
                          "sep", "oct", "nov", "dec"})
        trigram_features[word(m)] |= 1 << kMonth;
    for (const char* d : {"mon", "tue", "wed", "thu", "fri", "sat", "sun"})
        trigram_features[word(d)] |= 1 << kWeekday;
    for (const char* o : {"th", "st", "nd", "rd"})
        trigram_features[kDigit << 10 | letterCode(o[0]) << 5 | letterCode(o[1])] |=
            1 << kOrdinal;
    trigram_features[kDigit << 10 | kSep << 5 | kDigit] |= 1 << kDigitSepDigit;
    trigram_features[kDigit << 10 | kColon << 5 | kDigit] |= 1 << kDigitColonDigit;
    for (unsigned k = 0; k < 1024; ++k) trigram_features[k << 5 | kAtSign] |= 1 << kAt;
}

// Records the features of [begin, end): the position of the first byte of
// a name, of the separator or colon, of the "@", of the ordinal's second
// digit.
void findFeatures(const char* begin, const char* end) {
    features_for = begin;
    for (auto& v : feature_at) v.clear();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(begin);
    const size_t n = static_cast<size_t>(end - begin);
    auto record = [&](size_t i, unsigned key) {
        unsigned f = trigram_features[key];
        const char* at = begin + i;  // the trigram's last byte
        if (f & 1 << kMonth) feature_at[kMonth].push_back(at - 2);
        if (f & 1 << kWeekday) feature_at[kWeekday].push_back(at - 2);
        if (f & 1 << kOrdinal) feature_at[kOrdinal].push_back(at - 2);
        if (f & 1 << kDigitSepDigit) feature_at[kDigitSepDigit].push_back(at - 1);
        if (f & 1 << kDigitColonDigit) feature_at[kDigitColonDigit].push_back(at - 1);
        if (f & 1 << kAt) feature_at[kAt].push_back(at);
    };
    // The first two bytes have no full trigram: only "@" can occur there.
    for (size_t i = 0; i < n && i < 2; ++i)
        if (byte_code[p[i]] == kAtSign) feature_at[kAt].push_back(begin + i);
    for (size_t i = 2; i < n; ++i) {
        unsigned key = byte_code[p[i - 2]] << 10 | byte_code[p[i - 1]] << 5 |
                       byte_code[p[i]];
        if (trigram_features[key]) record(i, key);
    }
}

bool isWordByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
           (c >= 'A' && c <= 'Z') || c == '_';
}

struct Window {
    const char* lo;
    const char* hi;
};

// Merged windows of pattern id over [index_begin, index_end), in order.
// Offsets: the longest alternatives and repeats before and after the
// feature (names 9 bytes, \W{1,3} 3, \d{2,4} 4, ...); the bounds are checked
// by the differential tests with matches placed at window edges.
void patternWindows(int id, std::vector<Window>& out) {
    out.clear();
    Feature f;
    long before = 0, after = 0;  // window [feature - before, feature + after)
    switch (id) {
        case 0: case 2: case 3: case 5: f = kWeekday; after = 40; break;
        case 4: case 6: case 7: f = kMonth; after = 30; break;
        case 10: f = kMonth; before = 5; after = 20; break;
        case 11: f = kMonth; before = 2; after = 20; break;
        case 1: f = kOrdinal; before = 1; break;  // end: see below
        case 8: case 9: f = kDigitSepDigit; after = 10; break;  // start: see below
        case 12: case 13: f = kDigitColonDigit; before = 2; after = 12; break;
        case 14: f = kAt; after = 12; break;
        default: return;
    }
    const char* lastLt = nullptr;  // last "<" before the previous feature
    const char* scannedTo = index_begin;
    for (const char* at : feature_at[f]) {
        Window w;
        w.lo = at - std::min(before, static_cast<long>(at - index_begin));
        w.hi = at + std::min(after, static_cast<long>(index_end - at));
        if (id == 8 || id == 9) {
            // ">[^<]*" then digits and separators: no "<" in the match, so
            // it starts after the last "<" before its first separator.
            for (const char* q = at; q > scannedTo;)
                if (*--q == '<') {
                    lastLt = q;
                    break;
                }
            scannedTo = at;
            w.lo = lastLt ? lastLt + 1 : index_begin;
        } else if (id == 1) {
            // "\d\d(th|...)\W+" then a name, \W{1,3} and four digits.
            const char* q = at + 3;
            while (q < index_end && !isWordByte(static_cast<unsigned char>(*q))) ++q;
            w.hi = q + std::min(20L, static_cast<long>(index_end - q));
        }
        if (!out.empty() && w.lo <= out.back().hi)
            out.back().hi = std::max(out.back().hi, w.hi);
        else
            out.push_back(w);
    }
}

void buildIndex(int id) {
    std::vector<MatchSpan>& spans = index_spans[id];
    spans.clear();
    index_built[id] = true;
    index_usable[id] = date_accel[id] != nullptr;
    if (!index_usable[id]) return;
    if (features_for != index_begin) findFeatures(index_begin, index_end);
    static std::vector<Window> windows;
    patternWindows(id, windows);
    DateMatch m;
    for (const Window& w : windows) {
        for (const char* pos = w.lo; pos < w.hi;) {
            const char* start = acceleratedStart(date_accel[id], pos, w.hi);
            if (!start) break;
            // Every match starting in the window ends inside it, so Boost's
            // match at start is the same over the window as over the store.
            bool hit;
            try {
                hit = boost::regex_search(start, w.hi, m, *date_re_engine[id],
                                          searchFlags() | boost::match_continuous);
            } catch (const std::exception&) {
                hit = false;
            }
            if (!hit) {  // Boost gave up or disagrees: search slices directly
                index_usable[id] = false;
                return;
            }
            spans.push_back({m[0].first, m[0].second});
            pos = m[0].second > m[0].first ? m[0].second : m[0].first + 1;
        }
    }
}

// The search of [a, b) answered from the index. No match starts between the
// end of one recorded match and the start of the next, so the first start
// at or after a is the next recorded one, unless a lies inside a recorded
// match. When that match fits in [a, b) it is the slice's match too (the
// patterns have no anchors or look-around); otherwise the slice is searched
// from there.
bool indexedSearch(int id, const char* a, const char* b) {
    const std::vector<MatchSpan>& spans = index_spans[id];
    auto next = std::lower_bound(
        spans.begin(), spans.end(), a,
        [](const MatchSpan& s, const char* p) { return s.start < p; });
    if (next != spans.begin() && (next - 1)->end > a)
        return guardedSearch(*date_re_engine[id], date_accel[id], a, b,
                             match_result);
    if (next == spans.end() || next->start >= b) return false;
    // A recorded match that fits in [a, b) is Boost's match there too: no
    // need to locate its start again.
    return guardedSearchFrom(*date_re_engine[id],
                             next->end <= b ? nullptr : date_accel[id], a,
                             next->start, b, match_result);
}

void dropIndex() {
    index_begin = index_end = nullptr;
    features_for = nullptr;
    for (int id = 0; id < 15; ++id) {
        index_spans[id].clear();
        index_built[id] = false;
        index_usable[id] = false;
    }
}

}  // namespace

boost::regex* date_re_engine[15];
int date_re = 12;
int time_re = 15;
DateMatch match_result;
int match_flag = boost::match_default;

const char* datePatternText(int id) {
    return id >= 0 && id < 15 ? date_patterns[id] : nullptr;
}

bool datePatternIcase(int id) { return id != 8 && id != 9; }

void initializeDateRE() {
    for (int id = 0; id < 15; ++id) {
        boost::regex::flag_type flags = boost::regex::normal;
        if (datePatternIcase(id)) flags |= boost::regex::icase;
        delete date_re_engine[id];
        date_re_engine[id] = new boost::regex(date_patterns[id], flags);
        delete date_accel[id];
        date_accel[id] = makeAccelerator(date_patterns[id], datePatternIcase(id));
    }
    initializeFeatureTables();
    dropIndex();
}

void releaseDateRE() {
    dropIndex();
    for (int id = 0; id < 15; ++id) {
        delete date_re_engine[id];
        date_re_engine[id] = nullptr;
        delete date_accel[id];
        date_accel[id] = nullptr;
    }
}

bool searchDatePattern(int id, const char* a, const char* b) {
    if (id < 0 || id >= 15 || !date_re_engine[id] || a > b) return false;
    if (index_begin && a >= index_begin && b <= index_end) {
        if (!index_built[id]) buildIndex(id);
        if (index_usable[id]) return indexedSearch(id, a, b);
    }
    return guardedSearch(*date_re_engine[id], date_accel[id], a, b,
                         match_result);
}

bool searchDatePatternPlain(int id, const char* a, const char* b) {
    if (id < 0 || id >= 15 || !date_re_engine[id] || a > b) return false;
    return guardedSearch(*date_re_engine[id], nullptr, a, b, match_result);
}

void prepareDateSearch(const char* begin, const char* end) {
    dropIndex();
    if (begin && end && begin < end) {
        index_begin = begin;
        index_end = end;
    }
}
