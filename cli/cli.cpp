#include "cli/cli.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/alloc.h"
#include "base/diagnostics.h"
#include "base/limits.h"
#include "cli/options.h"
#include "feed/format_writer.h"
#include "io/atomic_file.h"
#include "io/file_read.h"
#include "io/messages.h"
#include "weblog2rss/convert.h"
#include "workers/workers.h"

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

// Standard error, single-page mode: standard input could not be read.
const char kStdinReadError[] = "Error reading standard input";
// The longest URL list read: 256 MiB, some four million addresses.
constexpr std::size_t kListLimit = std::size_t{256} << 20;

// Where the lines about a batch page go: straight to standard output, each
// flushed at once, or appended to a buffer that is printed later.
class PageLines final : public Diagnostics {
public:
    explicit PageLines(std::string* buffer = nullptr) : buffer_(buffer) {}
    void report(std::string_view text) override {
        if (buffer_) {
            buffer_->append(text);
            buffer_->push_back('\n');
            return;
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    std::string* buffer_;
};

// Takes a feed and writes nothing: a batch without an output folder.
class DiscardWriter final : public FeedWriter {
public:
    void write(const Feed&) override {}
};

// The feed file OUTDIR/n of one page. The feed streams into a temporary
// file beside it as it is serialised, and commit() renames that over
// OUTDIR/n: readers and concurrent runs see the old feed or the new one,
// whole, a failed write leaves the old one in place, and a symbolic link at
// OUTDIR/n is replaced rather than followed.
class FeedFile final : public FeedWriter {
public:
    FeedFile(FeedFormat format, std::string path) : format_(format), path_(std::move(path)) {}
    void write(const Feed& feed) override {
        file_ = std::make_unique<AtomicFileWriter>(path_);
        if (file_->isOpen()) makeFeedWriter(format_, file_->stream())->write(feed);
    }
    // Replaces OUTDIR/n by the feed written; returns the line saying how
    // that went.
    std::string commit() {
        if (!file_ || !file_->isOpen()) return feedOpenFailure(path_);
        if (!file_->commit()) return feedWriteFailure(path_);
        return "finish converting to RSS: " + path_;
    }

private:
    FeedFormat format_;
    std::string path_;
    std::unique_ptr<AtomicFileWriter> file_;
};

// A batch: the URL list, the folders, and the converter every page shares.
class Batch {
public:
    Batch(const CliOptions& options, const Converter& converter, std::vector<std::string> urls,
          std::string inDir, const std::string* outDir)
        : options_(options),
          converter_(converter),
          urls_(std::move(urls)),
          inDir_(std::move(inDir)),
          outDir_(outDir) {}

    int count() const { return static_cast<int>(urls_.size()); }

    // Converts page i: reads INDIR/i, writes OUTDIR/i when the page has
    // entries, and reports each step to lines.
    void convert(int i, Diagnostics& lines) {
        const std::string number = std::to_string(i);
        const std::string inPath = pagePath(inDir_, number);
        ReadResult read = readPageFile(inPath, kPageReadLimit, bytes_, Accept::kRegularOnly);
        if (!read.ok()) {
            lines.report(pageReadFailure(read.status, inPath));
            return;
        }
        lines.report("Read: " + inPath);
#ifdef WEBLOG2RSS_CRASH_MARKER
        // Test builds only: a page holding the marker kills the process
        // converting it, as a fault in the conversion would.
        if (bytes_.find(WEBLOG2RSS_CRASH_MARKER) != std::string::npos) ::kill(::getpid(), SIGKILL);
#endif
        page_.reset();
        page_.load(bytes_);

        FeedFile file(options_.format, outDir_ ? pagePath(*outDir_, number) : std::string());
        DiscardWriter discard;
        FeedWriter& writer = outDir_ ? static_cast<FeedWriter&>(file) : discard;
        ConvertResult r = convertLoadedPage(converter_, page_, urls_[i], writer, lines);
        if (!r.treeClosed || !r.hasEntries()) return;
        lines.report("Contains recognizable weblog entries");
        lines.report(outDir_ ? file.commit()
                             : "No output directory given, feed not written: " + number);
    }

private:
    const CliOptions& options_;
    const Converter& converter_;
    const std::vector<std::string> urls_;
    const std::string inDir_;
    const std::string* outDir_;
    Page page_;
    std::string bytes_;  // the page file, reused from page to page
};

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

// The addresses of the list: words separated by any white space.
std::vector<std::string> listWords(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(std::move(word));
    return words;
}

int runBatch(const CliOptions& options, const std::string& listPath, const std::string& inDir,
             const std::string* outDir) {
    // The list is a file the user named: a regular file or a stream such as
    // a process substitution, never a folder.
    std::string listText;
    ReadResult read = readPageFile(listPath, kListLimit, listText, Accept::kRegularOrStream);
    if (!read.ok() || read.truncated) {
        std::fprintf(stderr, "%s\n", listReadFailure(listPath).c_str());
        return 0;
    }
    std::vector<std::string> urls = listWords(listText);
    listText = std::string();
    PageLines lines;
    lines.report("Read the URL list");

    // Built before any worker starts: every worker shares its compiled
    // patterns (and the batch's list) with the caller.
    const Converter converter(options.conversion);
    Batch batch(options, converter, std::move(urls), inDir, outDir);
    if (options.jobs <= 1) {
        // Each line as soon as it is known, as the batch always did.
        for (int i = 0; i < batch.count(); i++)
            if (options.shard.contains(i)) batch.convert(i, lines);
        return 0;
    }
    // Each page's lines come back from its worker, printed in page order; a
    // worker that dies costs its page only ("worker died on page N").
    runPages(
        batch.count(), options.shard, options.jobs,
        [&batch](int i, std::string& out) {
            PageLines pageLines(&out);
            batch.convert(i, pageLines);
        },
        stdout, stderr);
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
    if (args.size() >= 3 && sameDirectory(args[1], args[2])) {
        // The feeds would replace the pages.
        std::fprintf(stderr, "weblog2rss: %s\n", sameFolderFailure(args[1]).c_str());
        return kUsageStatus;
    }
    if (args.size() >= 2)
        return runBatch(options, args[0], args[1], args.size() >= 3 ? &args[2] : nullptr);

    const Converter converter(options.conversion);
    Page page;
    if (args.empty()) {
        page.read(stdin);
        if (std::ferror(stdin)) {
            std::fprintf(stderr, "%s\n", kStdinReadError);
            return 0;
        }
        return runSinglePage(options, converter, page, "");
    }
    // A file the user named: a regular file or a stream (/dev/stdin, a
    // process substitution), never a folder.
    std::string bytes;
    ReadResult read = readPageFile(args[0], kPageReadLimit, bytes, Accept::kRegularOrStream);
    if (!read.ok()) {
        std::fprintf(stderr, "%s\n", pageReadFailure(read.status, args[0]).c_str());
        return 0;
    }
    page.load(bytes);
    return runSinglePage(options, converter, page, args[0]);
}

}  // namespace w2r
