// Date and time patterns (first id, sub-matches, fields, validators, lifetimes, hostile text); the accelerated and the
// per-page indexed searches against plain Boost on random, adversarial and real text.
#include "dates/dates.h"
#include <gtest/gtest.h>
#include <re2/re2.h>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "base/guarded_regex.h"
#include "feed/finders.h"
#include "support.h"

namespace {
using namespace w2r;
using test::corpusPage;

const DatePatterns& dates = test::datePatterns();
DateIndex dateIndex;
DateMatch match_result;
const char* const kAbsent = "<absent>";
std::string searched;  // match_result points into it

bool searchDatePattern(int id, const char* a, const char* b) { return dateIndex.search(dates, id, a, b, match_result); }
bool search(int id, const std::string& t) {
    searched = t;
    return searchDatePattern(id, &searched[0], &searched[0] + t.size());
}

// Rows: text, id, rank, sub-matches (kAbsent: took no part), fields read: year, month, day, validity for a date id;
// hour, minute, validity for a time id (whose date fields read 2004-01-01). Neither sub-matches nor fields: no match.
// kFirst: no lower id matches, nor (for a date id) any time id; kOnly: no other id matches; id -1: none matches.
enum Rank { kAny, kFirst, kOnly };

TEST(DatePatterns, FirstIdSubMatchesAndFields) {
    // clang-format off
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
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / id " + std::to_string(c.id));
        bool hit = c.id >= 0 && search(c.id, c.text);
        ASSERT_EQ(hit, !c.groups.empty() || !c.fields.empty());
        std::vector<std::string> got;
        for (size_t i = 1; hit && i < match_result.size(); ++i) got.push_back(match_result[i].matched ? match_result[i].str() : kAbsent);
        if (!c.groups.empty()) { EXPECT_EQ(got, c.groups); }
        if (!c.fields.empty()) {
            const DateMatch m = match_result;
            int y = getYear(m, c.id), mo = getMonth(m, c.id), d = getDay(m, c.id), h = getHour(m, c.id), mi = getMin(m, c.id);
            std::vector<int> read = {h, mi, isValidTime(h, mi), y, mo, d}, want = c.fields;
            if (c.id < kFirstTimePattern) read = {y, mo, d, isValidDate(y, mo, d)};
            else want.insert(want.end(), {2004, 1, 1});
            EXPECT_EQ(read, want);
        }
        for (int j = 0; j < kPatternCount; ++j) {
            bool other =
                c.rank == kOnly ? j != c.id : c.rank == kFirst && (j < c.id || (c.id < kFirstTimePattern && j >= kFirstTimePattern));
            if (c.id < 0 || other) { EXPECT_FALSE(search(j, c.text)) << "id " << j; }
        }
    }
}

TEST(DateFields, ValidatorLimits) {
    const int last[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};  // February 29 in any year
    for (int m = 1; m <= 12; ++m)
        EXPECT_TRUE(isValidDate(2003, m, last[m - 1]) && !isValidDate(2004, m, last[m - 1] + 1) && !isValidDate(2004, m, 0)) << m;
    EXPECT_TRUE(isValidDate(1995, 1, 1) && isValidDate(2010, 12, 31));
    EXPECT_FALSE(isValidDate(1994, 12, 31) || isValidDate(2011, 1, 1) || isValidDate(2004, 0, 5) || isValidDate(2004, 13, 5) ||
                 isValidDate(2004, -1, 5));
    EXPECT_TRUE(isValidTime(0, 0) && isValidTime(23, 59));
    EXPECT_FALSE(isValidTime(24, 0) || isValidTime(12, 60) || isValidTime(-1, 0) || isValidTime(0, -1));
}

TEST(DateIndex, SliceFromInsideARecordedMatchOutsideTheStoreOrAfterTheDrop) {
    std::string store = "<p>Monday, January 5, 2004</p>05 May 20041 May 2004";
    dateIndex.prepare(store.data(), store.data() + store.size());
    EXPECT_TRUE(searchDatePattern(10, &store[40], &store[0] + store.size()) && match_result[1].str() == "41");  // in 05 May 2004
    EXPECT_TRUE(search(3, "<p>Sunday, May 2</p>") && match_result[2].str() == "May");
    dateIndex.drop();
    EXPECT_TRUE(searchDatePattern(0, store.data(), store.data() + store.size()) && match_result[1].str() == "Monday");
}

// Hostile text on which plain Boost gives up with an exception: no match, not the end of the process.
TEST(DateHostile, ThrowingSearchIsNoMatch) {
    const std::string gts(50000, '>');
    EXPECT_ANY_THROW(boost::regex_search(gts.data(), gts.data() + gts.size(), match_result, dates[8].regex()))
        << "the text no longer makes Boost give up";
    EXPECT_FALSE(dates[8].searchFrom(gts.data(), gts.data(), gts.data() + gts.size(), match_result, false));
    EXPECT_FALSE(search(8, gts));
}

