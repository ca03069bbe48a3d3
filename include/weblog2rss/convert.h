// weblog2rss: turns a weblog's front page into a feed of its dated entries.
//
//   const w2r::Converter converter;   // once; shared read-only by all threads
//   w2r::Page page;                   // one per thread, reused page after page
//   w2r::Rss091Writer writer(std::cout);
//   w2r::StdoutDiagnostics diagnostics;
//   w2r::ConvertResult r = w2r::convertPage(converter, page, html, address,
//                                           writer, diagnostics);
//
// The stages: scanner -> tree builder (dom) -> entry locator with the date
// patterns (entries, dates) -> neutral feed -> FeedWriter.
#pragma once

#include <string_view>

#include "base/diagnostics.h"
#include "dates/dates.h"
#include "entries/entries.h"
#include "entries/page.h"
#include "feed/extraction.h"
#include "feed/feed.h"
#include "feed/finders.h"

namespace w2r {

// What a Converter is built with. The defaults are the system's own
// reading.
struct ConverterOptions {
    // The years the dates of entries may fall in.
    YearWindow years;
    // The parts of the extraction mode in use (none by default).
    ExtractionSettings extraction;
};

// The compiled date patterns and finders, and the options. Built once,
// never changed.
class Converter {
public:
    explicit Converter(const ConverterOptions& options = ConverterOptions())
        : options_(options), datePatterns_(options.years) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    const ConverterOptions& options() const { return options_; }
    const DatePatterns& datePatterns() const { return datePatterns_; }
    const Finders& finders() const { return finders_; }

private:
    ConverterOptions options_;
    DatePatterns datePatterns_;
    Finders finders_;
};

struct ConvertResult {
    // False when the tree could not be closed back to its root; nothing was
    // located then.
    bool treeClosed = false;
    LocateResult located = LocateResult::kNone;
    int entryCount = 0;
    // Whether the writer was given a feed.
    bool hasEntries() const { return located == LocateResult::kEntries; }
};

// Converts one page: clears page, takes html (up to kPageReadLimit bytes;
// its text ends at the first NUL), builds the tree, locates the entries and,
// when there are some, gives their feed to writer. Messages noticed on the
// way go to diagnostics. The page keeps the tree and entries until the next
// conversion.
ConvertResult convertPage(const Converter& converter, Page& page, std::string_view html,
                          std::string_view address, FeedWriter& writer, Diagnostics& diagnostics);

// The same for a page already put into page (Page::reset, then Page::read).
// When trace is given the locator records there what it examined (nothing
// when the tree was not closed).
ConvertResult convertLoadedPage(const Converter& converter, Page& page, std::string_view address,
                                FeedWriter& writer, Diagnostics& diagnostics,
                                LocateTrace* trace = nullptr);

}  // namespace w2r
