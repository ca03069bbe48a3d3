// The extraction mode on small hand-written pages: the extra date forms as
// the locator sees them, the entry rules, the raw-page map, and the titles,
// links and descriptions of the feed, down to well-formed RSS 2.0.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "dates/extra_index.h"
#include "entries/store_origins.h"
#include "feed/format_writer.h"
#include "weblog2rss/convert.h"

namespace {

using namespace w2r;
using std::string;

// What one conversion gave: per item its title, first link and date.
struct Item {
    string title, link, date;
};

ConverterOptions modernOptions() {
    ConverterOptions o;
    o.years = {1995, 2030};
    o.extraction = ExtractionSettings::all();
    return o;
}

// Keeps the feed's items, and the feed as RSS 2.0.
class KeepWriter final : public FeedWriter {
public:
    std::vector<Item> items;
    string rss2;
    void write(const Feed& feed) override {
        for (const FeedEntry& e : feed.entries) {
            const Timestamp& t = e.time;
            items.push_back({e.title, e.links.empty() ? "" : e.links[0],
                             std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day)});
        }
        std::ostringstream out;
        FormatWriter(FeedFormat::Rss2, out).write(feed);
        rss2 = out.str();
    }
};

const Converter& modern() {
    static const Converter converter(modernOptions());
    return converter;
}

std::vector<Item> convert(const string& html, const string& address = "https://blog.example/", const Converter& converter = modern(),
                          string* rss2 = nullptr) {
    Page page;
    KeepWriter writer;
    CollectedDiagnostics messages;
    convertPage(converter, page, html, address, writer, messages);
    if (rss2) *rss2 = writer.rss2;
    return writer.items;
}

bool wellFormed(const string& xml) {
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "feed.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc) xmlFreeDoc(doc);
    return doc != nullptr;
}

// n posts in the given shape; "%d" in post stands for the post's number.
string posts(int n, const string& post, const string& around = "<div id=main>%s</div>") {
    string body;
    for (int i = 1; i <= n; i++) {
        string p = post;
        for (size_t at; (at = p.find("%d")) != string::npos;) p.replace(at, 2, std::to_string(i));
        body += p;
    }
    string page = around;
    page.replace(page.find("%s"), 2, body);
    return "<html><body>" + page + "</body></html>";
}

// ---- Dates as the locator reads them ---------------------------------------

TEST(ExtractionDates, FormsThePagesWrite) {
    // clang-format off
    const struct { string post; int items; string first; } cases[] = {
        {"<div class=post><h2>Titel %d</h2><p>%d. Januar 2014</p><p>text</p></div>", 4, "2014-1-1"},
        {"<div class=post><h2>T %d</h2><p>sábado, 1%d de octubre de 2013</p></div>", 4, "2013-10-11"},
        {"<div class=post><h2>T %d</h2><p>%d апреля 2016 г.</p></div>", 4, "2016-4-1"},
        {"<div class=post><h2>T %d</h2><p>2018年9月1%d日</p></div>", 4, "2018-9-11"},
        {"<div class=post><h2>T %d</h2><p>2021년 2월 1%d일</p></div>", 4, "2021-2-11"},
        {"<div class=post><h2>T %d</h2><p>Jul %dth, 2016</p></div>", 4, "2016-7-1"},
        {"<div class=post><h2>T %d</h2><time datetime=\"2024-03-0%dT10:00\">last week</time></div>", 4, "2024-3-1"},
        {"<div class=post><h2>T %d</h2><time datetime=\"October %d, 2023\">October 2023</time></div>", 4, "2023-10-1"},
        // A page that writes numbers day first is read so throughout.
        {"<div class=post><h2>T %d</h2><p>2%d/03/2015</p><p>0%d/04/2015</p></div>", 4, "2015-3-21"},
        // Dates in attributes, in a title's text, at the end of a range.
        {"<div class=post><h2>T %d</h2><span title=\"Wed Feb 04 2026\">5 feb 2026</span></div>", 4, "2026-2-5"},
        {"<div class=post><h2><a href=/p%d>Paris 02/12/2017 : la fête</a></h2><span>1%d/11/2017</span></div>", 4, "2017-11-11"},
        {"<div class=post><h2>T %d</h2><p>14.-1%d. Oktober 2021</p></div>", 0, ""},
        // Month archives: "September 2004 (12)" holds no date.
        {"<li class=x><a href=/2004/0%d/>September 2004 (1%d)</a></li>", 0, ""},
        {"<div class=post><h2>T %d</h2><p>%d March 1980</p></div>", 0, ""},  // outside the window
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.post);
        std::vector<Item> items = convert(posts(4, c.post));
        ASSERT_EQ(items.size(), static_cast<size_t>(c.items));
        if (c.items) { EXPECT_EQ(items[0].date, c.first); }
    }
}

