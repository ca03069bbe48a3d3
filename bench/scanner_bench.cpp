// Times the scanner on 3 MiB of hostile text and on the corpus pages, each
// against a plain memchr pass over the same bytes in the same run.
//
// Method: every figure is the median of 7 runs. A scan is useString, next()
// to the end with no handlers, release(). The baseline
// copies the text (as useString does) and runs memchr for a byte that does
// not occur. Usage: scanner_bench [CORPUS_DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scanner/scanner.h"

namespace {

using Clock = std::chrono::steady_clock;
using w2r::Scanner;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <typename F>
double median(F f) {
    std::vector<double> runs;
    for (int i = 0; i < 7; ++i) {
        auto start = Clock::now();
        f();
        runs.push_back(seconds(Clock::now() - start));
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

volatile size_t sink;

size_t scanText(Scanner& scanner, std::string& text) {
    scanner.useString(&text[0]);
    size_t items = 0;
    while (scanner.next() != w2r::kItemEnd) ++items;
    scanner.release();
    return items;
}

void baseline(const std::string& text) {
    char* copy = static_cast<char*>(malloc(text.size() + 2));
    memcpy(copy, text.data(), text.size() + 1);
    sink = memchr(copy, 1, text.size()) != nullptr;
    free(copy);
}

void report(Scanner& scanner, const char* name, std::vector<std::string>& texts) {
    size_t bytes = 0, items = 0;
    for (const std::string& t : texts) bytes += t.size();
    double scan = median([&] {
        items = 0;
        for (std::string& t : texts) items += scanText(scanner, t);
    });
    double base = median([&] {
        for (const std::string& t : texts) baseline(t);
    });
    printf("%-22s %9zu bytes %8zu items  scan %8.3f ms  memchr %7.3f ms  ratio %7.1f  %6.1f MB/s\n",
           name, bytes, items, scan * 1e3, base * 1e3, scan / base, bytes / scan / 1e6);
}

std::string repeated(const std::string& unit, size_t size) {
    std::string text;
    while (text.size() + unit.size() <= size) text += unit;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Scanner scanner;  // no handlers

    const size_t size = 3u << 20;
    struct Hostile {
        const char* name;
        std::string text;
    } hostile[] = {
        {"<a<a<a...", repeated("<a", size)},
        {"<a ' repeated", repeated("<a '", size)},
        {"<!-- repeated", repeated("<!--", size)},
        {"&# and digits", "&#" + std::string(size - 2, '7')},
        {"< alone", std::string(size, '<')},
        {"<x \" repeated", repeated("<x \"", size)},
        {"plain words", repeated("lorem ipsum ", size)},
    };
    for (Hostile& h : hostile) {
        std::vector<std::string> one{h.text};
        report(scanner, h.name, one);
    }

    std::string dir = argc > 1 ? argv[1] : "";
#ifdef WEBLOG2RSS_CORPUS_DIR
    if (dir.empty()) dir = WEBLOG2RSS_CORPUS_DIR;
#endif
    std::vector<std::string> pages;
    for (int page = 0; !dir.empty(); ++page) {
        FILE* f = fopen((dir + "/pages/" + std::to_string(page)).c_str(), "rb");
        if (f == nullptr) break;
        std::string text;
        char chunk[65536];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, got);
        fclose(f);
        pages.push_back(text.substr(0, strlen(text.c_str())));
    }
    if (pages.empty()) {
        printf("corpus: no pages found (give the corpus directory as argument)\n");
        return 0;
    }
    std::string name = "corpus (" + std::to_string(pages.size()) + " pages)";
    report(scanner, name.c_str(), pages);
    return 0;
}
