// Entry locator: searches the page tree breadth-first for the first element
// whose children carry a recurring date, chooses the date and time patterns
// that mark the entries, works out where the first entry begins and where
// the last one ends, and hands the cutting to separateEntries.
#include <algorithm>
#include <vector>

#include "dates/dates.h"
#include "dom/dom.h"
#include "entries/entries.h"

namespace {

constexpr int PATTERN_COUNT = 15;
constexpr int KEEP_SEARCHING = -1;

// Stored end of a node; a node never closed counts as empty.
const char* nodeEnd(const node* n) { return n->end ? n->end : n->start; }

// Tries the date patterns in id order on [a, b). Only the first match of
// each pattern counts; the values of the last match tried are kept even
// when they do not validate. True when some pattern gave a valid date.
bool findDate(const char* a, const char* b, bool& has, int& type, int& year,
              int& month, int& day) {
    if (a >= b) return false;   // no pattern matches empty text
    for (int id = 0; id < date_re; id++) {
        if (!searchDatePattern(id, a, b)) continue;
        year = getYear(match_result, id);
        month = getMonth(match_result, id);
        day = getDay(match_result, id);
        if (isValidDate(year, month, day)) {
            has = true;
            type = id + 1;
            return true;
        }
    }
    return false;
}

// The same for the time patterns.
bool findTime(const char* a, const char* b, bool& has, int& type, int& hour,
              int& min) {
    if (a >= b) return false;
    for (int id = date_re; id < time_re; id++) {
        if (!searchDatePattern(id, a, b)) continue;
        hour = getHour(match_result, id);
        min = getMin(match_result, id);
        if (isValidTime(hour, min)) {
            has = true;
            type = id + 1;
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
// text, recording the findings in the nodes.
Counters scanTexts(node* box, const char* storeEnd) {
    Counters cnt;
    int n = box->childCount;
    node** c = box->children;
    for (int i = 0; i < n; i++) {
        node* ch = c[i];
        const char* a = ch->start;
        const char* b = nodeEnd(ch);
        if (findDate(a, b, ch->hasDate, ch->dateType, ch->year, ch->month,
                     ch->day))
            cnt.insideDates++;
        if (findTime(a, b, ch->hasTime, ch->timeType, ch->hour, ch->min))
            cnt.insideTimes++;
        const char* g = i == 0 ? box->start : nodeEnd(c[i - 1]);
        if (findDate(g, ch->start, ch->hasGapDate, ch->gapDateType,
                     ch->gapYear, ch->gapMonth, ch->gapDay))
            cnt.outsideDates++;
        if (findTime(g, ch->start, ch->hasGapTime, ch->gapTimeType,
                     ch->gapHour, ch->gapMin))
            cnt.outsideTimes++;
    }
    // The root's own range is empty: its tail runs to the end of the store.
    const char* a = nodeEnd(c[n - 1]);
    const char* b = box->end && box->end >= a ? box->end : storeEnd;
    if (findDate(a, b, box->hasTailDate, box->tailDateType, box->tailYear,
                 box->tailMonth, box->tailDay))
        cnt.outsideDates++;
    if (findTime(a, b, box->hasTailTime, box->tailTimeType, box->tailHour,
                 box->tailMin))
        cnt.outsideTimes++;
    return cnt;
}

// Chooses the patterns, measures the layout, allocates the entry table and
// cuts the entries. Returns KEEP_SEARCHING when no date pattern is carried
// by three or more children.
int locateEntries(node* box) {
    int n = box->childCount;
    node** c = box->children;

    int tally[PATTERN_COUNT] = {0};
    for (int i = 0; i < n; i++) {
        if (c[i]->hasDate && c[i]->dateType >= 1 &&
            c[i]->dateType <= PATTERN_COUNT)
            tally[c[i]->dateType - 1]++;
        if (c[i]->hasTime && c[i]->timeType >= 1 &&
            c[i]->timeType <= PATTERN_COUNT)
            tally[c[i]->timeType - 1]++;
    }
    // The smallest tally above 2 marks the entries; lower id on ties.
    int dateId = -1;
    for (int id = 0; id < date_re && id < PATTERN_COUNT; id++)
        if (tally[id] > 2 && (dateId < 0 || tally[id] < tally[dateId]))
            dateId = id;
    if (dateId < 0) return KEEP_SEARCHING;
    // The largest time tally; lower id on ties; none when all are 0.
    int timeId = -1;
    for (int id = date_re; id < time_re && id < PATTERN_COUNT; id++)
        if (tally[id] > (timeId < 0 ? 0 : tally[timeId])) timeId = id;

    std::vector<int> D, T;
    for (int i = 0; i < n; i++) {
        if (c[i]->dateType == dateId + 1) D.push_back(i);
        if (timeId >= 0 && c[i]->timeType == timeId + 1) T.push_back(i);
    }
    int m = static_cast<int>(D.size());
    int t = static_cast<int>(T.size());

    int tail = n - 1 - D[m - 1];
    int minGap = -1;   // none yet
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

    allocateEntries(m, t);

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
        lastChild = uniform ? D[m - 1] + std::min(minGap, tail)
                            : lastLike(tag(D[m - 1] - 1));
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
                for (int i = 1; i < m && agree; i++)
                    agree = tag(D[i] - shift - 1) == x;
                if (!agree) break;
                shift++;
            }
            for (int& d : D) d -= shift;
            lastChild = uniform ? D[m - 1] + std::min(minGap, tail)
                                : lastLike(tag(D[m - 1] - 1));
        }
    }

    separateEntries(m, D.data(), t, T.data(), shift, lastChild, box);
    return BFS_ENTRIES;
}

// Examines one node with four or more children: the result, or
// KEEP_SEARCHING.
int examine(node* box, const char* storeEnd) {
    Counters cnt = scanTexts(box, storeEnd);
    if (cnt.insideDates > 2 || cnt.outsideDates > 2) {
        if (cnt.insideDates <= cnt.outsideDates) return BFS_DATES_OUTSIDE;
        return locateEntries(box);
    }
    if (cnt.insideTimes > 2 || cnt.outsideTimes > 2)
        return cnt.insideTimes > cnt.outsideTimes ? BFS_TIMES_INSIDE
                                                  : BFS_TIMES_OUTSIDE;
    return KEEP_SEARCHING;
}

}  // namespace

int DOMParseBFS(node* top) {
    if (!top) return BFS_NONE;
    const char* storeEnd = ptr_buffer;
    bool prepared = false;
    std::vector<node*> queue;
    queue.push_back(top);
    for (std::size_t head = 0; head < queue.size(); head++) {
        node* cur = queue[head];
        if (cur->childCount <= 0 || !cur->children) continue;
        queue.insert(queue.end(), cur->children,
                     cur->children + cur->childCount);
        if (cur->childCount <= 3) continue;
        if (!prepared) {
            prepareDateSearch(buffer, storeEnd);
            prepared = true;
        }
        int result = examine(cur, storeEnd);
        if (result != KEEP_SEARCHING) return result;
    }
    return BFS_NONE;
}
