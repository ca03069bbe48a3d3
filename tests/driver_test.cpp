// Runs the built tool in a scratch folder and checks modes, messages, their
// streams, paths and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/kemVURODerodu.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class Driver : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override {
        char tmpl[] = "/tmp/weblog2rss-driver-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    void mkdir(const std::string& name) const { ::mkdir(at(name).c_str(), 0755); }

    // Runs the tool inside dir with the given shell-quoted arguments.
    ToolRun run(const std::string& args, const std::string& input = "") const {
        writeFile(at(".stdin"), input);
        std::string cmd = "cd '" + dir + "' && '" WEBLOG2RSS_BIN "' " + args +
                          " <.stdin >.stdout 2>.stderr";
        int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readFile(at(".stdout")),
                readFile(at(".stderr"))};
    }
};

const char kNoEntries[] = "<html><body><p>Nothing dated here.</p></body></html>";

TEST(PagePath, JoinsDirectoryAndNumberWithOneSlash) {
    EXPECT_EQ(pagePath("in", "10"), "in/10");
    EXPECT_EQ(pagePath("in/", "10"), "in/10");
    EXPECT_EQ(pagePath("/", "0"), "/0");
    EXPECT_EQ(pagePath("", "3"), "3");
}

TEST_F(Driver, MissingUrlListIsReportedOnStandardError) {
    ToolRun r = run("nolist in out");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "can't open url list file" "nolist\n");
}

TEST_F(Driver, EmptyOrBlankUrlListProcessesNoPage) {
    for (const char* list : {"", "  \n\t\n"}) {
        writeFile(at("list"), list);
        ToolRun r = run("list in out");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "Read the URL list\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(Driver, UrlListWordsAreCountedWithOrWithoutFinalNewline) {
    mkdir("in");
    mkdir("out");
    writeFile(at("in/0"), kNoEntries);
    writeFile(at("in/1"), kNoEntries);
    const std::string expected =
        "Read the URL list\nRead: in/0\nRead: in/1\n";
    for (const char* list : {"http://a/\nhttp://b/\n", "http://a/ http://b/",
                             "\n\n  http://a/\t\thttp://b/"}) {
        writeFile(at("list"), list);
        ToolRun r = run("list in out");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, expected) << "list: " << list;
    }
}

TEST_F(Driver, MissingPagesAreSkippedAndTheBatchGoesOn) {
    mkdir("in");
    writeFile(at("in/1"), kNoEntries);
    writeFile(at("list"), "u0 u1 u2\n");
    ToolRun r = run("list in/ out");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Read the URL list\n"
              "File not exist, skipping: in/0\n"
              "Read: in/1\n"
              "File not exist, skipping: in/2\n");
}

TEST_F(Driver, PageNumbersAreNotPadded) {
    mkdir("in");
    std::string list;
    for (int i = 0; i <= 10; i++) list += "http://x/" + std::to_string(i) + "\n";
    writeFile(at("list"), list);
    writeFile(at("in/10"), kNoEntries);
    ToolRun r = run("list in out");
    EXPECT_NE(r.out.find("File not exist, skipping: in/9\nRead: in/10\n"),
              std::string::npos)
        << r.out;
}

TEST_F(Driver, MissingInputDirectoryOnlySkipsPages) {
    writeFile(at("list"), "a b\n");
    ToolRun r = run("list nowhere out");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Read the URL list\n"
              "File not exist, skipping: nowhere/0\n"
              "File not exist, skipping: nowhere/1\n");
}

TEST_F(Driver, EmptyInputDirectoryMeansTheCurrentFolder) {
    writeFile(at("0"), kNoEntries);
    writeFile(at("list"), "a\n");
    ToolRun r = run("list '' out");
    EXPECT_EQ(r.out, "Read the URL list\nRead: 0\n");
}

TEST_F(Driver, SingleFileThatCannotBeOpened) {
    ToolRun r = run("missing.html");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "File not exist, skipping: missing.html\n");
}

TEST_F(Driver, PagesWithoutEntriesPrintNothingInSinglePageModes) {
    writeFile(at("page.html"), kNoEntries);
    ToolRun file = run("page.html");
    EXPECT_EQ(file.status, 0);
    EXPECT_EQ(file.out, "");
    EXPECT_EQ(file.err, "");
    ToolRun in = run("", kNoEntries);
    EXPECT_EQ(in.status, 0);
    EXPECT_EQ(in.out, "");
    EXPECT_EQ(in.err, "");
}

TEST_F(Driver, HelpAndVersion) {
    for (const char* flag : {"-h", "--help"}) {
        ToolRun r = run(flag);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: weblog2rss", 0), 0u) << r.out;
    }
    ToolRun v = run("--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("weblog2rss ", 0), 0u);
}

// Pages of any bytes end with status 0 and no message beyond the batch's own.
TEST_F(Driver, HostileAndOversizedPagesFinishCleanly) {
    mkdir("in");
    mkdir("out");
    std::string nul("<p>before", 9);
    nul += '\0';
    nul += "<b>after</p>";
    std::string binary;
    for (int i = 0; i < 4096; i++) binary += static_cast<char>((i * 7919) & 0xFF);
    std::string big;
    while (big.size() < 3200000) big += "<div><a href='x>1 <!-- -- &#99999999999; ";
    const std::string pages[] = {"", nul, binary, big, std::string(100000, '<'),
                                 "</div></p></html>"};
    std::string list;
    for (std::size_t i = 0; i < std::size(pages); i++) {
        writeFile(at("in/" + std::to_string(i)), pages[i]);
        list += "http://h/" + std::to_string(i) + "\n";
    }
    writeFile(at("list"), list);
    ToolRun r = run("list in out");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string expected = "Read the URL list\n";
    for (std::size_t i = 0; i < std::size(pages); i++) {
        // Close tags with no open element are reported by the tree builder.
        if (i == 5)
            expected += "Read: in/5\nserious stack error\nserious stack error\n"
                        "serious stack error\n";
        else
            expected += "Read: in/" + std::to_string(i) + "\n";
    }
    EXPECT_EQ(r.out, expected);
}

}  // namespace
