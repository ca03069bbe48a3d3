// Extraction pieces of the modern mode: extra date forms, entry titles and
// entry links, on small hand-written fragments.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "extract/date_forms.h"
#include "extract/links.h"
#include "extract/titles.h"

namespace w2r {
namespace {

// ---- Date forms ------------------------------------------------------------

struct DateCase {
    const char* text;
    int year, month, day;  // 0 0 0: no form reads a date here
};

// The first form that reads a valid date from text, as a caller tries them.
bool firstDate(const std::string& text, int& y, int& m, int& d, std::string* form = nullptr) {
    for (const ExtraDateForm& f : extraDateForms()) {
        FormMatch match;
        if (!f.givesDate()) continue;
        if (searchExtraForm(f, text.data(), text.data() + text.size(), match) && readExtraDate(f, match, y, m, d)) {
            if (form) *form = f.row.example;
            return true;
        }
    }
    return false;
}

TEST(ExtraDateForms, ReadPrintedAndMachineDates) {
    const DateCase cases[] = {
        {"<p>Publié le 26 août 2017</p>", 2017, 8, 26},
        {"1er Décembre 2009", 2009, 12, 1},
        {"13. Januar 2014", 2014, 1, 13},
        {"3. März 2014", 2014, 3, 3},
        {"15 Juni 2021", 2021, 6, 15},
        {"sábado, 12 de octubre de 2013", 2013, 10, 12},
        {"5 feb 2026", 2026, 2, 5},
        {"30 de dezembro de 2017", 2017, 12, 30},
        {"2 de março de 2019", 2019, 3, 2},
        {"12 ottobre 2013", 2013, 10, 12},
        {"28 maart 2022", 2022, 3, 28},
        {"4 апреля 2016", 2016, 4, 4},
        {"1 Августа 2022 г.", 2022, 8, 1},
        {"2018年9月18日", 2018, 9, 18},
        {"2025年1月24日", 2025, 1, 24},
        {"2021년 2월 18일", 2021, 2, 18},
        {"Jul 8th, 2016", 2016, 7, 8},
        {"Sept 21st 2010", 2010, 9, 21},
        {"1 March 2004", 2004, 3, 1},
        {"2nd of May, 2009", 2009, 5, 2},
        {"26&nbsp;août&nbsp;2017", 2017, 8, 26},
        {"26\xC2\xA0"
         "ao\xC3\xBBt 2017",
         2017, 8, 26},
        {"21.05.2019", 2019, 5, 21},
        {"29.12.2010, 13:36 Uhr", 2010, 12, 29},
        {"avril 2, 2024", 2024, 4, 2},
        {"Segunda-feira, Março 24, 2003", 2003, 3, 24},
        {"22/03/2015", 2015, 3, 22},
        {"29 février 2016", 2016, 2, 29},
        {R"(<time class="x" datetime="2024-03-01T10:00:00+01:00">1 mars</time>)", 2024, 3, 1},
        {R"(<TIME dateTime='2013-06-13'>)", 2013, 6, 13},
        {R"(<time datetime="October 30, 2023">October 2023</time>)", 2023, 10, 30},
        {R"(<abbr class="published" title="2008-05-12T09:30:00Z">May 12</abbr>)", 2008, 5, 12},
        {R"(<meta itemprop="datePublished" content="2020-02-29">)", 2020, 2, 29},
        {R"(<span content="2019-07-04" itemprop="datePublished">)", 2019, 7, 4},
        // Near misses.
        {"32 août 2017", 0, 0, 0},
        {"29 février 2017", 0, 0, 0},
        {"126 août 20170", 0, 0, 0},
        {"26 aoûts 2017", 0, 0, 0},
        {"2018年13月18日", 0, 0, 0},
        {"Jul 8th", 0, 0, 0},
        {"4 АПРЕЛЯ", 0, 0, 0},
        {"31.04.2019", 0, 0, 0},
        {"version 1.2.2019.5", 0, 0, 0},
        {R"(<time datetime="yesterday">)", 0, 0, 0},
        {R"(<time datetime="2024-13-45">)", 0, 0, 0},
        {R"(<a href="/2016/07/08/post">)", 0, 0, 0},
        {"", 0, 0, 0},
    };
    for (const DateCase& c : cases) {
        int y = 0, m = 0, d = 0;
        bool found = firstDate(c.text, y, m, d);
        EXPECT_EQ(found, c.year != 0) << c.text;
        if (found && c.year) {
            EXPECT_EQ(y, c.year) << c.text;
            EXPECT_EQ(m, c.month) << c.text;
            EXPECT_EQ(d, c.day) << c.text;
        }
    }
}

TEST(ExtraDateForms, EveryRowReadsItsOwnExample) {
    for (const ExtraDateForm& f : extraDateForms()) {
        FormMatch m;
        std::string text = f.row.example;
        ASSERT_TRUE(searchExtraForm(f, text.data(), text.data() + text.size(), m)) << f.row.example << " / " << f.pattern;
        int a = 0, b = 0, c = 0;
        if (f.givesDate()) {
            EXPECT_TRUE(readExtraDate(f, m, a, b, c)) << f.row.example;
        } else {
            EXPECT_TRUE(readExtraTime(f, m, a, b)) << f.row.example;
        }
    }
}

TEST(ExtraDateForms, ReadTimes) {
    struct TimeCase {
        const char* text;
        int hour, minute;  // -1: none
    } cases[] = {
        {"le 3 mai à 14h30", 14, 30},
        {"9 h 05", 9, 5},
        {"um 14:30 Uhr", 14, 30},
        {R"(<time datetime="2024-03-01T07:45:00Z">)", 7, 45},
        {R"(<time datetime="2024-03-01 23:59">)", 23, 59},
        {R"(<time datetime="2024-03-01">)", -1, -1},
        {"25h30", -1, -1},
        {"14h75", -1, -1},
        {"25:10 Uhr", -1, -1},
        {"0x14h30", -1, -1},
    };
    for (const TimeCase& c : cases) {
        std::string text = c.text;
        int hour = -1, minute = -1;
        for (const ExtraDateForm& f : extraDateForms()) {
            FormMatch m;
            if (f.givesTime() && searchExtraForm(f, text.data(), text.data() + text.size(), m) && readExtraTime(f, m, hour, minute)) break;
        }
        EXPECT_EQ(hour, c.hour) << c.text;
        EXPECT_EQ(minute, c.minute) << c.text;
    }
}

TEST(ExtraDateForms, MonthNamesAndCalendar) {
    EXPECT_EQ(monthNumber(MonthNames::kRussian, "апреля"), 4);
    EXPECT_EQ(monthNumber(MonthNames::kRussian, "Апреля"), 4);
    EXPECT_EQ(monthNumber(MonthNames::kGerman, "MÄRZ"), 0);  // only ASCII folds
    EXPECT_EQ(monthNumber(MonthNames::kGerman, "März"), 3);
    EXPECT_EQ(monthNumber(MonthNames::kFrench, "Févr."), 2);
    EXPECT_EQ(monthNumber(MonthNames::kNumber, "jan"), 0);
    EXPECT_EQ(monthNumberAnyLanguage("OKTOBER"), 10);
    EXPECT_TRUE(isRealDate(2000, 2, 29));
    EXPECT_FALSE(isRealDate(1900, 2, 29));
    EXPECT_FALSE(isRealDate(2024, 4, 31));
    EXPECT_FALSE(isRealDate(0, 1, 1));
}

TEST(ExtraDateForms, LocatedSearchEqualsPlainSearch) {
    // Texts with matches at the start, after digits and words, and several
    // in a row: the located search must find Boost's own leftmost match.
    std::vector<std::string> texts;
    for (const ExtraDateForm& f : extraDateForms()) {
        std::string e = f.row.example;
        for (const char* before : {"", "1", "x", "9 ", ">", "2024-", "0x"}) texts.push_back(before + e + " " + e);
    }
    for (const char* t : {"12 12 août 2017 le 3 mai 2018", "2025年1月24日2025年1月25日",
                          "<time datetime=\"2024-01-02\"><time datetime=\"2024-01-03T04:05\">", "14h30 et 114h30 ou 14h300",
                          "Jul 8th 2016, Jul 18th, 2017"})
        texts.push_back(t);
    for (const ExtraDateForm& f : extraDateForms()) {
        for (const std::string& text : texts) {
            const char* a = text.data();
            const char* b = a + text.size();
            FormMatch located, plain;
            bool hit = searchExtraForm(f, a, b, located);
            bool plainHit = boost::regex_search(a, b, plain, f.regex);
            ASSERT_EQ(hit, plainHit) << f.row.example << " in " << text;
            if (hit) {
                EXPECT_EQ(located[0].first - a, plain[0].first - a) << f.row.example << " in " << text;
                EXPECT_EQ(located[0].second - a, plain[0].second - a) << f.row.example << " in " << text;
            }
        }
    }
}

TEST(ExtraDateForms, LongTextsStayFast) {
    // Many near-matches in one text: each form must scan it in about
    // linear time.
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "12 12 <time datetime=\"x\" 2024- 12. ";
    auto start = std::chrono::steady_clock::now();
    for (const ExtraDateForm& f : extraDateForms()) {
        FormMatch m;
        searchExtraForm(f, text.data(), text.data() + text.size(), m);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// ---- Titles ----------------------------------------------------------------

struct TitleCase {
    const char* html;
    const char* title;
    const char* link;  // null: not checked
};

TEST(ModernTitles, Rules) {
    const TitleCase cases[] = {
        // Headings with a link inside, entities decoded, white space collapsed.
        {R"(<h2 class="entry-title"><a href="/2016/07/x/">Fog &amp;
            the   breakwater</a></h2><p>Body</p>)",
         "Fog & the breakwater", "/2016/07/x/"},
        // A date header before the title heading is skipped.
        {R"(<h2 class="date-header"><span>Monday, March 1, 2004</span></h2>
            <div class="post"><h3 class="post-title">Net mending</h3></div>)",
         "Net mending", ""},
        // Class names a title.
        {R"(<div class="meta">x</div><span class="post-list-title">Medium blending</span>)", "Medium blending", nullptr},
        {R"(<a class="archive-post-title" href="/p1">Custom packets</a>)", "Custom packets", "/p1"},
        // A title element inside a title wrapper wins over the wrapper.
        {R"(<div class="title-wrap"><h1>Inner</h1><span>by Marta</span></div>)", "Inner", nullptr},
        // Stamps and furniture inside the heading are left out.
        {R"(<h4><a href="/a.html"><strong>spark-shell</strong></a> <small>2015.06.26</small></h4>)", "spark-shell", "/a.html"},
        {R"(<h3 class="post-title"><a href="ai/">AI Advantage</a><span class="separator"> | </span>July 6, 2020<span class="taglist"><a href="tag/ai/">ai</a></span></h3>)",
         "AI Advantage", "ai/"},
        {R"(<h2>Top <b>10</b> films</h2>)", "Top 10 films", nullptr},
        // Bylines, separators, link labels and dates are skipped.
        {R"(<h3>Posted by Marta</h3><h3>By Marta Olek</h3><h3>»</h3><h3>|</h3>
            <h3>Comments (3)</h3><h3>Read more…</h3><h3>Permalink</h3>
            <h3>Tags: sea, fog</h3><h3>9 jaar ago</h3><h3>Year 2015</h3><h3>March</h3>
            <h2>By the sea</h2>)",
         "By the sea", nullptr},
        // Markup-only and image-only headings are skipped.
        {R"(<h2><a href="/x"></a></h2><h2><img src="t.png" alt="Title"></h2><h3>Real</h3>)", "Real", nullptr},
        // Hidden and script text is no title.
        {R"(<h2><span class="screen-reader-text">Posted on</span><script>x()</script>Shown</h2>)", "Shown", nullptr},
        // No heading: the first permalink with a title text.
        {R"(<p><a href="/tag/fog">fog</a> <a href="/2016/07/08/">July 8, 2016</a>
            <a href="/archives/000231.html">Fog over the bay</a></p>)",
         "Fog over the bay", "/archives/000231.html"},
        {R"(<a href="../posts/A_Message/">A Message To Our Sponsors</a>)", "A Message To Our Sponsors", "../posts/A_Message/"},
        {R"(<a href="?p=123">Query permalink</a>)", "Query permalink", "?p=123"},
        {R"(<a rel="bookmark" href="/x">Bookmarked</a>)", "Bookmarked", "/x"},
        // No heading and no permalink: empty (the caller falls back).
        {R"(<p>Just text with <a href="/about">a link</a>.</p>)", "", ""},
        {"", "", ""},
        {"<h2></h2>", "", ""},
    };
    for (const TitleCase& c : cases) {
        ModernTitle t = findModernTitleAndLink(c.html);
        EXPECT_EQ(t.text, c.title) << c.html;
        if (c.link) { EXPECT_EQ(t.link, c.link) << c.html; }
    }
}

