// Shared test fixtures: the shared corpus of real pages, and pages built up
// to the stage a test looks at.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

// Fixtures of a stage are there when the test links its library.
#if __has_include("entries/page.h")
#include "base/diagnostics.h"
#include "entries/page.h"
#define W2R_TEST_PAGES 1
#endif

namespace w2r::test {

inline bool haveCorpus() { return std::ifstream(std::string(WEBLOG2RSS_CORPUS_DIR) + "/urls.txt").good(); }

// The bytes of corpus page n, or "" when there is no such page.
inline std::string corpusPage(int n) {
    std::ifstream in(std::string(WEBLOG2RSS_CORPUS_DIR) + "/pages/" + std::to_string(n), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef W2R_TEST_PAGES
// The compiled date patterns, built once for a whole test binary.
inline const DatePatterns& datePatterns() {
    static const DatePatterns patterns;
    return patterns;
}

// A page taken through the tree builder, its messages kept.
struct BuiltPage {
    Page page;
    CollectedDiagnostics messages;
    bool closed = false;

    // Clears the page, loads html and builds its tree.
    void build(const std::string& html) {
        messages.lines.clear();
        page.reset();
        page.load(html);
        closed = page.buildTree(messages);
    }
    // The messages as the command line prints them, one per line.
    std::string printed() const {
        std::string s;
        for (const std::string& line : messages.lines) s += line + "\n";
        return s;
    }
};
#endif

}  // namespace w2r::test

#define SKIP_WITHOUT_CORPUS() \
    if (!::w2r::test::haveCorpus()) GTEST_SKIP() << "no corpus at " WEBLOG2RSS_CORPUS_DIR
