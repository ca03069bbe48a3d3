// The built tool fetching pages from the test server on 127.0.0.1-3: an
// address as the single argument, and --fetch batches run twice over one
// cache (conditional requests, reused copies, feed files kept when their
// bytes do not change).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "http_test_server.h"

namespace w2r {
namespace {

namespace fs = std::filesystem;

// An old modification time given to feed files to see whether a run rewrote them.
constexpr time_t kOldTime = 946684800;  // 2000-01-01

struct ToolRun {
    int status;
    std::string out, err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

time_t modified(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

class FetchCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("no_proxy", "*", 1);  // the tool must not send the requests through a proxy
        server = new TestServer();
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        char tmpl[] = "/tmp/w2r-fetch-cli-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string at(const std::string& name) const { return dir + "/" + name; }
    void put(const std::string& name, const std::string& text) const { std::ofstream(at(name), std::ios::binary) << text; }
    // Runs "weblog2rss args" in the scratch folder; args are shell words.
    ToolRun run(const std::string& args) const {
        std::string cmd = "cd '" + dir + "' && '" WEBLOG2RSS_BIN "' </dev/null >.stdout 2>.stderr " + args;
        int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readFile(at(".stdout")), readFile(at(".stderr"))};
    }
    static std::string quoted(const std::string& url) { return "'" + url + "'"; }

