// Entry locator: searches the page tree breadth-first for the first element
// whose children carry a recurring date, chooses the date and time patterns
// that mark the entries, works out where the first entry begins and where
// the last one ends, and hands the cutting to separateEntries.
#include <algorithm>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

#include "dates/dates.h"
#include "dates/extra_index.h"
#include "dom/tree.h"
#include "entries/entries.h"
#include "entries/page.h"

namespace w2r {
namespace {

// The date searches of one locator run. With extra forms, the pattern ids
// kExtraDateId, kExtraStampId and kExtraTimeId follow the fifteen.
// Matches inside tags passed over in one text before giving up on a pattern.
constexpr int kMaxSkippedInTags = 4;

struct DateSearch {
    const DatePatterns& patterns;
    DateIndex& index;
    DateMatch match;
    ExtraDateIndex* extra = nullptr;
    bool gapUnits = false;
    bool mostDated = false;
    bool groupedLists = false;
    const char* storeBegin = nullptr;
    const char* storeEnd = nullptr;
    bool avoidTitles = false;  // see findDate
    // Children a date pattern must date to mark entries.
    int minDated = 3;
    bool search(int id, const char* a, const char* b) {
        return index.search(patterns, id, a, b, match);
    }
    int idCount() const { return extra ? kPatternCount + 3 : kPatternCount; }
    bool isDateId(int id) const {
        return id < kFirstTimePattern || id == kExtraDateId || id == kExtraStampId;
    }
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether a match is taken in the extraction mode: its first field is not
// inside a tag (an attribute value), and (but for the numeric patterns,
// which readNumberGroups reads) each number it reads is a whole number,
// not part of a longer one: "September 2004 (12)" holds no 4 September
// 2012.
bool acceptable(DateSearch& ds, int id) {
    const DateMatch& m = ds.match;
    const char* at = m.size() > 1 && m[1].matched ? m[1].first : m[0].first;
    if (ds.extra->insideTag(at) || endsDateRange(at, ds.storeBegin)) return false;
    if (ds.avoidTitles && inTitleHeading(at, m[0].second, ds.storeBegin, ds.storeEnd)) return false;
    if (id == 8 || id == 9) return true;
    for (std::size_t k = 1; k < m.size(); k++) {
        if (!m[k].matched || m[k].first == m[k].second || !isDigit(*m[k].first)) continue;
        if (m[k].first > ds.storeBegin && isDigit(m[k].first[-1])) return false;
        if (isDigit(*m[k].second)) return false;  // the store is NUL-terminated
    }
    return true;
}

// Reads a match of a numeric pattern (8: year first, 9: month or day
// first) from whole digit groups: the patterns can match the tail of a
// longer number ("1/12/2021" inside "31/12/2021"). False when the groups
// around the match do not have the pattern's shape.
bool readNumberGroups(const DateMatch& m, int id, const char* storeBegin, int& year, int& month,
                      int& day) {
    const char* p = m[1].first;
    while (p > storeBegin && isDigit(p[-1])) --p;
    int value[3];
    int digits[3];
    for (int k = 0; k < 3; k++) {
        if (k > 0) {
            if (*p != '-' && *p != '/' && *p != '.' && *p != '|') return false;
            ++p;
        }
        value[k] = digits[k] = 0;
        for (; isDigit(*p) && digits[k] < 5; ++p, ++digits[k])
            value[k] = value[k] * 10 + (*p - '0');
    }
    if (isDigit(*p)) return false;  // the store is NUL-terminated
    auto fullYear = [](int y) { return y <= 49 ? y + 2000 : y <= 99 ? y + 1900 : y; };
    if (id == 8) {
        if (digits[0] != 4 || digits[1] > 2 || digits[2] > 2 || !digits[1] || !digits[2])
            return false;
        year = value[0], month = value[1], day = value[2];
    } else {
        if (digits[0] > 2 || digits[1] > 2 || (digits[2] != 2 && digits[2] != 4) || !digits[0] ||
            !digits[1])
            return false;
        year = fullYear(value[2]), month = value[0], day = value[1];
    }
    return true;
}

// The first match of pattern id in [a, b); with the extra forms, matches
// that are not acceptable are passed over.
bool searchText(DateSearch& ds, int id, const char* a, const char* b) {
    if (!ds.search(id, a, b)) return false;
    if (!ds.extra) return true;
    for (int skipped = 0; skipped < kMaxSkippedInTags; skipped++) {
        if (acceptable(ds, id)) return true;
        const DateMatch& m = ds.match;
        const char* from = m[0].second > m[0].first ? m[0].second : m[0].first + 1;
        if (from >= b || !ds.search(id, from, b)) return false;
    }
    return false;
}

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
bool findDateOnce(DateSearch& ds, const char* a, const char* b, ChildStamp* st) {
    if (a >= b) return false;  // no pattern matches empty text
    int year = 0, month = 0, day = 0, type = 0;
    for (int id = 0; id < kFirstTimePattern && !type; id++) {
        // The numeric patterns start at the ">" that ends a tag: a text
        // that starts right after one (a unit of text between elements)
        // is searched from that ">".
        const char* from =
            ds.extra && (id == 8 || id == 9) && a > ds.storeBegin && a[-1] == '>' ? a - 1 : a;
        if (!searchText(ds, id, from, b)) continue;
        year = getYear(ds.match, id);
        month = getMonth(ds.match, id);
        day = getDay(ds.match, id);
        if (ds.extra && (id == 8 || id == 9) &&
            !readNumberGroups(ds.match, id, ds.storeBegin, year, month, day))
            continue;
        // A page that writes numeric dates day first ("31/12/2021") is read
        // so throughout, also where the day is 12 or less.
        if (id == 9 && ds.extra && ds.extra->dayFirstNumbers()) std::swap(month, day);
        if (isValidDate(year, month, day, ds.patterns.years())) type = id + 1;
    }
    ExtraStamp extra;
    if (!type && ds.extra && ds.extra->findDate(a, b, extra, ds.avoidTitles)) {
        type = (extra.markup ? kExtraStampId : kExtraDateId) + 1;
        year = extra.year;
        month = extra.month;
        day = extra.day;
    }
    if (!type) return false;
    if (st) {
        st->hasDate = true;
        st->dateType = static_cast<signed char>(type);
        st->year = static_cast<short>(year);
        st->month = static_cast<signed char>(month);
        st->day = static_cast<signed char>(day);
    }
    return true;
}

// With the extra forms, a date that is not part of a post's title (a
// heading that says more than the date) is looked for first.
bool findDate(DateSearch& ds, const char* a, const char* b, ChildStamp* st) {
    if (ds.extra) {
        ds.avoidTitles = true;
        bool found = findDateOnce(ds, a, b, st);
        ds.avoidTitles = false;
        if (found) return true;
    }
    return findDateOnce(ds, a, b, st);
}

// The same for the time patterns.
bool findTime(DateSearch& ds, const char* a, const char* b, ChildStamp* st) {
    if (a >= b) return false;
    int hour = 0, min = 0, type = 0;
    for (int id = kFirstTimePattern; id < kPatternCount && !type; id++) {
        if (!searchText(ds, id, a, b)) continue;
        hour = getHour(ds.match, id);
        min = getMin(ds.match, id);
        if (isValidTime(hour, min)) type = id + 1;
    }
    ExtraStamp extra;
    if (!type && ds.extra && ds.extra->findTime(a, b, extra)) {
        type = kExtraTimeId + 1;
        hour = extra.hour;
        min = extra.minute;
    }
    if (!type) return false;
    if (st) {
        st->hasTime = true;
        st->timeType = static_cast<signed char>(type);
        st->hour = static_cast<signed char>(hour);
        st->min = static_cast<signed char>(min);
    }
    return true;
}

// Counts one text dated or timed by pattern type (id + 1) in a trace tally.
void tally(std::vector<int>& counts, int type) {
    if (type <= 0) return;
    if (counts.size() < static_cast<std::size_t>(type))
        counts.resize(static_cast<std::size_t>(type));
    counts[static_cast<std::size_t>(type - 1)]++;
}

struct Counters {
    int insideDates = 0, insideTimes = 0;
    int outsideDates = 0, outsideTimes = 0;
};

// Tests every child's own text and gap text, then the container's tail
// text. The findings of the children's own texts go to stamps, one per
// child; gap and tail texts are only counted. With step, every finding is
// tallied there too.
Counters scanTexts(DateSearch& ds, const Node* box, const char* storeEnd,
                   std::vector<ChildStamp>& stamps, LocateStep* step) {
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
        // Gap texts are only counted (and tallied for a trace).
        const char* g = i == 0 ? box->start : nodeEnd(c[i - 1]);
        ChildStamp gap;
        ChildStamp* traced = step ? &gap : nullptr;
        if (findDate(ds, g, ch->start, traced)) cnt.outsideDates++;
        if (findTime(ds, g, ch->start, traced)) cnt.outsideTimes++;
        if (step) {
            tally(step->own, st.dateType);
            tally(step->own, st.timeType);
            tally(step->gap, gap.dateType);
            tally(step->gap, gap.timeType);
        }
    }
    // The root's own range is empty: its tail runs to the end of the store.
    const char* a = nodeEnd(c[n - 1]);
    const char* b = box->end && box->end >= a ? box->end : storeEnd;
    ChildStamp tail;
    ChildStamp* traced = step ? &tail : nullptr;
    if (findDate(ds, a, b, traced)) cnt.outsideDates++;
    if (findTime(ds, a, b, traced)) cnt.outsideTimes++;
    if (step) {
        tally(step->tail, tail.dateType);
        tally(step->tail, tail.timeType);
    }
    return cnt;
}

// The value of the class attribute of the tag that opens n ("" when none).
std::string_view classOf(const Node* n) {
    const char* end = nodeEnd(n);
    const char* close = std::find(static_cast<const char*>(n->start), end, '>');
    std::string_view tag(n->start, static_cast<std::size_t>(close - n->start));
    std::size_t at = tag.find("class=");
    if (at == std::string_view::npos) return {};
    at += 6;
    if (at >= tag.size()) return {};
    char quote = tag[at];
    if (quote == '"' || quote == '\'') {
        std::size_t to = tag.find(quote, at + 1);
        return tag.substr(at + 1, to == std::string_view::npos ? to : to - at - 1);
    }
    std::size_t to = tag.find_first_of(" \t\n\r/", at);
    return tag.substr(at, to == std::string_view::npos ? to : to - at);
}

bool sameKind(const Node* a, const Node* b) { return a->tag == b->tag && classOf(a) == classOf(b); }

// Several posts under one date header (weblogs that print the day once):
// each entry opens with its dated child, and the child after it is the
// post. When most entries have such a post child of one kind (tag and
// class), a later undated child of that kind inside an entry starts a post
// of its own, dated like its entry. The new starts go into layout and
// their dates into stamps. A post holds kMinPostBytes of text and markup
// at least; a day has at most kMaxPostsPerDay posts (more are the rows of
// something else).
constexpr long kMinPostBytes = 256;
constexpr int kMaxPostsPerDay = 10;

void splitPosts(const Node* box, std::vector<ChildStamp>& stamps, EntryLayout& layout) {
    Node** c = box->children;
    const std::vector<int>& D = layout.dateChildren;
    const int m = static_cast<int>(D.size());
    auto last = [&](int i) {
        return i + 1 < m ? D[static_cast<std::size_t>(i) + 1] - 1 : layout.lastChild;
    };
    auto post = [&](int i) {
        int k = D[static_cast<std::size_t>(i)] + 1;
        return k <= last(i) && !stamps[static_cast<std::size_t>(k)].hasDate ? k : -1;
    };
    // The kind of post child most entries have.
    int best = -1, bestCount = 0;
    for (int i = 0; i < m; i++) {
        int k = post(i);
        if (k < 0) continue;
        int count = 0;
        for (int j = 0; j < m; j++)
            if (post(j) >= 0 && sameKind(c[post(j)], c[k])) count++;
        if (count > bestCount) best = k, bestCount = count;
        if (bestCount * 2 > m) break;
    }
    if (best < 0 || bestCount * 2 <= m || bestCount < 2) return;
    std::vector<int> starts;
    for (int i = 0; i < m; i++) {
        int d = D[static_cast<std::size_t>(i)];
        starts.push_back(d);
        int posts = 1;
        for (int k = d + 2; k <= last(i) && posts < kMaxPostsPerDay; k++) {
            ChildStamp& st = stamps[static_cast<std::size_t>(k)];
            if (st.hasDate || !sameKind(c[k], c[best]) ||
                nodeEnd(c[k]) - c[k]->start < kMinPostBytes)
                continue;
            starts.push_back(k);
            posts++;
            const ChildStamp& dated = stamps[static_cast<std::size_t>(d)];
            st.dateType = dated.dateType;
            st.year = dated.year;
            st.month = dated.month;
            st.day = dated.day;
        }
    }
    layout.dateChildren = std::move(starts);
}

// When the dated children are all of one kind (tag and class), a child of
// that kind dated by another pattern (a post whose text shows a date in
// another form first) opens an entry too.
void addAlikeDated(Node** c, int n, const std::vector<ChildStamp>& stamps, std::vector<int>& D) {
    if (D.size() < 3) return;
    for (int d : D)
        if (!sameKind(c[d], c[D[0]])) return;
    std::vector<int> all;
    for (int k = 0, next = 0; k < n; k++) {
        bool chosen = next < static_cast<int>(D.size()) && D[static_cast<std::size_t>(next)] == k;
        if (chosen) next++;
        if (chosen || (stamps[static_cast<std::size_t>(k)].hasDate && sameKind(c[k], c[D[0]])))
            all.push_back(k);
    }
    D.swap(all);
}

// Chooses the patterns, measures the layout and cuts the entries. Keeps
// searching when no date pattern is carried by three or more children.
Outcome cutEntries(const DateSearch& ds, const Node* box, const std::vector<ChildStamp>& stamps,
                   EntryTable& table, Diagnostics& diagnostics, EntryLayout* out,
                   LocateStep* step) {
    int n = box->childCount;
    Node** c = box->children;

    const int ids = ds.idCount();
    std::vector<int> tally(static_cast<std::size_t>(ids), 0);
    for (int i = 0; i < n; i++) {
        const ChildStamp& st = stamps[static_cast<std::size_t>(i)];
        if (st.hasDate && st.dateType >= 1 && st.dateType <= ids) tally[st.dateType - 1]++;
        if (st.hasTime && st.timeType >= 1 && st.timeType <= ids) tally[st.timeType - 1]++;
    }
    // The smallest tally above 2 marks the entries (the largest with
    // mostDated); lower id on ties.
    int dateId = -1;
    for (int id = 0; id < ids; id++) {
        if (!ds.isDateId(id) || tally[id] < ds.minDated) continue;
        if (dateId < 0 || (ds.mostDated ? tally[id] > tally[dateId] : tally[id] < tally[dateId]))
            dateId = id;
    }
    if (dateId < 0) return kKeepSearching;
    // The largest time tally; lower id on ties; none when all are 0.
    int timeId = -1;
    for (int id = kFirstTimePattern; id < ids; id++)
        if (!ds.isDateId(id) && tally[id] > (timeId < 0 ? 0 : tally[timeId])) timeId = id;
    if (step) {
        step->dateId = dateId;
        step->timeId = timeId;
    }

    std::vector<int> D, T;
    for (int i = 0; i < n; i++) {
        const ChildStamp& st = stamps[static_cast<std::size_t>(i)];
        // Printed dates of the extra forms go with the chosen pattern, and
        // the other way round: a page whose month names are partly English
        // ("19 november 2015", "28 maart 2022") has them in both.
        bool joined = ds.mostDated && st.hasDate && st.dateType != kExtraStampId + 1 &&
                      (st.dateType == kExtraDateId + 1 || dateId == kExtraDateId);
        if (st.dateType == dateId + 1 || joined) D.push_back(i);
        if (timeId >= 0 && st.timeType == timeId + 1) T.push_back(i);
    }
    if (ds.mostDated) addAlikeDated(c, n, stamps, D);
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
    if (ds.mostDated && shift == 0 && t < m) {
        std::vector<ChildStamp> split = stamps;
        splitPosts(box, split, layout);
        int made = static_cast<int>(layout.dateChildren.size());
        separateEntries(layout, split, made, table, diagnostics);
    } else {
        separateEntries(layout, stamps, std::max(m, t), table, diagnostics);
    }
    if (out) *out = std::move(layout);
    return {true, LocateResult::kEntries};
}

// Tag of the text between two children taken as a unit of its own.
constexpr int kGapUnitTag = -1;

bool hasNonSpace(const char* a, const char* b) {
    for (; a < b; ++a)
        if (*a != ' ' && *a != '\t' && *a != '\n' && *a != '\r' && *a != '\f') return true;
    return false;
}

// Units to cut instead of a container's children: children, texts between
// them taken as units of their own, and the children of groups.
struct UnitList {
    std::deque<Node> gaps;  // the text units; a deque keeps their addresses
    std::vector<Node*> units;

