#include "fetch_mode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/limits.h"
#include "cli/cli.h"
#include "cli/explain_mode.h"
#include "cli/options.h"
#include "feed/format_writer.h"
#include "fetch/fetch.h"
#include "fetch/progress.h"
#include "io/atomic_file.h"
#include "io/file_read.h"
#include "io/messages.h"
#include "weblog2rss/convert.h"

namespace w2r {
namespace {

// Longest server-given reason shown in a message; a status line can be long.
constexpr std::size_t kReasonShown = 300;
// Largest address list read.
constexpr std::size_t kListReadLimit = std::size_t{1} << 28;

bool startsWithIgnoreCase(const std::string& text, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; i++) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// text with control bytes shown as "?": addresses from a list and reasons
// sent by a server must not move the cursor or recolour the terminal.
std::string printable(const std::string& text, std::size_t limit = std::string::npos) {
    std::string out = text.substr(0, limit);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    if (text.size() > out.size()) out += "...";
    return out;
}

std::string fetchFailedLine(const std::string& url, const std::string& reason) {
    return "Fetch failed: " + printable(url) + ": " + printable(reason, kReasonShown);
}

// Lines on standard output during a batch. While a progress line is drawn
// on the same terminal it is erased before each line, so the two never share
// a row; update() draws it again below.
class BatchOutput {
public:
    void setProgress(ProgressLine* progress) {
        progress_ =
            progress && progress->shown() && ::isatty(STDOUT_FILENO) == 1 ? progress : nullptr;
    }
    void line(const std::string& text) {
        if (progress_) progress_->clear();
        std::fputs(text.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    ProgressLine* progress_ = nullptr;
};

// Creates folder dir unless something is there already; one line on
// standard error when that fails (every page then reports its own failure).
void makeFolder(const std::string& dir) {
    if (dir.empty() || ::mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) return;
    std::fprintf(stderr, "Cannot create folder %s: %s\n", dir.c_str(), std::strerror(errno));
}

// Whether the file at path holds exactly text.
bool holdsExactly(const std::string& path, const std::string& text) {
    std::string old;
    return readPageFile(path, text.size() + 1, old).ok() && old == text;
}

// Writes feed to path unless the file there already holds it, so that an
// unchanged feed keeps its modification time. The file is replaced whole:
// a reader never sees a part of it.
void updateFeedFile(BatchOutput& out, const std::string& feed, const std::string& path) {
    if (holdsExactly(path, feed)) {
        out.line("Unchanged, feed kept: " + path);
        return;
    }
    AtomicFileWriter file(path);
    if (!file.isOpen()) {
        out.line(feedOpenFailure(path));
        return;
    }
    file.stream() << feed;
    if (file.commit())
        out.line("finish converting to RSS: " + path);
    else
        out.line(feedWriteFailure(path));
}

// What the fetch of one page means for its conversion, in lines.
void reportFetch(BatchOutput& out, const CacheOutcome& o) {
    using Status = FetchedPage::Status;
    if (o.status == Status::Failed) out.line(fetchFailedLine(o.url, o.error));
    if (!o.cached || o.status == Status::Fetched) return;
    out.line((o.status == Status::NotModified ? "Not modified, using cached copy: "
                                              : "Using cached copy: ") +
             printable(o.url));
}

// The words of the list file, or false when it cannot be read whole. Like
// the batch mode's list, it may be a stream such as a process substitution.
bool readAddressList(const std::string& path, std::vector<std::string>& urls) {
    std::string text;
    ReadResult read = readPageFile(path, kListReadLimit, text, Accept::kRegularOrStream);
    if (!read.ok() || read.truncated) return false;
    std::istringstream words(text);
    for (std::string word; words >> word;) urls.push_back(word);
    return true;
}

}  // namespace

bool isFetchedAddress(const std::string& arg) {
    if (!startsWithIgnoreCase(arg, "http://") && !startsWithIgnoreCase(arg, "https://"))
        return false;
    struct stat st;
    return ::lstat(arg.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

int runFetchedPage(const CliOptions& options, const std::string& url) {
    FetchedPage fetched = fetchUrl(url, FetchOptions());
    if (fetched.status != FetchedPage::Status::Fetched) {
        std::fprintf(stderr, "%s\n", fetchFailedLine(url, fetched.error).c_str());
        return 0;
    }
    const Converter converter(options.conversion);
    Page page;
    page.load(fetched.body);
    std::string().swap(fetched.body);
    StdoutDiagnostics diagnostics;
    std::unique_ptr<FeedWriter> writer = makeFeedWriter(options.format, std::cout, fetched.charset);
    Explainer explainer(options);
    ConvertResult r =
        explainer.convert(converter, page, url, *writer, diagnostics, explainer.reportPath(""));
    if (!r.treeClosed) {
        diagnostics.report("serious error, ending is not root");
        return explainer.status();
    }
    if (r.hasEntries()) {
        std::cout.flush();
        if (!std::cout) std::cerr << "Error writing feed to standard output\n";
    }
    return explainer.status();
}

int runFetchBatch(const CliOptions& options, const std::string& listPath,
                  const std::string& cacheDir, const std::string& outDir) {
    std::vector<std::string> urls;
    if (!readAddressList(listPath, urls)) {
        std::fprintf(stderr, "%s\n", listReadFailure(listPath).c_str());
        return 0;
    }
    makeFolder(cacheDir);
    if (sameDirectory(cacheDir, outDir)) {
        // The feeds would replace the pages.
        std::fprintf(stderr, "weblog2rss: CACHEDIR and OUTDIR are the same folder: %s\n",
                     cacheDir.c_str());
        return kUsageStatus;
    }
    makeFolder(outDir);
    BatchOutput out;
    out.line("Read the URL list");

    FetchOptions fetchOptions;
    if (options.connections > 0) fetchOptions.connections = options.connections;
    std::vector<CacheOutcome> outcomes;
    {
        ProgressLine progress = ProgressLine::forStderr("fetching", urls.size());
        std::size_t done = 0, failed = 0;
        outcomes =
            fetchBatch(urls, cacheDir, fetchOptions, [&](std::size_t, const CacheOutcome& o) {
                if (o.status == FetchedPage::Status::Failed) failed++;
                progress.update(++done, failed);
            });
    }

    const Converter converter(options.conversion);
    Page page;
    CollectedDiagnostics diagnostics;
    std::string html;
    ProgressLine progress = ProgressLine::forStderr("converting", urls.size());
    out.setProgress(&progress);
    std::size_t failed = 0;
    Explainer explainer(options);
    const bool explain = explainer.enabled() && explainer.makeFolder();
    for (std::size_t i = 0; i < urls.size(); i++) {
        const CacheOutcome& fetched = outcomes[i];
        if (fetched.status == FetchedPage::Status::Failed) failed++;
        reportFetch(out, fetched);
        const std::string inPath = pagePath(cacheDir, std::to_string(i));
        if (!fetched.cached) {
            // A file there may be an older page of another address.
            out.line("No cached copy, skipping: " + inPath);
            progress.update(i + 1, failed);
            continue;
        }
        ReadResult read = readPageFile(inPath, kPageReadLimit, html);
        if (!read.ok()) {
            out.line(pageReadFailure(read.status, inPath));
            progress.update(i + 1, failed);
            continue;
        }
        out.line("Read: " + inPath);
        std::ostringstream feed;
        std::unique_ptr<FeedWriter> writer = makeFeedWriter(options.format, feed, fetched.charset);
        diagnostics.lines.clear();
        page.reset();
        page.load(html);
        ConvertResult r = explain
                              ? explainer.convert(converter, page, urls[i], *writer, diagnostics,
                                                  explainer.reportPath(std::to_string(i)))
                              : convertLoadedPage(converter, page, urls[i], *writer, diagnostics);
        for (const std::string& text : diagnostics.lines) out.line(text);
        if (r.treeClosed && r.hasEntries()) {
            out.line("Contains recognizable weblog entries");
            updateFeedFile(out, feed.str(), pagePath(outDir, std::to_string(i)));
        }
        progress.update(i + 1, failed);
    }
    return explainer.status();
}

}  // namespace w2r
