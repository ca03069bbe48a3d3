// Runs the built tool in a scratch folder: the sample pages in all three run
// modes against their golden feeds in tests/golden/, and the messages, their
// streams, paths and exit status; the option parser.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "tool_run.h"

namespace {

using namespace w2r::test;

bool haveDevFull() {
    struct stat st;
    return ::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode) && ::access("/dev/full", W_OK) == 0;
}

TEST_F(Tool, SamplePagesFromAFileOrStandardInputGiveTheGoldenFeeds) {
    for (const std::string name : {"weblog", "daily", "notebook"}) {
        SCOPED_TRACE(name);
        expectRun(run("examples/" + name + ".html", "", kSrc), readFile(kGolden + name + ".rss"));
        expectRun(run("", readFile(kEx + name + ".html")), goldenFor(name, ""));
    }
    // A page without entries gives no output at all.
    expectRun(run("examples/about.html", "", kSrc), "");
    expectRun(run("", readFile(kEx + "about.html")), "");
}

// Each format's golden feed of the sample page, from a file and in a batch
// whose list gives the same address.
TEST_F(Tool, FormatsGiveTheirGoldenFeedsInEveryMode) {
    put("in/0", readFile(kEx + "weblog.html"));
    put("urls.txt", "examples/weblog.html\n");
    for (const std::string format : {"rss2", "atom", "json"}) {
        SCOPED_TRACE(format);
        const std::string golden = readFile(kGolden + "weblog." + format);
        ASSERT_FALSE(golden.empty());
        expectRun(run("--format " + format + " examples/weblog.html", "", kSrc), golden);
        expectRun(run("--format=" + format + " urls.txt in out"),
                  "Read the URL list\nRead: in/0\nContains recognizable weblog entries\n"
                  "finish converting to RSS: out/0\n");
        EXPECT_EQ(readFile(at("out/0")), golden);
        // Standard input: no address, the same items.
        ToolRun r = run("--format " + format, readFile(kEx + "weblog.html"));
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(format == "json" ? "\"Fog over the breakwater\"" : ">Fog over the breakwater<"), std::string::npos);
        EXPECT_EQ(run("--format " + format + " examples/about.html", "", kSrc).out, "");
    }
    EXPECT_EQ(run("--format rss091 examples/weblog.html", "", kSrc).out, readFile(kGolden + "weblog.rss"));
}

// --modern: the golden feeds of an old and a current weblog page, from a
// file and in a batch; a page without entries still gives nothing.
TEST_F(Tool, ModernReadingGivesItsGoldenFeeds) {
    for (const std::string name : {"weblog", "journal"}) {
        SCOPED_TRACE(name);
        const std::string golden = readFile(kGolden + name + ".modern.rss2");
        ASSERT_FALSE(golden.empty());
        expectRun(run("--modern examples/" + name + ".html", "", kSrc), golden);
        put("in/0", readFile(kEx + name + ".html"));
        put("urls.txt", "examples/" + name + ".html\n");
        expectRun(run("--modern urls.txt in out"),
                  "Read the URL list\nRead: in/0\nContains recognizable weblog entries\n"
                  "finish converting to RSS: out/0\n");
        EXPECT_EQ(readFile(at("out/0")), golden);
    }
    EXPECT_EQ(run("--modern examples/about.html", "", kSrc).out, "");
}

