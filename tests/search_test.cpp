// The guarded search: its accelerated path must give exactly Boost's own
// result (same match position, same sub-matches) on any text, and must stay
// sound on hostile text.
#include <gtest/gtest.h>

#include <re2/re2.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dates/dates.h"
#include "dates/search.h"

namespace {

typedef boost::match_results<const char*> Match;

// The fifteen date and time patterns and the five finder patterns.
struct Pattern {
    std::string text;
    bool icase;
    std::unique_ptr<boost::regex> re;
    std::unique_ptr<re2::RE2> accel;
};

std::vector<Pattern>& patterns() {
    static std::vector<Pattern> all;
    if (all.empty()) {
        std::vector<std::pair<std::string, bool>> texts;
        for (int id = 0; id < 15; ++id)
            texts.emplace_back(datePatternText(id), datePatternIcase(id));
        for (const char* finder :
             {R"(<title>([^>^<]+?)</title>)", R"(<b>([^>^<]+?)</b>)",
              R"(<h\d>([^>^<]+?)</h\d>)", R"(<span[^>]*>([^>^<]+?)</span>)",
              R"(<\s*?a[^>]+?href\s*?=\s*?["|']?(http://[^>^"^']+?)["|'|\s|>])"})
            texts.emplace_back(finder, true);
        for (auto& t : texts) {
            Pattern p;
            p.text = t.first;
            p.icase = t.second;
            boost::regex::flag_type flags = boost::regex::normal;
            if (p.icase) flags |= boost::regex::icase;
            p.re.reset(new boost::regex(p.text, flags));
            p.accel.reset(makeAccelerator(p.text.c_str(), p.icase));
            all.push_back(std::move(p));
        }
    }
    return all;
}

// Compares the accelerated search with plain Boost on [a, b): the same
// outcome and, after a hit, the same position, prefix, suffix and every
// sub-match. Texts on which plain Boost throws are not comparable; returns
// whether a comparison was made.
bool expectSame(const Pattern& p, const char* a, const char* b,
                const std::string& what) {
    Match plain, fast;
    bool plainHit;
    try {
        plainHit = boost::regex_search(a, b, plain, *p.re, boost::match_default);
    } catch (const std::exception&) {
        return false;
    }
    bool fastHit = guardedSearch(*p.re, p.accel.get(), a, b, fast);
    SCOPED_TRACE("pattern " + p.text + "\ntext " + testing::PrintToString(what));
    EXPECT_EQ(fastHit, plainHit);
    if (!plainHit || !fastHit) return true;
    EXPECT_EQ(fast.size(), plain.size());
    EXPECT_EQ(fast.position(), plain.position());
    EXPECT_EQ(fast.prefix().first, plain.prefix().first);
    EXPECT_EQ(fast.prefix().second, plain.prefix().second);
    EXPECT_EQ(fast.prefix().matched, plain.prefix().matched);
    EXPECT_EQ(fast.suffix().first, plain.suffix().first);
    EXPECT_EQ(fast.suffix().second, plain.suffix().second);
    EXPECT_EQ(fast.suffix().matched, plain.suffix().matched);
    for (size_t i = 0; i < plain.size() && i < fast.size(); ++i) {
        EXPECT_EQ(fast[i].matched, plain[i].matched) << "group " << i;
        EXPECT_EQ(fast[i].first, plain[i].first) << "group " << i;
        EXPECT_EQ(fast[i].second, plain[i].second) << "group " << i;
        EXPECT_EQ(fast.position(i), plain.position(i)) << "group " << i;
    }
    return true;
}

void expectSameAll(const std::string& text) {
    const char* a = text.data();
    for (const Pattern& p : patterns()) expectSame(p, a, a + text.size(), text);
}

TEST(Accelerator, EveryPatternHasOne) {
    for (const Pattern& p : patterns())
        EXPECT_NE(p.accel, nullptr) << p.text << "\n"
                                    << translateToAccelerator(p.text.c_str(), p.icase);
}

TEST(Accelerator, UnsupportedSyntaxGetsNone) {
    for (const char* text :
         {"^abc", "abc$", "a\\bb", "\\Bx", "(?i)x", "a(?=b)", "a(?!b)",
          "(a)\\1", "a++", "a*+", "[[:alpha:]]+", "\\<word", "word\\>", "\\Ax",
          "x\\z", "\\Qa.b\\E", "a{2000}", "a{3,2}", "(a", "a)", "*a", "a|*",
          "\\x41", "\\p{L}", "[abc", "a\\"})
        EXPECT_EQ(std::unique_ptr<re2::RE2>(makeAccelerator(text, false)), nullptr)
            << text;
}

TEST(Accelerator, NoAcceleratorMeansPlainGuardedSearch) {
    boost::regex re("(a+)+b");
    std::string text = "xxaab";
    Match m;
    ASSERT_TRUE(guardedSearch(re, nullptr, text.data(), text.data() + text.size(), m));
    EXPECT_EQ(m.position(), 2);
    EXPECT_EQ(m[1].str(), "aa");
}

