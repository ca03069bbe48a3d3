#include "cli/cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/alloc.h"
#include "base/diagnostics.h"
#include "cli/options.h"
#include "feed/format_writer.h"
#include "weblog2rss/convert.h"

#ifndef WEBLOG2RSS_VERSION
#define WEBLOG2RSS_VERSION "0"
#endif

namespace w2r {
namespace {

const char kUsage[] =
    "usage: weblog2rss [OPTION...]                      read a page on standard input\n"
    "       weblog2rss [OPTION...] FILE                 read the page in FILE\n"
    "       weblog2rss [OPTION...] LIST INDIR OUTDIR    convert a batch of pages\n"
    "Writes a feed (RSS 0.91 unless --format says otherwise) of the dated\n"
    "entries of each weblog page.\n"
    "Single-page modes write the feed on standard output; the batch mode\n"
    "reads INDIR/0, INDIR/1, ... (one page per address in LIST) and writes\n"
    "OUTDIR/n for every page n that holds entries.\n";

// Writes one progress line on standard output and flushes it.
void line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Writes everything in text to fd; false on any failure.
bool writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Cuts a regular file open at fd to size bytes; false on failure.
bool cutToLength(int fd, std::size_t size) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode) || st.st_size == static_cast<off_t>(size)) return true;
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

// Takes a feed and writes nothing: a batch without an output folder.
class DiscardWriter final : public FeedWriter {
public:
    void write(const Feed&) override {}
};

// Writes a page's feed to OUTDIR/n and reports the outcome. A file already
// there is overwritten in place and then cut to the feed's length:
// truncating it to zero at open instead makes the file system flush it on
// close, which costs more than converting the page.
void writeFeedFile(const std::string& text, const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0664);
    if (fd < 0) {
        line("Error opening file " + path + "to write");
        return;
    }
    bool ok = writeAll(fd, text) && cutToLength(fd, text.size());
    if (::close(fd) != 0) ok = false;
    if (ok) {
        line("finish converting to RSS: " + path);
    } else {
        ::unlink(path.c_str());
        line("Error writing file " + path);
    }
}

// Single-page modes: the page is in page, the feed goes to standard output.
int runSinglePage(const CliOptions& options, const Converter& converter, Page& page,
                  const std::string& address) {
    StdoutDiagnostics diagnostics;
    std::unique_ptr<FeedWriter> writer = makeFeedWriter(options.format, std::cout);
    ConvertResult r = convertLoadedPage(converter, page, address, *writer, diagnostics);
    if (!r.treeClosed) {
        diagnostics.report("serious error, ending is not root");
        return 0;
    }
    if (r.hasEntries()) {
        std::cout.flush();
        if (!std::cout) std::cerr << "Error writing feed to standard output\n";
    }
    return 0;
}

int runBatch(const CliOptions& options, const std::string& listPath, const std::string& inDir,
             const std::string* outDir) {
    std::ifstream list(listPath);
    if (!list) {
        std::fprintf(stderr, "can't open url list file%s\n", listPath.c_str());
        return 0;
    }
    std::map<int, std::string> urls;
    std::string word;
    int count = 0;
    while (list >> word) urls[count++] = word;
    list.close();
    line("Read the URL list");

    const Converter converter(options.conversion);
    Page page;
    StdoutDiagnostics diagnostics;
    for (int i = 0; i < count; i++) {
        page.reset();
        std::string number = std::to_string(i);
        std::string inPath = pagePath(inDir, number);
        std::FILE* f = std::fopen(inPath.c_str(), "r");
        if (!f) {
            line("File not exist, skipping: " + inPath);
            continue;
        }
        page.read(f);
        std::fclose(f);
        line("Read: " + inPath);

        std::ostringstream feed;
        std::unique_ptr<FeedWriter> fileWriter = makeFeedWriter(options.format, feed);
        DiscardWriter discard;
        FeedWriter& writer = outDir ? *fileWriter : discard;
        ConvertResult r = convertLoadedPage(converter, page, urls[i], writer, diagnostics);
        if (r.treeClosed && r.hasEntries()) {
            line("Contains recognizable weblog entries");
            if (outDir)
                writeFeedFile(feed.str(), pagePath(*outDir, number));
            else
                line("No output directory given, feed not written: " + number);
        }
    }
    return 0;
}

void onNewFailure() { outOfMemory(); }

}  // namespace

std::string pagePath(const std::string& dir, const std::string& n) {
    if (dir.empty()) return n;
    return dir.back() == '/' ? dir + n : dir + "/" + n;
}

int runCli(int argc, char** argv) {
    std::set_new_handler(onNewFailure);
    CliOptions options;
    std::string error;
    if (!parseCommandLine(argc, argv, options, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kUsageStatus;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        std::fputs(optionHelp().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("weblog2rss %s\n", WEBLOG2RSS_VERSION);
        return 0;
    }
    const std::vector<std::string>& args = options.positional;
    if (args.size() >= 2)
        return runBatch(options, args[0], args[1], args.size() >= 3 ? &args[2] : nullptr);

    const Converter converter(options.conversion);
    Page page;
    if (args.empty()) {
        page.read(stdin);
        return runSinglePage(options, converter, page, "");
    }
    std::FILE* f = std::fopen(args[0].c_str(), "r");
    if (!f) {
        std::fprintf(stderr, "File not exist, skipping: %s\n", args[0].c_str());
        return 0;
    }
    page.read(f);
    std::fclose(f);
    return runSinglePage(options, converter, page, args[0]);
}

}  // namespace w2r