TEST(ModernTitles, AcceptableTexts) {
    const std::pair<const char*, bool> cases[] = {
        {"Fog over the bay", true},
        {"By the sea", true},
        {"Top 10 films of 2004", true},
        {"Tag der offenen Tür", true},
        {"2018年の振り返り", true},
        {"Q&A", true},
        {"", false},
        {"| » —", false},
        {"Monday, March 1, 2004", false},
        {"lun. 13 mars 2017", false},
        {"vor 3 Tagen", false},
        {"2025年1月24日", false},
        {"3 Comments", false},
        {"Kommentare (0)", false},
        {"Continue reading →", false},
        {"Lire la suite »", false},
        {"Читать далее", false},
        {"Posted by Marta", false},
        {"By Marta Olek", false},
        {"Publié par Jean", false},
        {"Tags: fog, sea", false},
        {"Filed under Travel", false},
        {"Uncategorized", false},
        {"Permalink", false},
    };
    for (const auto& [text, acceptable] : cases) EXPECT_EQ(isAcceptableTitle(text), acceptable) << text;
    EXPECT_FALSE(isAcceptableTitle(std::string(600, 'x')));
}

TEST(ModernTitles, PermalinkShapes) {
    const std::pair<const char*, bool> cases[] = {
        {"/2016/07/fog-over-the-bay/", true},
        {"https://ex.org/2016/7/x", true},
        {"/blog/2023-07-28-mc-memory/", true},
        {"archives/000231.html", true},
        {"/index.php?p=123", true},
        {"/posts/hello", true},
        {"/im-joining-10up-2", true},
        {"/", false},
        {"https://ex.org", false},
        {"/about", false},
        {"/tag/fog/", false},
        {"/category/travel/page/2/", false},
        {"/author/marta/", false},
        {"/2016/07/x.html#comments", false},
        {"/wp-login.php?redirect=/2016/07/x/", false},
        {"/images/photo-of-the-bay.jpg", false},
        {"/blog/index.html", false},
        {"/?s=fog", false},
    };
    for (const auto& [href, permalink] : cases) EXPECT_EQ(looksLikePermalink(href, ""), permalink) << href;
    EXPECT_TRUE(looksLikePermalink("/about", "bookmark"));
}