typedef boost::sub_match<const char*> Sub;

// The fifteen date and time patterns (ids 0..14), then the five finders.
const std::vector<const GuardedRegex*>& patterns() {
    static const Finders finders;
    static const std::vector<const GuardedRegex*> all = [] {
        std::vector<const GuardedRegex*> v;
        for (int id = 0; id < kPatternCount; ++id) v.push_back(&dates[id]);
        v.insert(v.end(), {&finders.pageTitlePattern(), &finders.entryTitlePattern(0), &finders.entryTitlePattern(1),
                           &finders.entryTitlePattern(2), &finders.linkPattern()});
        return v;
    }();
    return all;
}
bool same(const Sub& x, const Sub& y) { return x.matched == y.matched && x.first == y.first && x.second == y.second; }
// The search that gave got (hit or not) agrees with plain Boost's want: position, prefix, suffix, every sub-match.
template <class What>  // what(): the case, built only for a failure
void expectSameMatch(const char* kind, bool hit, const DateMatch& got, bool wantHit, const DateMatch& want, What what) {
    ASSERT_EQ(hit, wantHit) << kind << " " << what();
    if (!hit) return;
    EXPECT_EQ(got.position(), want.position()) << kind << " " << what();
    EXPECT_TRUE(same(got.prefix(), want.prefix()) && same(got.suffix(), want.suffix())) << kind << " " << what();
    for (size_t i = 0; i < want.size(); ++i) EXPECT_TRUE(same(got[i], want[i])) << kind << " group " << i << " " << what();
}

// With store prepared for the index, slice [from, to) and then `slices` random ones (every third one short):
// guardedSearch for every pattern, searchDatePattern for every date id. A throw of plain Boost: not comparable.
void expectSame(const std::string& store, std::mt19937& rng, int slices, size_t from = 0, size_t to = -1) {
    const char* s = store.data();
    dateIndex.prepare(s, s + store.size());
    for (int q = 0; q <= slices && !testing::Test::HasFailure(); ++q) {
        size_t x = q ? rng() % (store.size() + 1) : from, y = q ? rng() % (store.size() + 1) : std::min(to, store.size());
        if (q % 3 == 2) y = std::min(store.size(), x + rng() % 40);
        const char *a = s + std::min(x, y), *b = s + std::max(x, y);
        for (size_t id = 0; id < patterns().size(); ++id) {
            const GuardedRegex& p = *patterns()[id];
            DateMatch plain, fast;
            bool hit = false;
            try {
                hit = boost::regex_search(a, b, plain, p.regex());
            } catch (const std::exception&) { continue; }
            auto what = [&] { return p.text() + "\nslice " + testing::PrintToString(std::string(a, b)); };
            expectSameMatch("guarded", p.search(a, b, fast), fast, hit, plain, what);
            if (id < 15) expectSameMatch("indexed", searchDatePattern(id, a, b), match_result, hit, plain, what);
        }
    }
    dateIndex.drop();
}
std::string repeat(const std::string& unit, size_t size) {
    std::string s;
    while (s.size() < size) s += unit;
    return s;
}

// The longest form of each date and time pattern (matches at index window edges), near misses (a separator too
// many, a wrong case, a "<" in the way, odd spaces, high bytes), finder tags; `bytes` in four: a random byte.
std::string randomStore(std::mt19937& rng, int pieces, int bytes) {
    // clang-format off
    static const std::vector<std::string> parts = {
        "Wednesday,, September,,,12,,2004", "Wednesday,,,12,,,September,,,2004", "Wednesday,,,September,,,,12",
        "September,,,12,,,2004", "31st  ---   ,,, September ,,2004", "31,,,September,,,2004", "31September2004",
        "September,,,12th,,,2004", ">x 2004/12/31", ">12|31|2004", "Sat , 31-12-2004", "12:59:59 pm", "@ 12:59 pm",
        "Wed, 05 May 2004", ">12/25/2004", "@9:30", "Thursday-.-", "Monday", "Thur", "sat", "Jan", "January", "Sept", "SEPT",
        "mAy", "dec", "xmar", "22ND", "th", "rd", "am", "PM", "|m", "1", "5", "12", "2004", "123456", " ", "   ", ", ", "-",
        "/", ".", "|", ":", "@", "@ ", ">", ">1", "<", "\r\n", "\v", "\t", "\f", "_", "\"", "'", std::string(1, '\0'), "\x85",
        "\xa0", "\xff", "<title>", "</title>", "<TITLE>", "<b>", "</b>", "<h1>", "</h2>", "<span class=x>", "</span>",
        "<a href=\"", "<a href='", "< a target=x href = ", "http://", "HTTP://", "x.org/", "\">", "' ", "<a ", "<div>",
        "Title text"};
    // clang-format on
    std::string s;
    for (int i = 0; i < pieces; ++i)
        s += static_cast<int>(rng() % 4) < bytes ? std::string(1, static_cast<char>(rng())) : parts[rng() % parts.size()];
    return s;
}

