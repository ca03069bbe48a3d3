// The per-page date search index. Every match of a pattern contains a short
// feature at a bounded distance from its ends: a month or weekday name (all
// alternatives begin with the three-letter abbreviation), "\d:\d", "@", a
// digit-separator-digit run or "\d\d" with an ordinal suffix. One pass over
// the store records where these features are; each pattern then searches
// only merged windows around its feature that provably contain every one of
// its matches, so the recorded match sequence is the whole-store one.
#include <algorithm>
#include <exception>

#include "dates/dates.h"

namespace w2r {
namespace {

enum Feature { kMonth, kWeekday, kOrdinal, kDigitSepDigit, kDigitColonDigit, kAt, kFeatures };

// 5-bit byte codes: letters 1-26 (both cases), then digit, separator of
// patterns 8 and 9 ("-", "|", "/", "."), ":" and "@"; every other byte 0.
enum : unsigned char { kDigit = 27, kSep = 28, kColon = 29, kAtSign = 30 };

constexpr unsigned letterCode(char c) { return static_cast<unsigned>(c - 'a' + 1); }

struct FeatureTables {
    unsigned char byteCode[256] = {};
    // For every three-code sequence, the features it is (bit per Feature).
    unsigned char trigramFeatures[1 << 15] = {};

    constexpr FeatureTables() {
        for (unsigned c = 0; c < 256; ++c) {
            unsigned char code = 0;
            if (c >= 'a' && c <= 'z')
                code = static_cast<unsigned char>(c - 'a' + 1);
            else if (c >= 'A' && c <= 'Z')
                code = static_cast<unsigned char>(c - 'A' + 1);
            else if (c >= '0' && c <= '9')
                code = kDigit;
            else if (c == '-' || c == '|' || c == '/' || c == '.')
                code = kSep;
            else if (c == ':')
                code = kColon;
            else if (c == '@')
                code = kAtSign;
            byteCode[c] = code;
        }
        const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                      "jul", "aug", "sep", "oct", "nov", "dec"};
        for (const char* m : months) trigramFeatures[word(m)] |= 1 << kMonth;
        const char* const days[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
        for (const char* d : days) trigramFeatures[word(d)] |= 1 << kWeekday;
        const char* const ordinals[] = {"th", "st", "nd", "rd"};
        for (const char* o : ordinals)
            trigramFeatures[kDigit << 10 | letterCode(o[0]) << 5 | letterCode(o[1])] |= 1
                                                                                        << kOrdinal;
        trigramFeatures[kDigit << 10 | kSep << 5 | kDigit] |= 1 << kDigitSepDigit;
        trigramFeatures[kDigit << 10 | kColon << 5 | kDigit] |= 1 << kDigitColonDigit;
        for (unsigned k = 0; k < 1024; ++k) trigramFeatures[k << 5 | kAtSign] |= 1 << kAt;
    }
    static constexpr unsigned word(const char* w) {
        return letterCode(w[0]) << 10 | letterCode(w[1]) << 5 | letterCode(w[2]);
    }
};
constexpr FeatureTables kTables;

bool isWordByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

}  // namespace

DateIndex::DateIndex() = default;
DateIndex::~DateIndex() = default;

// Records the features of the store: the position of the first byte of a
// name, of the separator or colon, of the "@", of the ordinal's second digit.
void DateIndex::findFeatures() {
    featuresFound_ = true;
    for (auto& v : featureAt_) v.clear();
    const char* begin = begin_;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(begin);
    const size_t n = static_cast<size_t>(end_ - begin);
    auto record = [&](size_t i, unsigned key) {
        unsigned f = kTables.trigramFeatures[key];
        const char* at = begin + i;  // the trigram's last byte
        if (f & 1 << kMonth) featureAt_[kMonth].push_back(at - 2);
        if (f & 1 << kWeekday) featureAt_[kWeekday].push_back(at - 2);
        if (f & 1 << kOrdinal) featureAt_[kOrdinal].push_back(at - 2);
        if (f & 1 << kDigitSepDigit) featureAt_[kDigitSepDigit].push_back(at - 1);
        if (f & 1 << kDigitColonDigit) featureAt_[kDigitColonDigit].push_back(at - 1);
        if (f & 1 << kAt) featureAt_[kAt].push_back(at);
    };
    // The first two bytes have no full trigram: only "@" can occur there.
    for (size_t i = 0; i < n && i < 2; ++i)
        if (kTables.byteCode[p[i]] == kAtSign) featureAt_[kAt].push_back(begin + i);
    for (size_t i = 2; i < n; ++i) {
        unsigned key = kTables.byteCode[p[i - 2]] << 10 | kTables.byteCode[p[i - 1]] << 5 |
                       kTables.byteCode[p[i]];
        if (kTables.trigramFeatures[key]) record(i, key);
    }
}

// Merged windows of pattern id over [begin_, end_), in order, into windows_.
// Offsets: the longest alternatives and repeats before and after the
// feature (names 9 bytes, \W{1,3} 3, \d{2,4} 4, ...); the bounds are checked
// by the differential tests with matches placed at window edges.
void DateIndex::patternWindows(int id) {
    std::vector<Window>& out = windows_;
    out.clear();
    Feature f;
    long before = 0, after = 0;  // window [feature - before, feature + after)
    switch (id) {
    case 0:
    case 2:
    case 3:
    case 5:
        f = kWeekday;
        after = 40;
        break;
    case 4:
    case 6:
    case 7:
        f = kMonth;
        after = 30;
        break;
    case 10:
        f = kMonth;
        before = 5;
        after = 20;
        break;
    case 11:
        f = kMonth;
        before = 2;
        after = 20;
        break;
    case 1:
        f = kOrdinal;
        before = 1;
        break;  // end: see below
    case 8:
    case 9:
        f = kDigitSepDigit;
        after = 10;
        break;  // start: see below
    case 12:
    case 13:
        f = kDigitColonDigit;
        before = 2;
        after = 12;
        break;
    case 14:
        f = kAt;
        after = 12;
        break;
    default:
        return;
    }
    const char* lastLt = nullptr;  // last "<" before the previous feature
    const char* scannedTo = begin_;
    for (const char* at : featureAt_[f]) {
        Window w;
        w.lo = at - std::min(before, static_cast<long>(at - begin_));
        w.hi = at + std::min(after, static_cast<long>(end_ - at));
        if (id == 8 || id == 9) {
            // ">[^<]*" then digits and separators: no "<" in the match, so
            // it starts after the last "<" before its first separator.
            for (const char* q = at; q > scannedTo;)
                if (*--q == '<') {
                    lastLt = q;
                    break;
                }
            scannedTo = at;
            w.lo = lastLt ? lastLt + 1 : begin_;
        } else if (id == 1) {
            // "\d\d(th|...)\W+" then a name, \W{1,3} and four digits.
            const char* q = at + 3;
            while (q < end_ && !isWordByte(static_cast<unsigned char>(*q))) ++q;
            w.hi = q + std::min(20L, static_cast<long>(end_ - q));
        }
        if (!out.empty() && w.lo <= out.back().hi)
            out.back().hi = std::max(out.back().hi, w.hi);
        else
            out.push_back(w);
    }
}

void DateIndex::buildIndex(const DatePatterns& patterns, int id) {
    std::vector<MatchSpan>& spans = spans_[id];
    spans.clear();
    built_[id] = true;
    const GuardedRegex& re = patterns[id];
    usable_[id] = re.locator() != nullptr;
    if (!usable_[id]) return;
    if (!featuresFound_) findFeatures();
    patternWindows(id);
    DateMatch m;
    for (const Window& w : windows_) {
        for (const char* pos = w.lo; pos < w.hi;) {
            const char* start = re.locateStart(pos, w.hi);
            if (!start) break;
            // Every match starting in the window ends inside it, so Boost's
            // match at start is the same over the window as over the store.
            bool hit;
            try {
                hit = boost::regex_search(start, w.hi, m, re.regex(),
                                          kSearchFlags | boost::match_continuous);
            } catch (const std::exception&) {
                hit = false;
            }
            if (!hit) {  // Boost gave up or disagrees: search slices directly
                usable_[id] = false;
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
bool DateIndex::indexedSearch(const DatePatterns& patterns, int id, const char* a, const char* b,
                              DateMatch& m) const {
    const std::vector<MatchSpan>& spans = spans_[id];
    auto next = std::lower_bound(spans.begin(), spans.end(), a,
                                 [](const MatchSpan& s, const char* p) { return s.start < p; });
    if (next != spans.begin() && (next - 1)->end > a) return patterns[id].search(a, b, m);
    if (next == spans.end() || next->start >= b) return false;
    // A recorded match that fits in [a, b) is Boost's match there too: no
    // need to locate its start again.
    return patterns[id].searchFrom(a, next->start, b, m, next->end > b);
}

void DateIndex::prepare(const char* begin, const char* end) {
    begin_ = end_ = nullptr;
    featuresFound_ = false;
    for (int id = 0; id < kPatternCount; ++id) {
        spans_[id].clear();
        built_[id] = false;
        usable_[id] = false;
    }
    if (begin && end && begin < end) {
        begin_ = begin;
        end_ = end;
    }
}

bool DateIndex::search(const DatePatterns& patterns, int id, const char* a, const char* b,
                       DateMatch& m) {
    if (id < 0 || id >= kPatternCount || a > b) return false;
    if (begin_ && a >= begin_ && b <= end_) {
        if (!built_[id]) buildIndex(patterns, id);
        if (usable_[id]) return indexedSearch(patterns, id, a, b, m);
    }
    return patterns[id].search(a, b, m);
}

}  // namespace w2r