TEST(ModernTitles, TitlesCutApartFromTheirEntry) {
    // Date header and title at the end of the previous slice, the post's
    // text in this one (which ends with the next post's header).
    TitleContext around;
    around.preceding = R"(<div class="post">Earlier text of the previous post, long enough.</div>
        <div class="date-header">Friday, September 11, 2009 - <span class="post-title">Moved</span></div>)";
    const char* entry = R"(<div class="post">This post's own text, long enough to count.</div>
        <div class="date-header">Thursday, September 10, 2009 - <span class="post-title">Later</span></div>)";
    EXPECT_EQ(findModernTitle(entry, around), "Moved");
    EXPECT_EQ(findModernTitle(entry), "Later");
    // A title that opens the entry wins over the preceding header.
    EXPECT_EQ(findModernTitle(R"(<h3>Own</h3><p>Text</p>)", around), "Own");

    // An entry that is only a date header takes the title that follows.
    TitleContext after;
    after.following = R"(<div class="post"><h3>Title after the header</h3><p>Text</p></div>)";
    EXPECT_EQ(findModernTitle(R"(<h2 class="date-header">Monday, March 1, 2004</h2>)", after), "Title after the header");
    // An entry with its own text keeps its own (permalink) title.
    EXPECT_EQ(findModernTitle(R"(<p>Monday, March 1, 2004</p><p>A long paragraph of the entry.
        <a href="/2004/03/own.html">Own title</a></p>)",
                              after),
              "Own title");
}