    static TestServer* server;
    std::string dir;
};
TestServer* FetchCli::server = nullptr;

TEST_F(FetchCli, AddressArgumentIsFetchedAndConverted) {
    // The feed of a fetched page is the feed of the same bytes read from a
    // file, with the address in place of the file name.
    const std::string url = server->url("/weblog/single", 3);
    put("saved", fetchUrl(url, FetchOptions()).body);
    ToolRun fromFile = run("saved");
    ToolRun fetched = run(quoted(url));
    EXPECT_EQ(fetched.status, 0);
    EXPECT_EQ(fetched.err, "");
    ASSERT_NE(fromFile.out.find("<link>saved</link>"), std::string::npos) << fromFile.out;
    std::string want = fromFile.out;
    for (std::size_t p; (p = want.find("<link>saved</link>")) != std::string::npos;) want.replace(p, 18, "<link>" + url + "</link>");
    EXPECT_EQ(fetched.out, want);

    // The charset of the Content-Type header reaches the formats that
    // transcode: the KOI8-R title is not read as Windows-1252.
    ToolRun koi8 = run("--format rss2 " + quoted(server->url("/weblog-koi8/k", 2)));
    EXPECT_NE(koi8.out.find("<title>\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 0</title>"), std::string::npos) << koi8.out;

    // Failures: one line on standard error, no feed, status 0.
    struct Case {
        std::string url, reason;
    } failures[] = {
        {server->url("/status/404", 2), "HTTP 404 Not Found"},
        {server->url("/secret/x"), "disallowed by robots.txt"},
        {"http://127.0.0.1:1/", "robots.txt of 127.0.0.1 could not be read (cannot connect"},
    };
    for (const Case& c : failures) {
        ToolRun r = run(quoted(c.url));
        EXPECT_EQ(r.status, 0) << c.url;
        EXPECT_EQ(r.out, "") << c.url;
        EXPECT_EQ(r.err.rfind("Fetch failed: " + c.url + ": " + c.reason, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }

    // Control characters of an address reach the terminal as "?".
    ToolRun escaped = run(quoted("http://127.0.0.1:1/\x1b[2J"));
    EXPECT_EQ(escaped.err.rfind("Fetch failed: http://127.0.0.1:1/?[2J: ", 0), 0u) << escaped.err;

    // An argument that looks like an address but names a file is read as
    // one (were it fetched, nothing listens on port 1).
    fs::create_directories(at("http:/127.0.0.1:1"));
    put("http:/127.0.0.1:1/page", readFile(at("saved")));
    ToolRun file = run("http://127.0.0.1:1/page");
    EXPECT_EQ(file.err, "");
    EXPECT_NE(file.out.find("<link>http://127.0.0.1:1/page</link>"), std::string::npos) << file.out;
}

TEST_F(FetchCli, CommandLineMistakesEndWithStatusTwo) {
    put("list", server->url("/weblog/m") + "\n");
    for (const std::string& args : std::vector<std::string>{
             "--fetch list cache", "--fetch list cache out extra", "--fetch", "--connections 0 --fetch list cache out",
             "--connections 65 --fetch list cache out", "--connections=x --fetch list cache out", "--connections= --fetch list cache out",
             "--connections 008 --fetch list cache out", "--connections 4 list cache out",
             "--connections 4 " + quoted(server->url("/weblog/m")), "--fetch list same same", "--fetch list same ./same/",
             "--jobs 2 --fetch list cache out", "--shard 0/2 --fetch list cache out"}) {
        ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(at("out")));
    ToolRun ok = run("--connections 64 --fetch list cache out");
    EXPECT_EQ(ok.status, 0);
    EXPECT_TRUE(fs::exists(at("out/0")));
}

TEST_F(FetchCli, SecondBatchRunReusesCopiesAndKeepsUnchangedFeeds) {
    const std::string once = "/once/cli-" + fs::path(dir).filename().string();
    std::vector<std::string> urls = {
        server->url("/weblog/b0"),     server->url("/weblog/b1", 2),
        server->url("/weblog/b2", 3),  server->url("/weblog/changing", 2),
        server->url("/status/404", 3), server->url("/redirect-to?" + server->url("/weblog/b5", 3)),
        server->url("/page/plain", 2),  // no dated entries: no feed
        server->url(once, 3),           // 200, then 500: the old copy is converted
        "ftp://127.0.0.1/x",           server->url("/weblog/b9"),
    };
    std::string list;
    for (const std::string& u : urls) list += u + "\n";
    put("list", list);

    auto page = [](int n, bool feed) {
        std::string text = "Read: cache/" + std::to_string(n) + "\n";
        if (feed) text += "Contains recognizable weblog entries\n";
        return text;
    };
    auto wrote = [](int n) { return "finish converting to RSS: out/" + std::to_string(n) + "\n"; };
    auto kept = [](int n) { return "Unchanged, feed kept: out/" + std::to_string(n) + "\n"; };
    auto notModified = [&](int n) { return "Not modified, using cached copy: " + urls[n] + "\n"; };
    const std::string failed404 = "Fetch failed: " + urls[4] + ": HTTP 404 Not Found\nNo cached copy, skipping: cache/4\n";
    const std::string failedFtp =
        "Fetch failed: ftp://127.0.0.1/x: unsupported scheme \"ftp:\" (only http and "
        "https are fetched)\nNo cached copy, skipping: cache/8\n";

    ToolRun first = run("--fetch list cache out");
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.err, "");  // no progress line when standard error is not a terminal
    EXPECT_EQ(first.out, "Read the URL list\n" + page(0, true) + wrote(0) + page(1, true) + wrote(1) + page(2, true) + wrote(2) +
                             page(3, true) + wrote(3) + failed404 + page(5, true) + wrote(5) + page(6, false) + page(7, false) + failedFtp +
                             page(9, true) + wrote(9));
    // The feed file is what the single-address mode writes for the same address.
    EXPECT_EQ(readFile(at("out/1")), run(quoted(urls[1])).out);
    for (int n : {0, 1, 2, 3, 5, 9}) {
        struct utimbuf old = {kOldTime, kOldTime};
        ASSERT_EQ(::utime(at("out/" + std::to_string(n)).c_str(), &old), 0);
    }

    server->get("/bump/changing");
    ToolRun second = run("--connections 1 --fetch list cache out");
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.err, "");
    EXPECT_EQ(second.out, "Read the URL list\n" + notModified(0) + page(0, true) + kept(0) + notModified(1) + page(1, true) + kept(1) +
                              notModified(2) + page(2, true) + kept(2) + page(3, true) + wrote(3) + failed404 + notModified(5) +
                              page(5, true) + kept(5) + notModified(6) + page(6, false) + "Fetch failed: " + urls[7] +
                              ": HTTP 500 Internal Server Error\nUsing cached copy: " + urls[7] + "\n" + page(7, false) + failedFtp +
                              notModified(9) + page(9, true) + kept(9));
    for (int n : {0, 1, 2, 5, 9}) EXPECT_EQ(modified(at("out/" + std::to_string(n))), kOldTime) << n;
    EXPECT_NE(modified(at("out/3")), kOldTime);
    EXPECT_NE(readFile(at("out/3")).find("version 1."), std::string::npos);

    // A feed file that no longer holds the feed is written again.
    const std::string feed = readFile(at("out/0"));
    put("out/0", "edited");
    EXPECT_NE(run("--fetch list cache out").out.find(wrote(0)), std::string::npos);
    EXPECT_EQ(readFile(at("out/0")), feed);
}

TEST_F(FetchCli, UnwritableCacheFailsEachPageAndWritesNothingElse) {
    put("list", server->url("/weblog/u0") + "\n" + server->url("/weblog/u1", 2) + "\n");
    put("cache", "a file, not a folder");
    ToolRun r = run("--fetch list cache out");
    EXPECT_EQ(r.status, 0);
    for (const char* n : {"0", "1"}) {
        EXPECT_NE(r.out.find("No cached copy, skipping: cache/" + std::string(n)), std::string::npos) << r.out;
    }
    EXPECT_NE(r.out.find(": cannot write cache/0"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(at("out")));
}

TEST_F(FetchCli, TwoHundredPagesFirstAndUnchangedRuns) {
    std::string list;
    for (int i = 0; i < 200; ++i) list += server->url("/weblog/t" + std::to_string(i), 1 + i % 3) + "\n";
    put("list", list);
    auto timed = [&](const std::string& expect) {
        auto start = std::chrono::steady_clock::now();
        ToolRun r = run("--fetch list cache out");
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, 0);
        std::size_t count = 0;
        for (std::size_t p = 0; (p = r.out.find(expect, p)) != std::string::npos; ++p) ++count;
        EXPECT_EQ(count, 200u) << expect;
        return s;
    };
    double first = timed("finish converting to RSS: ");
    double second = timed("Unchanged, feed kept: ");
    std::printf("200 pages through the tool: first run %.3f s, unchanged second run %.3f s\n", first, second);
    RecordProperty("first_run_ms", static_cast<int>(first * 1000));
    RecordProperty("second_run_ms", static_cast<int>(second * 1000));
}

// --explain in the fetching modes: the same feed and messages, and a report
// of each page converted.
TEST_F(FetchCli, ExplainReportsFetchedPages) {
    const std::string url = server->url("/weblog/explained", 2);
    ToolRun plain = run(quoted(url));
    ToolRun explained = run("--explain r.html " + quoted(url));
    EXPECT_EQ(explained.status, 0);
    EXPECT_EQ(explained.out, plain.out);
    EXPECT_EQ(explained.err, "");
    EXPECT_NE(readFile(at("r.html")).find("<dd>" + url + "</dd>"), std::string::npos);

    put("list", server->url("/weblog/e0") + "\n" + server->url("/page/plain", 2) + "\n");
    plain = run("--fetch list cache out");
    fs::remove_all(at("cache"));
    fs::remove_all(at("out"));
    explained = run("--explain rep --fetch list cache out");
    EXPECT_EQ(explained.status, 0);
    EXPECT_EQ(explained.out, plain.out);
    EXPECT_NE(readFile(at("rep/0.html")).find("Feed written with "), std::string::npos);
    EXPECT_NE(readFile(at("rep/1.html")).find("No feed"), std::string::npos);
}

}  // namespace
}  // namespace w2r