TEST(ExtractionDates, RangesTitlesAndNumberOrder) {
    const string text = "a 14.-16. Oktober 2021 b 3 \xE2\x80\x93 5 May c 12 May";
    EXPECT_TRUE(endsDateRange(text.c_str() + text.find("16."), text.c_str()));
    EXPECT_TRUE(endsDateRange(text.c_str() + text.find("5 May"), text.c_str()));
    EXPECT_FALSE(endsDateRange(text.c_str() + text.find("12 May"), text.c_str()));

    const string h = "<h2><a>Paris 02/12/2017 : la fete du livre</a></h2><h2><time>02/12/2017</time> A title</h2>";
    const char* b = h.c_str();
    const char* e = b + h.size();
    size_t first = h.find("02/12"), second = h.find("02/12", first + 1);
    EXPECT_TRUE(inTitleHeading(b + first, b + first + 10, b, e));
    EXPECT_FALSE(inTitleHeading(b + second, b + second + 10, b, e));

    const struct {
        string text;
        bool dayFirst;
    } pages[] = {{"<p>31/12/2021</p><p>05/12/2021</p>", true},
                 {"<p>12/31/2021</p><p>05/12/2021</p>", false},
                 {"<p>05/12/2021</p>", false},
                 {"<a title=\"31/12/2021\">x</a><p>12/31/2021</p>", false}};  // attributes do not count
    for (const auto& p : pages) {
        ExtraDateIndex index;
        index.prepare(p.text.data(), p.text.data() + p.text.size(), {1995, 2030});
        EXPECT_EQ(index.dayFirstNumbers(), p.dayFirst) << p.text;
    }
}

// Deep nesting and many candidate dates stay about linear: every slice
// search is answered from one scan of the store per form.
TEST(ExtractionDates, DeepTreesStayFast) {
    string page = "<html><body>";
    for (int i = 0; i < 3000; i++) page += "<div><p>1 mai 2019 14h30 " + std::to_string(i) + "</p>";
    page += string(3000 * 6, ' ') + "</body></html>";
    auto start = std::chrono::steady_clock::now();
    convert(page);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 20.0);
}

// ---- Entry rules -----------------------------------------------------------

