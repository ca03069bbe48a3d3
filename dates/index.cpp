// The per-page date search index. Every match of a pattern contains a short
// feature at a bounded distance from its ends: a month or weekday name (all
// alternatives begin with the three-letter abbreviation), "\d:\d", "@", a
// digit-separator-digit run or "\d\d" with an ordinal suffix. One pass over
// the store records where these features are; each pattern then searches
// only merged windows around its feature that provably contain every one of
// its matches, so the recorded match sequence is the whole-store one.
#include <algorithm>
#include <exception>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Position of the first digit in [from, n) of p, or n.
size_t firstDigit(const unsigned char* p, size_t from, size_t n) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
    for (; i + 16 <= n; i += 16) {
        __m128i d = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), zero);
        unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(d, nine), d)));
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < n && (p[i] < '0' || p[i] > '9')) ++i;
    return i;
}

}  // namespace

DateIndex::DateIndex() = default;
DateIndex::~DateIndex() = default;

// Records the features of the store: the position of the first byte of a
// name, of the separator or colon, of the "@", of the ordinal's second
// digit. Every pattern needs digits close to its feature, so only the
// stretches from 23 bytes before a digit to 2 after it are read, and a name
// counts only with a digit where a date would have one: 4 to 25 bytes after
// a weekday's first letter, 3 to 12 after a month's (features without one
// open no window).
void DateIndex::findFeatures() {
    featuresFound_ = true;
    for (auto& v : featureAt_) v.clear();
    const char* begin = begin_;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(begin);
    const size_t n = static_cast<size_t>(end_ - begin);
    size_t digit = 0;  // first digit at or after the last position asked about
    auto digitWithin = [&](size_t from, size_t to) {
        if (digit < from) digit = firstDigit(p, from, n);
        return digit < to;
    };
    auto record = [&](size_t i, unsigned key) {
        unsigned f = kTables.trigramFeatures[key];
        const char* at = begin + i;  // the trigram's last byte
        if ((f & 1 << kMonth) && digitWithin(i + 1, i + 11)) featureAt_[kMonth].push_back(at - 2);
        if ((f & 1 << kWeekday) && digitWithin(i + 2, i + 24))
            featureAt_[kWeekday].push_back(at - 2);
        if (f & 1 << kOrdinal) featureAt_[kOrdinal].push_back(at - 2);
        if (f & 1 << kDigitSepDigit) featureAt_[kDigitSepDigit].push_back(at - 1);
        if (f & 1 << kDigitColonDigit) featureAt_[kDigitColonDigit].push_back(at - 1);
        if (f & 1 << kAt) featureAt_[kAt].push_back(at);
    };
    // Trigram ends i from d - 23 to d + 2 around every digit d, with a
    // rolling key of the last three byte codes (codes before the store
    // are 0, which only the "@" feature accepts).
    size_t done = 0;  // trigram ends below it were read
    for (size_t d = firstDigit(p, 0, n); d < n; d = firstDigit(p, done, n)) {
        size_t i = std::max(done, d >= 23 ? d - 23 : 0);
        size_t stop = std::min(n, d + 3);
        unsigned key = 0;
        if (i >= 2) key = kTables.byteCode[p[i - 2]];
        if (i >= 1) key = key << 5 | kTables.byteCode[p[i - 1]];
        for (; i < stop; ++i) {
            unsigned char code = kTables.byteCode[p[i]];
            if (code == kDigit) stop = std::min(n, std::max(stop, i + 3));
            key = (key << 5 | code) & 0x7FFF;
            if (kTables.trigramFeatures[key]) record(i, key);
        }
        done = stop;
    }
}

