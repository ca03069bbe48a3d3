// Date and time patterns: the fifteen compiled patterns, the per-page
// search index, field readers and validators.
#pragma once

#include <vector>

#include "base/guarded_regex.h"

namespace w2r {

using DateMatch = Match;

// The years a date may fall in, both included. The default is the
// system's own window.
struct YearWindow {
    int from = 1995;
    int to = 2010;
    bool contains(int year) const { return year >= from && year <= to; }
};

// Pattern ids: 0..11 are dates, 12..14 times of day.
constexpr int kFirstTimePattern = 12;
constexpr int kPatternCount = 15;

// The compiled patterns and the years their dates may fall in. Built once
// and never changed: one object serves every page and every thread.
class DatePatterns {
public:
    explicit DatePatterns(YearWindow years = YearWindow());
    // Pattern id, 0..14.
    const GuardedRegex& operator[](int id) const { return regexes_[static_cast<std::size_t>(id)]; }
    // Whether pattern id is compiled case-insensitively.
    static bool icase(int id);
    const YearWindow& years() const { return years_; }

private:
    std::vector<GuardedRegex> regexes_;
    YearWindow years_;
};

// The date searches of one page. Optionally prepared over the page's whole
// text store, so that later searches of slices inside it are cheap; results
// never change. Not shared between threads.
class DateIndex {
public:
    DateIndex();
    ~DateIndex();
    DateIndex(const DateIndex&) = delete;
    DateIndex& operator=(const DateIndex&) = delete;

    // Prepares for [begin, end), whose bytes must stay as they are until
    // the next prepare or drop; prepare(nullptr, nullptr) drops the index.
    void prepare(const char* begin, const char* end);
    void drop() { prepare(nullptr, nullptr); }

    // Leftmost search of pattern id over [a, b) into m. A search the regex
    // engine gives up on counts as no match.
    bool search(const DatePatterns& patterns, int id, const char* a, const char* b, DateMatch& m);

private:
    struct MatchSpan {
        const char* start;
        const char* end;
    };
    // Where the matches of a pattern may be. With last set, a match can
    // only start at [lo, last], and one starting at c ends by
    // hi + (c - lo); else any match starting in [lo, hi) ends by hi.
    struct Window {
        const char* lo;
        const char* hi;
        const char* last;
    };
    void findFeatures();
    void patternWindows(int id);
    void buildIndex(const DatePatterns& patterns, int id);
    bool indexedSearch(const DatePatterns& patterns, int id, const char* a, const char* b,
                       DateMatch& m) const;

    const char* begin_ = nullptr;
    const char* end_ = nullptr;
    // For each pattern, the matches a left-to-right scan of the whole store
    // finds (each search starting where the previous match ended), built on
    // the pattern's first search.
    std::vector<MatchSpan> spans_[kPatternCount];
    bool built_[kPatternCount] = {};
    bool usable_[kPatternCount] = {};
    bool featuresFound_ = false;
    std::vector<const char*> featureAt_[6];
    std::vector<Window> windows_;  // scratch of buildIndex
};

int getYear(const DateMatch& m, int id);
int getMonth(const DateMatch& m, int id);
int getDay(const DateMatch& m, int id);
int getHour(const DateMatch& m, int id);
int getMin(const DateMatch& m, int id);
// A real calendar day in a year of the window.
bool isValidDate(int year, int month, int day, YearWindow years = YearWindow());
bool isValidTime(int hour, int minute);

}  // namespace w2r
