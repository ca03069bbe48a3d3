// Date and time patterns: first matching id, sub-matches, field readers, validators, per-page index, hostile text.
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include "dates/dates.h"

namespace {

struct DatesEnv : ::testing::Environment {
    void SetUp() override { initializeDateRE(); }
    void TearDown() override { releaseDateRE(); }
};
const auto* const dates_env = ::testing::AddGlobalTestEnvironment(new DatesEnv);
const char* const kAbsent = "<absent>";
std::string searched;  // match_result points into it

bool search(int id, const std::string& text) {
    searched = text;
    return searchDatePattern(id, searched.data(), searched.data() + searched.size());
}

// Rows: text, id, rank, sub-matches (kAbsent: took no part), fields read: year, month, day, validity for a date id;
// hour, minute, validity for a time id (whose date fields read 2004-01-01). Neither sub-matches nor fields: no match.
// kFirst: no lower id matches, nor (for a date id) any time id; kOnly: no other id matches; id -1: none matches.
enum Rank { kAny, kFirst, kOnly };

TEST(DatePatterns, FirstIdSubMatchesAndFields) {
    const struct { const char* text; int id; Rank rank; std::vector<std::string> groups; std::vector<int> fields; } cases[] = {
        {"Monday, January 5, 2004", 0, kFirst, {"Monday", "January", "5", "2004"}, {2004, 1, 5, 1}},  // "Jan" yields to "January"
        {"Wed, 05 May 49", 2, kFirst, {"Wed", "05", "May", "49"}, {2049, 5, 5, 0}},
        {"Wed, 05 May 50", 2, kAny, {}, {1950, 5, 5, 0}},
        {"Sunday, May 2", 3, kOnly, {"Sunday", "May", "2"}, {2004, 5, 2, 1}},
        {"monday,\r\nmay 3", 3, kAny, {"monday", "may", "3"}, {}},  // a line break satisfies \W{1,3}
        {"Sept 5, 2004", 4, kAny, {"Sep", "5", "2004"}, {2004, 9, 5, 1}},  // first alternative; lazy repeat
        {"JAN 5, 2004", 4, kFirst, {"JAN", "5", "2004"}, {2004, 1, 5, 1}},  // icase keeps the text's case
        {"jAn 5, 2004", 4, kAny, {}, {2004, 0, 5, 0}},  // mixed case: no month
        {"on 21st March, 2004", 1, kAny, {"21", "st", "March", "2004"}, {2004, 3, 21, 1}},
        {"Fri 13-09-04", 5, kAny, {"Fri", "13", "09", "04"}, {2004, 13, 9, 0}},
        {"February 29, 2003", 6, kAny, {}, {2003, 2, 29, 1}},  // no leap-year rule
        {"March 3rd, 2004", 7, kAny, {"March", "3", "rd", "2004"}, {2004, 3, 3, 1}},
        {">2004/12/25", 8, kFirst, {"2004", "12", "25"}, {2004, 12, 25, 1}},
        {">12/25/2004", 9, kFirst, {"2", "25", "2004"}, {2004, 2, 25, 1}},  // greedy [^<]* leaves few digits
        {">10/15/04", 9, kAny, {}, {2004, 0, 15, 0}},
        {">2004/12/25", 9, kAny, {"4", "12", "25"}, {}},
        {"12/25/2004", 9, kAny, {}, {}},     // no ">" before it
        {">a<12/25/2004", 9, kAny, {}, {}},  // "<" in between
        {"05 May 2004", 10, kAny, {}, {2004, 5, 5, 1}},
        {"31dec2011", 11, kAny, {}, {2011, 12, 31, 0}},
        {"10:30:15 pm", 12, kFirst, {"10", "30", "pm"}, {22, 30, 1}},
        {"12:00:00 AM", 12, kAny, {}, {0, 0, 1}},
        {"10:30:15 pm", 13, kAny, {"30", "15", "pm"}, {}},
        {"@10:30pm", 13, kFirst, {"10", "30", "pm"}, {}},
        {"12:05 am", 13, kFirst, {"12", "05", "am"}, {0, 5, 1}},
        {"12:05 pm", 13, kAny, {}, {12, 5, 1}},
        {"1:05 pm", 13, kAny, {}, {13, 5, 1}},
        {"0:15 pm", 13, kAny, {}, {12, 15, 1}},
        {"13:10 pm", 13, kAny, {}, {13, 10, 1}},
        {"11:59 |m", 13, kAny, {}, {23, 59, 1}},  // "|" counts as afternoon
        {"@ 10:30", 14, kFirst, {"10", "30", kAbsent}, {10, 30, 1}},  // no am/pm: unchanged
        {"@ 12:30", 14, kAny, {}, {12, 30, 1}},
        {"@ 9:30 pm", 14, kAny, {}, {21, 30, 1}},
        {"@ 12:60am", 14, kAny, {}, {0, 60, 0}},
        {"no date here, 42", -1, kAny, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / id " + std::to_string(c.id));
        bool hit = c.id >= 0 && search(c.id, c.text);
        ASSERT_EQ(hit, !c.groups.empty() || !c.fields.empty());
        std::vector<std::string> got;
        for (size_t i = 1; hit && i < match_result.size(); ++i)
            got.push_back(match_result[i].matched ? match_result[i].str() : kAbsent);
        if (!c.groups.empty()) { EXPECT_EQ(got, c.groups); }
        if (!c.fields.empty()) {
            const DateMatch m = match_result;
            int y = getYear(m, c.id), mo = getMonth(m, c.id), d = getDay(m, c.id), h = getHour(m, c.id), mi = getMin(m, c.id);
            std::vector<int> read = {h, mi, isValidTime(h, mi), y, mo, d}, want = c.fields;
            if (c.id < date_re) read = {y, mo, d, isValidDate(y, mo, d)};
            else want.insert(want.end(), {2004, 1, 1});
            EXPECT_EQ(read, want);
        }
        for (int j = 0; j < time_re; ++j) {
            bool other = c.rank == kOnly ? j != c.id : c.rank == kFirst && (j < c.id || (c.id < date_re && j >= date_re));
            if (c.id < 0 || other) { EXPECT_FALSE(search(j, c.text)) << "id " << j; }
        }
    }
}

TEST(DateFields, ValidatorLimits) {
    const int last[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};  // February 29 in any year
    for (int m = 1; m <= 12; ++m)
        EXPECT_TRUE(isValidDate(2003, m, last[m - 1]) && !isValidDate(2004, m, last[m - 1] + 1) && !isValidDate(2004, m, 0)) << m;
    EXPECT_TRUE(isValidDate(1995, 1, 1) && isValidDate(2010, 12, 31));
    EXPECT_FALSE(isValidDate(1994, 12, 31) || isValidDate(2011, 1, 1) || isValidDate(2004, 0, 5) ||
                 isValidDate(2004, 13, 5) || isValidDate(2004, -1, 5));
    EXPECT_TRUE(isValidTime(0, 0) && isValidTime(23, 59));
    EXPECT_FALSE(isValidTime(24, 0) || isValidTime(12, 60) || isValidTime(-1, 0) || isValidTime(0, -1));
}

TEST(DatePatterns, ReleaseIsIdempotentAndReinitialises) {
    releaseDateRE();
    for (int id = 0; id < 15; ++id) EXPECT_EQ(date_re_engine[id], nullptr);
    EXPECT_FALSE(search(0, "Monday, January 5, 2004"));
    releaseDateRE();
    initializeDateRE();
    EXPECT_TRUE(search(0, "Monday, January 5, 2004"));
}

// The per-page index never changes a result: every slice search of a prepared store matches plain Boost over
// that slice (position, sub-matches), recorded matches overlapping slice starts and running past slice ends.
TEST(DateIndex, SliceSearchesMatchDirectSearches) {
    const std::vector<std::string> pieces = {
        "<div>", "</div>", "<p>", "</p>", ">", ">", "<", " ", ", ", "\n", "-", "/", ".", ":", "@ ", "12", "5", "2004",
        "04", "31", "1", "Monday", "Sun", "Jan", "January", "Sept", "May", "dec", "th", "rd", "pm", "am", "Posted ",
        "   ", ">1", ">12/25/2004", "10:30 pm", "Wed, 05 May 2004", "21st     March 2004", "@9:30"};
    std::mt19937 rng(4242);
    for (int round = 0; round < 40; ++round) {
        std::string store;
        for (int i = 0, n = 50 + rng() % 400; i < n; ++i) store += pieces[rng() % pieces.size()];
        const char* s = store.data();
        prepareDateSearch(s, s + store.size());
        for (int q = 0; q < 150; ++q) {
            size_t x = rng() % (store.size() + 1), y = q % 3 ? rng() % (store.size() + 1) : std::min(store.size(), x + rng() % 40);
            const char *a = s + std::min(x, y), *b = s + std::max(x, y);
            for (int id = 0; id < time_re; ++id) {
                bool direct = searchDatePatternPlain(id, a, b);
                DateMatch expect = match_result;
                ASSERT_EQ(searchDatePattern(id, a, b), direct) << "id " << id << " slice " << a - s << ".." << b - s;
                ASSERT_TRUE(!direct || match_result.position() == expect.position()) << id;
                for (size_t g = 0; direct && g < expect.size(); ++g)
                    ASSERT_TRUE(match_result[g].matched == expect[g].matched && match_result[g].first == expect[g].first &&
                                match_result[g].second == expect[g].second) << "id " << id << " group " << g;
            }
        }
    }
    prepareDateSearch(nullptr, nullptr);
}

TEST(DateIndex, SlicesOutsideThePreparedStoreOrAfterItIsDroppedAreSearchedDirectly) {
    std::string store = "<p>Monday, January 5, 2004</p>";
    prepareDateSearch(store.data(), store.data() + store.size());
    EXPECT_TRUE(search(3, "<p>Sunday, May 2</p>") && match_result[2].str() == "May");
    prepareDateSearch(nullptr, nullptr);
    EXPECT_TRUE(searchDatePattern(0, store.data(), store.data() + store.size()) && match_result[1].str() == "Monday");
}

// Hostile text on which plain Boost gives up with an exception: no match, not the end of the process.
TEST(DateHostile, ThrowingSearchIsNoMatch) {
    const std::string gts(50000, '>');
    DateMatch m;
    EXPECT_ANY_THROW(boost::regex_search(gts.data(), gts.data() + gts.size(), m, *date_re_engine[8], boost::match_default))
        << "the text no longer makes Boost give up";
    EXPECT_FALSE(searchDatePatternPlain(8, gts.data(), gts.data() + gts.size()));
    EXPECT_FALSE(search(8, gts));
}

}  // namespace
