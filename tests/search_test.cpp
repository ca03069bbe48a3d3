// The guarded search: its accelerated path gives exactly Boost's own result (match position, prefix, suffix,
// sub-matches) on any text, and stays sound on hostile text.
#include <gtest/gtest.h>

#include <re2/re2.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "dates/dates.h"
#include "dates/search.h"
#include "tests/corpus.h"

namespace {

typedef boost::match_results<const char*> Match;
struct Pattern { std::string text; bool icase; boost::regex re; std::unique_ptr<re2::RE2> accel; };

// The fifteen date and time patterns (ids 0..14), then the five finders.
const std::vector<Pattern>& patterns() {
    static const char* const finders[] = {
        R"(<title>([^>^<]+?)</title>)", R"(<b>([^>^<]+?)</b>)", R"(<h\d>([^>^<]+?)</h\d>)", R"(<span[^>]*>([^>^<]+?)</span>)",
        R"(<\s*?a[^>]+?href\s*?=\s*?["|']?(http://[^>^"^']+?)["|'|\s|>])"};
    static std::vector<Pattern> all;
    for (int i = static_cast<int>(all.size()); i < 20; ++i) {
        std::string t = i < 15 ? datePatternText(i) : finders[i - 15];
        bool icase = i >= 15 || datePatternIcase(i);
        all.push_back({t, icase, boost::regex(t, icase ? boost::regex::icase : boost::regex::normal),
                       std::unique_ptr<re2::RE2>(makeAccelerator(t.c_str(), icase))});
    }
    return all;
}

bool same(const boost::sub_match<const char*>& x, const boost::sub_match<const char*>& y) {
    return x.matched == y.matched && x.first == y.first && x.second == y.second;
}

// The accelerated search against plain Boost on [a, b) for every pattern; a throw of plain Boost: not comparable.
void expectSame(const char* a, const char* b, const std::string& what) {
    for (const Pattern& p : patterns()) {
        Match plain, fast;
        bool plainHit;
        try { plainHit = boost::regex_search(a, b, plain, p.re, boost::match_default); }
        catch (const std::exception&) { continue; }
        SCOPED_TRACE("pattern " + p.text + "\ntext " + testing::PrintToString(what));
        ASSERT_EQ(guardedSearch(p.re, p.accel.get(), a, b, fast), plainHit);
        if (!plainHit) continue;
        ASSERT_EQ(fast.size(), plain.size());
        EXPECT_EQ(fast.position(), plain.position());
        EXPECT_TRUE(same(fast.prefix(), plain.prefix()) && same(fast.suffix(), plain.suffix()));
        for (size_t i = 0; i < plain.size(); ++i) EXPECT_TRUE(same(fast[i], plain[i])) << "group " << i;
    }
}
void expectSame(const std::string& text) { expectSame(text.data(), text.data() + text.size(), text); }
std::string repeat(const std::string& unit, size_t size) { std::string s; while (s.size() < size) s += unit; return s; }

TEST(Accelerator, EveryPatternHasOneAndOddSyntaxHasNone) {
    for (const Pattern& p : patterns())
        EXPECT_NE(p.accel, nullptr) << p.text << "\n" << translateToAccelerator(p.text.c_str(), p.icase);
    for (const char* text : {"^abc", "abc$", "a\\bb", "\\Bx", "(?i)x", "a(?=b)", "a(?!b)", "(a)\\1", "a++", "a*+",
                             "[[:alpha:]]+", "\\<word", "word\\>", "\\Ax", "x\\z", "\\Qa.b\\E", "a{2000}", "a{3,2}",
                             "(a", "a)", "*a", "a|*", "\\x41", "\\p{L}", "[abc", "a\\"})
        EXPECT_EQ(std::unique_ptr<re2::RE2>(makeAccelerator(text, false)), nullptr) << text;
}

