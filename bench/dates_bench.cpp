// Times the date and time searches: the texts the entry locator searches on
// the corpus pages (every examined node's own, gap and tail texts, with the
// locator's loop: dates until the first valid one, then times), by plain
// Boost, by the accelerated search and by the accelerated search over a
// prepared page; then single searches over 3 MiB hostile texts.
//   dates_bench [CORPUS_DIR] [--plain-hostile]
// --plain-hostile also times plain Boost on the hostile texts (slow: up to
// tens of seconds per search). Figures are medians of 5 runs; ratios are to
// the plain Boost run of the same command.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <exception>

#include "base/diagnostics.h"
#include "dates/dates.h"
#include "dom/tree.h"
#include "entries/page.h"

namespace {

using namespace w2r;

typedef std::chrono::steady_clock Clock;

double seconds(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct Slice {
    const char* a;
    const char* b;
};

enum Mode { PLAIN, ACCEL, PREPARED };

// Plain Boost over [a, b), a throw counting as no match.
bool plainSearch(const GuardedRegex& re, const char* a, const char* b, DateMatch& m) {
    try {
        return boost::regex_search(a, b, m, re.regex(), kSearchFlags);
    } catch (const std::exception&) {
        return false;
    }
}

// One search by the given mode.
bool searchBy(Mode mode, const DatePatterns& patterns, DateIndex& index, int id, const char* a,
              const char* b, DateMatch& m) {
    return mode == PLAIN ? plainSearch(patterns[id], a, b, m) : index.search(patterns, id, a, b, m);
}

// The locator's loop over one text; returns a digest of what it found so
// the modes can be checked against each other.
long findings(Mode mode, const DatePatterns& patterns, DateIndex& index, const Slice& s) {
    long digest = 0;
    DateMatch m;
    for (int id = 0; id < kPatternCount; ++id) {
        if (!searchBy(mode, patterns, index, id, s.a, s.b, m)) continue;
        digest = digest * 31 + id + (m[0].first - s.a) * 17;
        if (id < kFirstTimePattern) {
            if (isValidDate(getYear(m, id), getMonth(m, id), getDay(m, id)))
                id = kFirstTimePattern - 1;  // dates done, go on with the times
        } else if (isValidTime(getHour(m, id), getMin(m, id))) {
            break;
        }
    }
    return digest;
}

// Own, gap and tail texts of every node with four or more children.
void collectSlices(Tree& tree, std::vector<Slice>& out) {
    const char* storeEnd = tree.storeEnd();
    std::vector<Node*> queue{&tree.root()};
    for (size_t head = 0; head < queue.size(); ++head) {
        Node* n = queue[head];
        for (int i = 0; i < n->childCount; ++i) queue.push_back(n->children[i]);
        if (n->childCount <= 3) continue;
        for (int i = 0; i < n->childCount; ++i) {
            Node* c = n->children[i];
            const char* end = c->end ? c->end : c->start;
            out.push_back({c->start, end});
            const char* g = i == 0 ? n->start : n->children[i - 1]->end;
            if (g && g <= c->start) out.push_back({g, c->start});
        }
        Node* last = n->children[n->childCount - 1];
        const char* t = last->end ? last->end : last->start;
        const char* e = n->end && n->end >= t ? n->end : storeEnd;
        out.push_back({t, e});
    }
}

bool loadPage(Page& page, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    page.reset();
    page.read(f);
    std::fclose(f);
    CollectedDiagnostics ignored;
    page.buildTree(ignored);
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void corpusBench(const DatePatterns& patterns, const std::string& dir) {
    Page page;
    DateIndex& index = page.dateIndex();
    const int runs = 5;
    double total[3] = {0, 0, 0};
    size_t texts = 0, bytes = 0, mismatches = 0;
    int pages = 0;
    for (int number = 0;; ++number) {
        if (!loadPage(page, dir + "/pages/" + std::to_string(number))) break;
        ++pages;
        std::vector<Slice> slices;
        collectSlices(page.tree(), slices);
        texts += slices.size();
        for (const Slice& s : slices) bytes += s.b - s.a;
        std::vector<long> expect;
        for (int mode = PLAIN; mode <= PREPARED; ++mode) {
            std::vector<double> times;
            for (int r = 0; r < runs; ++r) {
                std::vector<long> got;
                auto t0 = Clock::now();
                if (mode == PREPARED)
                    index.prepare(page.tree().storeBegin(), page.tree().storeEnd());
                else
                    index.drop();
                for (const Slice& s : slices)
                    got.push_back(findings(static_cast<Mode>(mode), patterns, index, s));
                times.push_back(seconds(t0));
                if (mode == PLAIN && r == 0) expect = got;
                if (got != expect) ++mismatches;
            }
            total[mode] += median(times);
        }
    }
    std::printf("corpus: %d pages, %zu texts, %.1f MB searched per engine\n", pages, texts,
                bytes / 1e6);
    std::printf("  plain Boost       %8.3f s  (1.00)\n", total[PLAIN]);
    std::printf("  accelerated       %8.3f s  (%.2f, speed-up %.1fx)\n", total[ACCEL],
                total[ACCEL] / total[PLAIN], total[PLAIN] / total[ACCEL]);
    std::printf("  accel + prepared  %8.3f s  (%.2f, speed-up %.1fx)\n", total[PREPARED],
                total[PREPARED] / total[PLAIN], total[PLAIN] / total[PREPARED]);
    std::printf("  result mismatches between engines: %zu\n", mismatches);
}

void hostileBench(const DatePatterns& patterns, bool plainToo) {
    DateIndex index;
    DateMatch m;
    const size_t size = 3u << 20;
    struct {
        const char* name;
        std::string unit;
    } kinds[] = {{"\">1\" pairs", ">1"},
                 {"digits", "7"},
                 {"\">\"", ">"},
                 {"spaces", " "},
                 {"\"@1:\"", "@1:"}};
    std::printf("hostile texts, 3 MiB each, all 15 patterns:\n");
    for (const auto& k : kinds) {
        std::string text;
        while (text.size() < size) text += k.unit;
        text.resize(size);
        const char* a = text.data();
        const char* b = a + text.size();
        for (int mode = PLAIN; mode <= ACCEL; ++mode) {
            if (mode == PLAIN && !plainToo) continue;
            double worst = 0, sum = 0;
            int worstId = 0, hits = 0;
            for (int id = 0; id < kPatternCount; ++id) {
                auto t0 = Clock::now();
                hits += searchBy(static_cast<Mode>(mode), patterns, index, id, a, b, m);
                double t = seconds(t0);
                sum += t;
                if (t > worst) worst = t, worstId = id;
            }
            std::printf("  %-12s %-11s total %8.3f s, worst %8.3f s (id %d), %d hits\n", k.name,
                        mode == PLAIN ? "plain" : "accelerated", sum, worst, worstId, hits);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = WEBLOG2RSS_CORPUS_DIR;
    bool plainHostile = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--plain-hostile") == 0)
            plainHostile = true;
        else
            dir = argv[i];
    }
    const DatePatterns patterns;
    corpusBench(patterns, dir);
    hostileBench(patterns, plainHostile);
    return 0;
}