TEST(ExtractionEntries, Layouts) {
    // clang-format off
    const struct { string name, page; size_t items; string firstTitle; } cases[] = {
        {"dates between the elements of a list",
         "<html><body><div><h1>Archives</h1><dl>"
         "<dt>lun. 13 mars 2017</dt><dd><a href='./one.html'>une vision</a></dd>"
         "<dt>dim. 26 février 2017</dt><dd><a href='./two.html'>réflexion</a></dd>"
         "<dt>jeu. 23 février 2017</dt><dd><a href='./three.html'>how to git</a></dd>"
         "<dt>mer. 14 décembre 2016</dt><dd><a href='./four.html'>perspectives</a></dd>"
         "</dl></div></body></html>", 4, "une vision"},
        {"an archive grouped by year",
         "<html><body><div><h4>2015</h4><ul><li><span>2015-06-26</span> <a href='/a.html'>A</a></li>"
         "<li><span>2015-06-19</span> <a href='/b.html'>B</a></li><li><span>2015-03-02</span> <a href='/c.html'>C</a></li></ul>"
         "<h4>2014</h4><ul><li><span>2014-12-23</span> <a href='/d.html'>D</a></li>"
         "<li><span>2014-12-19</span> <a href='/e.html'>E</a></li><li><span>2014-11-02</span> <a href='/f.html'>F</a></li></ul>"
         "<h4>2013</h4><ul><li><span>2013-12-23</span> <a href='/g.html'>G</a></li>"
         "<li><span>2013-12-19</span> <a href='/h.html'>H</a></li><li><span>2013-11-02</span> <a href='/i.html'>I</a></li></ul>"
         "</div></body></html>", 9, "A"},
        {"month names partly English",
         posts(4, "<div class=post><h2>Post %d</h2><p>1%d november 2015</p></div>"
                  "<div class=post><h2>Bericht %d</h2><p>1%d maart 2016</p></div>"), 8, "Post 1"},
        {"several posts under one date header",
         posts(3, "<h2 class=date>December 0%d, 2003</h2><div class=body><h3>Post %d</h3><p>" + string(300, 'x') +
                  "</p></div><div class=body><h3>Later %d</h3><p>" + string(300, 'y') + "</p></div>"), 6, "Post 1"},
        {"a post whose date has another form",
         "<html><body><div><div class=post><h2>A</h2><p>March 4, 2016</p></div>"
         "<div class=post><h2>B</h2><p>&gt; 2016-03-03</p></div><div class=post><h2>C</h2><p>March 2, 2016</p></div>"
         "<div class=post><h2>D</h2><p>March 1, 2016</p></div></div></body></html>",
         4, "A"},
        {"two posts",
         posts(2, "<div class=post><h2>Only %d</h2><p>March 1%d, 2005</p><p>" + string(300, 'z') + "</p></div>"), 2, "Only 1"},
        {"one post shown twice",
         "<html><body><div><div class=post><h2>Alone</h2><p>March 12, 2005</p><p>" + string(300, 'z') +
         "</p></div><div class=post><h2>About this entry</h2><p>March 12, 2005</p><p>" + string(300, 'z') +
         "</p></div></div></body></html>", 0, ""},
        {"markup inside a script",
         "<html><head><script>var s = '<a href=\"/x\"><ul>';</script></head><body><div>"
         "<div class=post><h2>S 1</h2><p>March 1, 2016</p></div><div class=post><h2>S 2</h2><p>March 2, 2016</p></div>"
         "<div class=post><h2>S 3</h2><p>March 3, 2016</p></div><div class=post><h2>S 4</h2><p>March 4, 2016</p></div>"
         "</div></body></html>", 4, "S 1"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Item> items = convert(c.page);
        ASSERT_EQ(items.size(), c.items);
        if (c.items) { EXPECT_EQ(items[0].title, c.firstTitle); }
    }
}

TEST(ExtractionEntries, StoreMapsBackToTheRawPage) {
    const string html = "<p>AT&amp;T <!-- note -->rocks&nbsp;</p><div>x</div>";
    Page page;
    page.load(html);
    CollectedDiagnostics messages;
    ASSERT_TRUE(page.buildTree(messages));
    ASSERT_TRUE(page.mapOrigins());
    const Tree& tree = page.tree();
    const string store(tree.storeBegin(), tree.storeEnd());
    EXPECT_EQ(store, "<p>ATT rocks</p><div>x</div>");
    const char* b = tree.storeBegin();
    EXPECT_EQ(page.origins().rawSlice(b, b + store.find("<div")), "<p>AT&amp;T <!-- note -->rocks&nbsp;</p>");
    EXPECT_EQ(page.origins().rawSlice(b + store.find("<div"), tree.storeEnd()), "<div>x</div>");
    // A store that is not the page's gives no map.
    Scanner scanner;
    StoreOrigins other;
    EXPECT_FALSE(other.build(scanner, "<p>something else</p>", tree.storeBegin(), tree.storeEnd()));
    EXPECT_TRUE(other.rawSlice(b, b + 3).empty());

    const struct {
        string in, out;
    } scripts[] = {{"<script>a<b>c</script>d", "<script>     </script>d"},
                   {"<STYLE media=x>p{}\n</STYLE>", "<STYLE media=x>   \n</STYLE>"},
                   {"<scripts>x</scripts>", "<scripts>x</scripts>"},
                   {"<script>never closed", "<script>            "}};
    for (const auto& s : scripts) {
        string text = s.in;
        blankScriptContent(&text[0], text.size());
        EXPECT_EQ(text, s.out);
    }
}

// ---- Titles, links, descriptions -------------------------------------------

TEST(ExtractionFeed, TitlesAndLinks) {
    // clang-format off
    const struct { string name, post, title, link; } cases[] = {
        {"heading holding the permalink", "<article><h2><a href='/2016/07/p%d/'>Post &amp; more %d</a></h2><p>Jul %dth, 2016</p></article>",
         "Post &amp; more 1", "https://blog.example/2016/07/p1/"},
        {"title class, https", "<div class=entry><p>May 1%d, 2020</p><span class='entry-title'><a href='https://b.example/x%d'>Named %d</a></span></div>",
         "Named 1", "https://b.example/x1"},
        {"date and byline are no titles", "<div class=entry><h3>May 1%d, 2020</h3><h3>Posted by Ann</h3><p>text %d</p></div>",
         "(untitled)", ""},
        {"no heading at all", "<div class=entry><p>May 1%d, 2020</p><p>just text %d</p></div>", "(untitled)", ""},
        {"heading of images only", "<div class=entry><h2><img src=a.png></h2><p>May 1%d, 2020</p></div>", "(untitled)", ""},
        {"links a reader cannot open", "<div class=entry><h2>T %d</h2><p>May 1%d, 2020</p><a href='javascript:go()'>j</a>"
         "<a href='mailto:a@b.example'>m</a><a href='#top'>t</a><a href='../../../../up%d.html'>u</a></div>",
         "T 1", "https://blog.example/up1.html"},
        {"permalink before other links", "<div class=entry><h3>T %d</h3><p>May 1%d, 2020 <a href='https://photos.example/g'>gallery</a></p>"
         "<a href='/archives/00%d.html'>permalink</a></div>", "T 1", "https://blog.example/archives/001.html"},
        {"non-ASCII title", "<div class=entry><h2>Über Köln – 東京 %d</h2><p>1%d. Mai 2019</p></div>",
         "&#220;ber K&#246;ln &#8211; &#26481;&#20140; 1", ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        string rss2;
        std::vector<Item> items = convert(posts(4, c.post), "https://blog.example/", modern(), &rss2);
        ASSERT_EQ(items.size(), 4u);
        EXPECT_EQ(items[0].title, c.title);
        EXPECT_EQ(items[0].link, c.link);
        EXPECT_TRUE(wellFormed(rss2));
    }
}

TEST(ExtractionFeed, TheFirstEntryTakesNoPageHeadingAndBaseHrefCounts) {
    const string page = "<html><head><base href='https://base.example/blog/'></head><body><div><h1>Posts</h1>" +
                        posts(4, "<article><h2><a href='p%d.html'>Real %d</a></h2><p>May 1%d, 2020</p></article>", "%s") +
                        "</div></body></html>";
    std::vector<Item> items = convert(page, "https://other.example/");
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].title, "Real 1");
    EXPECT_EQ(items[0].link, "https://base.example/blog/p1.html");
    // A base that is no address gives way to the page address; without an
    // address (standard input) relative links are dropped.
    string bad = page;
    bad.replace(bad.find("https://base.example/blog/"), 26, "::not a url::");
    EXPECT_EQ(convert(bad, "https://other.example/x/")[0].link, "https://other.example/x/p1.html");
    string none = page;
    none.replace(none.find("<base"), none.find("</head>") - none.find("<base"), "");
    EXPECT_EQ(convert(none, "")[0].link, "");
}

