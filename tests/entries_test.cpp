// Entry detection on purpose-built pages: the result, the container and its
// layout, the entry texts and their timestamps.
#include "entries/entries.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>
#include "dom/tree.h"
#include "entries/page.h"
#include "support.h"

namespace {

using namespace w2r;
using std::string;
using std::to_string;
test::BuiltPage built;
EntryLayout last_layout;  // the cut of the last locate()
const EntryTable& table = built.page.entries();

// Builds the page tree as a conversion does and runs the locator.
LocateResult locate(const string& html) {
    last_layout = EntryLayout();
    built.build(html);
    return locateEntries(test::datePatterns(), built.page, built.messages, &last_layout);
}

// "n=<children> shift=0 last=8 D=0,3,6 T=" of the last cut (the date and
// time counts are the lengths of D and T).
string layout() {
    const EntryLayout& l = last_layout;
    auto join = [](const auto& v) {
        string s;
        for (int x : v) s += (s.empty() ? "" : ",") + to_string(x);
        return s;
    };
    return "n=" + to_string(l.container ? l.container->childCount : -1) + " shift=" + to_string(l.shift) +
           " last=" + to_string(l.lastChild) + " D=" + join(l.dateChildren) + " T=" + join(l.timeChildren);
}

// Entry texts joined by "|", or their timestamps "dateType y-m-d timeType h:m".
string entries(bool stamps) {
    string s;
    for (std::size_t i = 0; i < table.size(); i++) {
        const Timestamp& t = table[i].time;
        s += (i ? "|" : "") + (!stamps
                                   ? string(table[i].html)
                                   : to_string(t.dateType) + " " + to_string(t.year) + "-" + to_string(t.month) + "-" + to_string(t.day) +
                                         " " + to_string(t.timeType) + " " + to_string(t.hour) + ":" + to_string(t.min));
    }
    return s;
}

// A child dated "Monday, January <day>, 2004" (pattern 0); g: a bare date between children.
string d(int day, const string& extra = "", const string& tag = "h2") {
    return "<" + tag + ">Monday, January " + to_string(day) + ", 2004" + extra + "</" + tag + ">";
}
string g(int day) { return "Mon, Jan " + to_string(day) + ", 2004"; }
string rep(const string& s, int n, const string& sep = "") {
    string r;
    for (int i = 0; i < n; i++) r += (i ? sep : "") + s;
    return r;
}
string div(const string& inner) { return "<div>" + inner + "</div>"; }

const string P = "<p>x</p>", B8 = "<p>x>2004-02-03</p>";  // B8: pattern 8
const char* const SUBTLE = "Subtle error occur, recovered\n";

}  // namespace

