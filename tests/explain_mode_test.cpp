// --explain end to end: the reports of the bundled pages, of a batch and of
// hostile and oversized pages; the feed, messages and files the same as
// without it; and the store-to-page offsets the report's markers rely on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cli/explain_mode.h"
#include "explain_check.h"
#include "support.h"

namespace {

using std::string;
using w2r::test::checkStructure;
using w2r::test::readFile;

const string kSrc = WEBLOG2RSS_SOURCE_DIR;

struct ToolRun {
    int status;
    string out, err;
    bool operator==(const ToolRun& o) const { return status == o.status && out == o.out && err == o.err; }
};

std::size_t countOf(const string& text, const string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != string::npos; p = text.find(what, p + 1)) n++;
    return n;
}

bool exists(const string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class Explain : public ::testing::Test {
protected:
    string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/weblog2rss-explain-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ::mkdir(at("in").c_str(), 0755);
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }
    string at(const string& name) const { return dir + "/" + name; }
    void put(const string& name, const string& text) const { std::ofstream(at(name), std::ios::binary) << text; }
    // Runs "weblog2rss args" in cwd (default: the scratch folder).
    ToolRun run(const string& args, const string& cwd = "", const string& input = "") const {
        put(".stdin", input);
        string cmd = "cd '" + (cwd.empty() ? dir : cwd) + "' && '" WEBLOG2RSS_BIN "' " + args + " <'" + at(".stdin") + "' >'" +
                     at(".stdout") + "' 2>'" + at(".stderr") + "'";
        int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readFile(at(".stdout")), readFile(at(".stderr"))};
    }
    // The report at path, checked; its page copy goes to srcdoc.
    string report(const string& path, string& srcdoc) const {
        string html = readFile(path);
        EXPECT_EQ(checkStructure(html, srcdoc), "") << path;
        return html;
    }
};

TEST_F(Explain, BundledPagesFromAFileOrStandardInput) {
    const struct {
        const char* name;
        const char* firstRow;  // date and time as found and as read
    } pages[] = {
        {"weblog", "Monday, March 01, 2004<br><code>2004-03-01</code></td><td>10:32 PM<br><code>22:32</code>"},
        {"daily", "<br><code>"},
        {"notebook", "<br><code>"},
        {"about", "No entries."},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.name);
        const string page = "examples/" + string(p.name) + ".html";
        for (bool stdinMode : {false, true}) {
            const string input = stdinMode ? readFile(kSrc + "/" + page) : "";
            const string target = stdinMode ? "" : page;
            ToolRun plain = run(target, kSrc, input);
            ToolRun explained = run("--explain '" + at("r.html") + "' " + target, kSrc, input);
            EXPECT_TRUE(plain == explained) << explained.out << explained.err;
            string srcdoc, html = report(at("r.html"), srcdoc);
            std::size_t items = countOf(plain.out, "<item>");
            const string entries = html.substr(html.find("<table id=\"entries\">"));
            EXPECT_EQ(countOf(entries, "<tr><td class=\"num\">"), items);
            EXPECT_NE(entries.find(p.firstRow), string::npos);
            EXPECT_EQ(countOf(srcdoc, "w2r-mark w2r-entry\">entry "), items);
            EXPECT_EQ(countOf(srcdoc, "w2r-mark w2r-box"), items ? 2u : 0u);
            // The container is outlined, its end marked inside it.
            EXPECT_EQ(countOf(srcdoc, " data-w2r-container"), items ? 1u : 0u);
            EXPECT_EQ(countOf(srcdoc, "end of entry container</span></"), items ? 1u : 0u);
            EXPECT_NE(html.find(items ? "<p class=\"verdict\">Feed written with " + std::to_string(items) + " entries"
                                      : "<p class=\"verdict\">No feed"),
                      string::npos);
            EXPECT_NE(html.find("<code>--format</code> = <code>rss091 (default)</code>"), string::npos);
        }
    }
}

