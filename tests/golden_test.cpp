// End to end: the built tool over the bundled sample pages in all three run
// modes, compared byte for byte with the hand-derived feeds in examples/.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string kExamples = WEBLOG2RSS_SOURCE_DIR "/examples/";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Replaces every occurrence of from in text by to.
std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::string::size_type p = 0; (p = text.find(from, p)) != std::string::npos;
         p += to.size())
        text.replace(p, from.size(), to);
    return text;
}

// A golden feed (written for the address "examples/NAME.html") as it reads
// for another page address: the channel link and the default item links.
std::string goldenFor(const std::string& name, const std::string& address) {
    return replaceAll(readFile(kExamples + name + ".rss"),
                      "<link>examples/" + name + ".html</link>", "<link>" + address + "</link>");
}

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class Golden : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override {
        char tmpl[] = "/tmp/weblog2rss-golden-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string at(const std::string& name) const { return dir + "/" + name; }

    // Runs "weblog2rss args" with umask 0 in cwd (the scratch folder when
    // empty); standard output and error are collected in the scratch folder.
    ToolRun run(const std::string& args, std::string cwd = "") const {
        if (cwd.empty()) cwd = dir;
        std::string cmd = "cd '" + cwd + "' && umask 0 && '" WEBLOG2RSS_BIN "' " + args +
                          " >'" + at(".stdout") + "' 2>'" + at(".stderr") + "'";
        int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readFile(at(".stdout")),
                readFile(at(".stderr"))};
    }
};

const char* const kFeedPages[] = {"weblog", "daily", "notebook"};

TEST_F(Golden, FileModeWritesTheGoldenFeed) {
    for (const char* name : kFeedPages) {
        ToolRun r = run("examples/" + std::string(name) + ".html", WEBLOG2RSS_SOURCE_DIR);
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.err, "") << name;
        EXPECT_EQ(r.out, readFile(kExamples + name + ".rss")) << name;
    }
}

TEST_F(Golden, StandardInputModeHasAnEmptyAddress) {
    for (const char* name : kFeedPages) {
        ToolRun r = run("< examples/" + std::string(name) + ".html", WEBLOG2RSS_SOURCE_DIR);
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.err, "") << name;
        EXPECT_EQ(r.out, goldenFor(name, "")) << name;
    }
}

TEST_F(Golden, PageWithoutEntriesGivesNoOutput) {
    for (const char* args : {"examples/about.html", "< examples/about.html"}) {
        ToolRun r = run(args, WEBLOG2RSS_SOURCE_DIR);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err, "") << args;
    }
}

TEST_F(Golden, BatchWritesOneFeedPerPageWithEntries) {
    ::mkdir(at("in").c_str(), 0755);
    ::mkdir(at("out").c_str(), 0755);
    writeFile(at("in/0"), readFile(kExamples + "weblog.html"));
    writeFile(at("in/1"), readFile(kExamples + "daily.html"));
    writeFile(at("in/2"), readFile(kExamples + "about.html"));
    // Page 3 is missing.
    writeFile(at("in/4"), readFile(kExamples + "notebook.html"));
    writeFile(at("urls.txt"),
              "http://harbour.example.net/\n"
              "http://tidewater.example.org/index.html\n"
              "http://harbour.example.net/about.html\n"
              "http://gone.example.com/\n"
              "http://notebook.example.com/field/\n");
    // An older, longer feed is replaced, not overwritten in place.
    writeFile(at("out/0"), std::string(20000, 'x'));

    ToolRun r = run("urls.txt in out");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Read the URL list\n"
              "Read: in/0\n"
              "Contains recognizable weblog entries\n"
              "finish converting to RSS: out/0\n"
              "Read: in/1\n"
              "Contains recognizable weblog entries\n"
              "finish converting to RSS: out/1\n"
              "Read: in/2\n"
              "File not exist, skipping: in/3\n"
              "Read: in/4\n"
              "Contains recognizable weblog entries\n"
              "finish converting to RSS: out/4\n");

    EXPECT_EQ(readFile(at("out/0")), goldenFor("weblog", "http://harbour.example.net/"));
    EXPECT_EQ(readFile(at("out/1")),
              goldenFor("daily", "http://tidewater.example.org/index.html"));
    // No page title: the channel title is cut from the address at byte 8.
    EXPECT_EQ(readFile(at("out/4")),
              replaceAll(goldenFor("notebook", "http://notebook.example.com/field/"),
                         "<title></title>", "<title>otebook.example.com</title>"));
    EXPECT_FALSE(exists(at("out/2")));
    EXPECT_FALSE(exists(at("out/3")));
    for (const char* n : {"1", "4"}) {
        struct stat st;
        ASSERT_EQ(::stat(at(std::string("out/") + n).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0664u) << n;
    }
}

bool haveDevFull() {
    struct stat st;
    return ::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode) &&
           ::access("/dev/full", W_OK) == 0;
}

TEST_F(Golden, FailedFeedWriteIsReportedAndLeavesNoFile) {
    if (!haveDevFull()) GTEST_SKIP() << "/dev/full is not available";
    ::mkdir(at("in").c_str(), 0755);
    ::mkdir(at("out").c_str(), 0755);
    writeFile(at("in/0"), readFile(kExamples + "weblog.html"));
    writeFile(at("in/1"), readFile(kExamples + "daily.html"));
    writeFile(at("urls.txt"), "http://harbour.example.net/ http://tidewater.example.org/");
    ASSERT_EQ(::symlink("/dev/full", at("out/0").c_str()), 0);

    ToolRun r = run("urls.txt in out");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Read the URL list\n"
              "Read: in/0\n"
              "Contains recognizable weblog entries\n"
              "Error writing file out/0\n"
              "Read: in/1\n"
              "Contains recognizable weblog entries\n"
              "finish converting to RSS: out/1\n");
    EXPECT_FALSE(exists(at("out/0")));
    EXPECT_EQ(readFile(at("out/1")), goldenFor("daily", "http://tidewater.example.org/"));
}

TEST_F(Golden, FailedWriteToStandardOutputIsReported) {
    if (!haveDevFull()) GTEST_SKIP() << "/dev/full is not available";
    std::string cmd = "cd '" WEBLOG2RSS_SOURCE_DIR "' && '" WEBLOG2RSS_BIN
                      "' examples/weblog.html >/dev/full 2>'" + at("err") + "'";
    int rc = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 0);
    EXPECT_EQ(readFile(at("err")), "Error writing feed to standard output\n");
}

}  // namespace