// Texts of the pieces the patterns care about, so that near misses (a separator too many, a wrong case, a "<" in
// the way) are common; odd rounds are random bytes. Each is also searched as a slice of a larger text: positions
// stay relative to the slice start and nothing outside it is read.
TEST(AcceleratorDifferential, RandomTexts) {
    const std::vector<std::string> pieces = {
        "Monday", "Mon", "Tue", "Wednesday", "Thur", "Thu", "Sunday", "sat", "Jan", "January", "Sept", "September",
        "SEPT", "May", "mAy", "DEC", "Feb", "February", "th", "st", "nd", "rd", "am", "pm", "PM", "|m", "1", "5",
        "12", "25", "31", "2004", "04", "99", "0", "123456", " ", " ", ",", ", ", "-", "/", ".", "|", ":", ":", "@",
        "@ ", ">", ">", "<", "\n", "\r\n", "\v", "\t", "\f", "_", "^", "\"", "'", "=", std::string(1, '\0'), "\x85",
        "\xa0", "\xe9", "\xff", "\x0b\x0b", "<title>", "</title>", "<TITLE>", "<b>", "</b>", "<h1>", "</h2>", "<h3>",
        "<span class=x>", "<span>", "</span>", "<a href=\"", "<a href='", "< a target=x href = ", "http://",
        "HTTP://", "x.org/", "\">", "' ", "<a ", "href=", "Title text"};
    std::mt19937 rng(20261206);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int i = 0, n = rng() % 32; i < n; ++i)
            text += round % 2 ? std::string(1, static_cast<char>(rng() % 256)) : pieces[rng() % pieces.size()];
        expectSame(text);
        std::string outer = "Monday, Jan 5, 2004 >1/2/04 " + text + "12:30 pm <b>x</b>";
        expectSame(outer.data() + 28, outer.data() + 28 + text.size(), "slice of " + text);
    }
}

// Every byte in every separator position "#": the byte classes (\W, \s, \d, ".", brackets, case folding).
TEST(AcceleratorDifferential, EveryByteInEveryGapAndAdversarialRuns) {
    for (std::string t : {"Monday#January#5#2004", "Wed##05#May#04", "21st#March##2004", "Jan#5##2004",
                          "Fri#07-09-04", "March#3rd#2004", "#2004#12#25", "05#may#2004", "05#AUG2004",
                          "10:30:15#pm", "10:30#am", "@#9:30#p#", "@#9:30", "<title>#</title>", "<h#>x</h1>",
                          "<span#>#</span>", "<#a#href=#http://x#", "<a href=\"http://x#y\">", "#"})
        for (unsigned c = 0; c < 256; ++c) {
            std::string text = t;
            for (char& ch : text) if (ch == '#') ch = static_cast<char>(c);
            expectSame(text);
        }
    // Runs that make Boost backtrack a lot, short enough for plain Boost to finish; a real match before, after, none.
    for (std::string run : {">", ">1", "1", "12/", "<a ", "<span", "<a href=", "Jan ", "Monday ", "@ 1:", "1:1:",
                            "<title>", "\v", " "})
        for (int count : {1, 7, 300}) {
            std::string body = repeat(run, count * run.size());
            for (std::string tail : {"", " >12/25/2004", "Monday, May 5, 2004", "<a href=http://x.org>",
                                     "<span>t</span>", "@ 9:30 pm", "<h1>T</h1>"}) {
                expectSame(body + tail);
                expectSame(tail + body);
            }
        }
}

// Every 4096-byte window of a few real corpus pages.
TEST(AcceleratorDifferential, RealPageWindows) {
    SKIP_WITHOUT_CORPUS();
    for (int page : {0, 13, 42, 77}) {
        std::string text = corpusPage(page);
        for (size_t at = 0; at < text.size(); at += 4096)
            expectSame(text.data() + at, text.data() + std::min(text.size(), at + 4096), "page window");
    }
}

// Megabyte runs on which plain Boost gives up or crawls: every pattern answers, the run alone holds no match, and
// a real one placed after it is found.
TEST(AcceleratorHostile, MegabyteRunsStaySound) {
    const struct { std::string unit, tail; int pattern; const char* group1; } cases[] = {
        {">", ">12/25/2004", 9, "2"},
        {">1", "/12/2004", 9, "1"},
        {"7", ">2004/1/2", 8, "2004"},
        {" ", " >12/25/2004", 9, "2"},
        {"<a ", "<a href=http://x.org/>", 19, "http://x.org/"},
        {"<span", "<span>t</span>", 18, "t"}};
    for (const auto& c : cases) {
        std::string text = repeat(c.unit, 1 << 20);
        Match m;
        auto find = [&](const Pattern& p) { return guardedSearch(p.re, p.accel.get(), text.data(), text.data() + text.size(), m); };
        for (const Pattern& p : patterns()) EXPECT_FALSE(find(p)) << c.unit << " / " << p.text;
        text += c.tail;
        ASSERT_TRUE(find(patterns()[c.pattern])) << c.unit;
        EXPECT_EQ(m[1].str(), c.group1) << c.unit;
    }
}

}  // namespace