TEST(HtmlFragments, NestingLimitKeepsLinksAndHeadings) {
    std::string html;
    for (int i = 0; i < 40; ++i) html += "<div><span>";
    html += "<h2><a href=\"/deep\">Deep</a></h2>";
    for (int i = 0; i < 40; ++i) html += "</span></div>";
    std::string limited = limitNesting(html, 10);
    EXPECT_EQ(limited.find("<div><span><div><span><div><span><div><span><div><span><div>"), std::string::npos);
    EXPECT_NE(limited.find("<h2><a href=\"/deep\">Deep</a></h2>"), std::string::npos);
    EXPECT_EQ(limitNesting("<p>a<br><img src=x><script>if (a<b) x()</script></p>", 1),
              "<p>a<br><img src=x><script>if (a<b) x()</script></p>");
}

TEST(ModernTitles, Windows1252AndBadBytes) {
    EXPECT_EQ(findModernTitle("<h2>Caf\xE9 \x93quoted\x94</h2>"), "Caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D");
    EXPECT_EQ(findModernTitle(std::string("<h2>A\0B</h2>", 11)).empty(), false);
}

TEST(ModernTitles, DeepNestingStaysFast) {
    std::string html;
    for (int i = 0; i < 200000; ++i) html += "<div class=\"title\">";
    html += "<h1>Deep</h1>";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(findModernTitle(html), "Deep");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// ---- Links -----------------------------------------------------------------

struct LinkCase {
    const char* href;
    const char* base;
    const char* resolved;  // "" when dropped
};

TEST(ModernLinks, Resolution) {
    const LinkCase cases[] = {
        {"/a/b.html", "http://ex.org/dir/page", "http://ex.org/a/b.html"},
        {"c.html", "https://ex.org/dir/page", "https://ex.org/dir/c.html"},
        {"../../../x", "http://ex.org/a/b/", "http://ex.org/x"},
        {"http://ex.org/a/../../b/./c", "", "http://ex.org/b/c"},
        {"//cdn.ex.org/p", "https://ex.org/", "https://cdn.ex.org/p"},
        {"?p=12", "http://ex.org/blog/index.php", "http://ex.org/blog/index.php?p=12"},
        {"  /sp ace/é\t\n", "http://ex.org/", "http://ex.org/sp%20ace/%C3%A9"},
        {"HTTPS://Ex.org/Up", "", "HTTPS://Ex.org/Up"},
        {"/rel", "", ""},
        {"/rel", "pages/3", ""},
        {"/rel", "::not a url::", ""},
        {"#comments", "http://ex.org/", ""},
        {"javascript:void(0)", "http://ex.org/", ""},
        {" JavaScript:alert(1)", "http://ex.org/", ""},
        {"mailto:a@ex.org", "http://ex.org/", ""},
        {"ftp://ex.org/f", "http://ex.org/", ""},
        {"http:relative", "http://ex.org/", ""},
        {"http://", "http://ex.org/", ""},
        {"%zz", "http://ex.org/", "http://ex.org/%25zz"},
    };
    for (const LinkCase& c : cases) EXPECT_EQ(resolveHttpUrl(c.href, c.base), c.resolved) << c.href << " on " << c.base;
}

TEST(ModernLinks, EntryLinks) {
    std::string html = R"html(
        <a href="/p/2">second</a> <a href="http://EX.org:80/p/2#c">same page</a>
        <a href="#top">top</a> <a href="mailto:x@ex.org">mail</a>
        <a href="javascript:go()">go</a> <a href="https://other.net/y">other</a>
        <a>no href</a> <a href="/p/1">title again</a>)html";
    std::vector<std::string> expected = {"http://ex.org/p/1", "http://ex.org/p/2", "https://other.net/y"};
    EXPECT_EQ(findModernLinks(html, "http://ex.org/index.html", "/p/1"), expected);
    // Without a base only absolute addresses remain.
    EXPECT_EQ(findModernLinks(html, "", "/p/1"), (std::vector<std::string>{"http://EX.org:80/p/2#c", "https://other.net/y"}));
    EXPECT_TRUE(findModernLinks("", "http://ex.org/", "").empty());
}