TEST_F(Explain, BatchWritesOneReportPerPageRead) {
    put("in/0", readFile(kSrc + "/examples/weblog.html"));
    put("in/1", readFile(kSrc + "/examples/about.html"));  // page 2 is missing
    put("in/3", readFile(kSrc + "/examples/daily.html"));
    put("urls", "http://a/ http://b/ http://c/ http://d/\n");
    for (const string out : {" out", ""}) {
        SCOPED_TRACE(out);
        ToolRun plain = run("--format atom urls in" + out);
        const string feed0 = readFile(at("out/0")), feed3 = readFile(at("out/3"));
        ToolRun explained = run("--format atom --explain rep/deep urls in" + out);
        EXPECT_TRUE(plain == explained) << explained.out << explained.err;
        EXPECT_EQ(readFile(at("out/0")), feed0);
        EXPECT_EQ(readFile(at("out/3")), feed3);
        for (const char* n : {"0", "1", "3"}) {
            string srcdoc, html = report(at("rep/deep/") + n + ".html", srcdoc);
            EXPECT_NE(html.find("<code>--format</code> = <code>atom</code>"), string::npos);
        }
        EXPECT_FALSE(exists(at("rep/deep/2.html")));
        EXPECT_NE(readFile(at("rep/deep/3.html")).find("<dd>http://d/</dd>"), string::npos);
        EXPECT_NE(
            readFile(at("rep/deep/0.html"))
                .find(out.empty() ? "No feed written (no output folder given) of the 4 entries found" : "Feed written with 4 entries"),
            string::npos);
    }
}

// The corpus of real pages gives the same feeds and messages with reports.
TEST_F(Explain, CorpusBatchUnchanged) {
    if (!w2r::test::haveCorpus()) GTEST_SKIP() << "no corpus at " WEBLOG2RSS_CORPUS_DIR;
    const string args = "'" WEBLOG2RSS_CORPUS_DIR "/urls.txt' '" WEBLOG2RSS_CORPUS_DIR "/pages' out";
    ::mkdir(at("out").c_str(), 0755);
    ToolRun plain = run(args);
    ASSERT_EQ(std::system(("cp -r '" + at("out") + "' '" + at("plain") + "'").c_str()), 0);
    ToolRun explained = run("--explain rep " + args);
    EXPECT_TRUE(plain == explained) << explained.err;
    EXPECT_EQ(std::system(("diff -r '" + at("out") + "' '" + at("plain") + "'").c_str()), 0);
    // One valid report per page read.
    std::size_t reports = 0;
    for (int n = 0; n < 10000; n++) {
        const string path = at("rep/" + std::to_string(n) + ".html");
        if (!exists(path)) continue;
        string srcdoc;
        report(path, srcdoc);
        reports++;
    }
    EXPECT_EQ(reports, countOf(plain.out, "Read: "));
}

// A report that cannot be written is said on standard error and makes the
// exit status 1; the feed and the batch are as they would be without it.
TEST_F(Explain, UnwritableReports) {
    ToolRun plain = run("examples/weblog.html", kSrc);
    ToolRun r = run("--explain '" + at("none/r.html") + "' examples/weblog.html", kSrc);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(r.err, "weblog2rss: cannot write the report " + at("none/r.html") + "\n");
    put("in/0", readFile(kSrc + "/examples/weblog.html"));
    put("urls", "http://a/\n");
    put("file", "");
    r = run("--explain file/x urls in");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, run("urls in").out);
    EXPECT_EQ(r.err.rfind("weblog2rss: cannot make the report folder file/x: ", 0), 0u) << r.err;
    // Reports written by worker processes count too.
    put("in/1", readFile(kSrc + "/examples/daily.html"));
    put("urls", "http://a/ http://b/\n");
    ::mkdir(at("rep").c_str(), 0755);
    ::mkdir(at("rep/1.html").c_str(), 0755);
    for (const string jobs : {"1", "2"}) {
        r = run("--jobs " + jobs + " --explain rep urls in");
        EXPECT_EQ(r.status, 1) << jobs;
        EXPECT_EQ(r.out, run("urls in").out);
        EXPECT_EQ(r.err, "weblog2rss: cannot write the report rep/1.html\n");
        EXPECT_NE(readFile(at("rep/0.html")).find("<table id=\"entries\">"), string::npos);
    }
}