TEST(EntryDetection, PurposeBuiltPages) {
    const string t1 = "<span>1:00 pm</span>", t2 = "<span>2:00 pm</span>";
    const string ten = "<p>0</p><b>1</b>" + d(2) + "<p>3</p><b>4</b>" + d(5) + "<p>6</p><b>7</b>" + d(8) + "<p>9</p>";
    // Expected layout, entry texts, timestamps ("" = not checked) and output. A page
    // given as "" is its entry texts in one DIV.
    // clang-format off
    const struct { const char* name; string html; LocateResult result; string layout = "", entries = "", stamps = "", out = ""; }
        cases[] = {
        {"no node with four children", div(d(5) + d(6) + d(7)), LocateResult::kNone},
        {"two dated children are passed over", div(d(5) + P + d(6) + P), LocateResult::kNone},
        {"dates 3 inside, 3 in gaps: a tie", div(g(1) + d(5) + g(2) + d(6) + g(3) + d(7) + P), LocateResult::kDatesOutside},
        {"the root's tail runs to the end of the store", P + g(1) + P + g(2) + P + P + g(3), LocateResult::kDatesOutside},
        {"times 4 inside, 1 outside", div("9:00 am" + rep("<p>1:30 pm</p>", 4)), LocateResult::kTimesInside},
        {"times 2 inside, 3 outside", div("9:00 am<p>1:00 pm</p>9:10 am<p>2:00 pm</p>9:20 am" + P + P), LocateResult::kTimesOutside},
        {"February 30 and 2011 are no dates", div(rep("<p>February 30, 2004</p><p>January 5, 2011</p>", 2)), LocateResult::kNone},
        {"only a pattern's first match counts", div(rep("<p>February 30, 2004 or March 3, 2004</p>", 4)), LocateResult::kNone},
        {"three patterns with one date each: a deeper node is searched",
         div("<p>January 9, 2004</p>" + B8 + P + div(d(5) + d(6) + d(7) + P + P)), LocateResult::kEntries, "n=5 shift=0 last=2 D=0,1,2 T="},
        {"impossible pattern-0 date: pattern 5 instead", div(rep("<p>Mon, February 30, 2004 Mon 01-05-2004</p>", 3) + P),
         LocateResult::kEntries, "", "", rep("6 2004-1-5 0 0:0", 3, "|")},
        {"smallest tally above 2 (3 beats 5)", div(d(1) + B8 + d(2) + B8 + d(3) + B8 + d(4) + d(5) + P), LocateResult::kEntries,
         "n=9 shift=0 last=6 D=1,3,5 T=", "", rep("9 2004-2-3 0 0:0", 3, "|")},
        {"equal tallies: lower id", div(rep(B8 + d(1), 4) + P), LocateResult::kEntries, "n=9 shift=0 last=8 D=1,3,5,7 T="},
        {"time tie, date mode", div(d(5) + "<p>@ 9:15</p>" + d(6) + "<p>10:30 pm</p>" + d(7) + "<p>@ 9:45</p><p>11:00 am</p>"),
         LocateResult::kEntries, "n=7 shift=0 last=5 D=0,2,4 T=3,6"},
        {"11 children, dates at 2, 5, 8: complete tail", div(ten + "<b>10</b>"), LocateResult::kEntries, "n=11 shift=0 last=10 D=2,5,8 T=",
         d(2) + "<p>3</p><b>4</b>|" + d(5) + "<p>6</p><b>7</b>|" + d(8) + "<p>9</p><b>10</b>"},
        {"11 children, dates at 2, 5, 8: shift 2", div(ten + "<em>10</em>"), LocateResult::kEntries, "n=11 shift=2 last=8 D=0,3,6 T=",
         "<p>0</p><b>1</b>" + d(2) + "|<p>3</p><b>4</b>" + d(5) + "|<p>6</p><b>7</b>" + d(8),
         "1 2004-1-2 0 0:0|1 2004-1-5 0 0:0|1 2004-1-8 0 0:0"},
        {"irregular gaps: last entry as long as the one before", div(d(5) + P + P + d(6) + P + d(7) + P + "<b>e</b>"),
         LocateResult::kEntries, "n=8 shift=0 last=6 D=0,3,5 T=", d(5) + P + P + "|" + d(6) + P + "|" + d(7) + P},
        {"date mode: the range's last timed child wins, any pattern",
         div(d(5) + "<p>9:00 am</p><p>@ 11:15</p>" + d(6) + "<p>10:30 pm</p>" + d(7) + P), LocateResult::kEntries, "", "",
         "1 2004-1-5 15 11:15|1 2004-1-6 14 22:30|1 2004-1-7 0 0:0"},
        {"time mode, date and time together: M = 0, final head -1", "", LocateResult::kEntries, "n=8 shift=0 last=7 D=0,4,6 T=0,2,4,6,7",
         d(5, " 9:00 am") + "<p>a</p>|<p>10:00 am</p><p>b</p>|" + d(6, " 11:00 am") + "<p>c</p>|" + d(7, " 1:00 pm") +
             "|<p>2:00 pm</p>",
         "1 2004-1-5 14 9:0|1 2004-1-5 14 10:0|1 2004-1-6 14 11:0|1 2004-1-7 14 13:0|1 2004-1-7 14 14:0"},
        {"time closes its entry (L = 2)", "", LocateResult::kEntries, "",
         d(5) + "<p>a</p>" + t1 + "<em>x</em>|<p>b</p>" + t2 + "<em>y</em>|" + d(6) + "<p>c</p>" + t1 + "<em>z</em>|" + d(7) +
             "<p>d</p>" + t2 + "<em>w</em>"},
        {"time opens its entry (M = 1)", "", LocateResult::kEntries, "",
         d(5) + "<b>i</b>" + t1 + P + P + "|<b>j</b>" + t2 + P + P + "|" + d(6) + t1 + "|" + d(7) + t2},
        {"the final range counts its head one shorter", "", LocateResult::kEntries, "n=12 shift=0 last=11 D=0,4,8 T=1,3,5,7,9,11",
         rep(d(5) + t1 + "|" + P + t2 + "|", 2) + d(5) + t1 + P + "|" + t2},
        {"a range without a timed child: count corrected",
         div(d(5) + "<p>1:00 pm</p><b>x</b><p>2:00 pm</p><b>y</b>" + d(6) + P + d(7) + "<p>3:00 pm</p>"), LocateResult::kEntries, "", "",
         "1 2004-1-5 14 13:0|1 2004-1-5 14 14:0|1 2004-1-6 0 0:0|1 2004-1-7 14 15:0", SUBTLE},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        string page = c.entries;
        page.erase(std::remove(page.begin(), page.end(), '|'), page.end());
        ASSERT_EQ(locate(c.html.empty() ? div(page) : c.html), c.result);
        if (c.result != LocateResult::kEntries) {
            EXPECT_TRUE(table.empty());
            continue;
        }
        EXPECT_EQ(c.layout.empty() ? "" : layout(), c.layout);
        EXPECT_EQ(c.entries.empty() ? "" : entries(false), c.entries);
        EXPECT_EQ(c.stamps.empty() ? "" : entries(true), c.stamps);
        EXPECT_EQ(built.printed(), c.out);
    }
}

