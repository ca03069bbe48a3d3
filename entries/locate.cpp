// Entry locator: searches the page tree breadth-first for the first element
// whose children carry a recurring date, chooses the date and time patterns
// that mark the entries, works out where the first entry begins and where
// the last one ends, and hands the cutting to separateEntries.
#include <algorithm>
#include <vector>

#include "dates/dates.h"
#include "dom/tree.h"
#include "entries/entries.h"
#include "entries/page.h"

namespace w2r {
namespace {

// The date searches of one locator run.
struct DateSearch {
    const DatePatterns& patterns;
    DateIndex& index;
    DateMatch match;
    bool search(int id, const char* a, const char* b) {
        return index.search(patterns, id, a, b, match);
    }
};

// What one examination found: a result, or keep searching.
struct Outcome {
    bool found;
    LocateResult result;
};
constexpr Outcome kKeepSearching = {false, LocateResult::kNone};

// Stored end of a node; a node never closed counts as empty.
const char* nodeEnd(const Node* n) { return n->end ? n->end : n->start; }

// Tries the date patterns in id order on [a, b). Only the first match of
// each pattern counts. True when some pattern gave a valid date; then st,
// when given, receives it.
bool findDate(DateSearch& ds, const char* a, const char* b, ChildStamp* st) {
    if (a >= b) return false;  // no pattern matches empty text
    for (int id = 0; id < kFirstTimePattern; id++) {
        if (!ds.search(id, a, b)) continue;
        int year = getYear(ds.match, id);
        int month = getMonth(ds.match, id);
        int day = getDay(ds.match, id);
        if (isValidDate(year, month, day, ds.patterns.years())) {
            if (st) {
                st->hasDate = true;
                st->dateType = static_cast<signed char>(id + 1);
                st->year = static_cast<short>(year);
                st->month = static_cast<signed char>(month);
                st->day = static_cast<signed char>(day);
            }
            return true;
        }
    }
    return false;
}

// The same for the time patterns.
bool findTime(DateSearch& ds, const char* a, const char* b, ChildStamp* st) {
    if (a >= b) return false;
    for (int id = kFirstTimePattern; id < kPatternCount; id++) {
        if (!ds.search(id, a, b)) continue;
        int hour = getHour(ds.match, id);
        int min = getMin(ds.match, id);
        if (isValidTime(hour, min)) {
            if (st) {
                st->hasTime = true;
                st->timeType = static_cast<signed char>(id + 1);
                st->hour = static_cast<signed char>(hour);
                st->min = static_cast<signed char>(min);
            }
            return true;
        }
    }
    return false;
}

struct Counters {
    int insideDates = 0, insideTimes = 0;
    int outsideDates = 0, outsideTimes = 0;
};

// Tests every child's own text and gap text, then the container's tail
// text. The findings of the children's own texts go to stamps, one per
// child; gap and tail texts are only counted.
Counters scanTexts(DateSearch& ds, const Node* box, const char* storeEnd,
                   std::vector<ChildStamp>& stamps) {
    Counters cnt;
    int n = box->childCount;
    Node** c = box->children;
    stamps.assign(static_cast<std::size_t>(n), ChildStamp());
    for (int i = 0; i < n; i++) {
        const Node* ch = c[i];
        ChildStamp& st = stamps[static_cast<std::size_t>(i)];
        const char* a = ch->start;
        const char* b = nodeEnd(ch);
        if (findDate(ds, a, b, &st)) cnt.insideDates++;
        if (findTime(ds, a, b, &st)) cnt.insideTimes++;
        // Gap texts are only counted.
        const char* g = i == 0 ? box->start : nodeEnd(c[i - 1]);
        if (findDate(ds, g, ch->start, nullptr)) cnt.outsideDates++;
        if (findTime(ds, g, ch->start, nullptr)) cnt.outsideTimes++;
    }
    // The root's own range is empty: its tail runs to the end of the store.
    const char* a = nodeEnd(c[n - 1]);
    const char* b = box->end && box->end >= a ? box->end : storeEnd;
    if (findDate(ds, a, b, nullptr)) cnt.outsideDates++;
    if (findTime(ds, a, b, nullptr)) cnt.outsideTimes++;
    return cnt;
}

// Chooses the patterns, measures the layout and cuts the entries. Keeps
// searching when no date pattern is carried by three or more children.
Outcome cutEntries(const Node* box, const std::vector<ChildStamp>& stamps, EntryTable& table,
                   Diagnostics& diagnostics, EntryLayout* out) {
    int n = box->childCount;
    Node** c = box->children;

    int tally[kPatternCount] = {0};
    for (int i = 0; i < n; i++) {
        const ChildStamp& st = stamps[static_cast<std::size_t>(i)];
        if (st.hasDate && st.dateType >= 1 && st.dateType <= kPatternCount)
            tally[st.dateType - 1]++;
        if (st.hasTime && st.timeType >= 1 && st.timeType <= kPatternCount)
            tally[st.timeType - 1]++;
    }
    // The smallest tally above 2 marks the entries; lower id on ties.
    int dateId = -1;
    for (int id = 0; id < kFirstTimePattern && id < kPatternCount; id++)
        if (tally[id] > 2 && (dateId < 0 || tally[id] < tally[dateId])) dateId = id;
    if (dateId < 0) return kKeepSearching;
    // The largest time tally; lower id on ties; none when all are 0.
    int timeId = -1;
    for (int id = kFirstTimePattern; id < kPatternCount && id < kPatternCount; id++)
        if (tally[id] > (timeId < 0 ? 0 : tally[timeId])) timeId = id;

    std::vector<int> D, T;
    for (int i = 0; i < n; i++) {
        const ChildStamp& st = stamps[static_cast<std::size_t>(i)];
        if (st.dateType == dateId + 1) D.push_back(i);
        if (timeId >= 0 && st.timeType == timeId + 1) T.push_back(i);
    }
    int m = static_cast<int>(D.size());
    int t = static_cast<int>(T.size());

    int tail = n - 1 - D[m - 1];
    int minGap = -1;  // none yet
    int p = 0;
    bool uniform = true;
    int firstGap = D[1] - D[0] - 1;
    for (int i = 1; i < m; i++) {
        int gap = D[i] - D[i - 1] - 1;
        if (minGap < 0 || gap < minGap) {
            minGap = gap;
            p = i - 1;
        }
        if (gap != firstGap) uniform = false;
    }

    auto tag = [&](int k) { return c[k]->tag; };
    // Last child after the last dated child with element id x, else the
    // last dated child itself.
    auto lastLike = [&](int x) {
        for (int k = n - 1; k > D[m - 1]; k--)
            if (tag(k) == x) return k;
        return D[m - 1];
    };

    int shift = 0;
    int lastChild = D[m - 1];
    if (minGap == 0) {
        lastChild = uniform ? D[m - 1] : lastLike(tag(D[m - 1] - 1));
    } else if (D[0] == 0) {
        lastChild = uniform ? D[m - 1] + std::min(minGap, tail) : lastLike(tag(D[m - 1] - 1));
    } else {
        // Do the children after the last dated child form a whole entry?
        bool complete = false;
        if (minGap > tail) {
            complete = false;
        } else if (!uniform) {
            int before = D[p + 1] - 1;
            lastChild = lastLike(tag(before));
            complete = lastChild - D[m - 1] >= minGap;
            for (int k = 0; complete && k < minGap; k++)
                if (tag(lastChild - k) != tag(before - k)) complete = false;
        } else {
            complete = true;
            for (int k = D[m - 1] + 1; k <= D[m - 1] + minGap; k++)
                if (tag(k) != tag(k - minGap - 1)) {
                    complete = false;
                    break;
                }
            if (complete) lastChild = D[m - 1] + minGap;
        }
        if (!complete) {
            // The date does not open its entry: move every entry start back
            // over the children that look alike before every dated child.
            int limit = std::min(minGap, D[0]);
            while (shift < limit) {
                int x = tag(D[0] - shift - 1);
                bool agree = true;
                for (int i = 1; i < m && agree; i++) agree = tag(D[i] - shift - 1) == x;
                if (!agree) break;
                shift++;
            }
            for (int& d : D) d -= shift;
            lastChild = uniform ? D[m - 1] + std::min(minGap, tail) : lastLike(tag(D[m - 1] - 1));
        }
    }

    EntryLayout layout;
    layout.container = box;
    layout.shift = shift;
    layout.lastChild = lastChild;
    layout.dateChildren = std::move(D);
    layout.timeChildren = std::move(T);
    separateEntries(layout, stamps, std::max(m, t), table, diagnostics);
    if (out) *out = std::move(layout);
    return {true, LocateResult::kEntries};
}

// Examines one node with four or more children.
Outcome examine(DateSearch& ds, const Node* box, const char* storeEnd,
                std::vector<ChildStamp>& stamps, EntryTable& table, Diagnostics& diagnostics,
                EntryLayout* out) {
    Counters cnt = scanTexts(ds, box, storeEnd, stamps);
    if (cnt.insideDates > 2 || cnt.outsideDates > 2) {
        if (cnt.insideDates <= cnt.outsideDates) return {true, LocateResult::kDatesOutside};
        return cutEntries(box, stamps, table, diagnostics, out);
    }
    if (cnt.insideTimes > 2 || cnt.outsideTimes > 2)
        return {true, cnt.insideTimes > cnt.outsideTimes ? LocateResult::kTimesInside
                                                         : LocateResult::kTimesOutside};
    return kKeepSearching;
}

}  // namespace

LocateResult locateEntries(const DatePatterns& patterns, Page& page, Diagnostics& diagnostics,
                           EntryLayout* layout) {
    Tree& tree = page.tree();
    const char* storeEnd = tree.storeEnd();
    DateSearch ds{patterns, page.dateIndex(), DateMatch()};
    bool prepared = false;
    std::vector<ChildStamp> stamps;  // findings of the children of the node examined
    Outcome found = kKeepSearching;
    // Breadth first, one level at a time. A level is held as the nodes
    // whose children make it up: a page of 600,000 nested elements closed
    // at once has a level of 600,000 children under one node.
    Node* root = &tree.root();
    std::vector<Node*> parents, next;
    auto visit = [&](Node* cur) -> bool {
        if (cur->childCount <= 0 || !cur->children) return false;
        next.push_back(cur);
        if (cur->childCount <= 3) return false;
        if (!prepared) {
            ds.index.prepare(tree.storeBegin(), storeEnd);
            prepared = true;
        }
        found = examine(ds, cur, storeEnd, stamps, page.entries(), diagnostics, layout);
        return found.found;
    };
    if (visit(root)) return found.result;
    while (!next.empty()) {
        parents.swap(next);
        next.clear();
        for (Node* parent : parents)
            for (int i = 0; i < parent->childCount; i++)
                if (visit(parent->children[i])) return found.result;
    }
    return LocateResult::kNone;
}

}  // namespace w2r