// Entries dated in 2015 count only when the year window holds 2015.
TEST_F(Tool, YearWindowChoosesTheDatesThatCount) {
    std::string page = "<html><body><div>";
    // A form no other pattern reads with another year (those without a year give 2004).
    for (int d = 4; d <= 7; d++) page += "<p>March " + std::to_string(d) + "th, 2015</p><b>Post " + std::to_string(d) + "</b><p>x</p>";
    page += "</div></body></html>";
    const struct {
        const char* options;
        int items;
    } cases[] = {
        {"", 0},
        {"--years 1995-2010", 0},
        {"--years 2011-2026", 4},
        {"--years 2015-2015", 4},
        {"--years 2016-2020 --format rss2", 0},
        {"--format rss2 --years 1000-9999", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        ToolRun r = run(c.options, page);
        EXPECT_EQ(r.status, 0);
        int items = 0;
        for (auto p = r.out.find("<item>"); p != std::string::npos; p = r.out.find("<item>", p + 1)) items++;
        EXPECT_EQ(items, c.items) << r.out;
        if (c.items) {
            EXPECT_TRUE(r.out.find(">2015-3-4T0:0+00:00<") != std::string::npos ||
                        r.out.find(">2015-03-04T00:00+00:00<") != std::string::npos);
        }
    }
}

// Converters with different windows used in turn on one page context: each
// keeps its own window.
TEST(Converter, YearWindowIsTheConvertersOwn) {
    std::string page = "<div>";
    for (int d = 4; d <= 7; d++) page += "<p>March " + std::to_string(d) + "th, 2015</p><b>Post</b><p>x</p>";
    page += "</div>";
    w2r::ConverterOptions wide;
    wide.years = {2011, 2026};
    const w2r::Converter plain, widened(wide);
    w2r::Page context;
    w2r::CollectedDiagnostics diagnostics;
    std::ostringstream out;
    w2r::Rss091Writer writer(out);
    for (int round = 0; round < 2; round++) {
        EXPECT_FALSE(w2r::convertPage(plain, context, page, "", writer, diagnostics).hasEntries());
        EXPECT_EQ(w2r::convertPage(widened, context, page, "", writer, diagnostics).entryCount, 4);
    }
}

// "--years 1995-2010" is the default window: the same files and messages on
// the corpus.
TEST_F(Tool, DefaultYearWindowOnTheCorpus) {
    if (!haveCorpus()) GTEST_SKIP() << "no corpus at " WEBLOG2RSS_CORPUS_DIR;
    const std::string corpus = WEBLOG2RSS_CORPUS_DIR;
    ::mkdir(at("out2").c_str(), 0755);
    ToolRun plain = run("'" + corpus + "/urls.txt' '" + corpus + "/pages' out");
    ToolRun window = run("--years 1995-2010 '" + corpus + "/urls.txt' '" + corpus + "/pages' out2");
    EXPECT_EQ(replaceAll(window.out, " out2/", " out/"), plain.out);
    EXPECT_NE(plain.out.find("finish converting"), std::string::npos);
    EXPECT_EQ(std::system(("diff -r '" + at("out") + "' '" + at("out2") + "'").c_str()), 0);
}

TEST_F(Tool, BatchWritesOneFeedPerPageWithEntries) {
    put("in/0", readFile(kEx + "weblog.html"));
    put("in/1", readFile(kEx + "daily.html"));
    put("in/2", readFile(kEx + "about.html"));  // page 3 is missing
    put("in/4", readFile(kEx + "notebook.html"));
    put("urls.txt",
        "http://harbour.example.net/\nhttp://tidewater.example.org/index.html\n"
        "http://harbour.example.net/about.html\nhttp://gone.example.com/\n"
        "http://notebook.example.com/field/\n");
    put("out/0", std::string(20000, 'x'));  // an older, longer feed is replaced
    const std::string feed = "Contains recognizable weblog entries\nfinish converting to RSS: ";
    expectRun(run("urls.txt in out"), "Read the URL list\nRead: in/0\n" + feed + "out/0\nRead: in/1\n" + feed +
                                          "out/1\nRead: in/2\nFile not exist, skipping: in/3\nRead: in/4\n" + feed + "out/4\n");
    EXPECT_EQ(readFile(at("out/0")), goldenFor("weblog", "http://harbour.example.net/"));
    EXPECT_EQ(readFile(at("out/1")), goldenFor("daily", "http://tidewater.example.org/index.html"));
    // No page title: the channel title is cut from the address at byte 8.
    EXPECT_EQ(readFile(at("out/4")), replaceAll(goldenFor("notebook", "http://notebook.example.com/field/"), "<title></title>",
                                                "<title>otebook.example.com</title>"));
    EXPECT_FALSE(exists(at("out/2")));
    EXPECT_FALSE(exists(at("out/3")));
    for (const char* n : {"out/1", "out/4"}) {
        struct stat st;
        ASSERT_EQ(::stat(at(n).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0664u) << n;
    }
}

// A feed file that cannot be written leaves the previous feed in place and
// no temporary file behind; the batch goes on.
TEST_F(Tool, FailedWritesAreReported) {
    put("in/0", readFile(kEx + "weblog.html"));
    put("in/1", readFile(kEx + "notebook.html"));
    put("urls.txt", "http://harbour.example.net/ http://notebook.example.com/");
    put("out/0", "the previous feed");
    // Files up to 2,000 bytes: the weblog's feed is longer, the notebook's shorter.
    ToolRun r = run("--fsize=2000:2000 '" WEBLOG2RSS_BIN "' urls.txt in out", "", "", "prlimit", "trap '' XFSZ;");
    expectRun(r,
              "Read the URL list\nRead: in/0\nContains recognizable weblog entries\n"
              "Error writing file out/0\nRead: in/1\nContains recognizable weblog entries\n"
              "finish converting to RSS: out/1\n");
    EXPECT_EQ(readFile(at("out/0")), "the previous feed");
    EXPECT_EQ(run("-A out", "", "", "ls").out, "0\n1\n");
    // No output folder: nothing can be created.
    expectRun(run("urls.txt in nowhere"),
              "Read the URL list\nRead: in/0\nContains recognizable weblog entries\n"
              "Error opening file nowhere/0to write\nRead: in/1\nContains recognizable weblog entries\n"
              "Error opening file nowhere/1to write\n");
    if (!haveDevFull()) GTEST_SKIP() << "/dev/full is not available";
    expectRun(run("examples/weblog.html >/dev/full", "", kSrc), "", "Error writing feed to standard output\n");
}

TEST_F(Tool, MessagesStreamsAndPaths) {
    for (const char* p : {"in/0", "in/1", "0"}) put(p, kNoEntries);
    const std::string head = "Read the URL list\n", both = head + "Read: in/0\nRead: in/1\n";
    const std::string skip = "File not exist, skipping: ";
    // clang-format off
    const struct { const char* list; std::string args, out, err; } cases[] = {
        {"", "nolist in out", "", "can't open url list filenolist\n"},
        {"", "missing.html", "", skip + "missing.html\n"},
        {"", "list in out", head, ""},
        {"  \n\t\n", "list in out", head, ""},
        {"http://a/\nhttp://b/\n", "list in out", both, ""},
        {"http://a/ http://b/", "list in out", both, ""},
        {"\n\n  http://a/\t\thttp://b/", "list in out", both, ""},
        {"u0 u1 u2\n", "list in/ out", both + skip + "in/2\n", ""},
        {"a b\n", "list nowhere out", head + skip + "nowhere/0\n" + skip + "nowhere/1\n", ""},
        {"a\n", "list '' out", head + "Read: 0\n", ""},  // empty INDIR: the current folder
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args + " / list: " + c.list);
        put("list", c.list);
        expectRun(run(c.args), c.out, c.err);
    }
    // Page numbers are not padded: page 10 is INDIR/10.
    std::string list;
    for (int i = 0; i <= 10; i++) list += "http://x/" + std::to_string(i) + "\n";
    put("list", list);
    put("in/10", kNoEntries);
    ToolRun r = run("list in out");
    EXPECT_NE(r.out.find(skip + "in/9\nRead: in/10\n"), std::string::npos) << r.out;
}

TEST_F(Tool, HelpAndVersion) {
    using P = std::pair<const char*, const char*>;
    for (auto [flag, start] : {P{"-h", "usage: weblog2rss"}, P{"--help", "usage: weblog2rss"}, P{"--version", "weblog2rss "}}) {
        ToolRun r = run(flag);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(start, 0), 0u) << r.out;
    }
}

