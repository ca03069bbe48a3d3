// The per-page index searches only windows around short features: slice
// searches over a prepared store equal plain Boost, longest matches included.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "dates/dates.h"
#include "tests/corpus.h"

namespace {

void expectSlicesMatchPlain(const std::string& store, std::mt19937& rng, int queries) {
    const char* s = store.data();
    prepareDateSearch(s, s + store.size());
    for (int q = 0; q < queries; ++q) {
        size_t x = q ? rng() % (store.size() + 1) : 0, y = q ? rng() % (store.size() + 1) : store.size();
        const char *a = s + std::min(x, y), *b = s + std::max(x, y);
        for (int id = 0; id < time_re; ++id) {
            bool plain = searchDatePatternPlain(id, a, b);
            DateMatch expect = match_result;
            ASSERT_EQ(searchDatePattern(id, a, b), plain) << "id " << id << " at " << a - s << ".." << b - s;
            for (size_t g = 0; plain && g < expect.size(); ++g)
                ASSERT_TRUE(match_result[g].matched == expect[g].matched && match_result[g].first == expect[g].first &&
                            match_result[g].second == expect[g].second) << "id " << id << " group " << g;
        }
    }
    prepareDateSearch(nullptr, nullptr);
}

TEST(DatePrefilter, LongestFormsAtWindowEdgesRandomAndCorpus) {
    initializeDateRE();
    std::mt19937 rng(77);
    const char* pieces[] = {"Wednesday,, September,,,12,,2004", "Wednesday,,,12,,,September,,,2004", "31,,,September,,,2004",
                            "31st  ---   ,,, September ,,2004", "31September2004", "September,,,12th,,,2004", "12:59:59 pm",
                            ">x 2004/12/31", ">12|31|2004", "@ 12:59 pm", "Sat , 31-12-2004", "Thursday-.-", "sept", "DEC",
                            "22ND", "sun", "xmar", "2004", "12", "1", "-", "/", ".", ":", "@", " ", "\n\t", "<", ">", "x", "_"};
    for (int round = 0; round < 60; ++round) {
        std::string store;
        for (int i = 0, n = 5 + rng() % 120; i < n; ++i) store += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        expectSlicesMatchPlain(store, rng, 40);
    }
    for (int page : {0, 3, 7, 11}) {  // nothing to do without the corpus
        const std::string all = corpusPage(page);
        for (size_t at = 0; at < all.size(); at += 30000) expectSlicesMatchPlain(all.substr(at, 12000), rng, 25);
    }
    releaseDateRE();
}

}  // namespace