TEST(ModernLinks, SameAddressKeys) {
    EXPECT_EQ(linkKey("HTTP://Ex.ORG:80/a/./b/../c#x"), linkKey("http://ex.org/a/c"));
    EXPECT_EQ(linkKey("https://ex.org:443"), linkKey("https://ex.org/"));
    EXPECT_EQ(linkKey("http://ex.org/%7ea"), linkKey("http://ex.org/~a"));
    EXPECT_NE(linkKey("https://ex.org/a"), linkKey("http://ex.org/a"));
    EXPECT_NE(linkKey("http://ex.org:8080/"), linkKey("http://ex.org/"));
    EXPECT_NE(linkKey("http://ex.org/a?x=1"), linkKey("http://ex.org/a?x=2"));
}

TEST(ModernLinks, TenThousandLinksStayFast) {
    std::string html;
    for (int i = 0; i < 10000; ++i) html += "<a href=\"/post/" + std::to_string(i % 5000) + "\">p</a> ";
    auto start = std::chrono::steady_clock::now();
    std::vector<std::string> links = findModernLinks(html, "http://ex.org/", "");
    EXPECT_EQ(links.size(), 5000u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(ModernLinks, BaseHref) {
    struct BaseCase {
        const char* page;
        const char* address;
        const char* base;
    } cases[] = {
        {R"(<html><head><base href="/blog/"></head><body><base href="/no/"></body>)", "http://ex.org/x/y.html", "http://ex.org/blog/"},
        {R"(<base href="https://cdn.ex.org/b/">)", "", "https://cdn.ex.org/b/"},
        {R"(<base href="/blog/">)", "", ""},
        {R"(<base href="/blog/">)", "pages/3", "pages/3"},
        {R"(<base href="http://[bad">)", "http://ex.org/", "http://ex.org/"},
        {R"(<base href="">)", "http://ex.org/", "http://ex.org/"},
        {R"(<base target="_blank">)", "http://ex.org/", "http://ex.org/"},
        {R"(<p>no base</p><body><base href="/late/">)", "http://ex.org/", "http://ex.org/"},
        {"", "", ""},
    };
    for (const BaseCase& c : cases) EXPECT_EQ(findBaseHref(c.page, c.address), c.base) << c.page << " at " << c.address;
}

}  // namespace
}  // namespace w2r
