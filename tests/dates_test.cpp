// Date and time patterns: which pattern matches what, the sub-matches it
// yields, the field readers and the validators.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dates/dates.h"

namespace {

class DatesEnv : public ::testing::Environment {
  public:
    void SetUp() override { initializeDateRE(); }
    void TearDown() override { releaseDateRE(); }
};
const auto* const dates_env =
    ::testing::AddGlobalTestEnvironment(new DatesEnv);

const char* const kAbsent = "<absent>";

// The searched text stays alive here, since match_result points into it.
std::string searched;

bool search(int id, const std::string& text) {
    searched = text;
    return searchDatePattern(id, searched.data(),
                             searched.data() + searched.size());
}

// Sub-matches 1.. of the last search; kAbsent for a group that took no part.
std::vector<std::string> groups() {
    std::vector<std::string> out;
    for (size_t i = 1; i < match_result.size(); ++i)
        out.push_back(match_result[i].matched ? match_result[i].str() : kAbsent);
    return out;
}

int firstId(const std::string& text, int from, int to) {
    for (int id = from; id < to; ++id)
        if (search(id, text)) return id;
    return -1;
}

TEST(DatePatterns, TableIsCompiledWithItsOptions) {
    for (int id = 0; id < 15; ++id) {
        ASSERT_NE(date_re_engine[id], nullptr) << id;
        bool icase = (date_re_engine[id]->flags() & boost::regex::icase) != 0;
        EXPECT_EQ(icase, id != 8 && id != 9) << id;
        EXPECT_EQ(date_re_engine[id]->str(), datePatternText(id)) << id;
    }
    EXPECT_EQ(date_re, 12);
    EXPECT_EQ(time_re, 15);
    EXPECT_EQ(match_flag, 0);
}

// Each row: a text, a pattern id, and the sub-matches it must give (empty
// list: no match).
struct PatternCase {
    const char* text;
    int id;
    std::vector<std::string> groups;
};

TEST(DatePatterns, SubMatchesFollowPerlRules) {
    const PatternCase cases[] = {
        // "Jan" gives way to "January": "u" is no non-word character.
        {"Monday, January 5, 2004", 0, {"Monday", "January", "5", "2004"}},
        {"Monday, January 5, 2004", 3, {"Monday", "January", "5"}},
        {"Monday, January 5, 2004", 6, {"January", "5", "2004"}},
        {"Wed, 05 May 2004", 0, {}},
        {"Wed, 05 May 2004", 2, {"Wed", "05", "May", "2004"}},
        {"Wed, 05 May 2004", 10, {"05", "May", "2004"}},
        {"February 5, 2004", 4, {"February", "5", "2004"}},
        // First alternative wins, the lazy repeat takes "t ".
        {"Sept 5, 2004", 4, {"Sep", "5", "2004"}},
        // icase keeps the text's own case.
        {"JAN 5, 2004", 4, {"JAN", "5", "2004"}},
        {"on 21st March, 2004", 1, {"21", "st", "March", "2004"}},
        {"Fri 07-09-04", 5, {"Fri", "07", "09", "04"}},
        {"March 3rd, 2004", 7, {"March", "3", "rd", "2004"}},
        {"05May2004", 11, {"05", "May", "2004"}},
        // The greedy [^<]* leaves as few digits as possible to the groups.
        {">12/25/2004", 9, {"2", "25", "2004"}},
        {">10/15/04", 9, {"0", "15", "04"}},
        {">2004/12/25", 8, {"2004", "12", "25"}},
        {">2004/12/25", 9, {"4", "12", "25"}},
        {">2004|12|25", 8, {"2004", "12", "25"}},
        {"<b>12/25/2004", 9, {"2", "25", "2004"}},
        {"12/25/2004", 9, {}},       // no ">" before it
        {">a<12/25/2004", 9, {}},    // "<" in between
        {"10:30:15 pm", 12, {"10", "30", "pm"}},
        {"10:30:15 pm", 13, {"30", "15", "pm"}},
        {"10:30 PM", 13, {"10", "30", "PM"}},
        {"10:30 |m", 13, {"10", "30", "|m"}},
        {"@ 10:30", 14, {"10", "30", kAbsent}},
        {"@10:30pm", 13, {"10", "30", "pm"}},
        {"@10:30pm", 14, {"10", "30", "pm"}},
        // A line break satisfies \W{1,3}.
        {"January\n5, 2004", 6, {"January", "5", "2004"}},
        {"monday,\r\nmay 3", 3, {"monday", "may", "3"}},
    };
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / id " + std::to_string(c.id));
        bool hit = search(c.id, c.text);
        EXPECT_EQ(hit, !c.groups.empty());
        if (hit) {
            EXPECT_EQ(groups(), c.groups);
        }
    }
}

