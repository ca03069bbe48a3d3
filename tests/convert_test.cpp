// The public conversion API: random pages through the whole pipeline, and
// pages converted on two threads at once against one after the other.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support.h"
#include "weblog2rss/convert.h"

namespace {

using namespace w2r;

// clang-format off
const char* const kPieces[] = {
    "<div>", "</div>", "<p>", "</p>", "<li>", "<ul>", "</ul>", "<td>", "</tr>",
    "<body>", "</html>", "<b>", "</b>", "<h3>", "</h2>", "<span class=x>",
    "<a href='http://h.example/p'>", "</a>", "<!-- c -->", "<!x>", "&amp;",
    "&#65;", "'", "\"", "<", ">", "Monday, March 1, 2004", "Sunday, 02 May 2004",
    ">2004-06-14", "10:32 PM", "@ 9:05", "Feb 30, 2004", "2011", " ", "\n", "x",
    "\xe9", "\x01", "<script>a<b</script>", "<title>T</title>"};
// clang-format on

std::string randomPage(std::mt19937& rng) {
    std::string page;
    int n = static_cast<int>(rng() % 400);
    for (int i = 0; i < n; i++) page += kPieces[rng() % std::size(kPieces)];
    return page;
}

// Whatever the bytes: the tree closes back to root, and the feed has one
// item per entry, each carrying the entry's text.
TEST(Convert, RandomPagesGiveConsistentFeeds) {
    const Converter converter;
    Page page;
    std::mt19937 rng(12345);
    int withEntries = 0;
    for (int round = 0; round < 3000; round++) {
        std::string html = randomPage(rng);
        std::ostringstream out;
        Rss091Writer writer(out);
        CollectedDiagnostics messages;
        ConvertResult r = convertPage(converter, page, html, "http://h.example/", writer, messages);
        ASSERT_TRUE(r.treeClosed) << html;
        ASSERT_EQ(r.entryCount, static_cast<int>(page.entries().size()));
        if (!r.hasEntries()) {
            EXPECT_EQ(out.str(), "");
            continue;
        }
        withEntries++;
        ASSERT_GT(r.entryCount, 0);
        std::string feed = out.str();
        std::size_t items = 0;
        for (std::size_t p = 0; (p = feed.find("<item>\n", p)) != std::string::npos; p++) items++;
        EXPECT_EQ(items, page.entries().size());
        for (const Entry& e : page.entries()) EXPECT_NE(feed.find("<description>" + std::string(e.html)), std::string::npos);
    }
    EXPECT_GT(withEntries, 10);  // the generator does reach the feed writer
}

// One page's feed and messages, converted on its own page context.
struct Converted {
    std::string feed;
    std::vector<std::string> messages;
    bool operator==(const Converted& o) const { return feed == o.feed && messages == o.messages; }
};

Converted convertAll(const Converter& converter, const std::vector<std::string>& pages) {
    Page page;
    Converted all;
    for (const std::string& html : pages) {
        std::ostringstream out;
        Rss091Writer writer(out);
        CollectedDiagnostics messages;
        convertPage(converter, page, html, "http://h.example/", writer, messages);
        all.feed += out.str() + "\n--\n";
        all.messages.insert(all.messages.end(), messages.lines.begin(), messages.lines.end());
    }
    return all;
}

// Two different streams of pages on two threads sharing one converter give
// the same bytes and messages as one after the other.
TEST(Convert, TwoThreadsGiveTheSameBytesAsOneAfterTheOther) {
    const Converter converter;
    std::vector<std::string> pages[2];
    std::mt19937 rng(99);
    for (int i = 0; i < 60; i++) pages[i % 2].push_back(randomPage(rng));
    for (const std::string name : {"weblog", "daily", "notebook"})
        pages[0].push_back(test::readFile(WEBLOG2RSS_SOURCE_DIR "/examples/" + name + ".html"));
    for (int n : {1, 2, 3, 7}) pages[1].push_back(test::corpusPage(n));  // empty without the corpus
    const Converted alone[2] = {convertAll(converter, pages[0]), convertAll(converter, pages[1])};
    ASSERT_NE(alone[0].feed.find("<item>"), std::string::npos);
    Converted together[2];
    std::thread other([&] { together[1] = convertAll(converter, pages[1]); });
    together[0] = convertAll(converter, pages[0]);
    other.join();
    EXPECT_TRUE(together[0] == alone[0]);
    EXPECT_TRUE(together[1] == alone[1]);
}

}  // namespace