// Hostile text everywhere, 100,000 elements examined, entries of 1 MiB:
// the report stays valid and bounded and holds none of the page's scripts.
TEST_F(Explain, HostileAndOversizedPages) {
    string entry, big = "<html><body><div>";
    while (entry.size() < (1u << 20)) entry += "</script></iframe>\"'<!-- x --> text ";
    for (int day = 1; day <= 2; day++)
        big += "<p>Monday, March 0" + std::to_string(day) + ", 2004</p><p>" + entry.substr(0, 1300000) + "</p>";
    big += "<p>Monday, March 03, 2004</p><p>x</p></div></body></html>";
    string wide = "<html><body>";
    for (int i = 0; i < 100000; i++) wide += "<p><a><a><a><a></p>";
    wide += "<div><p>Mon, Jan 5, 2004</p><p>Mon, Jan 6, 2004</p><p>Mon, Jan 7, 2004</p><p>x</p></div></body></html>";
    put("in/0", readFile(kSrc + "/explain/testdata/hostile.html"));
    put("in/1", big);
    put("in/2", wide);
    // Dates matched with a long run of text before them (">[^<]*" patterns).
    const string text(5000, 'a');
    put("in/3", "<div><p>" + text + " 2004-03-01</p><p>" + text + " 2004-03-02</p><p>" + text + " 2004-03-03</p><p>x</p></div>");
    put("urls", "0 1 2 3");
    ToolRun r = run("--explain rep urls in out");
    EXPECT_TRUE(r == run("urls in out")) << r.out << r.err;
    for (int n = 0; n < 4; n++) {
        SCOPED_TRACE(n);
        string srcdoc, html = report(at("rep/" + std::to_string(n) + ".html"), srcdoc);
        EXPECT_LE(html.size(), w2r::kMaxReportBytes);
        std::transform(srcdoc.begin(), srcdoc.end(), srcdoc.begin(), ::tolower);
        // The hostile page's frame in a frame keeps its srcdoc (the sandbox
        // runs none of it); no script element is left.
        EXPECT_EQ(countOf(srcdoc, "<script"), n == 0 ? 1u : 0u);
        EXPECT_EQ(srcdoc.find("<script>document.title"), string::npos);
        if (n == 1) {
            EXPECT_NE(html.find("Feed written with 3 entries"), string::npos);
            EXPECT_EQ(countOf(html, "<td class=\"text\">Monday, March 0"), 3u);
            EXPECT_LT(html.size(), 4 * w2r::kMaxPageSourceBytes);
        }
        if (n == 3) {
            // The date as found keeps its end, where the date is.
            EXPECT_NE(html.find("<td>\u2026" + string(189, 'a') + " 2004-03-02<br><code>2004-03-02</code>"), string::npos);
            EXPECT_LT(html.size(), 100000u);
        }
        if (n == 2) {
            EXPECT_EQ(countOf(html, "refused: No date or time recurs"), w2r::kMaxExaminedRows);
            EXPECT_NE(html.find("and 99802 more elements examined."), string::npos);
            // Chosen past the rows shown: the verdict says why.
            EXPECT_NE(html.find("Feed written with 3 entries, cut from &lt;div&gt; at depth 3 with 4 children "
                                "(element 100002 examined) and dated by date pattern #0. More dates in the children"),
                      string::npos);
            EXPECT_EQ(countOf(srcdoc, "w2r-mark w2r-entry\">entry "), 3u);
        }
    }
}

// Every byte of the text store maps back to the same byte of the page,
// across entities, comments, declarations and stray '<'; the store's end
// is the page's end; a store that is not the page's maps nothing.
TEST(StoreToPage, EveryStoredByteComesFromThePage) {
    const string page =
        "<!DOCTYPE html><html><body><!-- a <div> in a comment --><div class=x>a &amp; b&nbsp;c</div>"
        "<p>1 < 2 &lt; 3 <?pi?> & <![CDATA[z]]></p>\xc3\xa9</body></html>";
    w2r::test::BuiltPage built;
    built.build(page);
    const char* store = built.page.tree().storeBegin();
    const std::size_t size = static_cast<std::size_t>(built.page.tree().storeEnd() - store);
    ASSERT_GT(size, 0u);
    std::vector<std::size_t> offsets;
    for (std::size_t i = size + 1; i-- > 0;) offsets.push_back(i);  // descending: any order is taken
    std::vector<std::size_t> raw = w2r::storeToPageOffsets(page, store, size, offsets);
    ASSERT_EQ(raw.size(), offsets.size());
    EXPECT_EQ(raw[0], page.size());
    for (std::size_t k = 1; k < raw.size(); k++) {
        ASSERT_LT(raw[k], raw[k - 1]) << k;
        EXPECT_EQ(page[raw[k]], store[offsets[k]]) << offsets[k];
    }
    EXPECT_EQ(raw[offsets.size() - 1 - string(store, size).find("<div class=x>")], page.find("<div class=x>"));
    string other(store, size);
    other[size / 2] ^= 1;
    raw = w2r::storeToPageOffsets(page, other.data(), size, offsets);
    EXPECT_EQ(raw[0], string::npos);
    EXPECT_EQ(raw[size - size / 2], string::npos);
    EXPECT_EQ(raw[size], page.find("<html>"));
}

}  // namespace
