// Entry separator: cuts the container's children into entries, one slice of
// the text store each, and gives each entry its date and time.
#include <algorithm>
#include <cstring>

#include "dom/tree.h"
#include "entries/entries.h"

namespace w2r {
namespace {

constexpr const char* kSubtleError = "Subtle error occur, recovered";

// One range of children [first, hi] whose text ends at E, dated by child d.
struct Range {
    int first, hi, d;
    const char* E;
    bool final;
};

// State of one separateEntries call.
struct Cutter {
    Node** kids;
    const ChildStamp* stamps;  // one per child
    EntryTable& table;
    std::size_t capacity;  // entries that may be made

    const char* startOf(int k) const { return kids[k]->start; }
    const char* endOf(int k) const { return kids[k]->end ? kids[k]->end : kids[k]->start; }

    // Stores the next entry from the slice [a, b), with the date of child d
    // and, when s >= 0, the time of child s. The stored text ends at the
    // slice's first NUL, if any.
    void storeEntry(const char* a, const char* b, int d, int s) {
        if (table.size() >= capacity) return;  // never reached from the locator
        std::size_t len = b > a ? static_cast<std::size_t>(b - a) : 0;
        Entry e;
        e.html = std::string_view(a, len ? strnlen(a, len) : 0);
        e.storeStart = a;
        e.storeEnd = a + len;
        Timestamp& ts = e.time;
        const ChildStamp& dc = stamps[d];
        ts.dateType = dc.dateType;
        ts.year = dc.year;
        ts.month = dc.month;
        ts.day = dc.day;
        if (s >= 0) {
            const ChildStamp& tc = stamps[s];
            ts.timeType = tc.timeType;
            ts.hour = tc.hour;
            ts.min = tc.min;
        }
        table.push_back(e);
    }

    void cutByDate(const Range& r);
    void cutByTime(const Range& r, const int* T, int t);
};

// Date mode: one entry per range, with the time of its last timed child.
void Cutter::cutByDate(const Range& r) {
    int s = -1;
    for (int k = r.first; k <= r.hi; k++)
        if (stamps[k].hasTime) s = k;
    storeEntry(startOf(r.first), r.E, r.d, s);
}

// Time mode: one entry per timed child of the range, one when it has none.
void Cutter::cutByTime(const Range& r, const int* T, int t) {
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
                alike = T[e] + L < T[e + 1] && kids[T[e] + L]->tag == kids[T[e + 1] + L]->tag;
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
                alike = T[e - 1] < T[e] - off && kids[T[e] - off]->tag == kids[T[e - 1] - off]->tag;
            if (!alike) break;
            M = off;
        }
        storeEntry(startOf(r.first), startOf(T[u + 1] - M), r.d, T[u]);
        for (int e = u + 1; e < v; e++)
            storeEntry(startOf(T[e] - M), startOf(T[e + 1] - M), r.d, T[e]);
        storeEntry(startOf(T[v] - M), r.E, r.d, T[v]);
    }
}

// True when the layout describes ranges and timed children inside the
// container's n children, both lists ascending.
bool layoutFits(const EntryLayout& l, int n) {
    const std::vector<int>& D = l.dateChildren;
    const std::vector<int>& T = l.timeChildren;
    int m = static_cast<int>(D.size());
    if (m < 1 || n < 1 || l.shift < 0) return false;
    for (int i = 0; i < m; i++) {
        if (D[i] < 0 || D[i] + l.shift >= n) return false;
        if (i > 0 && D[i] <= D[i - 1]) return false;
    }
    for (std::size_t i = 0; i < T.size(); i++) {
        if (T[i] < 0 || T[i] >= n) return false;
        if (i > 0 && T[i] <= T[i - 1]) return false;
    }
    return l.lastChild >= D[m - 1] && l.lastChild < n;
}

}  // namespace

void separateEntries(const EntryLayout& layout, const std::vector<ChildStamp>& stamps, int expected,
                     EntryTable& table, Diagnostics& diagnostics) {
    table.clear();
    const Node* container = layout.container;
    const int m = static_cast<int>(layout.dateChildren.size());
    const int t = static_cast<int>(layout.timeChildren.size());
    if (container && container->children && layoutFits(layout, container->childCount) &&
        stamps.size() == static_cast<std::size_t>(container->childCount)) {
        Cutter cut{container->children, stamps.data(), table,
                   static_cast<std::size_t>(std::max(m + t, 1))};
        const int* D = layout.dateChildren.data();
        const int lastChild = layout.lastChild;
        for (int i = 0; i < m; i++) {
            Range r;
            r.first = D[i];
            r.d = D[i] + layout.shift;
            r.final = i == m - 1;
            r.hi = r.final ? lastChild : D[i + 1] - 1;
            r.E = r.final ? cut.endOf(lastChild) : cut.startOf(D[i + 1]);
            if (t < m)
                cut.cutByDate(r);
            else
                cut.cutByTime(r, layout.timeChildren.data(), t);
        }
    }
    if (static_cast<int>(table.size()) != expected) diagnostics.report(kSubtleError);
}

}  // namespace w2r
