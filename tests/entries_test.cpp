// Entry detection on purpose-built pages: which node is chosen, how its
// children are cut into entries, and the timestamps they get.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dates/dates.h"
#include "dom/builder.h"
#include "dom/dom.h"
#include "entries/entries.h"
#include "scanner/vobHTMLParser.h"

namespace {

// Builds the page tree of html the way the driver does and runs the locator.
int locate(const std::string& html) {
    static bool ready = [] {
        initializeDateRE();
        registerDOMHandlers();
        return true;
    }();
    (void)ready;
    releaseTree();
    freeEntries();
    last_layout = EntryLayout();
    resetParseState();
    std::memcpy(tmp, html.c_str(), html.size() + 1);
    useString(tmp);
    while (html_lex() != HTML_END) {
    }
    deleteCurrentBuf();
    if (!tag_stack.empty()) closeOpenElements();
    return DOMParseBFS(&root);
}

// Same, capturing what the locator writes on standard output.
int locateQuiet(const std::string& html, std::string& out) {
    testing::internal::CaptureStdout();
    int r = locate(html);
    out = testing::internal::GetCapturedStdout();
    return r;
}

std::vector<std::string> entryTexts() {
    std::vector<std::string> v;
    for (int i = 0; i < blogentries_count; i++)
        v.push_back(blogentries[i] ? blogentries[i] : "(null)");
    return v;
}

// "dateType y-m-d timeType h:m" of entry i.
std::string stamp(int i) {
    const timestamp& t = timestampentries[i];
    return std::to_string(t.dateType) + " " + std::to_string(t.year) + "-" +
           std::to_string(t.month) + "-" + std::to_string(t.day) + " " +
           std::to_string(t.timeType) + " " + std::to_string(t.hour) + ":" +
           std::to_string(t.min);
}

std::string dated(const char* tag, int day, const char* extra = "") {
    return std::string("<") + tag + ">Monday, January " + std::to_string(day) +
           ", 2004" + extra + "</" + tag + ">";
}

std::string repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; i++) r += s;
    return r;
}

node* onlyDiv() { return root.children[0]; }

}  // namespace