// The windows of pattern id over [begin_, end_), in order, into windows_.
// Offsets: the longest alternatives and repeats before and after the
// feature (names 9 bytes, \W{1,3} 3, \d{2,4} 4, ...); the bounds are checked
// by the differential tests with matches placed at window edges. Most
// patterns start at a fixed distance from their feature (a weekday or
// month pattern at the name itself): their windows list the possible
// starts, one window per feature. Patterns 8 and 9 start at a ">" before
// the digits: their windows are merged and searched.
void DateIndex::patternWindows(int id) {
    std::vector<Window>& out = windows_;
    out.clear();
    Feature f;
    long before = 0, after = 0;          // matches lie in [feature - before, feature + after)
    long firstStart = 0, lastStart = 0;  // and start in [feature + first, feature + last]
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
    case 10:  // two digits and one to three separators before the name
        f = kMonth;
        before = 5;
        after = 20;
        firstStart = -5;
        lastStart = -3;
        break;
    case 11:  // two digits right before the name
        f = kMonth;
        before = 2;
        after = 20;
        firstStart = lastStart = -2;
        break;
    case 1:  // the feature is the second of the two digits
        f = kOrdinal;
        before = 1;
        firstStart = lastStart = -1;
        break;  // end: see below
    case 8:
    case 9:
        f = kDigitSepDigit;
        after = 10;
        break;  // start: see below
    case 12:    // one or two digits before the colon
    case 13:
        f = kDigitColonDigit;
        before = 2;
        after = 12;
        firstStart = -2;
        lastStart = -1;
        break;
    case 14:
        f = kAt;
        after = 12;
        break;
    default:
        return;
    }
    const bool searched = id == 8 || id == 9;
    auto clip = [this](const char* at, long offset) {
        return offset < 0 ? at - std::min(-offset, static_cast<long>(at - begin_))
                          : at + std::min(offset, static_cast<long>(end_ - at));
    };
    const char* lastLt = nullptr;  // last "<" before the previous feature
    bool gtAfterLt = false;        // and whether a ">" follows it there
    const char* scannedTo = begin_;
    for (const char* at : featureAt_[f]) {
        Window w;
        w.lo = clip(at, before);
        w.hi = clip(at, after);
        w.last = nullptr;
        if (searched) {
            // ">[^<]*" then digits and separators: no "<" in the match, so
            // it starts at a ">" after the last "<" before its first
            // separator; without such a ">" no match uses this separator.
            const char* lt = nullptr;
            bool gt = false;
            for (const char* q = at; q > scannedTo;) {
                char c = *--q;
                if (c == '<') {
                    lt = q;
                    break;
                }
                if (c == '>') gt = true;
            }
            if (lt) {
                lastLt = lt;
                gtAfterLt = gt;
            } else {
                gtAfterLt = gtAfterLt || gt;
            }
            scannedTo = at;
            if (!gtAfterLt) continue;
            w.lo = lastLt ? lastLt + 1 : begin_;
            if (!out.empty() && w.lo <= out.back().hi)
                out.back().hi = std::max(out.back().hi, w.hi);
            else
                out.push_back(w);
            continue;
        }
        // A start c belongs to a feature at c - firstStart at the latest,
        // so a match from c ends by c + after - firstStart.
        w.lo = clip(at, firstStart);
        w.last = clip(at, lastStart);
        w.hi = clip(w.lo, after - firstStart);
        if (id == 1) {
            // "\d\d(th|...)\W+" then a name, \W{1,3} and four digits.
            const char* q = at + 3;
            while (q < end_ && !isWordByte(static_cast<unsigned char>(*q))) ++q;
            w.hi = clip(q, 20);
        }
        if (w.last < w.lo) continue;  // every start lies before the store
        out.push_back(w);
    }
}

void DateIndex::buildIndex(const DatePatterns& patterns, int id) {
    std::vector<MatchSpan>& spans = spans_[id];
    spans.clear();
    built_[id] = true;
    usable_[id] = true;
    const GuardedRegex& re = patterns[id];
    if (!featuresFound_) findFeatures();
    patternWindows(id);
    DateMatch m;
    // The scan of the whole store goes on where the previous match ended.
    const char* pos = begin_;
    const char* tried = begin_;  // starts before it were tried already
    auto record = [&] {
        spans.push_back({m[0].first, m[0].second});
        pos = m[0].second > m[0].first ? m[0].second : m[0].first + 1;
    };
    try {
        for (const Window& w : windows_) {
            if (w.last) {
                // Boost at each possible start, in order: the first match
                // found is the leftmost one.
                for (const char* c = std::max({w.lo, pos, tried}); c <= w.last;
                     c = std::max({c + 1, pos})) {
                    const char* hi = w.hi + std::min(c - w.lo, end_ - w.hi);
                    tried = c + 1;
                    if (boost::regex_search(c, hi, m, re.regex(),
                                            kSearchFlags | boost::match_continuous))
                        record();
                }
                continue;
            }
            // Short windows go to Boost directly; in a long one the locator
            // finds where each match starts.
            const bool direct = w.hi - w.lo <= kDirectSearchBytes;
            if (!direct && !re.locator()) {  // no locator: search slices directly
                usable_[id] = false;
                return;
            }
            for (pos = std::max(pos, w.lo); pos < w.hi;) {
                // Every match starting in the window ends inside it, so
                // Boost's match there is the same as over the store.
                if (direct) {
                    if (!boost::regex_search(pos, w.hi, m, re.regex(), kSearchFlags)) break;
                } else {
                    const char* start = re.locateStart(pos, w.hi);
                    if (!start) break;
                    if (!boost::regex_search(start, w.hi, m, re.regex(),
                                             kSearchFlags | boost::match_continuous)) {
                        usable_[id] = false;  // Boost disagrees: search slices directly
                        return;
                    }
                }
                record();
            }
        }
    } catch (const std::exception&) {  // Boost gave up: search slices directly
        usable_[id] = false;
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
