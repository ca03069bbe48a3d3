// Feed serialisers: charsets, titles, CDATA, dates, ids, and documents that
// an XML parser and a JSON parser read back whole on hostile input.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <gtest/gtest.h>

#include <chrono>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/charset.h"
#include "formats/formats.h"
#include "formats/markup.h"
#include "formats/stamps.h"
#include "support.h"

namespace w2r {
namespace {

using namespace std::string_literals;
const std::string kFffd = "\xEF\xBF\xBD";

TEST(CharsetTest, DetectsFromMarkHeaderDeclarationOrBytes) {
    const struct {
        const char* name;
        std::string page, http, expected;
    } cases[] = {
        {"utf-8 mark", "\xEF\xBB\xBF<meta charset=koi8-r>", "", "UTF-8"},
        {"utf-16le mark beats header", "\xFF\xFE<\0"s, "koi8-r", "UTF-16LE"},
        {"meta charset", "<head><meta charset=\"KOI8-R\">", "", "KOI8-R"},
        {"http-equiv after content", "<META CONTENT='text/html; charset=Shift_JIS' HTTP-EQUIV='Content-Type'>", "", "WINDOWS-31J"},
        {"content without http-equiv", "<meta content=\"charset=koi8-r\">caf\xC3\xA9", "", "UTF-8"},
        {"commented-out meta", "<!-- <meta charset=koi8-r> -->caf\xE9 ok", "", "WINDOWS-1252"},
        {"meta inside body", "<body><meta charset=koi8-r>caf\xC3\xA9", "", "UTF-8"},
        {"header beats meta", "<meta charset=koi8-r>", "text/html; charset=\"iso-8859-2\"", "ISO-8859-2"},
        {"header as a label", "<meta charset=koi8-r>", "utf8", "UTF-8"},
        {"header without charset", "<meta charset=koi8-r>", "text/html", "KOI8-R"},
        {"latin-1 read as 1252", "<meta charset=ISO-8859-1>", "", "WINDOWS-1252"},
        {"utf-16 label without mark", "<meta charset=utf-16>caf\xE9 ok", "", "WINDOWS-1252"},
        {"unknown label", "<meta charset=bogus-9>caf\xC3\xA9", "", "UTF-8"},
        {"label with a path", "<meta charset=\"../x\">caf\xE9 ok", "", "WINDOWS-1252"},
        {"xml declaration", "<?xml version='1.0' encoding='ISO-8859-15'?><html>", "", "ISO-8859-15"},
        {"valid utf-8", "caf\xC3\xA9", "", "UTF-8"},
        {"utf-8 cut by the read limit", "caf\xC3", "", "UTF-8"},
        {"invalid utf-8", "caf\xE9 ok", "", "WINDOWS-1252"},
    };
    for (const auto& c : cases) EXPECT_EQ(detectCharset(c.page, c.http), c.expected) << c.name;
}

TEST(CharsetTest, ConvertsToXmlSafeUtf8) {
    const struct {
        const char* charset;
        std::string in, expected;
    } cases[] = {
        {"WINDOWS-1252", "\x93q\x94 \x80", "\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x82\xAC"},
        {"WINDOWS-1252", "a\x81z", "a" + kFffd + "z"},
        {"UTF-8", "a\xC3(", "a" + kFffd + "("},
        {"UTF-8", "\xC0\xAF", kFffd + kFffd},
        {"UTF-8", "\xED\xA0\x80x", kFffd + kFffd + kFffd + "x"},
        {"UTF-8", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
        {"UTF-8", "a\0b\x01\x0c\x0b\tc\r\n"s, "ab  \tc\r\n"},
        {"UTF-8", "\xEF\xBF\xBE|\xEF\xBF\xBF", "|"},
        {"WINDOWS-31J", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"UTF-16LE", "h\0i\0"s, "hi"},
        {"UTF-16LE", "h\0\0"s, "h" + kFffd},
        {"ISO-2022-JP", "\x1B$B$3\x1B(B!", "\xE3\x81\x93!"},
        {"no-such-charset", "\xE9", "\xC3\xA9"},
    };
    for (const auto& c : cases) {
        Utf8Converter converter(c.charset);
        EXPECT_EQ(converter.convert(c.in), c.expected) << c.charset << " " << c.in;
        EXPECT_EQ(converter.convert(c.in), c.expected) << "second use of " << c.charset;
    }
}

TEST(MarkupTest, TitlesBecomePlainText) {
    const struct {
        std::string in, expected;
    } cases[] = {
        {"A &raquo; B", "A \xC2\xBB B"},
        {"<b>Bold</b> &amp; <i>it</i>", "Bold & it"},
        {"  a \n\t b&nbsp; ", "a b"},
        {"<img src=x><br>", ""},
        {"&lt;script&gt;", "<script>"},
        {"a<script>x</script>b", "ab"},
        {"one<br>two<p>three", "one two three"},
        {"&#1;x&#0;", "x" + kFffd},
        {"R&D &amp", "R&D &"},
        {"<!-- c -->t", "t"},
    };
    for (const auto& c : cases) EXPECT_EQ(htmlPlainText(c.in), c.expected) << c.in;
    std::string deep;
    for (int i = 0; i < 1400; ++i) deep += "<div><span>";
    EXPECT_EQ(htmlPlainText(deep + "x"), "x");
    EXPECT_LE(htmlPlainText(std::string(100000, '<')).size(), 16384u);
}

TEST(MarkupTest, AttributeValuesAndEscaping) {
    const struct {
        std::string in, expected;
    } cases[] = {
        {"http://a/?x=1&amp;y=2", "http://a/?x=1&y=2"},
        {"http://a/?q=&copy=3", "http://a/?q=&copy=3"},
        {" http://a/b\n", "http://a/b"},
        {"http://a/\"x\"&#x26;", "http://a/\"x\"&"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(htmlAttributeValue(c.in), c.expected) << c.in;
    EXPECT_EQ(escapeXml("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
}

TEST(MarkupTest, CdataSplitsEveryEndMarker) {
    const struct {
        std::string in, expected;
    } cases[] = {
        {"", "<![CDATA[]]>"},
        {"a]]b>", "<![CDATA[a]]b>]]>"},
        {"a]]>b", "<![CDATA[a]]]]><![CDATA[>b]]>"},
        {"]]>]]>", "<![CDATA[]]]]><![CDATA[>]]]]><![CDATA[>]]>"},
    };
    for (const auto& c : cases) EXPECT_EQ(cdataSections(c.in), c.expected) << c.in;
}

TEST(StampsTest, DateForms) {
    const struct {
        FeedDate date;
        const char *rfc822, *w3cdtf;
    } cases[] = {
        {{2004, 3, 7, 9, 5}, "Sun, 07 Mar 2004 09:05:00 +0000", "2004-03-07T09:05+00:00"},
        {{2000, 2, 29, 23, 59}, "Tue, 29 Feb 2000 23:59:00 +0000", "2000-02-29T23:59+00:00"},
        {{2003, 2, 29, 0, 0}, "Fri, 28 Feb 2003 00:00:00 +0000", "2003-02-28T00:00+00:00"},
        {{1999, 13, 0, 24, 60}, "Wed, 01 Dec 1999 23:59:00 +0000", "1999-12-01T23:59+00:00"},
        {{-5, 0, 99, -1, -1}, "Wed, 31 Jan 0001 00:00:00 +0000", "0001-01-31T00:00+00:00"},
        {{123456, 6, 15, 12, 30}, "Tue, 15 Jun 9999 12:30:00 +0000", "9999-06-15T12:30+00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rfc822Date(c.date), c.rfc822);
        EXPECT_EQ(w3cdtfDate(c.date), c.w3cdtf);
        std::string rfc3339 = c.w3cdtf;
        EXPECT_EQ(rfc3339Date(c.date), rfc3339.insert(16, ":00"));
    }
}

TEST(StampsTest, EntryIdsStableAndDistinct) {
    const FeedDate d{2004, 3, 7, 9, 5}, e{2004, 3, 7, 9, 6};
    EntryIds first("http://a/"), again("http://a/"), other("http://b/");
    std::vector<std::string> run, rerun;
    for (int i = 0; i < 3; ++i) {
        run.push_back(first.next(d, "T"));
        rerun.push_back(again.next(d, "T"));
    }
    EXPECT_EQ(run, rerun) << "repeats are told apart in the same order";
    EXPECT_NE(other.next(d, "T"), run[0]);
    const std::set<std::string> ids = {run[0], run[1], run[2], first.next(e, "T"), first.next(d, "U")};
    EXPECT_EQ(ids.size(), 5u);
    // Version 8, variant 10.
    const std::regex uuid("urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-8[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(run[0], uuid)) << run[0];
}

// The n-th repeat of one date and title is named after n, and many repeats
// (a page of alike entries) cost one name each, not n.
TEST(StampsTest, EntryIdsOfManyRepeats) {
    const FeedDate d{2019, 5, 1, 0, 0};
    EntryIds ids("http://a/");
    const std::string key = "http://a/\n" + w3cdtfDate(d) + "\n(untitled)";
    EXPECT_EQ(ids.next(d, "(untitled)"), uuidUrn(key));
    EXPECT_EQ(ids.next(d, "(untitled)"), uuidUrn(key + "\n2"));
    EXPECT_EQ(ids.next(d, "(untitled)"), uuidUrn(key + "\n3"));
    std::set<std::string> all;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20000; ++i) all.insert(ids.next(d, "same"));
    EXPECT_EQ(all.size(), 20000u);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
}

TEST(FormatsTest, FormatNames) {
    FeedFormat f = FeedFormat::Json;
    for (const char* name : {"rss091", "rss2", "atom", "json"}) {
        ASSERT_TRUE(parseFeedFormat(name, f)) << name;
        EXPECT_EQ(feedFormatName(f), name);
    }
    EXPECT_FALSE(parseFeedFormat("RSS2", f));
    EXPECT_FALSE(parseFeedFormat("", f));
    std::ostringstream out;
    EXPECT_FALSE(writeFeed(FeedFormat::Rss091, {}, {}, out));
    EXPECT_TRUE(out.str().empty());
}

// A page in Windows-1252 that declares nothing, with every kind of trouble.
struct HostileSample {
    std::string page = "<title>\x93T\x94</title>\x01\xFF";
    std::string entryHtml = "<p>a ]]> b & <br> \x93q\x94 \x01\x0B"s + "\0 end"s;
    FeedChannel channel{"<b></b>", "http://h/?a=1&b=<2>\"'", page, ""};
    std::vector<FeedItem> items;
    HostileSample() {
        items.push_back({"&raquo; one \x96", {"http://x/?a=1&amp;b=\"2\"", "http://y/"}, entryHtml, 2004, 3, 7, 9, 5});
        items.push_back({"<img src=x>", {}, "\xFF]]>", 0, 14, 40, 30, 99});
        items.push_back(items[0]);
        items.push_back({"&#0;&#x1;", {"", " "}, "", 2010, 2, 29, 12, 0});
    }
    std::string write(FeedFormat format) const {
        std::ostringstream out;
        EXPECT_TRUE(writeFeed(format, channel, items, out));
        return out.str();
    }
};

// Children of node named name (local name).
std::vector<xmlNode*> children(xmlNode* node, const char* name) {
    std::vector<xmlNode*> found;
    for (xmlNode* c = node->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && xmlStrEqual(c->name, BAD_CAST name)) found.push_back(c);
    return found;
}

// The text of node's first child named name, or the value of its attribute.
std::string textOf(xmlNode* node, const char* name, const char* attribute = nullptr) {
    auto found = children(node, name);
    if (found.empty()) return "";
    xmlChar* text = attribute ? xmlGetProp(found[0], BAD_CAST attribute) : xmlNodeGetContent(found[0]);
    std::string s = text ? reinterpret_cast<char*>(text) : "";
    xmlFree(text);
    return s;
}

TEST(FormatsTest, XmlFormatsStayWellFormedOnHostileInput) {
    const HostileSample sample;
    const std::string expectedHtml = Utf8Converter("WINDOWS-1252").convert(sample.entryHtml);
    for (FeedFormat format : {FeedFormat::Rss2, FeedFormat::Atom}) {
        SCOPED_TRACE(std::string(feedFormatName(format)));
        const std::string text = sample.write(format);
        ASSERT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
        xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
        xmlDocPtr doc = xmlCtxtReadMemory(ctxt, text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        ASSERT_NE(doc, nullptr);
        EXPECT_TRUE(ctxt->wellFormed && ctxt->nsWellFormed) << text;
        xmlNode* top = xmlDocGetRootElement(doc);
        const bool rss = format == FeedFormat::Rss2;
        if (rss) top = children(top, "channel").at(0);
        EXPECT_EQ(textOf(top, "title"), "http://h/?a=1&b=<2>\"'");
        const auto items = children(top, rss ? "item" : "entry");
        ASSERT_EQ(items.size(), 4u);
        std::set<std::string> ids;
        for (xmlNode* item : items) {
            ids.insert(textOf(item, rss ? "guid" : "id"));
            EXPECT_FALSE(textOf(item, rss ? "pubDate" : "updated").empty());
        }
        EXPECT_EQ(ids.size(), 4u);
        const auto link = [&](int i) { return textOf(items[i], "link", rss ? nullptr : "href"); };
        EXPECT_EQ(textOf(items[0], "title"), "\xC2\xBB one \xE2\x80\x93");
        EXPECT_EQ(link(0), "http://x/?a=1&b=\"2\"");
        EXPECT_EQ(textOf(items[0], rss ? "description" : "content"), expectedHtml);
        EXPECT_EQ(textOf(items[1], "title"), "Entry 1");
        EXPECT_EQ(link(1), "http://h/?a=1&b=<2>\"'");
        EXPECT_EQ(textOf(items[3], "title"), kFffd);
        EXPECT_EQ(link(3), "http://h/?a=1&b=<2>\"'");
        if (rss) { EXPECT_EQ(textOf(items[1], "date"), "0001-12-31T23:59+00:00"); }
        xmlFreeDoc(doc);
        xmlFreeParserCtxt(ctxt);
    }
}

TEST(FormatsTest, JsonFeedReadsBack) {
    const HostileSample sample;
    const auto doc = nlohmann::json::parse(sample.write(FeedFormat::Json));
    EXPECT_EQ(doc.at("version"), "https://jsonfeed.org/version/1.1");
    EXPECT_EQ(doc.at("home_page_url"), "http://h/?a=1&b=<2>\"'");
    const auto& items = doc.at("items");
    ASSERT_EQ(items.size(), 4u);
    std::set<std::string> ids;
    for (const auto& item : items) ids.insert(item.at("id").get<std::string>());
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(items[0].at("url"), "http://x/?a=1&b=\"2\"");
    EXPECT_EQ(items[1].at("title"), "Entry 1");
    EXPECT_EQ(items[1].at("date_published"), "0001-12-31T23:59:00+00:00");
    EXPECT_EQ(items[1].at("content_html"), "\xC3\xBF]]>");
}

// A small page in each format, compared with files checked by hand. With
// W2R_WRITE_GOLDEN set, the files are written instead.
TEST(FormatsTest, GoldenFiles) {
    const std::string page = "<html><head><meta charset=iso-8859-1><title>Caf&eacute; notes</title></head>";
    const std::string first = "<p>We opened the <b>caf\xE9</b>.<br>Come by & say hi";
    const std::string second = "<p>Code: <code>a]]>b</code>";
    const FeedChannel channel{"Caf&eacute; notes", "http://example.org/weblog?page=1&lang=en", page, ""};
    // clang-format off
    const std::vector<FeedItem> items = {
        {"Caf\xE9 &raquo; opening", {"http://example.org/2004/03/07/cafe?x=1&amp;y=2", "http://example.org/other"}, first,
         2004, 3, 7, 9, 5},
        {"", {}, second, 2004, 3, 6, 18, 30}};
    // clang-format on
    for (const char* name : {"rss2", "atom", "json"}) {
        FeedFormat format;
        ASSERT_TRUE(parseFeedFormat(name, format));
        std::ostringstream out;
        writeFeed(format, channel, items, out);
        const std::string path = std::string(W2R_FORMATS_TESTDATA) + "/sample." + name;
        if (std::getenv("W2R_WRITE_GOLDEN")) {
            std::ofstream(path, std::ios::binary) << out.str();
            continue;
        }
        EXPECT_EQ(out.str(), test::readFile(path)) << path;
    }
}

}  // namespace
}  // namespace w2r
