// Random pages through the whole per-page sequence: whatever the bytes, the
// tree closes back to root, entries are consistent with the feed, and
// everything is released (the sanitizer build checks leaks and bounds).
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "dates/dates.h"
#include "dom/builder.h"
#include "dom/dom.h"
#include "driver/kemVURODerodu.h"
#include "entries/entries.h"
#include "rss/rss.h"

namespace {

const char* const kPieces[] = {
    "<div>", "</div>", "<p>", "</p>", "<li>", "<ul>", "</ul>", "<td>", "</tr>",
    "<body>", "</html>", "<b>", "</b>", "<h3>", "</h2>", "<span class=x>",
    "<a href='http://h.example/p'>", "</a>", "<!-- c -->", "<!x>", "&amp;",
    "&#65;", "'", "\"", "<", ">", "Monday, March 1, 2004", "Sunday, 02 May 2004",
    ">2004-06-14", "10:32 PM", "@ 9:05", "Feb 30, 2004", "2011", " ", "\n", "x",
    "\xe9", "\x01", "<script>a<b</script>", "<title>T</title>"};

std::string randomPage(std::mt19937& rng) {
    std::string page;
    int n = static_cast<int>(rng() % 400);
    for (int i = 0; i < n; i++) page += kPieces[rng() % std::size(kPieces)];
    return page;
}

TEST(Pipeline, RandomPagesGiveConsistentFeeds) {
    initializeDateRE();
    registerDOMHandlers();
    std::mt19937 rng(12345);
    int withEntries = 0;
    for (int round = 0; round < 3000; round++) {
        std::string page = randomPage(rng);
        resetPage();
        loadPage(page.data(), page.size());
        ASSERT_TRUE(buildTree()) << page;
        if (DOMParseBFS(&root) == BFS_ENTRIES) {
            withEntries++;
            ASSERT_GT(blogentries_count, 0);
            std::ostringstream feed;
            printEntriesRSS("http://h.example/", feed);
            std::string out = feed.str();
            std::size_t items = 0;
            for (std::size_t p = 0; (p = out.find("<item>\n", p)) != std::string::npos; p++)
                items++;
            EXPECT_EQ(items, static_cast<std::size_t>(blogentries_count));
            for (int i = 0; i < blogentries_count; i++) {
                ASSERT_NE(blogentries[i], nullptr);
                EXPECT_NE(out.find(std::string("<description>") + blogentries[i]),
                          std::string::npos);
            }
        }
        releasePage();
    }
    releaseDateRE();
    EXPECT_GT(withEntries, 10);  // the generator does reach the feed writer
}

}  // namespace
