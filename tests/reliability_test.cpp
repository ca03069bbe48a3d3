// The command line at the edges of the file system: inputs that are not
// regular files or cannot be read, outputs that are links, FIFOs or folders,
// INDIR and OUTDIR naming one folder, and two batches writing one OUTDIR
// while a reader reads it.
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "tool_run.h"

namespace {

using namespace w2r::test;

// A file the kernel opens as regular but whose reads fail.
const char kUnreadable[] = "/proc/self/mem";

bool canFailReads() {
    struct stat st;
    return ::stat(kUnreadable, &st) == 0 && S_ISREG(st.st_mode);
}

// Every kind of page file in one batch: only the regular one is read.
TEST_F(Tool, BatchPagesThatAreNotRegularFiles) {
    ::mkdir(at("in/0").c_str(), 0755);
    ASSERT_EQ(::mkfifo(at("in/1").c_str(), 0644), 0);  // no writer: must not hang
    ASSERT_EQ(::symlink("/dev/null", at("in/2").c_str()), 0);
    ASSERT_EQ(::symlink("0", at("in/3").c_str()), 0);  // a link to the folder
    ASSERT_EQ(::symlink("nowhere", at("in/4").c_str()), 0);
    put("in/5", readFile(kEx + "weblog.html"));
    const bool unreadable = canFailReads() && ::symlink(kUnreadable, at("in/7").c_str()) == 0;
    put("list", "a b c d e f g h\n");
    expectRun(run("list in out"),
              "Read the URL list\nIs a directory, skipping: in/0\nNot a regular file, skipping: in/1\n"
              "Not a regular file, skipping: in/2\nIs a directory, skipping: in/3\nFile not exist, skipping: in/4\n"
              "Read: in/5\nContains recognizable weblog entries\nfinish converting to RSS: out/5\n"
              "File not exist, skipping: in/6\n" +
                  std::string(unreadable ? "Error reading file, skipping: in/7\n" : "File not exist, skipping: in/7\n"));
    EXPECT_EQ(run("-A out", "", "", "ls").out, "5\n");
}

// Single-file mode: streams the user names are read, folders are not; the
// message goes to standard error and standard output stays empty.
TEST_F(Tool, SingleFilesStreamsAndFolders) {
    put("page", readFile(kEx + "weblog.html"));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0644), 0);
    const std::string weblog = readFile(kEx + "weblog.html");
    // clang-format off
    const struct { std::string args, input, out, err; } cases[] = {
        {"/dev/stdin", weblog, goldenFor("weblog", "/dev/stdin"), ""},
        {"/dev/stdin <page", "", goldenFor("weblog", "/dev/stdin"), ""},
        {"fifo & cat page >fifo; wait", "", goldenFor("weblog", "fifo"), ""},  // a named pipe with its writer
        {"in", "", "", "Is a directory, skipping: in\n"},
        {"in/", "", "", "Is a directory, skipping: in/\n"},
        {"missing", "", "", "File not exist, skipping: missing\n"},
        {"<in", "", "", "Error reading standard input\n"},
        {kUnreadable, "", "", std::string("Error reading file, skipping: ") + kUnreadable + "\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        if (c.args == kUnreadable && !canFailReads()) continue;
        expectRun(run(c.args, c.input), c.out, c.err);
    }
    // bash's process substitution is a pipe named /dev/fd/N.
    if (::access("/bin/bash", X_OK) == 0) {
        ToolRun r = run("-c \"'" WEBLOG2RSS_BIN "' <(cat page)\"", "", "", "/bin/bash");
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("<title>Fog over the breakwater</title>"), std::string::npos) << r.err;
    }
}

// A list that cannot be read as a file: the message, then nothing.
TEST_F(Tool, ListsThatCannotBeRead) {
    put("in/0", readFile(kEx + "weblog.html"));
    put("list", "http://h/\n");
    for (const std::string list : {"in", "missing", "in/0/x"}) {
        SCOPED_TRACE(list);
        expectRun(run("'" + list + "' in out"), "", "can't open url list file" + list + "\n");
    }
    // A list from a pipe is read.
    expectRun(run("/dev/stdin in out", "http://h/\n"),
              "Read the URL list\nRead: in/0\nContains recognizable weblog entries\nfinish converting to RSS: out/0\n");
}