// Which result a page gives when no entries are cut, or that it gives 1.
TEST(Locator, ResultCodes) {
    const std::string p = "<p>text</p>";
    struct Case {
        const char* name;
        std::string html;
        int result;
    } cases[] = {
        {"no node with four children",
         "<div>" + dated("p", 5) + dated("p", 6) + dated("p", 7) + "</div>",
         BFS_NONE},
        {"two dated children are passed over",
         "<div>" + dated("p", 5) + p + dated("p", 6) + p + "</div>", BFS_NONE},
        {"three dated children make entries",
         "<div>" + dated("p", 5) + dated("p", 6) + dated("p", 7) + p + "</div>",
         BFS_ENTRIES},
        {"3 inside and 3 in gaps is a tie against entries",
         "<div>Monday, January 1, 2004" + dated("p", 5) +
             "Monday, January 2, 2004" + dated("p", 6) +
             "Monday, January 3, 2004" + dated("p", 7) + p + "</div>",
         BFS_DATES_OUTSIDE},
        {"dates only in gaps",
         "<div>" + p + "Monday, January 2, 2004" + p +
             "Monday, January 3, 2004" + p + "Monday, January 4, 2004" + p +
             "</div>",
         BFS_DATES_OUTSIDE},
        {"only times, more inside",
         "<div>Sat 9:00 am" + repeat("<p>10:30 pm</p>", 4) + "</div>",
         BFS_TIMES_INSIDE},
        {"only times, more outside",
         "<div>9:00 am<p>1:00 pm</p>9:10 am<p>2:00 pm</p>9:20 am" + p + p +
             "</div>",
         BFS_TIMES_OUTSIDE},
        {"invalid dates: February 30 and the year 2011",
         "<div><p>February 30, 2004</p><p>January 5, 2011</p>"
         "<p>February 30, 2004</p><p>April 31, 2004</p></div>",
         BFS_NONE},
        {"a first match that is invalid hides a valid second one",
         "<div>" + repeat("<p>February 30, 2004 or March 3, 2004</p>", 4) +
             "</div>",
         BFS_NONE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(locate(c.html), c.result) << c.name;
        if (c.result != BFS_ENTRIES) {
            EXPECT_EQ(blogentries_count, 0) << c.name;
            EXPECT_EQ(blogentries, nullptr) << c.name;
        }
    }
}

// The root's tail text runs to the end of the stored text: the third
// outside date stands after the last top-level element.
TEST(Locator, RootTailRunsToEndOfStore) {
    std::string html = "<p>a</p>Monday, January 1, 2004<p>b</p>"
                       "Monday, January 2, 2004<p>c</p><p>d</p>"
                       "Monday, January 3, 2004";
    EXPECT_EQ(locate(html), BFS_DATES_OUTSIDE);
    EXPECT_TRUE(root.hasTailDate);
    EXPECT_EQ(root.tailDateType, 1);
    EXPECT_EQ(root.tailDay, 3);
}

// Three dates over three patterns let the search go on to a deeper node.
TEST(Locator, ScatteredPatternsLetTheSearchContinue) {
    std::string inner = "<div>" + dated("h2", 5) + dated("h2", 6) +
                        dated("h2", 7) + "<p>x</p></div>";
    std::string html = "<div><p>January 9, 2004</p><p>x>2004-01-08</p>"
                       "<p>x</p>" +
                       inner + "</div>";
    ASSERT_EQ(locate(html), BFS_ENTRIES);
    EXPECT_EQ(last_layout.container, onlyDiv()->children[3]);
    EXPECT_EQ(onlyDiv()->children[0]->dateType, 5);
    EXPECT_EQ(onlyDiv()->children[1]->dateType, 9);
    EXPECT_EQ(onlyDiv()->children[3]->dateType, 1);
    EXPECT_EQ(blogentries_count, 3);
}

// A child whose first pattern-0 match is impossible is counted for the
// next pattern that validates; the invalid values stay in the node.
TEST(Locator, InvalidFirstPatternFallsThroughToNextId) {
    std::string d = "<p>Monday, February 30, 2004 Monday 01-05-2004</p>";
    ASSERT_EQ(locate("<div>" + repeat(d, 3) + "<p>x</p></div>"), BFS_ENTRIES);
    EXPECT_EQ(last_layout.dateCount, 3);
    EXPECT_EQ(stamp(0), "6 2004-1-5 0 0:0");
}

// The smallest tally above 2 chooses the date pattern; lower id on ties.
TEST(Locator, SmallestTallyChoosesThePattern) {
    std::string a = dated("p", 5);          // pattern 0
    std::string b = "<p>x>2004-02-03</p>";  // pattern 8
    std::string x = "<p>x</p>";
    ASSERT_EQ(locate("<div>" + a + b + a + b + a + b + a + a + x + "</div>"),
              BFS_ENTRIES);
    EXPECT_EQ(last_layout.dateCount, 3);
    EXPECT_EQ(last_layout.dateChildren, (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(stamp(0), "9 2004-2-3 0 0:0");

    ASSERT_EQ(locate("<div>" + b + a + b + a + b + a + b + a + x + "</div>"),
              BFS_ENTRIES);
    EXPECT_EQ(last_layout.dateCount, 4);
    EXPECT_EQ(last_layout.dateChildren, (std::vector<int>{1, 3, 5, 7}));
}

// Among the time patterns the largest tally wins, the lower id on ties.
TEST(Locator, TimePatternTieGoesToLowerId) {
    std::string html = "<div>" + dated("h2", 5) + "<p>@ 9:15</p>" +
                       dated("h2", 6) + "<p>10:30 pm</p>" + dated("h2", 7) +
                       "<p>@ 9:45</p><p>11:00 am</p></div>";
    ASSERT_EQ(locate(html), BFS_ENTRIES);
    EXPECT_EQ(last_layout.timeCount, 2);
    EXPECT_EQ(last_layout.timeChildren, (std::vector<int>{3, 6}));
}

// Dated children at 2, 5 and 8 of 11: either the children after the last
// date complete its entry, or every entry begins two children earlier.
TEST(Locator, ElevenChildrenTailOrShift) {
    auto page = [](const char* last) {
        return "<div><p>0</p><b>1</b>" + dated("h2", 2) + "<p>3</p><b>4</b>" +
               dated("h2", 5) + "<p>6</p><b>7</b>" + dated("h2", 8) +
               "<p>9</p>" + last + "</div>";
    };
    ASSERT_EQ(locate(page("<b>10</b>")), BFS_ENTRIES);
    EXPECT_EQ(last_layout.shift, 0);
    EXPECT_EQ(last_layout.lastChild, 10);
    EXPECT_EQ(entryTexts(),
              (std::vector<std::string>{
                  dated("h2", 2) + "<p>3</p><b>4</b>",
                  dated("h2", 5) + "<p>6</p><b>7</b>",
                  dated("h2", 8) + "<p>9</p><b>10</b>"}));

    ASSERT_EQ(locate(page("<em>10</em>")), BFS_ENTRIES);
    EXPECT_EQ(last_layout.shift, 2);
    EXPECT_EQ(last_layout.dateChildren, (std::vector<int>{0, 3, 6}));
    EXPECT_EQ(last_layout.lastChild, 8);
    EXPECT_EQ(entryTexts(),
              (std::vector<std::string>{
                  "<p>0</p><b>1</b>" + dated("h2", 2),
                  "<p>3</p><b>4</b>" + dated("h2", 5),
                  "<p>6</p><b>7</b>" + dated("h2", 8)}));
    EXPECT_EQ(stamp(1), "1 2004-1-5 0 0:0");
}

// Dated children side by side (minGap 0) and irregular gaps: the last entry
// runs to the last child like the one before the last date.
TEST(Locator, AdjacentAndIrregularDates) {
    std::string d5 = dated("h2", 5), d6 = dated("h2", 6), d7 = dated("h2", 7);
    ASSERT_EQ(locate("<div>" + d5 + d6 + d7 + "<p>x</p></div>"), BFS_ENTRIES);
    EXPECT_EQ(last_layout.lastChild, 2);
    EXPECT_EQ(entryTexts(), (std::vector<std::string>{d5, d6, d7}));

    ASSERT_EQ(locate("<div>" + d5 + "<p>a</p><p>b</p>" + d6 + "<p>c</p>" + d7 +
                     "<p>d</p><b>e</b></div>"),
              BFS_ENTRIES);
    EXPECT_EQ(last_layout.shift, 0);
    EXPECT_EQ(last_layout.lastChild, 6);
    EXPECT_EQ(entryTexts().back(), d7 + "<p>d</p>");
}

// Date mode: each range is one entry and its last timed child gives the
// time, whatever time pattern it carries.
TEST(Separator, DateModeLastTimedChildWins) {
    std::string html = "<div>" + dated("h2", 5) +
                       "<p>9:00 am</p><p>@ 11:15</p>" + dated("h2", 6) +
                       "<p>10:30 pm</p>" + dated("h2", 7) + "<p>x</p></div>";
    std::string out;
    ASSERT_EQ(locateQuiet(html, out), BFS_ENTRIES);
    EXPECT_EQ(last_layout.timeCount, 2);
    EXPECT_EQ(blogentries_count, 3);
    EXPECT_EQ(stamp(0), "1 2004-1-5 15 11:15");
    EXPECT_EQ(stamp(1), "1 2004-1-6 14 22:30");
    EXPECT_EQ(stamp(2), "1 2004-1-7 0 0:0");
    EXPECT_EQ(out, "");
    for (int i = 0; i < blogentries_count; i++)
        EXPECT_EQ(std::strlen(blogentries[i]), entryTexts()[i].size());
}

// Time mode where date and time share a child: every timed child after the
// first opens a new entry (M = 0), all with the range's date. In the final
// range the dated child itself is timed, so its head counts -1.
TEST(Separator, TimeModeDateAndTimeTogether) {
    std::string html = "<div>" + dated("h2", 5, " 9:00 am") + "<p>a</p>" +
                       "<p>10:00 am</p><p>b</p>" + dated("h2", 6, " 11:00 am") +
                       "<p>c</p>" + dated("h2", 7, " 1:00 pm") +
                       "<p>2:00 pm</p></div>";
    std::string out;
    ASSERT_EQ(locateQuiet(html, out), BFS_ENTRIES);
    EXPECT_EQ(out, "");
    EXPECT_EQ(last_layout.timeChildren, (std::vector<int>{0, 2, 4, 6, 7}));
    EXPECT_EQ(entryTexts(),
              (std::vector<std::string>{
                  dated("h2", 5, " 9:00 am") + "<p>a</p>",
                  "<p>10:00 am</p><p>b</p>",
                  dated("h2", 6, " 11:00 am") + "<p>c</p>",
                  dated("h2", 7, " 1:00 pm"), "<p>2:00 pm</p>"}));
    EXPECT_EQ(stamp(1), "1 2004-1-5 14 10:0");
    EXPECT_EQ(stamp(4), "1 2004-1-7 14 14:0");
}

// A time that closes its entry: the cut falls L children after each timed
// child, L - 1 being the children alike after every one of them.
TEST(Separator, TimeClosesEntries) {
    std::string html = "<div>" + dated("h2", 5) +
                       "<p>a</p><span>1:00 pm</span><em>x</em>"
                       "<p>b</p><span>2:00 pm</span><em>y</em>" +
                       dated("h2", 6) + "<p>c</p><span>3:00 pm</span><em>z</em>" +
                       dated("h2", 7) + "<p>d</p><span>4:00 pm</span><em>w</em>" +
                       "</div>";
    std::string out;
    ASSERT_EQ(locateQuiet(html, out), BFS_ENTRIES);
    EXPECT_EQ(out, "");
    EXPECT_EQ(entryTexts(),
              (std::vector<std::string>{
                  dated("h2", 5) + "<p>a</p><span>1:00 pm</span><em>x</em>",
                  "<p>b</p><span>2:00 pm</span><em>y</em>",
                  dated("h2", 6) + "<p>c</p><span>3:00 pm</span><em>z</em>",
                  dated("h2", 7) + "<p>d</p><span>4:00 pm</span><em>w</em>"}));
    EXPECT_EQ(stamp(1), "1 2004-1-5 14 14:0");
}

// A time that opens its entry: each entry after the first begins M children
// before its timed child.
TEST(Separator, TimeOpensEntries) {
    std::string html = "<div>" + dated("h2", 5) +
                       "<b>i</b><span>1:00 pm</span><p>a</p><p>a</p>"
                       "<b>j</b><span>2:00 pm</span><p>b</p><p>b</p>" +
                       dated("h2", 6) + "<span>3:00 pm</span>" +
                       dated("h2", 7) + "<span>4:00 pm</span></div>";
    std::string out;
    ASSERT_EQ(locateQuiet(html, out), BFS_ENTRIES);
    EXPECT_EQ(out, "");
    EXPECT_EQ(entryTexts(),
              (std::vector<std::string>{
                  dated("h2", 5) + "<b>i</b><span>1:00 pm</span><p>a</p><p>a</p>",
                  "<b>j</b><span>2:00 pm</span><p>b</p><p>b</p>",
                  dated("h2", 6) + "<span>3:00 pm</span>",
                  dated("h2", 7) + "<span>4:00 pm</span>"}));
}

// The final range counts its head one child shorter: with a time right
// after each date, inner ranges close entries after the times while the
// final range opens them at the times.
TEST(Separator, FinalRangeHeadIsOneShorter) {
    std::string r = "<span>1:00 pm</span><p>x</p><span>2:00 pm</span>";
    std::string html = "<div>" + dated("h2", 5) + r + dated("h2", 6) + r +
                       dated("h2", 7) + r + "</div>";
    std::string out;
    ASSERT_EQ(locateQuiet(html, out), BFS_ENTRIES);
    EXPECT_EQ(out, "");
    EXPECT_EQ(last_layout.lastChild, 11);
    EXPECT_EQ(entryTexts(),
              (std::vector<std::string>{
                  dated("h2", 5) + "<span>1:00 pm</span>",
                  "<p>x</p><span>2:00 pm</span>",
                  dated("h2", 6) + "<span>1:00 pm</span>",
                  "<p>x</p><span>2:00 pm</span>",
                  dated("h2", 7) + "<span>1:00 pm</span><p>x</p>",
                  "<span>2:00 pm</span>"}));
}

// In time mode a range without a timed child still gives an entry, so the
// count differs from the number of times: reported and corrected.
TEST(Separator, CountMismatchIsReportedAndCorrected) {
    std::string html = "<div>" + dated("h2", 5) +
                       "<p>1:00 pm</p><b>x</b><p>2:00 pm</p><b>y</b>" +
                       dated("h2", 6) + "<p>z</p>" + dated("h2", 7) +
                       "<p>3:00 pm</p></div>";
    std::string out;
    ASSERT_EQ(locateQuiet(html, out), BFS_ENTRIES);
    EXPECT_EQ(out, "Subtle error occur, recovered\n");
    EXPECT_EQ(blogentries_count, 4);
    EXPECT_EQ(stamp(2), "1 2004-1-6 0 0:0");
    EXPECT_EQ(stamp(3), "1 2004-1-7 14 15:0");
}

// The dated-children list grows past 999 and a first gap of 1,000 children
// becomes the minimum gap: the last entry takes min(minGap, tail) children.
TEST(Locator, LongListsAndWideGaps) {
    std::string html = "<div>";
    for (int i = 0; i < 1200; i++) html += dated("h2", i % 28 + 1) + "<p>x</p>";
    html += "</div>";
    ASSERT_EQ(locate(html), BFS_ENTRIES);
    EXPECT_EQ(blogentries_count, 1200);
    EXPECT_EQ(entryTexts()[1199], dated("h2", 1199 % 28 + 1) + "<p>x</p>");

    std::string gap = repeat("<p>x</p>", 1000);
    html = "<div>" + dated("h2", 5) + gap + dated("h2", 6) + gap +
           dated("h2", 7) + repeat("<p>x</p>", 1200) + "</div>";
    ASSERT_EQ(locate(html), BFS_ENTRIES);
    EXPECT_EQ(last_layout.lastChild, 2002 + 1000);
}

// Hostile shapes finish soundly: thousands of children under one node,
// deep nesting with four children on every level, a separator call whose
// arguments leave the container.
TEST(Locator, HostileShapes) {
    EXPECT_EQ(locate("<div>" + repeat("<p>x</p>", 5000) + "</div>"), BFS_NONE);

    std::string deep;
    for (int i = 0; i < 1500; i++) deep += "<div><p>a</p><p>b</p><p>c</p>";
    deep += dated("p", 5) + dated("p", 6) + dated("p", 7) + "<p>d</p>";
    for (int i = 0; i < 1500; i++) deep += "</div>";
    // The outermost levels hold all three dates in one child's text.
    EXPECT_EQ(locate(deep), BFS_ENTRIES);
    EXPECT_EQ(blogentries_count, 3);
    EXPECT_EQ(entryTexts()[2], dated("p", 7));

    ASSERT_EQ(locate("<div>" + repeat(dated("p", 5), 4) + "</div>"),
              BFS_ENTRIES);
    int D[3] = {0, 1, 2};
    std::string out;
    testing::internal::CaptureStdout();
    separateEntries(3, D, 0, nullptr, 0, 9, onlyDiv());
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(blogentries_count, 0);
    EXPECT_EQ(out, "Subtle error occur, recovered\n");
}
