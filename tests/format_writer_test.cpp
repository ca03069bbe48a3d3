// The neutral feed handed to the format serialisers: what each item carries,
// and the charset hint winning over the page's own declaration.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "feed/format_writer.h"
#include "weblog2rss/convert.h"

namespace {

using namespace w2r;

TEST(FormatWriter, ItemsCarryWhatTheSystemFound) {
    const std::string html0 = "<p>one</p>", html1 = "<p>two</p>";
    Feed feed;
    feed.address = "http://h.example/";
    feed.page = "<title>Page</title>";
    feed.pageTitle = "Page";
    FeedEntry found, missing;
    found.title = "Found", found.titleFound = true, found.html = html0;
    found.links = {"http://a.example/", "http://b.example/"};
    found.time = {1, 13, 2004, 3, 7, 9, 5};
    missing.title = "Entry 1", missing.html = html1;  // no title found
    missing.time = {1, 0, 2010, 12, 31, 0, 0};
    feed.entries = {found, missing};

    const std::vector<FeedItem> items = feedItems(feed);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "Found");
    EXPECT_EQ(items[0].links, found.links);
    EXPECT_EQ(items[0].html, html0);
    EXPECT_EQ(std::vector<int>({items[0].year, items[0].month, items[0].day, items[0].hour, items[0].minute}),
              std::vector<int>({2004, 3, 7, 9, 5}));
    EXPECT_EQ(items[1].title, "");  // the serialisers name it "Entry 1"
    EXPECT_TRUE(items[1].links.empty());

    FeedChannel channel = feedChannel(feed, "iso-8859-1");
    EXPECT_EQ(channel.title, "Page");
    EXPECT_EQ(channel.address, feed.address);
    EXPECT_EQ(channel.rawPage, feed.page);
    EXPECT_EQ(channel.httpCharset, "iso-8859-1");
    feed.pageTitle.reset();
    EXPECT_EQ(feedChannel(feed, "").title, "");  // the serialiser falls back on the address

    // Each writer writes its own format; RSS 0.91 is the system's own writer.
    const struct {
        FeedFormat format;
        const char* start;
    } writers[] = {
        {FeedFormat::Rss091, "<?xml version=\"1.0\"?>\n<rss version=\"0.91\">"},
        {FeedFormat::Rss2, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\""},
        {FeedFormat::Atom, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed "},
        {FeedFormat::Json, "{"},
    };
    for (const auto& w : writers) {
        std::ostringstream out;
        makeFeedWriter(w.format, out)->write(feed);
        EXPECT_EQ(out.str().rfind(w.start, 0), 0u) << out.str();
        EXPECT_NE(out.str().find("Entry 1"), std::string::npos);
    }
}

// A page that declares UTF-8 but holds Windows-1252 bytes: the hint of an
// HTTP Content-Type decides how its bytes are read.
TEST(FormatWriter, CharsetHintWinsOverThePage) {
    std::string page = "<html><head><meta charset=\"utf-8\"></head><body><div>";
    for (int d = 1; d <= 4; d++)
        page += "<p>Monday, March 0" + std::to_string(d) + ", 2004</p><b>Caf\xe9 " + std::to_string(d) + "</b><p>text</p>";
    page += "</div></body></html>";
    const Converter converter;
    Page context;
    CollectedDiagnostics diagnostics;
    auto titleOf = [&](const std::string& hint) {
        std::ostringstream out;
        FormatWriter writer(FeedFormat::Rss2, out, hint);
        EXPECT_TRUE(convertPage(converter, context, page, "http://h.example/", writer, diagnostics).hasEntries());
        return out.str();
    };
    EXPECT_NE(titleOf("windows-1252").find("<title>Caf\xc3\xa9 1</title>"), std::string::npos);
    EXPECT_EQ(titleOf("").find("Caf\xc3\xa9"), std::string::npos);  // invalid UTF-8 is not read as Latin-1
}

}  // namespace
