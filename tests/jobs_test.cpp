// Batches in worker processes and in shards: the same files and the same
// standard output as one sequential run with the same options, and a worker
// that dies costs only its page.
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tool_run.h"

namespace {

using namespace w2r::test;

const char kCrashMarker[] = "<!-- crash the converter -->";

// Lines of text, sorted: the messages of shards run in any order.
std::multiset<std::string> lineSet(const std::string& text) {
    std::multiset<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
}

class Jobs : public Tool {
protected:
    std::string list;  // "LIST INDIR " of the batch

    // The batch: the examples several times over, with missing pages and
    // pages without entries between them, plus the corpus when it is there.
    void SetUp() override {
        Tool::SetUp();
        const char* names[] = {"weblog", "daily", "about", "notebook"};
        std::string urls;
        for (int i = 0; i < 24; i++) {
            urls += "http://h.example/" + std::to_string(i) + "/\n";
            if (i % 7 != 5) put("in/" + std::to_string(i), readFile(kEx + names[i % 4] + ".html"));
        }
        put("urls.txt", urls);
        list = "urls.txt in ";
        if (haveCorpus()) list = "'" WEBLOG2RSS_CORPUS_DIR "/urls.txt' '" WEBLOG2RSS_CORPUS_DIR "/pages' ";
    }

    // Runs the batch with options into the fresh folder out-NAME; its
    // standard output with the folder named "out".
    ToolRun batch(const std::string& options, const std::string& name, const std::string& tool = WEBLOG2RSS_BIN) {
        ::mkdir(at("out-" + name).c_str(), 0755);
        ToolRun r = run(options + " " + list + "out-" + name, "", "", tool);
        r.out = replaceAll(r.out, " out-" + name + "/", " out/");
        return r;
    }
    bool sameFiles(const std::string& a, const std::string& b) {
        return std::system(("diff -r '" + at("out-" + a) + "' '" + at("out-" + b) + "' >/dev/null").c_str()) == 0;
    }
};

// Workers, shards, formats and year windows together: the files of one
// sequential run with the same options; workers keep its standard output.
TEST_F(Jobs, WorkersAndShardsGiveTheSequentialRun) {
    const std::string options[] = {"", "--format atom --years 1995-2030", "--years 2000-2004 --format json"};
    for (std::size_t k = 0; k < std::size(options); k++) {
        const std::string& o = options[k];
        SCOPED_TRACE(o);
        const std::string seq = "seq" + std::to_string(k);
        ToolRun sequential = batch(o, seq);
        ASSERT_EQ(sequential.status, 0);
        ASSERT_NE(sequential.out.find("finish converting"), std::string::npos);
        expectRun(batch("--jobs 2 " + o, "jobs" + std::to_string(k)), sequential.out);
        EXPECT_TRUE(sameFiles(seq, "jobs" + std::to_string(k)));
        // Three shards, with workers, into one folder: the same files, each
        // page's lines once.
        std::multiset<std::string> lines;
        for (int shard = 0; shard < 3; shard++) {
            ToolRun r = batch(o + " --jobs 3 --shard " + std::to_string(shard) + "/3", "shards" + std::to_string(k));
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            for (const std::string& line : lineSet(r.out))
                if (line != "Read the URL list") lines.insert(line);
        }
        lines.insert("Read the URL list");
        EXPECT_EQ(lines, lineSet(sequential.out));
        EXPECT_TRUE(sameFiles(seq, "shards" + std::to_string(k)));
    }
}

// A page that kills the process converting it: with workers, the page is
// lost and reported, every other page is converted, the run ends with 0.
TEST_F(Jobs, DeadWorkerCostsItsPageOnly) {
    put("in/4", readFile(kEx + "weblog.html") + kCrashMarker);
    list = "urls.txt in ";
    ToolRun sequential = batch("", "seq");
    ToolRun r = batch("--jobs 2", "jobs", WEBLOG2RSS_CRASH_BIN);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "worker died on page 4\n");
    // Page 4's lines are missing, the rest are those of the sequential run.
    const std::string page4 = "Read: in/4\nContains recognizable weblog entries\nfinish converting to RSS: out/4\n";
    ASSERT_NE(sequential.out.find(page4), std::string::npos);
    EXPECT_EQ(r.out, replaceAll(sequential.out, page4, ""));
    EXPECT_FALSE(exists(at("out-jobs/4")));
    ASSERT_EQ(::unlink(at("out-seq/4").c_str()), 0);
    EXPECT_TRUE(sameFiles("seq", "jobs"));  // and no temporary file left behind
    // Without workers the fault takes the run down, as any fault would.
    EXPECT_NE(batch("", "alone", WEBLOG2RSS_CRASH_BIN).status, 0);
}

TEST_F(Jobs, BadValuesAndModesAreUsageErrors) {
    const std::string batchArgs = " " + list + "out";
    for (const std::string& args :
         {"--jobs 0" + batchArgs, "--jobs -1" + batchArgs, "--jobs 1025" + batchArgs, "--shard 3/3" + batchArgs, "--shard x/2" + batchArgs,
          "--shard 1/0" + batchArgs, std::string("--jobs 2 page"), std::string("--shard 0/2"), std::string("--jobs=2 --shard=1/2 page")}) {
        SCOPED_TRACE(args);
        ToolRun r = run(args, readFile(kEx + "weblog.html"));
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("weblog2rss: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

}  // namespace