    // The text [a, b) as a unit, unless it is blank.
    void addGap(const char* a, const char* b) {
        if (!hasNonSpace(a, b)) return;
        Node g{};
        g.tag = kGapUnitTag;
        g.start = const_cast<char*>(a);
        g.end = const_cast<char*>(b);
        gaps.push_back(g);
        units.push_back(&gaps.back());
    }
    // The children of box with the texts before, between and after them.
    void addChildren(const Node* box, const char* boxEnd) {
        const int n = box->childCount;
        Node** c = box->children;
        for (int i = 0; i < n; i++) {
            addGap(i == 0 ? box->start : nodeEnd(c[i - 1]), c[i]->start);
            units.push_back(c[i]);
        }
        const char* tail = nodeEnd(c[n - 1]);
        addGap(tail, boxEnd && boxEnd >= tail ? boxEnd : tail);
    }
    // Cuts the units like the children of box. The layout names box; its
    // indices count units.
    // The units are scanned afresh; step, when given, gets the patterns
    // chosen (its tallies stay those of the container's children).
    Outcome cut(DateSearch& ds, const Node* box, const char* storeEnd,
                std::vector<ChildStamp>& stamps, EntryTable& table, Diagnostics& diagnostics,
                EntryLayout* out, LocateStep* step) {
        Node whole = *box;
        whole.childCount = static_cast<int>(units.size());
        whole.children = units.data();
        Counters cnt = scanTexts(ds, &whole, storeEnd, stamps, nullptr);
        if (cnt.insideDates <= 2 || cnt.insideDates <= cnt.outsideDates)
            return {false, LocateResult::kDatesOutside};
        Outcome o = cutEntries(ds, &whole, stamps, table, diagnostics, out, step);
        if (out) out->container = box;
        return o;
    }
};

const char* boxEnd(const Node* box, const char* storeEnd) {
    const char* tail = nodeEnd(box->children[box->childCount - 1]);
    return box->end && box->end >= tail ? box->end : storeEnd;
}

// Dates printed between the children of box (archive lists, a date then
// a link per line, definition lists): the texts before, between and after
// the children become units beside them, and the units are cut as children
// are.
Outcome cutUnits(DateSearch& ds, const Node* box, const char* storeEnd,
                 std::vector<ChildStamp>& stamps, EntryTable& table, Diagnostics& diagnostics,
                 EntryLayout* out, LocateStep* step) {
    UnitList list;
    list.addChildren(box, boxEnd(box, storeEnd));
    Outcome o = list.cut(ds, box, storeEnd, stamps, table, diagnostics, out, step);
    return o.found ? o : Outcome{true, LocateResult::kDatesOutside};
}

// How many children of n carry a date.
int datedChildren(DateSearch& ds, const Node* n) {
    int dated = 0;
    for (int k = 0; k < n->childCount; k++) {
        const Node* g = n->children[k];
        dated += findDate(ds, g->start, nodeEnd(g), nullptr);
    }
    return dated;
}

// Entries grouped under headings (archives by year or month): when two or
// more dated children each hold three or more dated children of their own,
// these groups are replaced by what they hold, and the units are cut. False
// when box has no such groups or the units give no entries.
bool cutGroups(DateSearch& ds, const Node* box, const char* storeEnd,
               std::vector<ChildStamp>& stamps, EntryTable& table, Diagnostics& diagnostics,
               EntryLayout* out, LocateStep* step, Outcome& result) {
    const int n = box->childCount;
    Node** c = box->children;
    std::vector<bool> group(static_cast<std::size_t>(n), false);
    int groups = 0, inner = 0;
    for (int i = 0; i < n; i++) {
        const Node* ch = c[i];
        if (!stamps[static_cast<std::size_t>(i)].hasDate || ch->childCount < 2) continue;
        int dated = datedChildren(ds, ch);
        if (dated < 3) continue;
        group[static_cast<std::size_t>(i)] = true;
        groups++;
        inner += dated;
    }
    if (groups < 2) return false;
    UnitList list;
    for (int i = 0; i < n; i++) {
        if (i > 0) list.addGap(nodeEnd(c[i - 1]), c[i]->start);
        if (group[static_cast<std::size_t>(i)])
            list.addChildren(c[i], nodeEnd(c[i]));
        else
            list.units.push_back(c[i]);
    }
    result = list.cut(ds, box, storeEnd, stamps, table, diagnostics, out, step);
    return result.found;
}

// Examines one node with four or more children; step, when given, gets
// what was found and how the examination ended.
Outcome examine(DateSearch& ds, const Node* box, const char* storeEnd,
                std::vector<ChildStamp>& stamps, EntryTable& table, Diagnostics& diagnostics,
                EntryLayout* out, LocateStep* step) {
    Counters cnt = scanTexts(ds, box, storeEnd, stamps, step);
    Outcome o = kKeepSearching;
    StepOutcome how = StepOutcome::kFewStamps;
    if (cnt.insideDates > 2 || cnt.outsideDates > 2) {
        if (cnt.insideDates <= cnt.outsideDates) {
            if (ds.gapUnits) {
                o = cutUnits(ds, box, storeEnd, stamps, table, diagnostics, out, step);
            } else {
                o = {true, LocateResult::kDatesOutside};
            }
            how = o.result == LocateResult::kEntries ? StepOutcome::kChosen
                                                     : StepOutcome::kDatesOutside;
        } else {
            bool grouped = ds.groupedLists &&
                           cutGroups(ds, box, storeEnd, stamps, table, diagnostics, out, step, o);
            if (!grouped) {
                // The groups' scan replaced the children's findings.
                if (ds.groupedLists) scanTexts(ds, box, storeEnd, stamps, nullptr);
                o = cutEntries(ds, box, stamps, table, diagnostics, out, step);
            }
            how = o.found ? StepOutcome::kChosen : StepOutcome::kNoCommonDate;
        }
    } else if (cnt.insideTimes > 2 || cnt.outsideTimes > 2) {
        bool inside = cnt.insideTimes > cnt.outsideTimes;
        o = {true, inside ? LocateResult::kTimesInside : LocateResult::kTimesOutside};
        how = inside ? StepOutcome::kTimesInside : StepOutcome::kTimesOutside;
    }
    if (step) {
        step->insideDates = cnt.insideDates;
        step->insideTimes = cnt.insideTimes;
        step->outsideDates = cnt.outsideDates;
        step->outsideTimes = cnt.outsideTimes;
        step->outcome = how;
    }
    return o;
}

// Pages that list only two entries: the first element, breadth-first,
// with two or more children of the same tag and class that the same date
// pattern dates, on different days, none a group of dated children, and
// no child dated otherwise, is cut like a container. The entries must be posts, not lines of a list: each
// holds kMinPairBytes of text and markup at least.
constexpr std::size_t kMinPairBytes = 256;

bool findPair(DateSearch& ds, const Tree& tree, std::vector<ChildStamp>& stamps, EntryTable& table,
              Diagnostics& diagnostics, EntryLayout* out) {
    const char* storeEnd = tree.storeEnd();
    // One element's children as a pair of entries, if they are one.
    auto tryPair = [&](const Node* cur) {
        scanTexts(ds, cur, storeEnd, stamps, nullptr);
        const Node* first = nullptr;
        const ChildStamp* firstStamp = nullptr;
        int dated = 0;
        bool alike = true, sameDay = true;
        for (int i = 0; i < cur->childCount && alike; i++) {
            const ChildStamp& st = stamps[static_cast<std::size_t>(i)];
            if (!st.hasDate) continue;
            const Node* ch = cur->children[i];
            if (!first) {
                first = ch;
                firstStamp = &st;
            }
            alike = st.dateType == firstStamp->dateType && ch->tag == first->tag &&
                    classOf(ch) == classOf(first) && datedChildren(ds, ch) < 2;
            sameDay = sameDay && st.year == firstStamp->year && st.month == firstStamp->month &&
                      st.day == firstStamp->day;
            dated++;
        }
        // One post shown twice (the post and a box about it) has one date.
        if (!alike || dated < 2 || sameDay) return false;
        ds.minDated = 2;
        CollectedDiagnostics messages;
        EntryLayout layout;
        Outcome o = cutEntries(ds, cur, stamps, table, messages, &layout, nullptr);
        ds.minDated = 3;
        bool posts = o.found && o.result == LocateResult::kEntries && !table.empty();
        for (const Entry& e : table) posts = posts && e.html.size() >= kMinPairBytes;
        if (!posts) {
            table.clear();
            return false;
        }
        for (const std::string& line : messages.lines) diagnostics.report(line);
        if (out) *out = std::move(layout);
        return true;
    };
    // Breadth first, one level at a time.
    std::vector<const Node*> level{&tree.root()}, below;
    while (!level.empty()) {
        below.clear();
        for (const Node* cur : level) {
            if (cur->childCount <= 0 || !cur->children) continue;
            below.insert(below.end(), cur->children, cur->children + cur->childCount);
            if (cur->childCount >= 2 && tryPair(cur)) return true;
        }
        level.swap(below);
    }
    return false;
}

}  // namespace

LocateResult locateEntries(const DatePatterns& patterns, Page& page, Diagnostics& diagnostics,
                           EntryLayout* layout, const LocateOptions& options, LocateTrace* trace) {
    if (trace) *trace = LocateTrace();
    Tree& tree = page.tree();
    const char* storeEnd = tree.storeEnd();
    DateSearch ds{patterns,         page.dateIndex(),  DateMatch(),          options.extraDates,
                  options.gapUnits, options.mostDated, options.groupedLists, tree.storeBegin(),
                  tree.storeEnd()};
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
        LocateStep* step = nullptr;
        if (trace) {
            trace->examined++;
            trace->decisive = LocateStep();
            trace->decisive.node = cur;
            step = &trace->decisive;
        }
        found = examine(ds, cur, storeEnd, stamps, page.entries(), diagnostics, layout, step);
        if (trace) {
            if (trace->steps.size() < LocateTrace::kMaxSteps) trace->steps.push_back(*step);
            if (found.found) {
                trace->decided = true;
                trace->decisiveNumber = trace->examined;
            }
        }
        return found.found;
    };
    // The search ended at an element that gives no entries: a page with
    // two posts may still have them.
    auto finish = [&]() {
        if (found.result != LocateResult::kEntries && options.pairs &&
            findPair(ds, tree, stamps, page.entries(), diagnostics, layout))
            return LocateResult::kEntries;
        return found.result;
    };
    if (visit(root)) return finish();
    while (!next.empty()) {
        parents.swap(next);
        next.clear();
        for (Node* parent : parents)
            for (int i = 0; i < parent->childCount; i++)
                if (visit(parent->children[i])) return finish();
    }
    if (!options.pairs) return LocateResult::kNone;
    if (!prepared) ds.index.prepare(tree.storeBegin(), storeEnd);
    return findPair(ds, tree, stamps, page.entries(), diagnostics, layout) ? LocateResult::kEntries
                                                                           : LocateResult::kNone;
}

}  // namespace w2r
