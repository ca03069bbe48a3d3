// Fetching against a real HTTP server on 127.0.0.1-3 that the tests start
// themselves (tests/http_server.py), the batch cache, robots.txt rules and
// the progress line.
#include "fetch/fetch.h"
#include "fetch/progress.h"
#include "fetch/robots.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "http_test_server.h"

namespace w2r {
namespace {

namespace fs = std::filesystem;
using Status = FetchedPage::Status;

class FetchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("no_proxy", "*", 1);  // never send a test request through a proxy
        server = new TestServer();
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        char tmpl[] = "/tmp/w2r-fetch-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        opt.connectTimeoutMs = 1000;
        opt.totalTimeoutMs = 2000;
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string read(const std::string& path) {
        std::string s;
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char buf[65536];
            for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
            std::fclose(f);
        }
        return s;
    }

    static TestServer* server;
    std::string dir;
    FetchOptions opt;
};
TestServer* FetchTest::server = nullptr;

TEST_F(FetchTest, RejectsAddressesItMustNotFetch) {
    struct Case {
        std::string url, error;
    } cases[] = {
        {"", "not an address"},
        {"example.org/weblog", "not an address"},
        {"file:///etc/passwd", "unsupported scheme \"file:\""},
        {"ftp://127.0.0.1/x", "unsupported scheme \"ftp:\""},
        {"javascript:alert(1)", "unsupported scheme"},
        {"http://", "malformed address"},
        {"http://exa mple.org/", "malformed address"},
        {"https://[::1/", "malformed address"},
        {server->url("/redirect-to?file:///etc/passwd"), "unsupported scheme \"file:\""},
    };
    for (const Case& c : cases) {
        FetchedPage p = fetchUrl(c.url, opt);
        EXPECT_EQ(p.status, Status::Failed) << c.url;
        EXPECT_NE(p.error.find(c.error), std::string::npos) << c.url << ": " << p.error;
    }
}

TEST_F(FetchTest, AnswersRedirectsEncodingsLimitsAndRobots) {
    const std::size_t kMax = 3145727;
    struct Case {
        std::string url;
        Status status;
        std::string expect;  // in the body when fetched, in the error otherwise
        bool truncated = false;
    } cases[] = {
        {server->url("/page/a"), Status::Fetched, "page /page/a on 127.0.0.1"},
        {server->url("/redirect/5"), Status::Fetched, "arrived"},
        {server->url("/redirect/6"), Status::Failed, "more than 5 redirects"},
        {server->url("/loop"), Status::Failed, "more than 5 redirects"},
        {server->url("/redirect-to?" + server->url("/page/b", 2)), Status::Fetched, "on 127.0.0.2"},
        {server->url("/status/404"), Status::Failed, "HTTP 404 Not Found"},
        {server->url("/status/500"), Status::Failed, "HTTP 500"},
        {server->url("/gzip"), Status::Fetched, "page gzip"},
        {server->url("/deflate"), Status::Fetched, "page deflate"},
        {server->url("/badgzip"), Status::Failed, "invalid compressed content"},
        {server->url("/big"), Status::Fetched, "<html>yyy", true},
        {server->url("/endless"), Status::Fetched, "zzz", true},
        {server->url("/endless-headers"), Status::Failed, "headers longer than"},
        {server->url("/secret/x"), Status::Failed, "disallowed by robots.txt"},
        {server->url("/secret/open/x"), Status::Fetched, "page /secret/open/x"},
        {server->url("/private/x", 2), Status::Failed, "disallowed by robots.txt"},
        {server->url("/private/x", 3), Status::Fetched, "page /private/x"},
    };
    for (const Case& c : cases) {
        FetchedPage p = fetchUrl(c.url, opt);
        ASSERT_EQ(p.status, c.status) << c.url << ": " << p.error;
        const std::string& text = c.status == Status::Fetched ? p.body : p.error;
        EXPECT_NE(text.find(c.expect), std::string::npos) << c.url << ": " << text.substr(0, 200);
        EXPECT_EQ(p.truncated, c.truncated) << c.url;
        if (c.truncated) { EXPECT_EQ(p.body.size(), kMax) << c.url; }
    }
    // robots.txt failing with a server error keeps the whole host out.
    server->get("/robots-status/503");
    FetchedPage refused = fetchUrl(server->url("/page/a"), opt);
    server->get("/robots-status/0");
    EXPECT_NE(refused.error.find("robots.txt of 127.0.0.1 could not be read (HTTP 503"), std::string::npos) << refused.error;

    FetchedPage redirected = fetchUrl(server->url("/redirect/2"), opt);
    EXPECT_EQ(redirected.finalUrl, server->url("/redirect/0"));

    FetchedPage page = fetchUrl(server->url("/page/a"), opt);
    EXPECT_EQ(page.etag, "\"e-/page/a\"");
    EXPECT_EQ(page.lastModified, "Tue, 01 Oct 2024 10:00:00 GMT");

    FetchedPage latin = fetchUrl(server->url("/charset"), opt);
    EXPECT_EQ(latin.charset, "ISO-8859-1");
    EXPECT_EQ(latin.body, "<p>caf\xe9</p>");

    FetchedPage echo = fetchUrl(server->url("/headers"), opt);
    EXPECT_NE(echo.body.find("User-Agent: weblog2rss/"), std::string::npos) << echo.body;
    EXPECT_NE(echo.body.find("gzip"), std::string::npos) << echo.body;
    EXPECT_NE(echo.body.find("deflate"), std::string::npos) << echo.body;
    opt.userAgent = "probe/1\r\nX-Injected: yes";
    echo = fetchUrl(server->url("/headers", 3), opt);
    EXPECT_NE(echo.body.find("User-Agent: probe/1X-Injected: yes"), std::string::npos) << echo.body;
    EXPECT_EQ(echo.body.find("\nX-Injected"), std::string::npos) << echo.body;
}