TEST(Accelerator, EveryPatternHasOneAndOddSyntaxHasNone) {
    for (const GuardedRegex* p : patterns())
        EXPECT_NE(p->locator(), nullptr) << p->text() << "\n" << translateForLocator(p->text().c_str(), p->icase());
    for (const char* text : {"^abc", "abc$",         "a\\bb",   "\\Bx",    "(?i)x", "a(?=b)", "a(?!b)",    "(a)\\1",  "a++",
                             "a*+",  "[[:alpha:]]+", "\\<word", "word\\>", "\\Ax",  "x\\z",   "\\Qa.b\\E", "a{2000}", "a{3,2}",
                             "(a",   "a)",           "*a",      "a|*",     "\\x41", "\\p{L}", "[abc",      "a\\"})
        EXPECT_EQ(makeLocator(text, false), nullptr) << text;
}

// Short random texts (pieces only, some or all random bytes), every 50th a long one, each first as a slice between
// matches (positions relative to the slice, nothing outside it read); then real page windows (none without corpus).
TEST(Differential, RandomStoresAndRealPages) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 2500 && !HasFailure(); ++round) {
        const bool big = round % 50 == 0;
        const std::string text = randomStore(rng, rng() % (big ? 400 : 32), round % 3 == 2 ? 4 : round % 3);
        expectSame("Monday, Jan 5, 2004 >1/2/04 " + text + "12:30 pm <b>x</b>", rng, big ? 150 : 4, 28, 28 + text.size());
    }
    for (int page : {0, 3, 7, 11, 13, 42, 77}) {
        const std::string text = corpusPage(page);
        for (size_t at = 0; at < text.size(); at += 4096) expectSame(text.substr(at, 4096), rng, 12);
    }
}

// Every byte in every separator position "#" (\W, \s, \d, ".", brackets, case folding), then runs that make Boost
// backtrack a lot, short enough for plain Boost to finish, with a real match before, after or none.
TEST(Differential, EveryByteInEveryGapAndAdversarialRuns) {
    std::mt19937 rng(7);
    for (std::string t : {"Monday#January#5#2004", "Wed##05#May#04", "21st#March##2004", "Jan#5##2004", "Fri#07-09-04", "March#3rd#2004",
                          "#2004#12#25", "05#may#2004", "05#AUG2004", "10:30:15#pm", "10:30#am", "@#9:30#p#", "@#9:30", "<title>#</title>",
                          "<h#>x</h1>", "<span#>#</span>", "<#a#href=#http://x#", "<a href=\"http://x#y\">", "#"})
        for (unsigned c = 0; c < 256; ++c) {
            std::string text = t;
            for (char& ch : text)
                if (ch == '#') ch = static_cast<char>(c);
            expectSame(text, rng, 0);
        }
    for (std::string run : {">", ">1", "1", "12/", "<a ", "<span", "<a href=", "Jan ", "Monday ", "@ 1:", "1:1:", "<title>", "\v", " "})
        for (int count : {1, 7, 300})
            for (std::string tail :
                 {"", " >12/25/2004", "Monday, May 5, 2004", "<a href=http://x.org>", "<span>t</span>", "@ 9:30 pm", "<h1>T</h1>"})
                for (const std::string& text : {repeat(run, count * run.size()) + tail, tail + repeat(run, count * run.size())})
                    expectSame(text, rng, 2);
}

// Megabyte runs on which plain Boost gives up or crawls: no pattern matches the run, a real match after it is found.
TEST(AcceleratorHostile, MegabyteRunsStaySound) {
    // clang-format off
    const struct { std::string unit, tail; int pattern; const char* group1; } cases[] = {
        {">", ">12/25/2004", 9, "2"}, {">1", "/12/2004", 9, "1"}, {"7", ">2004/1/2", 8, "2004"}, {" ", " >12/25/2004", 9, "2"},
        {"<a ", "<a href=http://x.org/>", 19, "http://x.org/"}, {"<span", "<span>t</span>", 18, "t"}};
    // clang-format on
    for (const auto& c : cases) {
        std::string t = repeat(c.unit, 1 << 20);
        auto find = [&](const GuardedRegex* p) { return p->search(&t[0], &t[0] + t.size(), match_result); };
        for (const GuardedRegex* p : patterns()) EXPECT_FALSE(find(p)) << c.unit << " / " << p->text();
        t += c.tail;
        ASSERT_TRUE(find(patterns()[c.pattern])) << c.unit;
        EXPECT_EQ(match_result[1].str(), c.group1) << c.unit;
    }
}

}  // namespace
