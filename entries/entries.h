// Entry detection: finds the element whose children carry recurring date
// stamps and cuts its content into timestamped entries.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "dates/dates.h"

namespace w2r {

struct Node;
class DatePatterns;
class ExtraDateIndex;
class Page;

struct Timestamp {
    int dateType = 0;  // date pattern id + 1
    int timeType = 0;  // time pattern id + 1, 0 = no time
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int min = 0;
};

// One entry: its slice of the text store (valid until the page is reset)
// and its date and time.
struct Entry {
    std::string_view html;
    Timestamp time;
    // Where the slice lies in the tree's text store (valid while the tree
    // is); html is its text up to the first NUL.
    const char* storeStart = nullptr;
    const char* storeEnd = nullptr;
};

using EntryTable = std::vector<Entry>;

enum class LocateResult {
    kNone,          // no recurring date or time
    kEntries,       // entry table filled
    kDatesOutside,  // dates recur, at least as many outside children
    kTimesInside,   // only times recur, inside
    kTimesOutside,  // only times recur, at least as many outside
};

// What the locator found in one child's own text: its first valid date and
// its first valid time, with the pattern that gave each. Kept for every
// child of an examined element, so it is small; the values are set only
// when valid (years 1995-2010, hours 0-23, ...).
struct ChildStamp {
    bool hasDate = false;
    bool hasTime = false;
    signed char dateType = 0;  // date pattern id + 1, 0 = none
    signed char timeType = 0;  // time pattern id + 1, 0 = none
    short year = 0;
    signed char month = 0, day = 0, hour = 0, min = 0;
};

// How the locator cut a container: the children that open entries (already
// moved back by shift), the timed children, and the last child of the last
// entry.
struct EntryLayout {
    const Node* container = nullptr;
    int shift = 0;
    int lastChild = 0;
    std::vector<int> dateChildren;
    std::vector<int> timeChildren;
};

// How the examination of one element ended.
enum class StepOutcome {
    kFewStamps,     // no date or time in three texts: search goes on
    kNoCommonDate,  // no one date pattern in three children: search goes on
    kDatesOutside,  // ends the search: LocateResult::kDatesOutside
    kTimesInside,   // ends the search: LocateResult::kTimesInside
    kTimesOutside,  // ends the search: LocateResult::kTimesOutside
    kChosen,        // entries cut from this element
};

// What the locator found in one element it examined (one with four or more
// children). The per-pattern tallies count, by pattern id, the texts that
// pattern dated or timed first: the children's own texts, the gaps before
// each child, and the tail after the last child.
struct LocateStep {
    const Node* node = nullptr;
    int insideDates = 0, insideTimes = 0, outsideDates = 0, outsideTimes = 0;
    std::vector<int> own, gap, tail;
    StepOutcome outcome = StepOutcome::kFewStamps;
    int dateId = -1, timeId = -1;  // when chosen: the patterns that mark the entries
};

// A record of one locator run, for a person to read: the elements examined
// in order (the first kMaxSteps of them; all are counted) and the one that
// ended the search.
struct LocateTrace {
    static constexpr std::size_t kMaxSteps = 200;
    std::vector<LocateStep> steps;
    std::size_t examined = 0;
    bool decided = false;            // some element ended the search
    LocateStep decisive;             // that element (when decided)
    std::size_t decisiveNumber = 0;  // its place among those examined, from 1
};

// Pattern ids the locator gives the extra date forms, after the fifteen:
// a printed date of any extra form (the printed forms of one page differ
// only in the language of their month names, so they count as one
// pattern), a machine-readable date (a <time datetime>), and a time of any
// extra form.
constexpr int kExtraDateId = kPatternCount;
constexpr int kExtraStampId = kPatternCount + 1;
constexpr int kExtraTimeId = kPatternCount + 2;

// What a locator run uses beyond the fifteen patterns.
struct LocateOptions {
    // When set (prepared over the page's text store), a text that none of
    // the fifteen patterns dates is tried with the extra forms, in their
    // order; their pattern types follow the fifteen.
    ExtraDateIndex* extraDates = nullptr;
    // Whether a container whose dates stand between its children rather
    // than inside them is cut with those texts as units of their own
    // (else the search ends with kDatesOutside).
    bool gapUnits = false;
    // Whether the date pattern that the most children carry marks the
    // entries (else the one that the fewest children, at least three,
    // carry).
    bool mostDated = false;
    // Whether children that hold dated children of their own (archives
    // grouped by year) are replaced by what they hold.
    bool groupedLists = false;
    // Whether a page where no container dates three children may have two
    // entries: two or more alike children with dates of one pattern.
    bool pairs = false;
};

// Searches the page's tree breadth-first for the first element with four or
// more children whose children carry a recurring date, and fills the page's
// entry table from it. When layout is given it receives the cut made; when
// trace is given it receives what was examined.
LocateResult locateEntries(const DatePatterns& patterns, Page& page, Diagnostics& diagnostics,
                           EntryLayout* layout = nullptr, const LocateOptions& options = {},
                           LocateTrace* trace = nullptr);

// Cuts the container's children into entries, replacing the table's content;
// stamps holds the findings of each child. expected is the number of entries
// the locator counted; a different number made is reported as "Subtle error
// occur, recovered". A layout that does not fit the container makes no entry.
void separateEntries(const EntryLayout& layout, const std::vector<ChildStamp>& stamps, int expected,
                     EntryTable& table, Diagnostics& diagnostics);

}  // namespace w2r
