// Pages of the shared weblog corpus, when it is present beside the project.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

inline bool haveCorpus() {
    return std::ifstream(std::string(WEBLOG2RSS_CORPUS_DIR) + "/urls.txt").good();
}

// The bytes of corpus page n, or "" when there is no such page.
inline std::string corpusPage(int n) {
    std::ifstream in(std::string(WEBLOG2RSS_CORPUS_DIR) + "/pages/" + std::to_string(n), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#define SKIP_WITHOUT_CORPUS() \
    if (!haveCorpus()) GTEST_SKIP() << "no corpus at " WEBLOG2RSS_CORPUS_DIR