// The dated list grows past 999; a first gap of 1,000 children is the
// minimum gap, so the last entry takes min(1000, tail) children.
TEST(EntryDetection, LongListsAndWideGaps) {
    ASSERT_EQ(locate(div(rep(d(5) + P, 1200))), LocateResult::kEntries);
    ASSERT_EQ(table.size(), 1200u);
    EXPECT_EQ(table[1199].html, d(5) + P);
    string gap = rep(P, 1000);
    ASSERT_EQ(locate(div(d(5) + gap + d(6) + gap + d(7) + rep(P, 1200))), LocateResult::kEntries);
    EXPECT_EQ(last_layout.lastChild, 2002 + 1000);
}

// Thousands of children, deep nesting with four children on every level,
// and a separator call whose last child lies outside the container.
TEST(EntryDetection, HostileShapes) {
    EXPECT_EQ(locate(div(rep(P, 5000))), LocateResult::kNone);
    string deep = rep("<div><p>a</p><p>b</p><p>c</p>", 1500) + d(5, "", "p") + d(6, "", "p") + d(7, "", "p") + P + rep("</div>", 1500);
    ASSERT_EQ(locate(deep), LocateResult::kEntries);
    EXPECT_EQ(layout(), "n=7 shift=0 last=5 D=3,4,5 T=");
    ASSERT_EQ(locate(div(rep(d(5), 4))), LocateResult::kEntries);
    EntryLayout outside = last_layout;
    outside.dateChildren = {0, 1, 2}, outside.timeChildren = {}, outside.lastChild = 9;
    built.messages.lines.clear();
    separateEntries(outside, std::vector<ChildStamp>(4), 3, built.page.entries(), built.messages);
    EXPECT_EQ(built.printed(), SUBTLE);
    EXPECT_TRUE(table.empty());
}

