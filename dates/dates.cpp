// The fifteen date and time patterns, their compilation, and the searches
// the entry locator runs with them.
#include "dates/dates.h"

#include <re2/re2.h>

#include <algorithm>
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

void buildIndex(int id) {
    std::vector<MatchSpan>& spans = index_spans[id];
    spans.clear();
    index_built[id] = true;
    index_usable[id] = date_accel[id] != nullptr;
    DateMatch m;
    for (const char* pos = index_begin; index_usable[id] && pos < index_end;) {
        const char* start = acceleratedStart(date_accel[id], pos, index_end);
        if (!start) break;
        if (!guardedSearchFrom(*date_re_engine[id], date_accel[id], start,
                               start, index_end, m)) {
            index_usable[id] = false;  // Boost gave up: search slices directly
            break;
        }
        spans.push_back({m[0].first, m[0].second});
        pos = m[0].second > m[0].first ? m[0].second : m[0].first + 1;
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
    return guardedSearchFrom(*date_re_engine[id], date_accel[id], a,
                             next->start, b, match_result);
}

void dropIndex() {
    index_begin = index_end = nullptr;
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