// INDIR and OUTDIR naming one folder would replace the pages by their feeds.
TEST_F(Tool, SameFolderForPagesAndFeedsIsAMistake) {
    const std::string page = readFile(kEx + "weblog.html");
    put("in/0", page);
    put("list", "http://h/\n");
    ASSERT_EQ(::symlink("in", at("alias").c_str()), 0);
    for (const std::string args : {"list in in", "list in in/", "list in ./in", "list in alias", "list alias/ in", "list '' ."}) {
        SCOPED_TRACE(args);
        ToolRun r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("weblog2rss: INDIR and OUTDIR are the same folder: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
        EXPECT_EQ(readFile(at("in/0")), page);
    }
}

// Whatever sits at OUTDIR/n is replaced by the feed, never written through.
TEST_F(Tool, FeedFilesReplaceLinksAndFifos) {
    put("in/0", readFile(kEx + "weblog.html"));
    put("in/1", readFile(kEx + "daily.html"));
    put("in/2", readFile(kEx + "notebook.html"));
    put("list", "http://a/ http://b/ http://c/\n");
    put("elsewhere", "keep");
    ASSERT_EQ(::symlink("../elsewhere", at("out/0").c_str()), 0);
    ASSERT_EQ(::mkfifo(at("out/1").c_str(), 0644), 0);
    ::mkdir(at("out/2").c_str(), 0755);
    ToolRun r = run("list in out");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("finish converting to RSS: out/0\n"), std::string::npos);
    EXPECT_NE(r.out.find("finish converting to RSS: out/1\n"), std::string::npos);
    EXPECT_NE(r.out.find("Error writing file out/2\n"), std::string::npos);  // a folder is not replaced
    EXPECT_EQ(readFile(at("elsewhere")), "keep");
    EXPECT_EQ(readFile(at("out/0")), goldenFor("weblog", "http://a/"));
    EXPECT_EQ(readFile(at("out/1")), goldenFor("daily", "http://b/"));
    for (const char* n : {"out/0", "out/1"}) {
        struct stat st;
        ASSERT_EQ(::lstat(at(n).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << n;
    }
    EXPECT_EQ(run("-A out", "", "", "ls").out, "0\n1\n2\n");
}

// weblog2rss-text fails with status 1 when its input cannot be read.
TEST_F(Tool, TextToolReportsUnreadableInput) {
    put("page", "<p>Hello <b>there</b></p>");
    // clang-format off
    const struct { std::string args; int status; std::string out, err; } cases[] = {
        {"-w page", 0, "Hello\nthere\n", ""},
        {"-w /dev/stdin <page", 0, "Hello\nthere\n", ""},
        {"missing", 1, "", "File not exist, skipping: missing\n"},
        {"in", 1, "", "Is a directory, skipping: in\n"},
        {"<in", 1, "", "Error reading standard input\n"},
        {kUnreadable, 1, "", std::string("Error reading file, skipping: ") + kUnreadable + "\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        if (c.args == kUnreadable && !canFailReads()) continue;
        ToolRun r = run(c.args, "", "", WEBLOG2RSS_TEXT_BIN);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

// Two batches (RSS 0.91 and RSS 2.0) write one OUTDIR at once, a few times,
// while a reader keeps reading every OUTDIR/n: each read is the whole feed
// of one of the two runs, never a mix, a part or padding.
TEST_F(Tool, ConcurrentBatchesAndAReader) {
    if (!haveCorpus()) GTEST_SKIP() << "no corpus at " WEBLOG2RSS_CORPUS_DIR;
    const std::string corpus = WEBLOG2RSS_CORPUS_DIR, list = "'" + corpus + "/urls.txt' '" + corpus + "/pages' ";
    ::mkdir(at("rss091").c_str(), 0755);
    ::mkdir(at("rss2").c_str(), 0755);
    // The sequential runs: their feeds and messages, as they read for OUTDIR "out".
    const std::string messages[] = {replaceAll(run(list + "rss091").out, " rss091/", " out/"),
                                    replaceAll(run("--format rss2 " + list + "rss2").out, " rss2/", " out/")};
    std::map<std::string, std::set<std::string>> feeds;  // name -> the two runs' feeds
    std::istringstream names(run("-A rss091", "", "", "ls").out);
    for (std::string name; names >> name;) feeds[name] = {readFile(at("rss091/" + name)), readFile(at("rss2/" + name))};
    ASSERT_GT(feeds.size(), 10u);

    std::atomic<bool> stop{false};
    std::atomic<long> reads{0}, bad{0};
    std::thread reader([&] {
        while (!stop)
            for (const auto& [name, whole] : feeds) {
                std::ifstream in(at("out/" + name), std::ios::binary);
                if (!in) continue;  // not written yet
                std::ostringstream s;
                s << in.rdbuf();
                reads++;
                if (!whole.count(s.str())) bad++;
            }
    });
    for (int round = 0; round < 4; round++) {
        ToolRun r = run(list + "out >a.out 2>&1 & '" WEBLOG2RSS_BIN "' --format rss2 " + list + "out >b.out 2>&1; wait");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(readFile(at("a.out")), messages[0]);
        EXPECT_EQ(readFile(at("b.out")), messages[1]);
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " reads";
    std::printf("%ld reads of %zu feeds during the runs\n", reads.load(), feeds.size());
    for (const auto& [name, whole] : feeds) EXPECT_EQ(whole.count(readFile(at("out/" + name))), 1u) << name;
    // Nothing but the feeds: no temporary file left behind.
    const std::string listing = run("-A out", "", "", "ls").out;
    EXPECT_EQ(static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\n')), feeds.size()) << listing;
}

}  // namespace
