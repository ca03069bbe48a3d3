// Title and link finders, and the neutral feed and its RSS 0.91 writer over
// a hand-filled entry table.
#include <gtest/gtest.h>

#include <deque>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "entries/page.h"
#include "feed/feed.h"
#include "feed/finders.h"

namespace {

using namespace w2r;
using Strings = std::vector<std::string>;
const Finders finders;

// Addresses Finders::links leaves in the list (which starts with the given items).
Strings linksOf(const std::string& html, Strings out = {}) {
    finders.links(html, out);
    return out;
}

TEST(FindLinks, AddressForms) {
    // clang-format off
    const struct { std::string html; Strings links; } cases[] = {
        // Five tags, four addresses: a blank ends one, https and <area> do not count.
        {"<a href='http://one.example/a'>1</a><A HREF=http://two.example/b>2</A>"
         "<a href='http://three.example/c d'>3</a><a href='https://four.example/'>4</a>"
         "<area shape=rect href='http://five.example/e'>",
         {"http://one.example/a", "http://two.example/b", "http://three.example/c",
          "http://five.example/e"}},
        {"<a href=http://end.example/x", {}},  // no terminator before the end
        {"<a href=|http://pipe.example/p|>x</a>", {"http://pipe.example/p"}},
        {"<a href=\"HTTP://Upper.Example/X\">x</a>", {"HTTP://Upper.Example/X"}},
        {"<a  class=x\nhref = \"http://spaced.example/\">", {"http://spaced.example/"}},
        {"< a href=\"http://blank.example/\">", {"http://blank.example/"}},
        {"<a href=\"/local/page\">x</a><a href=\"mailto:me@example\">m</a>", {}},
        {"<img src=\"http://img.example/i.png\"><link href=\"http://css.example/\">", {}},
        {"<a name=top>t</a> <a href='http://after.example/'>", {"http://after.example/"}},
        {"<a href=\"http://x.example/a'b\">", {"http://x.example/a"}},
        {"<a href=\"http://x.example/a^b\">", {}},
        // The terminator of one address cannot open the next match; no repeats.
        {"<a href='http://a.example/' title='<a href=http://b.example/ '>",
         {"http://a.example/", "http://b.example/"}},
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(linksOf(c.html), c.links) << c.html;
    // Appends without emptying the queue.
    EXPECT_EQ(linksOf("<a href=\"http://a.example/\">a</a>", {"earlier"}), (Strings{"earlier", "http://a.example/"}));
}

TEST(Titles, PatternOrderAndContentRules) {
    using Finder = bool (Finders::*)(std::string_view, std::string&) const;
    const Finder E = &Finders::entryTitle, B = &Finders::pageTitle;
    // clang-format off
    const struct { Finder find; const char* html; const char* title; } cases[] = {
        {E, "<h2>Head</h2> text <b>Bold</b>", "Bold"},  // bold before heading
        {E, "<b>x<i>y</i></b><h3>Head</h2>", "Head"},  // heading digits may disagree
        {E, "<span class='t'>Span title</span><b>a^b</b>", "Span title"},
        {E, "<b class=x>No</b>", nullptr},
        {E, "<B>Upper Case</B>", "Upper Case"},
        {E, "<b></b> <b>Second</b>", "Second"},
        {E, "<b>two\nlines</b>", "two\nlines"},
        {E, "<SPAN CLASS=x>Shout</SPAN>", "Shout"},
        {E, "<span>no close", nullptr},
        {E, "<h10>x</h10>", nullptr},
        {B, "<TITLE>My weblog</TITLE>", "My weblog"},
        {B, "<html><head><title>A\nB</title></head>", "A\nB"},
        {B, "<title></title>", nullptr},
        {B, "<title>My <i>weblog</i></title>", nullptr},
        {B, "<title lang=en>Attributes</title>", nullptr},
        {B, "<title>Caret ^ here</title>", nullptr},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::string title = "unchanged";
        EXPECT_EQ((finders.*c.find)(c.html, title), c.title != nullptr) << c.html;
        EXPECT_EQ(title, c.title ? c.title : "unchanged") << c.html;
    }
}

TEST(Finders, HostileTextsEndWithoutCrashing) {
    // Unclosed tag openers make a backtracking search blow up; it must end
    // with a sound answer (no match, or the real match after them).
    std::string anchors, spans, title = "unchanged";
    for (int i = 0; i < 20000; i++) anchors += "<a ", spans += "<span";
    Strings links = linksOf(anchors + "<a href='http://late.example/'>");
    EXPECT_TRUE(links.empty() || links == Strings{"http://late.example/"}) << links.size();
    EXPECT_TRUE(finders.entryTitle(spans, title) || title == "unchanged");
}

// The finders against plain Boost searches of the whole text, on random
// texts made of the pieces the patterns care about.
TEST(Finders, SameAsPlainSearchesOfTheWholeText) {
    // clang-format off
    const char* const pieces[] = {
        "<a ", "<A", "< a", "href", "HREF=", "=", "\"", "'", "|", "http://", "HTTP://", "http:/", "x.example/", "^", ">", "<",
        " ", "\n", "<b>", "</b>", "<B>", "</B>", "<h1>", "</h2>", "<h", "<span", "<SPAN class=t>", "</span>", "<title>",
        "</TITLE>", "text", "t", "1", "<a href=", "<a href=\"http://", "<a title=x href='http://", "<img src=http://"};
    // clang-format on
    std::mt19937 rng(14);
    int found[3] = {};  // texts with a page title, links, an entry title
    auto plainFirst = [](const GuardedRegex& re, const std::string& text, std::string& out) {
        Match m;
        if (!boost::regex_search(text.data(), text.data() + text.size(), m, re.regex())) return false;
        out = m.str(1);
        return true;
    };
    for (int round = 0; round < 20000 && !HasFailure(); ++round) {
        std::string text;
        for (int k = rng() % (round % 100 == 0 ? 400 : 24); k > 0; --k) text += pieces[rng() % std::size(pieces)];
        Strings want;
        Match m;
        for (const char *p = text.data(), *end = p + text.size(); p < end && boost::regex_search(p, end, m, finders.linkPattern().regex());
             p = m[0].second)
            want.push_back(m.str(1));
        EXPECT_EQ(linksOf(text), want) << text;
        std::string got, plain;
        bool hit = plainFirst(finders.pageTitlePattern(), text, plain);
        EXPECT_EQ(finders.pageTitle(text, got), hit) << text;
        EXPECT_EQ(got, hit ? plain : "") << text;
        found[0] += hit, found[1] += !want.empty();
        hit = false;
        for (int which = 0; which < 3 && !hit; ++which) hit = plainFirst(finders.entryTitlePattern(which), text, plain);
        got.clear();
        EXPECT_EQ(finders.entryTitle(text, got), hit) << text;
        EXPECT_EQ(got, hit ? plain : "") << text;
        found[2] += hit;
    }
    for (int f : found) EXPECT_GT(f, 50);  // the texts do hold matches
}

// makeFeed and the RSS 0.91 writer over a hand-filled entry table.
class FeedTest : public ::testing::Test {
protected:
    Page page;
    std::deque<std::string> texts;  // entries view their text

    void setPage(const std::string& html) { page.reset(), page.load(html); }
    void add(const std::string& html, Timestamp ts) { page.entries().push_back({texts.emplace_back(html), ts}); }
    std::string render(const std::string& address) {
        std::ostringstream out;
        Rss091Writer(out).write(makeFeed(finders, page, address));
        return out.str();
    }
};

const std::string kHead = "<?xml version=\"1.0\"?>\n<rss version=\"0.91\">\n<channel>\n";
const std::string kDesc = "<description>Automatically generated RSS from weblog</description>\n";

// One item as the writer lays it out.
std::string item(const std::string& title, const Strings& links, const std::string& html, const std::string& date) {
    std::string s = "<item>\n<title>" + title + "</title>\n";
    for (const std::string& l : links) s += "<link>" + l + "</link>\n";
    return s + "<description>" + html + "</description>\n<dc:date>" + date + "+00:00</dc:date>\n</item>\n";
}

TEST_F(FeedTest, WholeDocumentLayout) {
    setPage("<html><head><title>Daily Notes</title></head><body>...</body></html>");
    // Text is copied unchanged; dates are not padded; an entry without links
    // links to the page address.
    const std::string links =
        "<h3>Links</h3><a href=\"http://a.example/\">a</a> <a href='http://b.example/'>b</a> <a href=http://c.example/>c</a>";
    add("<p>Tom & Jerry: 1 < 2 > 0</p>", {1, 0, 2004, 3, 7, 0, 0});
    add(links, {1, 14, 2004, 3, 7, 9, 5});
    add("<div>no links</div>", {1, 14, 2003, 12, 31, 23, 59});
    const std::string a = "http://www.example.org/blog/";
    EXPECT_EQ(render(a), kHead + "<title>Daily Notes</title>\n<link>" + a + "</link>\n" + kDesc +
                             item("Entry 0", {a}, "<p>Tom & Jerry: 1 < 2 > 0</p>", "2004-3-7T0:0") +
                             item("Links", {"http://a.example/", "http://b.example/", "http://c.example/"}, links, "2004-3-7T9:5") +
                             item("Entry 2", {a}, "<div>no links</div>", "2003-12-31T23:59") + "</channel>\n</rss>\n");
}

// A feed of many entries reaches the stream whole (it is handed over in blocks): its items are
// those of one-entry feeds, in order.
TEST_F(FeedTest, LongFeedsAreWrittenWhole) {
    setPage("<title>Long</title>");
    const Timestamp ts{1, 13, 2004, 3, 7, 21, 5};
    std::string items;
    for (int i = 0; i < 1500; i++) {
        std::string html = "<p><b>entry " + std::to_string(i) + "</b> " + std::string(i % 97, 'x') + "</p>";
        page.entries().clear();
        add(html, ts);
        std::string one = render("http://long.example/");
        items += one.substr(one.find("<item>"), one.rfind("</item>\n") + 8 - one.find("<item>"));
        texts.pop_back();
    }
    page.entries().clear();
    texts.clear();
    for (int i = 0; i < 1500; i++) add("<p><b>entry " + std::to_string(i) + "</b> " + std::string(i % 97, 'x') + "</p>", ts);
    std::string all = render("http://long.example/");
    ASSERT_GT(all.size(), 3u * 64 * 1024);
    EXPECT_EQ(all.substr(all.find("<item>"), items.size()), items);
    EXPECT_EQ(all.substr(all.find("<item>") + items.size()), "</channel>\n</rss>\n");
}

TEST_F(FeedTest, ChannelTitleFromTheAddressWhenThePageHasNone) {
    // clang-format off
    const struct { const char* address; const char* title; } cases[] = {
        {"https://host.example/path/index.html", "host.example"},  // 8-char prefix
        {"http://host.example/path/index.html", "ost.example"},    // 7-char prefix
        {"https://host.example", "host.example"},                  // no slash after
        {"http://a", ""},                                          // exactly 8 bytes
        {"page.ht", ""},                                           // shorter
        {"", ""},                                                  // standard input
    };
    // clang-format on
    setPage("<html><title>My <i>weblog</i></title><body></body></html>");
    for (const auto& c : cases)
        EXPECT_EQ(render(c.address),
                  kHead + "<title>" + c.title + "</title>\n<link>" + c.address + "</link>\n" + kDesc + "</channel>\n</rss>\n");
}

}  // namespace
