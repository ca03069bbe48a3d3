// The accelerated searches against plain Boost. The input is a text store
// (NULs included) with the date index prepared over it; on the whole store
// and on three slices chosen by the input's first bytes, for each of the
// fifteen date and time patterns and the five finder patterns, the guarded
// search, the guarded search from a point before the match and (date and
// time patterns) the indexed search must agree with a plain Boost search of
// the same slice: hit or not, position, prefix, suffix and every
// sub-match. A slice on which plain Boost gives up (throws) is not compared.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "base/guarded_regex.h"
#include "check.h"
#include "dates/dates.h"
#include "feed/finders.h"

namespace {

using namespace w2r;
using fuzz::check;

struct Patterns {
    DatePatterns dates;
    Finders finders;
    std::vector<const GuardedRegex*> all;  // date and time ids first
    Patterns() {
        for (int id = 0; id < kPatternCount; ++id) all.push_back(&dates[id]);
        all.insert(all.end(), {&finders.pageTitlePattern(), &finders.entryTitlePattern(0),
                               &finders.entryTitlePattern(1), &finders.entryTitlePattern(2),
                               &finders.linkPattern()});
    }
};

bool sameSub(const boost::sub_match<const char*>& x, const boost::sub_match<const char*>& y) {
    return x.matched == y.matched && x.first == y.first && x.second == y.second;
}

void expectSame(const char* kind, bool hit, const Match& got, bool wantHit, const Match& want,
                const GuardedRegex& pattern, const char* a, const char* b) {
    bool same = hit == wantHit;
    if (same && hit) {
        same = got.size() == want.size() && got.position() == want.position() &&
               sameSub(got.prefix(), want.prefix()) && sameSub(got.suffix(), want.suffix());
        for (std::size_t i = 0; same && i < want.size(); ++i) same = sameSub(got[i], want[i]);
    }
    if (!same) {
        std::string detail = std::string(kind) + " search differs from plain Boost\npattern " +
                             pattern.text() + "\nslice " + std::string(a, b) + "\nplain " +
                             (wantHit ? want[0].str() : "(no match)") + "\ngot " +
                             (hit ? got[0].str() : "(no match)");
        fuzz::fail("accelerated search differs", detail);
    }
}

// Small deterministic generator for the slice bounds.
struct Lcg {
    std::uint64_t state;
    std::size_t below(std::size_t n) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return n == 0 ? 0 : static_cast<std::size_t>(state >> 33) % n;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Patterns patterns;
    static DateIndex index;  // one index for every input, as a page's is

    const std::string store(reinterpret_cast<const char*>(data), size);
    const char* s = store.data();
    Lcg lcg{0};
    for (std::size_t i = 0; i < size && i < 8; ++i) lcg.state = lcg.state * 131 + data[i];

    index.prepare(s, s + size);
    for (int q = 0; q < 4; ++q) {
        std::size_t x = 0, y = size;
        if (q > 0) {
            x = lcg.below(size + 1);
            y = q == 2 ? std::min(size, x + lcg.below(41)) : lcg.below(size + 1);
            if (x > y) std::swap(x, y);
        }
        const char* a = s + x;
        const char* b = s + y;
        for (std::size_t id = 0; id < patterns.all.size(); ++id) {
            const GuardedRegex& p = *patterns.all[id];
            Match plain;
            bool hit = false;
            try {
                hit = boost::regex_search(a, b, plain, p.regex(), kSearchFlags);
            } catch (const std::exception&) {
                continue;
            }
            Match got;
            expectSame("guarded", p.search(a, b, got), got, hit, plain, p, a, b);
            // No match starts before from: at the match's own start, or
            // half-way to it (half-way through the slice without a match).
            std::size_t before = hit ? static_cast<std::size_t>(plain.position()) : y - x;
            const char* from = a + (q % 2 == 0 ? before : before / 2);
            Match fromGot;
            expectSame("from", p.searchFrom(a, from, b, fromGot, q < 2), fromGot, hit, plain, p, a,
                       b);
            if (static_cast<int>(id) < kPatternCount) {
                Match indexed;
                expectSame("indexed",
                           index.search(patterns.dates, static_cast<int>(id), a, b, indexed),
                           indexed, hit, plain, p, a, b);
            }
        }
    }
    index.drop();
    return 0;
}