// Texts assembled from the pieces the patterns care about, so that near
// misses (a separator too many, a wrong case, a "<" in the way) are common.
TEST(AcceleratorDifferential, RandomFragmentTexts) {
    const std::vector<std::string> pieces = {
        "Monday", "Mon", "Tue", "Wednesday", "Thur", "Thu", "Sunday", "sat",
        "Jan", "January", "Sept", "September", "SEPT", "May", "mAy", "DEC",
        "Feb", "February", "th", "st", "nd", "rd", "am", "pm", "PM", "|m",
        "1", "5", "12", "25", "31", "2004", "04", "99", "0", "123456",
        " ", " ", ",", ", ", "-", "/", ".", "|", ":", ":", "@", "@ ", ">", ">",
        "<", "\n", "\r\n", "\v", "\t", "\f", "_", "^", "\"", "'", "=",
        std::string(1, '\0'), "\x85", "\xa0", "\xe9", "\xff", "\x0b\x0b",
        "<title>", "</title>", "<TITLE>", "<b>", "</b>", "<h1>", "</h2>",
        "<h3>", "<span class=x>", "<span>", "</span>", "<a href=\"",
        "<a href='", "< a target=x href = ", "http://", "HTTP://", "x.org/",
        "\">", "' ", "<a ", "href=", "Title text",
    };
    std::mt19937 rng(20261206);
    for (int round = 0; round < 2500; ++round) {
        std::string text;
        int n = rng() % 24;
        for (int i = 0; i < n; ++i) text += pieces[rng() % pieces.size()];
        expectSameAll(text);
        // The same text as a slice of a larger one: positions stay relative
        // to the slice start and nothing outside it is read.
        std::string outer = "Monday, Jan 5, 2004 >1/2/04 " + text + "12:30 pm <b>x</b>";
        const char* a = outer.data() + 28;
        for (const Pattern& p : patterns())
            expectSame(p, a, a + text.size(), "slice of " + text);
    }
}

TEST(AcceleratorDifferential, RandomBytes) {
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789>< :/-.|@apmAPMJanSept\n\v\x80\xff";
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        int n = rng() % 40;
        for (int i = 0; i < n; ++i)
            text += round % 2 ? static_cast<char>(rng() % 256)
                              : alphabet[rng() % alphabet.size()];
        expectSameAll(text);
    }
}

// Every byte in every separator position: checks the byte classes (\W, \s,
// \d, ".", brackets, case folding) byte by byte.
TEST(AcceleratorDifferential, EveryByteInEveryGap) {
    const char* templates[] = {
        "Monday#January#5#2004", "Wed##05#May#04", "21st#March##2004",
        "Jan#5##2004", "Fri#07-09-04", "March#3rd#2004", "#2004#12#25",
        "05#may#2004", "05#AUG2004", "10:30:15#pm", "10:30#am", "@#9:30#p#",
        "@#9:30", "<title>#</title>", "<h#>x</h1>", "<span#>#</span>",
        "<#a#href=#http://x#", "<a href=\"http://x#y\">", "#",
    };
    for (const char* t : templates) {
        for (unsigned c = 0; c < 256; ++c) {
            std::string text = t;
            for (char& ch : text)
                if (ch == '#') ch = static_cast<char>(c);
            expectSameAll(text);
        }
    }
}

// Long runs that make Boost backtrack a lot, still short enough for plain
// Boost to finish, with and without a real match at the end.
TEST(AcceleratorDifferential, AdversarialRuns) {
    const std::string runs[] = {">", ">1", "1", "12/", "<a ", "<span", "<a href=",
                                "Jan ", "Monday ", "@ 1:", "1:1:", "<title>",
                                "\v", " "};
    const std::string tails[] = {"", " >12/25/2004", "Monday, May 5, 2004",
                                 "<a href=http://x.org>", "<span>t</span>",
                                 "@ 9:30 pm", "<h1>T</h1>"};
    for (const std::string& run : runs) {
        for (int count : {1, 7, 300}) {
            std::string body;
            for (int i = 0; i < count; ++i) body += run;
            for (const std::string& tail : tails) {
                expectSameAll(body + tail);
                expectSameAll(tail + body);
            }
        }
    }
}

TEST(AcceleratorDifferential, RealPagesThroughTheDatePatterns) {
    // Slices of real pages: every 4096-byte window of a few corpus pages.
    for (int page : {0, 13, 42, 77}) {
        std::string path = std::string(WEBLOG2RSS_CORPUS_DIR) + "/pages/" +
                           std::to_string(page);
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) continue;
        std::string text;
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
        for (size_t at = 0; at < text.size(); at += 4096) {
            const char* a = text.data() + at;
            const char* b = text.data() + std::min(text.size(), at + 4096);
            for (const Pattern& p : patterns()) expectSame(p, a, b, "page window");
        }
    }
}

// Hostile text where plain Boost gives up or crawls: the guarded search
// answers, and finds a real match placed at the end.
TEST(AcceleratorHostile, MegabyteRunsStaySound) {
    const size_t size = 1 << 20;
    struct {
        std::string unit;
        std::string tail;
        int pattern;
        const char* group1;
    } cases[] = {
        {">", ">12/25/2004", 9, "2"},
        {">1", "/12/2004", 9, "1"},
        {"7", ">2004/1/2", 8, "2004"},
        {"<a ", "<a href=http://x.org/>", 19, "http://x.org/"},
        {"<span", "<span>t</span>", 18, "t"},
    };
    for (const auto& c : cases) {
        std::string text;
        while (text.size() < size) text += c.unit;
        const Pattern& p = patterns()[c.pattern];
        Match m;
        EXPECT_FALSE(guardedSearch(*p.re, p.accel.get(), text.data(),
                                   text.data() + text.size(), m))
            << c.unit;
        text += c.tail;
        ASSERT_TRUE(guardedSearch(*p.re, p.accel.get(), text.data(),
                                  text.data() + text.size(), m))
            << c.unit;
        EXPECT_EQ(m[1].str(), c.group1) << c.unit;
    }
}

}  // namespace
