// Runs the built tools in a scratch folder: the fixture shared by the tests
// of the command line.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace w2r::test {

const std::string kSrc = WEBLOG2RSS_SOURCE_DIR, kEx = kSrc + "/examples/", kGolden = kSrc + "/tests/golden/";
const char kNoEntries[] = "<html><body><p>Nothing dated here.</p></body></html>";

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

inline std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size())) text.replace(p, from.size(), to);
    return text;
}

// A golden feed (written for the address "examples/NAME.html") as it reads
// for another page address: the channel link and the default item links.
inline std::string goldenFor(const std::string& name, const std::string& address) {
    return replaceAll(readFile(kGolden + name + ".rss"), "<link>examples/" + name + ".html</link>", "<link>" + address + "</link>");
}

inline bool haveCorpus() { return std::ifstream(std::string(WEBLOG2RSS_CORPUS_DIR) + "/urls.txt").good(); }

struct ToolRun {
    int status;
    std::string out, err;
};

// Expects a run that ended with status 0 and exactly the given output texts.
inline void expectRun(const ToolRun& r, const std::string& out, const std::string& err = "") {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, err);
}

// A scratch folder holding the empty folders "in" and "out".
class Tool : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override {
        char tmpl[] = "/tmp/weblog2rss-tool-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ::mkdir(at("in").c_str(), 0755);
        ::mkdir(at("out").c_str(), 0755);
    }
    void TearDown() override { ASSERT_EQ(std::system(("chmod -R u+rwx '" + dir + "'; rm -rf '" + dir + "'").c_str()), 0); }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    void put(const std::string& name, const std::string& text) const { std::ofstream(at(name), std::ios::binary) << text; }

    // Runs "weblog2rss args" (or another tool) with umask 0 in cwd (default:
    // the scratch folder) and input on standard input, after the shell
    // commands in before; args may redirect the streams themselves, and go
    // on with more commands ("&", ";").
    ToolRun run(const std::string& args, const std::string& input = "", const std::string& cwd = "",
                const std::string& tool = WEBLOG2RSS_BIN, const std::string& before = "") const {
        put(".stdin", input);
        std::string cmd = "cd '" + (cwd.empty() ? dir : cwd) + "' && umask 0 && { " + before + " '" + tool + "' <'" + at(".stdin") +
                          "' >'" + at(".stdout") + "' 2>'" + at(".stderr") + "' " + args + "; }";
        int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readFile(at(".stdout")), readFile(at(".stderr"))};
    }
};

}  // namespace w2r::test