TEST(ExtractionFeed, HostileEntriesGiveSoundFeeds) {
    string manyLinks;
    for (int i = 0; i < 10000; i++) manyLinks += "<a href='/l" + std::to_string(i) + "'>l</a>";
    // clang-format off
    const string cases[] = {
        posts(4, "<div class=e><h2>T %d</h2><p>May 1%d, 2020</p>" + manyLinks + "</div>"),
        posts(4, "<div class=e><h2><b><i></i></b></h2><time datetime='2020-99-99'>May 1%d, 2020</time></div>"),
        posts(4, "<div class=e><h2>]]&gt; &lt;script&gt;x&lt;/script&gt; %d</h2><p>May 1%d, 2020</p><p>\x01\xff\xfe</p></div>"),
        posts(4, "<div class=e><h2>Mix %d</h2><p>1%d mai 2020, 3 апреля 2016, 2018年9月18日</p></div>"),
    };
    // clang-format on
    for (const string& page : cases) {
        string rss2;
        std::vector<Item> items = convert(page, "https://blog.example/", modern(), &rss2);
        ASSERT_EQ(items.size(), 4u);
        EXPECT_FALSE(items[0].title.empty());
        EXPECT_TRUE(wellFormed(rss2)) << rss2.substr(0, 300);
    }
    EXPECT_EQ(convert(cases[2])[0].title, "]]&gt; &lt;script&gt;x&lt;/script&gt; 1");
}

TEST(ExtractionFeed, AsciiHtmlText) {
    const struct {
        string in, out;
    } cases[] = {{"plain", "plain"},
                 {"a & b < c > d \"e\"", "a &amp; b &lt; c &gt; d \"e\""},
                 {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80", "caf&#233; &#8212; &#128512;"},
                 {"tab\there\x01", "tab here"},
                 {"bad \xFF byte \xC3", "bad &#65533; byte &#65533;"},
                 {"\xED\xA0\x80", "&#65533;"}};  // a surrogate is no character
    for (const auto& c : cases) EXPECT_EQ(asciiHtmlText(c.in), c.out) << c.in;
}

// Each part is switched on its own: with none, the page reads as the
// system reads it.
TEST(ExtractionFeed, PartsSwitchOnTheirOwn) {
    const string page = posts(4, "<div class=e><h2><a href='https://b.example/p%d'>T %d</a></h2><p>May 1%d, 2008</p><b>Bold %d</b></div>");
    ConverterOptions none;
    none.years = {1995, 2030};
    const Converter plain(none);
    std::vector<Item> items = convert(page, "https://blog.example/", plain);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].title, "Bold 1");  // the system's first bold text
    EXPECT_EQ(items[0].link, "");         // https links are not the system's

    ConverterOptions titles = none;
    titles.extraction.titleFinder = true;
    const Converter withTitles(titles);
    items = convert(page, "https://blog.example/", withTitles);
    EXPECT_EQ(items[0].title, "T 1");
    EXPECT_EQ(items[0].link, "");

    ConverterOptions links = none;
    links.extraction.linkFinder = true;
    const Converter withLinks(links);
    items = convert(page, "https://blog.example/", withLinks);
    EXPECT_EQ(items[0].title, "Bold 1");
    EXPECT_EQ(items[0].link, "https://b.example/p1");
}

}  // namespace