TEST_F(FetchTest, GivesUpOnStalledAndDeadServers) {
    opt.totalTimeoutMs = 1000;
    for (std::string path : {"/stall", "/trickle"}) {
        auto start = std::chrono::steady_clock::now();
        FetchedPage p = fetchUrl(server->url(path), opt);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(p.status, Status::Failed) << path;
        EXPECT_NE(p.error.find("timed out"), std::string::npos) << path << ": " << p.error;
        EXPECT_LT(seconds, 2.5) << path;
    }
    // A port where nothing listens: robots.txt cannot be read, so no page is fetched.
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
    close(s);
    std::string dead = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/";
    FetchedPage p = fetchUrl(dead, opt);
    EXPECT_EQ(p.status, Status::Failed);
    EXPECT_NE(p.error.find("cannot connect"), std::string::npos) << p.error;
    opt.robots = false;
    EXPECT_NE(fetchUrl(dead, opt).error.find("cannot connect"), std::string::npos);
}

TEST_F(FetchTest, BatchIsIncrementalAndKeepsOldCopies) {
    server->get("/reset");
    std::vector<std::string> urls = {server->url("/page/c"),     server->url("/lm/d"), server->url("/once/e", 2),
                                     server->url("/status/404"), "ftp://127.0.0.1/x",  server->url("/versioned/f", 3)};
    std::vector<int> calls(urls.size());
    auto count = [&calls](std::size_t n, const CacheOutcome&) { ++calls.at(n); };

    auto first = fetchBatch(urls, dir, opt, count);
    Status firstWant[] = {Status::Fetched, Status::Fetched, Status::Fetched, Status::Failed, Status::Failed, Status::Fetched};
    bool firstCached[] = {true, true, true, false, false, true};
    for (std::size_t n = 0; n < urls.size(); ++n) {
        EXPECT_EQ(first[n].status, firstWant[n]) << n << ": " << first[n].error;
        EXPECT_EQ(first[n].cached, firstCached[n]) << n;
        EXPECT_EQ(calls[n], 1) << n;
    }
    EXPECT_EQ(first[2].charset, "utf-8");
    EXPECT_NE(read(dir + "/0").find("page /page/c"), std::string::npos);
    auto mtime = fs::last_write_time(dir + "/0");

    server->get("/bump/f");
    auto second = fetchBatch(urls, dir, opt);
    Status secondWant[] = {Status::NotModified, Status::NotModified, Status::Failed, Status::Failed, Status::Failed, Status::Fetched};
    bool secondCached[] = {true, true, true, false, false, true};
    for (std::size_t n = 0; n < urls.size(); ++n) {
        EXPECT_EQ(second[n].status, secondWant[n]) << n << ": " << second[n].error;
        EXPECT_EQ(second[n].cached, secondCached[n]) << n;
    }
    EXPECT_EQ(second[2].error, "HTTP 500 Internal Server Error");
    EXPECT_EQ(second[2].charset, "utf-8");  // of the old copy, which is kept
    EXPECT_NE(read(dir + "/2").find("page e"), std::string::npos);
    EXPECT_NE(read(dir + "/5").find("f v1"), std::string::npos);
    EXPECT_EQ(fs::last_write_time(dir + "/0"), mtime);
    EXPECT_EQ(server->stat(1, "notModified"), 2);

    // Reordered list: a position's old validators and page belong to another
    // address. A cached page cut short is not trusted either.
    std::swap(urls[0], urls[1]);
    fs::resize_file(dir + "/5", 10);
    auto third = fetchBatch(urls, dir, opt);
    EXPECT_EQ(third[0].status, Status::Fetched);
    EXPECT_EQ(third[1].status, Status::Fetched);
    EXPECT_EQ(third[5].status, Status::Fetched);
    EXPECT_NE(read(dir + "/0").find("page d"), std::string::npos);
    EXPECT_NE(read(dir + "/5").find("f v1"), std::string::npos);

    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

TEST_F(FetchTest, FeedKeyFollowsPageAndOptions) {
    std::vector<std::string> urls = {server->url("/versioned/g")};
    fetchBatch(urls, dir, opt);
    EXPECT_FALSE(feedUpToDate(dir, 0, "-a"));
    ASSERT_TRUE(recordFeedKey(dir, 0, "-a"));
    EXPECT_TRUE(feedUpToDate(dir, 0, "-a"));
    EXPECT_FALSE(feedUpToDate(dir, 0, "-b"));
    EXPECT_EQ(fetchBatch(urls, dir, opt)[0].status, Status::NotModified);
    EXPECT_TRUE(feedUpToDate(dir, 0, "-a"));
    server->get("/bump/g");
    EXPECT_EQ(fetchBatch(urls, dir, opt)[0].status, Status::Fetched);
    EXPECT_FALSE(feedUpToDate(dir, 0, "-a"));
    EXPECT_FALSE(recordFeedKey(dir, 7, "-a"));  // no page 7
}

TEST_F(FetchTest, UnwritableCacheIsAPerPageError) {
    std::vector<std::string> urls = {server->url("/page/h"), server->url("/page/i")};
    fs::create_directory(dir + "/1");  // page 1 cannot be renamed over a folder
    auto out = fetchBatch(urls, dir, opt);
    EXPECT_EQ(out[0].status, Status::Fetched);
    EXPECT_EQ(out[1].status, Status::Failed);
    EXPECT_NE(out[1].error.find("cannot write " + dir + "/1"), std::string::npos) << out[1].error;
    EXPECT_FALSE(out[1].cached);

    std::string file = dir + "/0";  // a file, not a folder
    for (const CacheOutcome& o : fetchBatch(urls, file, opt)) {
        EXPECT_EQ(o.status, Status::Failed);
        EXPECT_NE(o.error.find("cannot write"), std::string::npos) << o.error;
    }
}

TEST_F(FetchTest, ManyPagesOverThreeHostsKeepThePerHostLimit) {
    server->get("/reset");
    std::vector<std::string> urls;
    for (int i = 0; i < 200; ++i) urls.push_back(server->url("/slow/" + std::to_string(i), 1 + i % 3));
    auto timed = [&](Status want) {
        auto start = std::chrono::steady_clock::now();
        auto out = fetchBatch(urls, dir, opt);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (const CacheOutcome& o : out) EXPECT_EQ(o.status, want) << o.url << ": " << o.error;
        return s;
    };
    double first = timed(Status::Fetched);
    double second = timed(Status::NotModified);
    std::printf("200 pages over 3 hosts: first run %.3f s, unchanged second run %.3f s\n", first, second);
    RecordProperty("first_run_ms", static_cast<int>(first * 1000));
    RecordProperty("second_run_ms", static_cast<int>(second * 1000));
    for (int host = 1; host <= 3; ++host) {
        EXPECT_EQ(server->stat(host, "maxActive"), 2) << host;
        EXPECT_LE(server->stat(host, "maxConnections"), 2) << host;
        EXPECT_EQ(server->stat(host, "robots"), 2) << host;  // once per host in each run
    }
}

TEST(RobotsRules, MatchesGroupsAndLongestRules) {
    const char* text =
        "Disallow: /nogroup\n"
        "User-agent: *\nDisallow: /\n\n"
        "User-agent: OtherBot\nUser-Agent: WebLog2RSS/2.0 (+x)\n"
        "Disallow: /a\nAllow: /a/b\nDisallow: /*.pdf$\nDisallow: /x*y\n"
        "Sitemap: http://example.org/map\n"
        "Allow: /same\nDisallow: /same\nDisallow: /%7Etilde\nDisallow: /caf%c3%a9\n"
        "user-agent: weblog2rss\nDisallow: /merged # comment\nDisallow:\n";
    RobotsRules rules = RobotsRules::parse(text, "weblog2rss");
    struct Case {
        const char* path;
        bool allowed;
    } cases[] = {
        {"/", true},        {"/nogroup", true},    {"/a", false},          {"/a/c", false},
        {"/a/b", true},     {"/a/bc", true},       {"/doc.pdf", false},    {"/doc.pdf?x", true},
        {"/x2y3", false},   {"/1x2y3", true},      {"/xy", false},         {"/yx", true},
        {"/same", true},    {"/~tilde", false},    {"/%7etilde/x", false}, {"/caf\xc3\xa9", false},
        {"/merged", false}, {"/robots.txt", true},
    };
    for (const Case& c : cases) EXPECT_EQ(rules.allows(c.path), c.allowed) << c.path;

    RobotsRules star = RobotsRules::parse("\xEF\xBB\xBFUser-agent: *\r\nDisallow: /p/\r\n", "weblog2rss");
    EXPECT_FALSE(star.allows("/p/1"));
    EXPECT_TRUE(star.allows("/p"));
    EXPECT_TRUE(RobotsRules().allows("/anything"));
    EXPECT_FALSE(RobotsRules::disallowAll().allows("/anything"));
    EXPECT_TRUE(RobotsRules::parse("User-agent: other\nDisallow: /\n", "weblog2rss").allows("/x"));
    // Many stars against a long path stay fast.
    RobotsRules stars = RobotsRules::parse("User-agent: *\nDisallow: /" + std::string(200, '*') + "b$\n", "w");
    EXPECT_TRUE(stars.allows("/" + std::string(5000, 'a')));
}

TEST(ProgressLine, DrawsOnlyWhenShown) {
    for (bool show : {false, true}) {
        std::FILE* f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        {
            ProgressLine line("fetching", 3, f, show && !isatty(fileno(f)));
            line.update(1, 0);
            line.update(3, 1);
        }
        std::rewind(f);
        char buf[512] = {};
        std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        std::string out(buf, n);
        if (!show) {
            EXPECT_EQ(out, "");
            continue;
        }
        EXPECT_EQ(out.rfind("\rfetching 1/3 pages, 0 failed, ", 0), 0u) << out;
        EXPECT_NE(out.find("\rfetching 3/3 pages, 1 failed, "), std::string::npos) << out;
        EXPECT_EQ(out.back(), '\r');  // erased when done
    }
}

}  // namespace
}  // namespace w2r