TEST(Options, ParsedBeforeThePositionalArguments) {
    using V = std::vector<std::string>;
    // clang-format off
    const struct { V args; bool ok; V positional; bool help, version; std::string error; } cases[] = {
        {{}, true, {}, false, false, ""},
        {{"page.html"}, true, {"page.html"}, false, false, ""},
        {{"l", "i", "o", "extra"}, true, {"l", "i", "o", "extra"}, false, false, ""},
        {{"-"}, true, {"-"}, false, false, ""},  // "-" is a path, as before
        {{"-h"}, true, {}, true, false, ""},
        {{"--help", "--bogus"}, true, {}, true, false, ""},  // --help ends the reading
        {{"--version", "x", "y"}, true, {}, false, true, ""},
        {{"--", "--help"}, true, {"--help"}, false, false, ""},
        {{"--", "-x", "--", "y"}, true, {"-x", "--", "y"}, false, false, ""},
        {{"l", "-in", "out"}, true, {"l", "-in", "out"}, false, false, ""},  // not an option name: a path
        {{"--format", "json", "page"}, true, {"page"}, false, false, ""},
        {{"--format=atom", "--", "-page"}, true, {"-page"}, false, false, ""},
        {{"--format"}, false, {}, false, false, "option '--format' needs a value"},
        {{"--format", "xml", "page"}, false, {}, false, false, "bad value 'xml' for option '--format': expected rss091, rss2, atom or json"},
        {{"--format="}, false, {}, false, false, "bad value '' for option '--format': expected rss091, rss2, atom or json"},
        {{"--years", "1995-2010", "--years=2011-2026", "--format", "rss2", "l", "i"}, true, {"l", "i"}, false, false, ""},
        {{"--years", "2010-1995"}, false, {}, false, false, "bad value '2010-1995' for option '--years': FROM is after TO"},
        {{"--years", "999-2000"}, false, {}, false, false, "bad value '999-2000' for option '--years': years go from 1000 to 9999"},
        {{"--years", "1995-10000"}, false, {}, false, false, "bad value '1995-10000' for option '--years': years go from 1000 to 9999"},
        {{"--years", "x-2010"}, false, {}, false, false, "bad value 'x-2010' for option '--years': expected FROM-TO, such as 1995-2010"},
        {{"--years", "1995"}, false, {}, false, false, "bad value '1995' for option '--years': expected FROM-TO, such as 1995-2010"},
        {{"--years", "-1995-2010"}, false, {}, false, false, "bad value '-1995-2010' for option '--years': expected FROM-TO, such as 1995-2010"},
        {{"--years", "1995-+2010"}, false, {}, false, false, "bad value '1995-+2010' for option '--years': expected FROM-TO, such as 1995-2010"},
        {{"--years", "1995-2010 "}, false, {}, false, false, "bad value '1995-2010 ' for option '--years': expected FROM-TO, such as 1995-2010"},
        {{"--x"}, false, {}, false, false, "unknown option '--x'"},
        {{"--a\nb"}, false, {}, false, false, "unknown option '--a?b'"},  // one line whatever the argument
        {{"--format", "rss2\n"}, false, {}, false, false, "bad value 'rss2?' for option '--format': expected rss091, rss2, atom or json"},
        {{"-x", "page"}, false, {}, false, false, "unknown option '-x'"},
        {{"--x=1"}, false, {}, false, false, "unknown option '--x'"},
        {{"--help=yes"}, false, {}, false, false, "option '--help' takes no value"},
        {{"page", "--version"}, false, {}, false, false, "option '--version' must come before the positional arguments"},
        {{"l", "i", "o", "-h"}, false, {}, false, false, "option '-h' must come before the positional arguments"},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::vector<const char*> argv = {"weblog2rss"};
        std::string shown;
        for (const std::string& a : c.args) argv.push_back(a.c_str()), shown += " " + a;
        SCOPED_TRACE(shown);
        w2r::CliOptions o;
        std::string error;
        ASSERT_EQ(w2r::parseCommandLine(static_cast<int>(argv.size()), argv.data(), o, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_EQ(error, "weblog2rss: " + c.error + " (try 'weblog2rss --help')");
            continue;
        }
        EXPECT_EQ(o.positional, c.positional);
        EXPECT_EQ(o.help, c.help);
        EXPECT_EQ(o.version, c.version);
    }
    {
        const char* argv[] = {"weblog2rss", "--jobs", "3", "--shard=2/5", "list", "in"};
        w2r::CliOptions o;
        std::string error;
        ASSERT_TRUE(w2r::parseCommandLine(6, argv, o, error)) << error;
        EXPECT_EQ(o.jobs, 3);
        EXPECT_EQ(o.shard.index, 2);
        EXPECT_EQ(o.shard.count, 5);
    }
    // The last --years counts; FROM may equal TO.
    using Y = std::pair<const char*, w2r::YearWindow>;
    for (auto [value, years] : {Y{"2011-2026", {2011, 2026}}, Y{"1000-9999", {1000, 9999}}, Y{"2004-2004", {2004, 2004}}}) {
        const char* argv[] = {"weblog2rss", "--years", "1995-2000", "--years", value};
        w2r::CliOptions o;
        std::string error;
        ASSERT_TRUE(w2r::parseCommandLine(5, argv, o, error)) << value;
        EXPECT_EQ(o.conversion.years.from, years.from);
        EXPECT_EQ(o.conversion.years.to, years.to);
    }
    // --modern: the extraction mode, next year and RSS 2.0, unless the other
    // options say otherwise, before or after it.
    // clang-format off
    const struct { std::vector<std::string> args; const char* format; w2r::YearWindow years; } modern[] = {
        {{"--modern"}, "rss2", {1995, 2031}},
        {{"--modern", "--format", "atom"}, "atom", {1995, 2031}},
        {{"--format=rss091", "--modern"}, "rss091", {1995, 2031}},
        {{"--years", "1995-2010", "--modern"}, "rss2", {1995, 2010}},
    };
    // clang-format on
    for (const auto& c : modern) {
        std::vector<const char*> argv = {"weblog2rss"};
        for (const std::string& a : c.args) argv.push_back(a.c_str());
        w2r::CliOptions o;
        std::string error;
        ASSERT_TRUE(w2r::parseCommandLine(static_cast<int>(argv.size()), argv.data(), o, error));
        w2r::applyModernDefaults(o, 2030);
        EXPECT_EQ(w2r::feedFormatName(o.format), c.format);
        EXPECT_EQ(o.conversion.years.from, c.years.from);
        EXPECT_EQ(o.conversion.years.to, c.years.to);
        EXPECT_TRUE(o.conversion.extraction.titleFinder && o.conversion.extraction.entryRules);
    }
    for (const char* name : {"rss091", "rss2", "atom", "json"}) {
        const char* argv[] = {"weblog2rss", "--format", name};
        w2r::CliOptions o;
        std::string error;
        ASSERT_TRUE(w2r::parseCommandLine(3, argv, o, error));
        EXPECT_EQ(w2r::feedFormatName(o.format), name);
    }
}

// Mistakes end the run at once: one line on standard error, status 2.
TEST_F(Tool, UsageErrorsAreOneLineWithStatusTwo) {
    put("in/0", readFile(kEx + "weblog.html"));
    put("urls.txt", "http://harbour.example.net/\n");
    for (const std::string args : {"--x urls.txt in out", "-x", "urls.txt in out --help"}) {
        SCOPED_TRACE(args);
        ToolRun r = run(args, readFile(kEx + "weblog.html"));
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_EQ(r.err.rfind("weblog2rss: ", 0), 0u) << r.err;
        EXPECT_FALSE(exists(at("out/0")));
    }
}

// --help and the manual page name every option the parser reads.
TEST_F(Tool, HelpAndManualPageListEveryOption) {
    // Whether text holds name as a whole word ("-h" is not in "--help").
    auto names = [](const std::string& text, const std::string& name) {
        for (auto p = text.find(name); p != std::string::npos; p = text.find(name, p + 1)) {
            char next = p + name.size() < text.size() ? text[p + name.size()] : ' ';
            if ((p == 0 || text[p - 1] != '-') && !std::isalnum(static_cast<unsigned char>(next)) && next != '-') return true;
        }
        return false;
    };
    const std::string help = run("--help").out, man = readFile(kSrc + "/man/weblog2rss.1");
    for (const std::string& name : w2r::optionNames()) {
        EXPECT_TRUE(names(help, name)) << name;
        EXPECT_TRUE(names(replaceAll(man, "\\-", "-"), name)) << name;
    }
}

// Pages of any bytes end with status 0 and no message beyond the batch's own.
TEST_F(Tool, HostileAndOversizedPagesFinishCleanly) {
    std::string nul("<p>before\0<b>after</p>", 22), binary, big, list;
    for (int i = 0; i < 4096; i++) binary += static_cast<char>((i * 7919) & 0xFF);
    while (big.size() < 3200000) big += "<div><a href='x>1 <!-- -- &#99999999999; ";
    const std::string pages[] = {"", nul, binary, big, std::string(100000, '<'), "</div></p></html>"};
    std::string expected = "Read the URL list\n";
    for (std::size_t i = 0; i < std::size(pages); i++) {
        put("in/" + std::to_string(i), pages[i]);
        list += "http://h/" + std::to_string(i) + "\n";
        expected += "Read: in/" + std::to_string(i) + "\n";
    }
    // Close tags with no open element are reported by the tree builder.
    expected += "serious stack error\nserious stack error\nserious stack error\n";
    put("list", list);
    expectRun(run("list in out"), expected);
}

}  // namespace
