// Entry separator: cuts the container's children into entries, one slice of
// the text store each, and gives each entry its date and time.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dom/dom.h"
#include "driver/alloc.h"
#include "entries/entries.h"

namespace {

constexpr const char* SUBTLE_ERROR = "Subtle error occur, recovered";

// State of one separateEntries call.
node** kids = nullptr;
int made = 0;   // entries made so far

const char* startOf(int k) { return kids[k]->start; }
const char* endOf(int k) {
    return kids[k]->end ? kids[k]->end : kids[k]->start;
}

// Stores entry number `made` from the slice [a, b), with the date of child
// d and, when s >= 0, the time of child s.
void storeEntry(const char* a, const char* b, int d, int s) {
    if (made >= entryCapacity()) return;   // never reached from the locator
    std::size_t len = b > a ? static_cast<std::size_t>(b - a) : 0;
    char* text = static_cast<char*>(xmalloc(len + 1));
    if (len) std::memcpy(text, a, len);
    text[len] = '\0';
    blogentries[made] = text;
    timestamp& ts = timestampentries[made];
    const node* dc = kids[d];
    ts.dateType = dc->dateType;
    ts.year = dc->year;
    ts.month = dc->month;
    ts.day = dc->day;
    if (s >= 0) {
        const node* tc = kids[s];
        ts.timeType = tc->timeType;
        ts.hour = tc->hour;
        ts.min = tc->min;
    }
    made++;
}

// One range of children [first, hi] whose text ends at E, dated by child d.
struct Range {
    int first, hi, d;
    const char* E;
    bool final;
};

// Date mode: one entry per range, with the time of its last timed child.
void cutByDate(const Range& r) {
    int s = -1;
    for (int k = r.first; k <= r.hi; k++)
        if (kids[k]->hasTime) s = k;
    storeEntry(startOf(r.first), r.E, r.d, s);
}

// Time mode: one entry per timed child of the range, one when it has none.
void cutByTime(const Range& r, const int* T, int t) {
    int u = static_cast<int>(std::lower_bound(T, T + t, r.first) - T);
    int v = static_cast<int>(std::upper_bound(T, T + t, r.hi) - T) - 1;
    if (u > v) {
        storeEntry(startOf(r.first), r.E, r.d, -1);
        return;
    }
    if (u == v) {
        storeEntry(startOf(r.first), r.E, r.d, T[u]);
        return;
    }
    // The final range counts its head from the child after the dated one.
    int head = r.final ? T[u] - r.first - 1 : T[u] - r.first;
    int tail = r.hi - T[v];
    if (tail < head) {
        // The time closes its entry: entries end L children after it.
        int L = 1;
        for (; L <= tail; L++) {
            bool alike = true;
            for (int e = u; e < v && alike; e++)
                alike = T[e] + L < T[e + 1] &&
                        kids[T[e] + L]->tag == kids[T[e + 1] + L]->tag;
            if (!alike) break;
        }
        storeEntry(startOf(r.first), startOf(T[u] + L), r.d, T[u]);
        for (int e = u + 1; e < v; e++)
            storeEntry(startOf(T[e - 1] + L), startOf(T[e] + L), r.d, T[e]);
        storeEntry(startOf(T[v - 1] + L), r.E, r.d, T[v]);
    } else {
        // The time opens its entry: entries begin M children before it.
        // With the final range's head at -1 there is nothing to compare and
        // M stays 0.
        int M = 0;
        for (int off = 1; off <= head; off++) {
            bool alike = true;
            for (int e = u + 1; e <= v && alike; e++)
                alike = T[e - 1] < T[e] - off &&
                        kids[T[e] - off]->tag == kids[T[e - 1] - off]->tag;
            if (!alike) break;
            M = off;
        }
        storeEntry(startOf(r.first), startOf(T[u + 1] - M), r.d, T[u]);
        for (int e = u + 1; e < v; e++)
            storeEntry(startOf(T[e] - M), startOf(T[e + 1] - M), r.d, T[e]);
        storeEntry(startOf(T[v] - M), r.E, r.d, T[v]);
    }
}

// True when the arguments describe ranges and timed children inside the
// container's children, both lists ascending.
bool layoutFits(int m, const int* D, int t, const int* T, int shift,
                int lastChild, int n) {
    if (m < 1 || !D || n < 1 || shift < 0) return false;
    for (int i = 0; i < m; i++) {
        if (D[i] < 0 || D[i] + shift >= n) return false;
        if (i > 0 && D[i] <= D[i - 1]) return false;
    }
    for (int i = 0; i < t; i++) {
        if (T[i] < 0 || T[i] >= n) return false;
        if (i > 0 && T[i] <= T[i - 1]) return false;
    }
    return lastChild >= D[m - 1] && lastChild < n;
}

}  // namespace

void separateEntries(int dateCount, int* dateChildren, int timeCount,
                     int* timeChildren, int shift, int lastChild,
                     node* container) {
    last_layout.container = container;
    last_layout.dateCount = dateCount;
    last_layout.timeCount = timeCount;
    last_layout.shift = shift;
    last_layout.lastChild = lastChild;
    last_layout.dateChildren.assign(
        dateChildren, dateChildren ? dateChildren + std::max(dateCount, 0)
                                   : dateChildren);
    last_layout.timeChildren.assign(
        timeChildren, timeChildren ? timeChildren + std::max(timeCount, 0)
                                   : timeChildren);

    made = 0;
    int t = timeChildren ? std::max(timeCount, 0) : 0;
    if (container && container->children &&
        layoutFits(dateCount, dateChildren, t, timeChildren, shift, lastChild,
                   container->childCount)) {
        kids = container->children;
        const int* D = dateChildren;
        int m = dateCount;
        for (int i = 0; i < m; i++) {
            Range r;
            r.first = D[i];
            r.d = D[i] + shift;
            r.final = i == m - 1;
            r.hi = r.final ? lastChild : D[i + 1] - 1;
            r.E = r.final ? endOf(lastChild) : startOf(D[i + 1]);
            if (t < m)
                cutByDate(r);
            else
                cutByTime(r, timeChildren, t);
        }
        kids = nullptr;
    }

    if (made != blogentries_count) {
        std::printf("%s\n", SUBTLE_ERROR);
        std::fflush(stdout);
        blogentries_count = made;
    }
}