TEST(DatePatterns, OrderDecidesWhichIdIsFirst) {
    struct {
        const char* text;
        int firstDate;
        int firstTime;
    } cases[] = {
        {"Monday, January 5, 2004", 0, -1},
        {"Wed, 05 May 2004", 2, -1},
        {"Sunday, May 2", 3, -1},
        {"February 5, 2004", 4, -1},
        {">2004/12/25", 8, -1},
        {">12/25/2004", 9, -1},
        {"10:30:15 pm", -1, 12},
        {"10:30 PM", -1, 13},
        {"@ 10:30", -1, 14},
        {"@10:30pm", -1, 13},
        {"no date here, 42", -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(firstId(c.text, 0, date_re), c.firstDate);
        EXPECT_EQ(firstId(c.text, date_re, time_re), c.firstTime);
    }
    // "Sunday, May 2" is matched by id 3 alone.
    for (int id = 0; id < time_re; ++id)
        EXPECT_EQ(search(id, "Sunday, May 2"), id == 3) << id;
}

TEST(DatePatterns, MatchPositionIsInTheSearchedRange) {
    std::string text = "xx <p>Posted Monday, January 5, 2004 at 10:30 pm</p>";
    ASSERT_TRUE(search(0, text));
    EXPECT_EQ(match_result.position(), 13);
    EXPECT_EQ(match_result[0].first, searched.data() + 13);
    EXPECT_EQ(match_result.prefix().str(), "xx <p>Posted ");
    ASSERT_TRUE(search(13, text));
    EXPECT_EQ(match_result.str(), "10:30 pm");
    EXPECT_EQ(match_result.suffix().str(), "</p>");
    // A slice that cuts the date short finds nothing.
    EXPECT_FALSE(searchDatePattern(0, searched.data(), searched.data() + 30));
}

// Field readers on real matches: text, id, then year, month, day or hour,
// minute (for times the date fields are the fixed defaults).
struct FieldCase {
    const char* text;
    int id;
    int a, b, c;
    bool valid;
};

TEST(DateFields, ReadersAndValidatorOnDates) {
    const FieldCase cases[] = {
        {"Monday, January 5, 2004", 0, 2004, 1, 5, true},
        {"Wed, 05 May 04", 2, 2004, 5, 5, true},
        {"Wed, 05 May 99", 2, 1999, 5, 5, true},
        {"Wed, 05 May 50", 2, 1950, 5, 5, false},
        {"Wed, 05 May 49", 2, 2049, 5, 5, false},
        {"Sunday, May 2", 3, 2004, 5, 2, true},
        {"JAN 5, 2004", 4, 2004, 1, 5, true},
        {"Sept 5, 2004", 4, 2004, 9, 5, true},
        {"SEPTEMBER 5, 2004", 4, 2004, 9, 5, true},
        {"jAn 5, 2004", 4, 2004, 0, 5, false},    // mixed case: no month
        {"mAy 5, 2004", 4, 2004, 0, 5, false},
        {"Fri 07-09-04", 5, 2004, 7, 9, true},
        {"Fri 13-09-04", 5, 2004, 13, 9, false},
        {"February 30, 2004", 6, 2004, 2, 30, false},
        {"February 29, 2003", 6, 2003, 2, 29, true}, // no leap-year rule
        {"April 31, 2004", 6, 2004, 4, 31, false},
        {"on 21st March, 2004", 1, 2004, 3, 21, true},
        {"March 3rd, 2004", 7, 2004, 3, 3, true},
        {">2004-12-25", 8, 2004, 12, 25, true},
        {">12/25/2004", 9, 2004, 2, 25, true},      // greedy [^<]*
        {">10/15/04", 9, 2004, 0, 15, false},
        {"05 May 2004", 10, 2004, 5, 5, true},
        {"05May2004", 11, 2004, 5, 5, true},
        {"31dec2011", 11, 2011, 12, 31, false},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / id " + std::to_string(c.id));
        ASSERT_TRUE(search(c.id, c.text));
        int year = getYear(match_result, c.id);
        int month = getMonth(match_result, c.id);
        int day = getDay(match_result, c.id);
        EXPECT_EQ(year, c.a);
        EXPECT_EQ(month, c.b);
        EXPECT_EQ(day, c.c);
        EXPECT_EQ(isValidDate(year, month, day), c.valid);
    }
}

TEST(DateFields, ReadersAndValidatorOnTimes) {
    const FieldCase cases[] = {
        {"12:05 am", 13, 0, 5, 0, true},
        {"12:05 pm", 13, 12, 5, 0, true},
        {"1:05 pm", 13, 13, 5, 0, true},
        {"1:05 AM", 13, 1, 5, 0, true},
        {"0:15 pm", 13, 12, 15, 0, true},
        {"13:10 pm", 13, 13, 10, 0, true},
        {"11:59 |m", 13, 23, 59, 0, true},   // "|" counts as afternoon
        {"10:30:15 pm", 12, 22, 30, 0, true},
        {"12:00:00 AM", 12, 0, 0, 0, true},
        {"@ 9:30", 14, 9, 30, 0, true},       // no am/pm: unchanged
        {"@ 21:30", 14, 21, 30, 0, true},
        {"@ 12:30", 14, 12, 30, 0, true},
        {"@ 9:30 pm", 14, 21, 30, 0, true},
        {"@9:30PM", 14, 21, 30, 0, true},
        {"@ 24:00", 14, 24, 0, 0, false},
        {"@ 12:60", 14, 12, 60, 0, false},
        {"@ 12:60am", 14, 0, 60, 0, false},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / id " + std::to_string(c.id));
        ASSERT_TRUE(search(c.id, c.text));
        int hour = getHour(match_result, c.id);
        int minute = getMin(match_result, c.id);
        EXPECT_EQ(hour, c.a);
        EXPECT_EQ(minute, c.b);
        EXPECT_EQ(isValidTime(hour, minute), c.valid);
        // Time ids carry no date: the fixed defaults.
        EXPECT_EQ(getYear(match_result, c.id), 2004);
        EXPECT_EQ(getMonth(match_result, c.id), 1);
        EXPECT_EQ(getDay(match_result, c.id), 1);
    }
}

TEST(DateFields, ReadersLeaveTheSharedMatchAlone) {
    ASSERT_TRUE(search(0, "Monday, January 5, 2004"));
    DateMatch before = match_result;
    getYear(match_result, 0);
    getMonth(match_result, 0);
    getHour(match_result, 0);
    EXPECT_TRUE(before == match_result);
}

TEST(DateFields, EmptyMatchReadsAsDefaults) {
    DateMatch empty;
    EXPECT_EQ(getYear(empty, 0), 2000);   // absent "0", widened
    EXPECT_EQ(getMonth(empty, 0), 0);
    EXPECT_EQ(getMonth(empty, 5), 0);
    EXPECT_EQ(getDay(empty, 0), 0);
    EXPECT_EQ(getHour(empty, 14), 0);
    EXPECT_EQ(getHour(empty, 13), 12);    // no "a": the afternoon rule
    EXPECT_EQ(getMin(empty, 12), 0);
}

TEST(DateValidators, DateLimits) {
    struct {
        int y, m, d;
        bool valid;
    } cases[] = {
        {2004, 2, 29, true},  {2003, 2, 29, true},  {2004, 2, 30, false},
        {2004, 4, 31, false}, {2004, 4, 30, true},  {2004, 1, 0, false},
        {2004, 0, 5, false},  {2004, 13, 5, false}, {1994, 12, 31, false},
        {2011, 1, 1, false},  {1995, 1, 1, true},   {2010, 12, 31, true},
        {2004, 12, 32, false}, {2004, 9, 31, false}, {2004, 11, 31, false},
        {2004, 6, 31, false}, {2004, 7, 31, true},  {2004, -1, 5, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isValidDate(c.y, c.m, c.d), c.valid)
            << c.y << "-" << c.m << "-" << c.d;
}

TEST(DateValidators, TimeLimits) {
    EXPECT_TRUE(isValidTime(0, 0));
    EXPECT_TRUE(isValidTime(23, 59));
    EXPECT_FALSE(isValidTime(24, 0));
    EXPECT_FALSE(isValidTime(12, 60));
    EXPECT_FALSE(isValidTime(-1, 0));
    EXPECT_FALSE(isValidTime(0, -1));
}

TEST(DatePatterns, ReleaseIsIdempotentAndReinitialises) {
    releaseDateRE();
    for (int id = 0; id < 15; ++id) EXPECT_EQ(date_re_engine[id], nullptr);
    EXPECT_FALSE(search(0, "Monday, January 5, 2004"));
    releaseDateRE();
    initializeDateRE();
    EXPECT_TRUE(search(0, "Monday, January 5, 2004"));
}

// The per-page index must never change a result: every slice search of a
// prepared store gives the same match (position and sub-matches) as plain
// Boost over that slice. Stores are built so that recorded matches overlap
// slice starts and run past slice ends.
TEST(DateIndex, SliceSearchesMatchDirectSearches) {
    const std::vector<std::string> pieces = {
        "<div>", "</div>", "<p>", "</p>", ">", ">", "<", " ", ", ", "\n",
        "-", "/", ".", ":", "@ ", "12", "5", "2004", "04", "31", "1",
        "Monday", "Sun", "Jan", "January", "Sept", "May", "dec", "th", "rd",
        "pm", "am", "Posted ", "   ", ">1", ">12/25/2004", "10:30 pm",
        "Wed, 05 May 2004", "21st     March 2004", "@9:30"};
    std::mt19937 rng(4242);
    for (int round = 0; round < 40; ++round) {
        std::string store;
        int n = 50 + rng() % 400;
        for (int i = 0; i < n; ++i) store += pieces[rng() % pieces.size()];
        const char* s = store.data();
        const char* e = s + store.size();
        prepareDateSearch(s, e);
        for (int q = 0; q < 150; ++q) {
            size_t x = rng() % (store.size() + 1);
            size_t y = rng() % (store.size() + 1);
            if (q % 3 == 0) y = std::min(store.size(), x + rng() % 40);
            const char* a = s + std::min(x, y);
            const char* b = s + std::max(x, y);
            for (int id = 0; id < time_re; ++id) {
                bool direct = searchDatePatternPlain(id, a, b);
                DateMatch expect = match_result;
                bool indexed = searchDatePattern(id, a, b);
                ASSERT_EQ(indexed, direct)
                    << "id " << id << " slice " << (a - s) << ".." << (b - s);
                if (!direct) continue;
                ASSERT_EQ(match_result.position(), expect.position()) << id;
                ASSERT_EQ(match_result.prefix().first, a) << id;
                for (size_t g = 0; g < expect.size(); ++g) {
                    ASSERT_EQ(match_result[g].matched, expect[g].matched) << id;
                    ASSERT_EQ(match_result[g].first, expect[g].first) << id;
                    ASSERT_EQ(match_result[g].second, expect[g].second) << id;
                }
            }
        }
    }
    prepareDateSearch(nullptr, nullptr);
}

TEST(DateIndex, SlicesOutsideThePreparedStoreAreSearchedDirectly) {
    std::string store = "<p>Monday, January 5, 2004</p>";
    std::string other = "<p>Sunday, May 2</p>";
    prepareDateSearch(store.data(), store.data() + store.size());
    EXPECT_TRUE(searchDatePattern(3, other.data(), other.data() + other.size()));
    EXPECT_EQ(match_result[2].str(), "May");
    prepareDateSearch(nullptr, nullptr);
    EXPECT_TRUE(searchDatePattern(0, store.data(), store.data() + store.size()));
    EXPECT_EQ(match_result[1].str(), "Monday");
}

// Hostile text: plain Boost gives up on it with an exception; the search
// reports no match instead of ending the process.
TEST(DateHostile, ThrowingSearchIsNoMatch) {
    std::string gts(50000, '>');
    bool threw = false;
    try {
        DateMatch m;
        const char* p = gts.c_str();
        boost::regex_search(p, p + gts.size(), m,
                            *date_re_engine[8], boost::match_default);
    } catch (const std::exception&) {
        threw = true;
    }
    EXPECT_TRUE(threw) << "the text no longer makes Boost give up";
    EXPECT_FALSE(searchDatePatternPlain(8, gts.data(), gts.data() + gts.size()));
    EXPECT_FALSE(search(8, gts));
}

TEST(DateHostile, LongRunsFinishAndStayExact) {
    const std::string fill[] = {std::string(1 << 20, '>'),
                                std::string(1 << 20, '7'),
                                std::string(1 << 20, ' ')};
    for (const std::string& base : fill) {
        std::string pairs;
        for (size_t i = 0; i < base.size() / 2; ++i) pairs += ">1";
        for (const std::string* text : {&base, const_cast<const std::string*>(&pairs)}) {
            for (int id = 0; id < time_re; ++id) search(id, *text);
            // A real date at the very end is still found.
            std::string tail = *text + " >12/25/2004";
            ASSERT_TRUE(search(9, tail));
            EXPECT_EQ(match_result[3].str(), "2004");
            EXPECT_EQ(match_result[2].str(), "25");
        }
    }
}

}  // namespace