// The trace of a locator run: each element examined with its tallies and
// how its examination ended, capped in length but fully counted, and the
// same result and cut as a run without it.
TEST(EntryDetection, TraceRecordsEachExamination) {
    using O = StepOutcome;
    // "<outcome> own=<id:n,...> gap=... tail=..." of each step.
    auto steps = [](const LocateTrace& t) {
        string s;
        auto tally = [](const std::vector<int>& v) {
            string out;
            for (std::size_t id = 0; id < v.size(); id++)
                if (v[id]) out += (out.empty() ? "" : ",") + to_string(id) + ":" + to_string(v[id]);
            return out;
        };
        for (const LocateStep& st : t.steps)
            s += (s.empty() ? "" : " / ") + to_string(static_cast<int>(st.outcome)) + " own=" + tally(st.own) + " gap=" + tally(st.gap) +
                 " tail=" + tally(st.tail);
        return s;
    };
    const string mixed = div("<p>January 9, 2004</p>" + B8 + P + div(d(5) + d(6) + d(7) + "<p>1:30 pm</p>" + P));
    const string gapDated = div(g(1) + d(5) + g(2) + d(6) + g(3) + d(7) + P);
    // clang-format off
    const struct { string html; bool modern; LocateResult result; string steps; O decisive; int dateId, timeId; } cases[] = {
        {div(rep(d(5), 4)), false, LocateResult::kEntries, "5 own=0:4 gap= tail=", O::kChosen, 0, -1},
        {mixed, false, LocateResult::kEntries, "1 own=0:1,4:1,8:1,13:1 gap= tail= / 5 own=0:3,13:1 gap= tail=", O::kChosen, 0, 13},
        {gapDated, false, LocateResult::kDatesOutside, "2 own=0:3 gap=0:3 tail=", O::kDatesOutside, -1, -1},
        {div("9:00 am" + rep("<p>1:30 pm</p>", 4)), false, LocateResult::kTimesInside, "3 own=13:4 gap=13:1 tail=", O::kTimesInside, -1, -1},
        {div(d(5) + P + P + P) + g(7), false, LocateResult::kNone, "0 own=0:1 gap= tail=", O::kFewStamps, -1, -1},
        // The extraction rules: dates between the children cut as units of
        // their own, and the extra forms tallied past the fifteen.
        {gapDated, true, LocateResult::kEntries, "5 own=0:3 gap=0:3 tail=", O::kChosen, 0, -1},
        {div("<p>1 maart 2022</p><p>2 maart 2022</p><p>3 maart 2022</p>" + P), true, LocateResult::kEntries,
         "5 own=15:3 gap= tail=", O::kChosen, kExtraDateId, -1},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        LocateOptions options;
        if (c.modern) {
            last_layout = EntryLayout();
            built.build(c.html);
            built.page.extraDates().prepare(built.page.tree().storeBegin(), built.page.tree().storeEnd(), {1995, 2030});
            options.extraDates = &built.page.extraDates();
            options.gapUnits = options.mostDated = options.groupedLists = options.pairs = true;
            ASSERT_EQ(locateEntries(test::datePatterns(), built.page, built.messages, &last_layout, options), c.result);
        } else {
            ASSERT_EQ(locate(c.html), c.result);
        }
        const string plain = layout() + entries(true);
        LocateTrace trace;
        trace.examined = 99;  // a trace is cleared first
        ASSERT_EQ(locateEntries(test::datePatterns(), built.page, built.messages, &last_layout, options, &trace), c.result);
        EXPECT_EQ(layout() + entries(true), plain);
        EXPECT_EQ(steps(trace), c.steps);
        EXPECT_EQ(trace.examined, trace.steps.size());
        EXPECT_EQ(trace.decided, c.result != LocateResult::kNone);
        if (!trace.decided) continue;
        EXPECT_EQ(trace.decisiveNumber, trace.examined);
        EXPECT_EQ(trace.decisive.outcome, c.decisive);
        EXPECT_EQ(trace.decisive.dateId, c.dateId);
        EXPECT_EQ(trace.decisive.timeId, c.timeId);
    }
    // 301 elements examined (the DIV and its 300 children), the first 200 kept.
    built.build(div(rep("<p>" + rep(P, 4) + "</p>", 300)));
    LocateTrace trace;
    ASSERT_EQ(locateEntries(test::datePatterns(), built.page, built.messages, nullptr, {}, &trace), LocateResult::kNone);
    EXPECT_EQ(trace.examined, 301u);
    EXPECT_EQ(trace.steps.size(), LocateTrace::kMaxSteps);
    EXPECT_EQ(trace.steps[0].node->childCount, 300);
}
