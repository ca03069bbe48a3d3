// --explain: converts pages as usual and writes, beside the feed, a report
// that shows what the locator examined, what it chose and the entries it
// cut, over the page itself.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "explain/explain.h"
#include "weblog2rss/convert.h"

namespace w2r {

// What a report says beside the page's findings.
struct ExplainContext {
    std::string address;   // the page's address as the feed has it
    bool feedKept = true;  // false: a batch without an output folder
    std::vector<std::pair<std::string, std::string>> options;
};

// The titles and links of the feed a conversion gave its writer.
struct CapturedFeed {
    std::vector<std::pair<std::string, std::vector<std::string>>> entries;  // the first rows
};

// Builds the report of a page just converted: its tree, entries and trace
// must be those of that conversion.
ExplainReport explainConversion(const Converter& converter, const Page& page,
                                const ExplainContext& context, const ConvertResult& result,
                                const LocateTrace& trace, const CapturedFeed& feed);

// Raw page offsets of the text store offsets in storeOffsets (any order):
// the page is scanned again the way the tree builder copied it into the
// store. Offsets that cannot be mapped give npos.
std::vector<std::size_t> storeToPageOffsets(std::string_view page, const char* store,
                                            std::size_t storeSize,
                                            const std::vector<std::size_t>& storeOffsets);

// The options of a command line as a report lists them: those given, and
// the feed format in force when none was given.
std::vector<std::pair<std::string, std::string>> optionsInForce(const CliOptions& options);

// The --explain side of a run. Without --explain, convert is
// convertLoadedPage; with it, each conversion also writes its report. The
// feed and the messages are the same either way; a report that cannot be
// written is said on standard error.
class Explainer {
public:
    explicit Explainer(const CliOptions& options);
    ~Explainer();
    Explainer(const Explainer&) = delete;
    Explainer& operator=(const Explainer&) = delete;

    bool enabled() const { return !target_.empty(); }
    // Batch mode: makes the report folder (and its parents) when missing.
    // False, said on standard error, when it cannot be made.
    bool makeFolder();
    // Where the report of batch page n goes; the --explain path itself when
    // n is empty (single-page modes).
    std::string reportPath(const std::string& n) const;

    // feedKept: whether the writer keeps the feed (see ExplainContext).
    ConvertResult convert(const Converter& converter, Page& page, const std::string& address,
                          FeedWriter& writer, Diagnostics& diagnostics,
                          const std::string& reportPath, bool feedKept = true);

    // 0, or 1 once some report could not be written.
    int status() const { return failed_->load() ? 1 : 0; }

private:
    std::string target_;
    std::vector<std::pair<std::string, std::string>> options_;
    // Set once a report could not be written. Kept in memory shared with
    // the worker processes a batch forks after this object is made, so
    // that their failures count too; in this object when that cannot be.
    std::atomic<bool>* failed_;
    std::atomic<bool> ownFlag_{false};
};

}  // namespace w2r
