// Title and link finders, and the feed writer over a hand-filled entry table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <queue>
#include <sstream>
#include <string>
#include <vector>

#include "dom/dom.h"
#include "entries/entries.h"
#include "rss/rss.h"

namespace {

std::vector<std::string> drain(std::queue<std::string>& q) {
    std::vector<std::string> out;
    for (; !q.empty(); q.pop()) out.push_back(q.front());
    return out;
}

std::vector<std::string> linksOf(const std::string& html) {
    std::queue<std::string> q;
    findLinks(html, q);
    return drain(q);
}

// ---- findLinks ----

TEST(FindLinks, FiveTagsGiveFourAddressesInTextOrder) {
    const std::string html =
        "<a href='http://one.example/a'>1</a>"
        "<A HREF=http://two.example/b>2</A>"
        "<a href='http://three.example/c d'>3</a>"
        "<a href='https://four.example/'>4</a>"
        "<area shape=rect href='http://five.example/e'>";
    EXPECT_EQ(linksOf(html),
              (std::vector<std::string>{"http://one.example/a", "http://two.example/b",
                                        "http://three.example/c",
                                        "http://five.example/e"}));
}

TEST(FindLinks, AddressForms) {
    struct Case {
        const char* html;
        std::vector<std::string> links;
    } cases[] = {
        // No terminator before the end of the text: not found.
        {"<a href=http://end.example/x", {}},
        {"<a href=|http://pipe.example/p|>x</a>", {"http://pipe.example/p"}},
        {"<a href=\"HTTP://Upper.Example/X\">x</a>", {"HTTP://Upper.Example/X"}},
        {"<a  class=x\nhref = \"http://spaced.example/\">", {"http://spaced.example/"}},
        {"< a href=\"http://blank.example/\">", {"http://blank.example/"}},
        // Relative addresses, other schemes and other tags are not links.
        {"<a href=\"/local/page\">x</a><a href=\"mailto:me@example\">m</a>", {}},
        {"<img src=\"http://img.example/i.png\"><link href=\"http://css.example/\">",
         {}},
        // A name-only anchor does not stop the search for the next one.
        {"<a name=top>t</a> <a href='http://after.example/'>", {"http://after.example/"}},
        // The address ends at the first quote, "|" or blank; no "^" inside.
        {"<a href=\"http://x.example/a'b\">", {"http://x.example/a"}},
        {"<a href=\"http://x.example/a^b\">", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(linksOf(c.html), c.links) << c.html;
}

TEST(FindLinks, AppendsWithoutEmptyingTheQueue) {
    std::queue<std::string> q;
    q.push("earlier");
    findLinks("<a href=\"http://a.example/\">a</a><a href=\"http://b.example/\">", q);
    EXPECT_EQ(drain(q), (std::vector<std::string>{"earlier", "http://a.example/",
                                                  "http://b.example/"}));
}

TEST(FindLinks, ResumesAfterTheTerminator) {
    // The terminator of one address cannot open the next match, and the same
    // anchor is never reported twice.
    EXPECT_EQ(linksOf("<a href='http://a.example/' title='<a href=http://b.example/ '>"),
              (std::vector<std::string>{"http://a.example/", "http://b.example/"}));
}

// ---- findEntryTitle and findBlogTitle ----

TEST(FindEntryTitle, PatternOrderAndContentRules) {
    struct Case {
        const char* html;
        bool found;
        const char* title;
    } cases[] = {
        {"<h2>Head</h2> text <b>Bold</b>", true, "Bold"},
        {"<b>x<i>y</i></b><h3>Head</h2>", true, "Head"},
        {"<span class='t'>Span title</span><b>a^b</b>", true, "Span title"},
        {"<b class=x>No</b>", false, ""},
        {"<B>Upper Case</B>", true, "Upper Case"},
        {"<b></b> <b>Second</b>", true, "Second"},
        {"<b>two\nlines</b>", true, "two\nlines"},
        {"<SPAN CLASS=x>Shout</SPAN>", true, "Shout"},
        {"<span>no close", false, ""},
        {"<h10>x</h10>", false, ""},
        {"<p>plain text only</p>", false, ""},
    };
    for (const Case& c : cases) {
        std::string title = "unchanged";
        EXPECT_EQ(findEntryTitle(c.html, title), c.found) << c.html;
        EXPECT_EQ(title, c.found ? c.title : "unchanged") << c.html;
    }
}

TEST(FindBlogTitle, BareTitleWithPlainContent) {
    struct Case {
        const char* html;
        bool found;
        const char* title;
    } cases[] = {
        {"<TITLE>My weblog</TITLE>", true, "My weblog"},
        {"<html><head><title>A\nB</title></head>", true, "A\nB"},
        {"<title></title>", false, ""},
        {"<title>My <i>weblog</i></title>", false, ""},
        {"<title lang=en>Attributes</title>", false, ""},
        {"<title>Caret ^ here</title>", false, ""},
    };
    for (const Case& c : cases) {
        std::string title = "unchanged";
        EXPECT_EQ(findBlogTitle(c.html, title), c.found) << c.html;
        EXPECT_EQ(title, c.found ? c.title : "unchanged") << c.html;
    }
}

TEST(Finders, HostileTextsEndWithoutCrashing) {
    // Unclosed tag openers make a backtracking search blow up; it must end
    // with a sound answer (no match, or the real match after them).
    std::string anchors;
    for (int i = 0; i < 20000; i++) anchors += "<a ";
    std::vector<std::string> links = linksOf(anchors + "<a href='http://late.example/'>");
    EXPECT_LE(links.size(), 1u);
    if (!links.empty()) {
        EXPECT_EQ(links[0], "http://late.example/");
    }

    std::string spans;
    for (int i = 0; i < 20000; i++) spans += "<span";
    std::string title = "unchanged";
    if (!findEntryTitle(spans, title)) {
        EXPECT_EQ(title, "unchanged");
    }
}

// ---- printEntriesRSS over a hand-filled entry table ----

class Feed : public ::testing::Test {
protected:
    std::vector<std::string> texts;
    std::vector<char*> slots;
    std::vector<timestamp> stamps;

    void TearDown() override {
        blogentries = nullptr;
        timestampentries = nullptr;
        blogentries_count = 0;
        setPage("");
    }

    void setPage(const std::string& page) {
        std::memset(tmp, 0, 4096);
        std::memcpy(tmp, page.data(), page.size());
    }

    void addEntry(const std::string& html, timestamp ts) {
        texts.push_back(html);
        stamps.push_back(ts);
    }

    std::string render(const std::string& address) {
        slots.clear();
        for (std::string& t : texts) slots.push_back(&t[0]);
        blogentries = slots.data();
        timestampentries = stamps.data();
        blogentries_count = static_cast<int>(texts.size());
        std::ostringstream out;
        printEntriesRSS(address, out);
        return out.str();
    }
};

const char kHead[] =
    "<?xml version=\"1.0\"?>\n"
    "<rss version=\"0.91\">\n"
    "<channel>\n";
const char kChannelDescription[] =
    "<description>Automatically generated RSS from weblog</description>\n";

TEST_F(Feed, WholeDocumentLayout) {
    setPage("<html><head><title>Daily Notes</title></head><body>...</body></html>");
    addEntry("<p>Tom & Jerry: 1 < 2 > 0</p>", {1, 0, 2004, 3, 7, 0, 0});
    addEntry("<h3>Links</h3><a href=\"http://a.example/\">a</a> "
             "<a href='http://b.example/'>b</a> <a href=http://c.example/>c</a>",
             {1, 14, 2004, 3, 7, 9, 5});
    addEntry("<div>no links</div>", {1, 14, 2003, 12, 31, 23, 59});
    std::string expected = std::string(kHead) +
        "<title>Daily Notes</title>\n"
        "<link>http://www.example.org/blog/</link>\n" + kChannelDescription +
        "<item>\n"
        "<title>Entry 0</title>\n"
        "<link>http://www.example.org/blog/</link>\n"
        "<description><p>Tom & Jerry: 1 < 2 > 0</p></description>\n"
        "<dc:date>2004-3-7T0:0+00:00</dc:date>\n"
        "</item>\n"
        "<item>\n"
        "<title>Links</title>\n"
        "<link>http://a.example/</link>\n"
        "<link>http://b.example/</link>\n"
        "<link>http://c.example/</link>\n"
        "<description><h3>Links</h3><a href=\"http://a.example/\">a</a> "
        "<a href='http://b.example/'>b</a> <a href=http://c.example/>c</a>"
        "</description>\n"
        "<dc:date>2004-3-7T9:5+00:00</dc:date>\n"
        "</item>\n"
        "<item>\n"
        "<title>Entry 2</title>\n"
        "<link>http://www.example.org/blog/</link>\n"
        "<description><div>no links</div></description>\n"
        "<dc:date>2003-12-31T23:59+00:00</dc:date>\n"
        "</item>\n"
        "</channel>\n"
        "</rss>\n";
    EXPECT_EQ(render("http://www.example.org/blog/"), expected);
}

TEST_F(Feed, EmptyTableGivesTheChannelOnly) {
    setPage("<title>T</title>");
    EXPECT_EQ(render("a"), std::string(kHead) + "<title>T</title>\n<link>a</link>\n" +
                               kChannelDescription + "</channel>\n</rss>\n");
}

TEST_F(Feed, ChannelTitleFromTheAddressWhenThePageHasNone) {
    struct Case {
        const char* address;
        const char* title;
    } cases[] = {
        {"https://host.example/path/index.html", "host.example"},  // 8-char prefix
        {"http://host.example/path/index.html", "ost.example"},    // 7-char prefix
        {"https://host.example", "host.example"},                  // no slash after
        {"http://a", ""},                                          // exactly 8 bytes
        {"page.ht", ""},                                           // shorter
        {"", ""},                                                  // standard input
    };
    setPage("<html><title>My <i>weblog</i></title><body></body></html>");
    for (const Case& c : cases) {
        EXPECT_EQ(fallbackChannelTitle(c.address), c.title) << c.address;
        std::string feed = render(c.address);
        EXPECT_EQ(feed, std::string(kHead) + "<title>" + c.title + "</title>\n<link>" +
                            c.address + "</link>\n" + kChannelDescription +
                            "</channel>\n</rss>\n");
    }
}

TEST_F(Feed, EveryLineIsFlushed) {
    struct CountingBuf : std::stringbuf {
        int syncs = 0;
        int sync() override {
            syncs++;
            return 0;
        }
    } buf;
    std::ostream out(&buf);
    addEntry("<b>T</b>", {1, 0, 2004, 1, 1, 0, 0});
    slots = {&texts[0][0]};
    blogentries = slots.data();
    timestampentries = stamps.data();
    blogentries_count = 1;
    printEntriesRSS("http://x.example/", out);
    std::string text = buf.str();
    EXPECT_EQ(buf.syncs, static_cast<int>(std::count(text.begin(), text.end(), '\n')));
}

TEST_F(Feed, DiagnosticDump) {
    addEntry("<p>one</p>", {1, 14, 2004, 3, 7, 9, 5});
    addEntry("<p>two</p>", {6, 0, 2003, 12, 31, 0, 0});
    slots = {&texts[0][0], &texts[1][0]};
    blogentries = slots.data();
    timestampentries = stamps.data();
    blogentries_count = 2;
    testing::internal::CaptureStdout();
    printEntries();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Date type: 1 Time type: 14<br>"
              "Year: 2004, Month: 3, Day: 7, Hour: 9, Min: 5<br>"
              "<p>one</p> <hr>"
              "Date type: 6 Time type: 0<br>"
              "Year: 2003, Month: 12, Day: 31, Hour: 0, Min: 0<br>"
              "<p>two</p> <hr>");
}

}  // namespace
