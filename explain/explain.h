// Explanation report: a self-contained HTML page that shows what the entry
// locator saw on a page and why it decided as it did. The caller fills an
// ExplainReport from the locator's findings; writeExplainReport renders it.
//
// Everything taken from the page is escaped and cut to the limits below, so
// the report stays valid HTML of bounded size whatever the page holds. The
// report has no scripts; it shows the page in a sandboxed iframe (scripts
// disabled) under a content security policy that loads nothing from
// elsewhere, and the page's own script elements are removed from that copy.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace w2r {

// How often one date or time pattern was found.
struct PatternCount {
    int id = 0;  // pattern id as the locator numbers them
    int count = 0;
};

// One element the locator looked at, in the order it looked.
struct ExaminedElement {
    std::string tag;
    int depth = 0;
    int childCount = 0;
    std::vector<PatternCount> own;   // in the children's own text
    std::vector<PatternCount> gap;   // in the text between children
    std::vector<PatternCount> tail;  // after the last child
    bool chosen = false;
    std::string why;  // one sentence: why refused or chosen
};

// A chosen date or time pattern and what it matched on the page.
struct PatternExample {
    int id = 0;
    bool isTime = false;
    std::string patternText;
    std::string exampleMatch;
};

// One entry as it will go into the feed. Values not read are negative.
struct ExplainedEntry {
    int number = 0;
    std::string title;
    std::vector<std::string> links;
    std::string dateText;  // the matched text
    std::string timeText;
    int year = -1, month = -1, day = -1, hour = -1, minute = -1;
    std::string text;  // plain text (see plainTextPreview)
};

struct ExplainReport {
    std::string verdict;  // one sentence
    std::vector<std::pair<std::string, std::string>> options;
    std::string address;
    std::size_t pageSize = 0;
    std::vector<ExaminedElement> examined;  // the first ones are enough
    std::size_t examinedTotal = 0;          // how many were examined in all
    std::vector<PatternExample> patterns;
    std::vector<ExplainedEntry> entries;
    // The page as read; the report shows a copy of it. Byte offsets into it
    // mark the chosen container and each entry's start (npos: unknown).
    std::string_view pageHtml;
    std::size_t containerStart = std::string_view::npos;
    std::size_t containerEnd = std::string_view::npos;
    std::vector<std::size_t> entryStarts;
};

// Limits that bound the report. Characters are Unicode code points.
constexpr std::size_t kMaxExaminedRows = 200;
constexpr std::size_t kMaxEntryRows = 200;  // also entry markers shown
constexpr std::size_t kMaxEntryTextChars = 300;
constexpr std::size_t kMaxTitleChars = 300;
constexpr std::size_t kMaxLinksPerEntry = 20;
constexpr std::size_t kMaxLinkChars = 300;
constexpr std::size_t kMaxShortChars = 300;      // tags, matches, option values
constexpr std::size_t kMaxSentenceChars = 1000;  // verdict, reasons, address
constexpr std::size_t kMaxPatternRows = 64;
constexpr std::size_t kMaxCountsPerList = 64;
constexpr std::size_t kMaxOptions = 64;
// The page copy holds at most this much of the page's source.
constexpr std::size_t kMaxPageSourceBytes = 3u << 20;
// No report is larger than this, whatever it is given: the page copy,
// escaped, takes at most 6 bytes per source byte (18 MiB), the tables
// above at most about 8 MiB.
constexpr std::size_t kMaxReportBytes = 32u << 20;

void writeExplainReport(const ExplainReport& report, std::ostream& out);

// Text for HTML content and for attribute values in either quote: & < > " '
// become references, bytes that are not UTF-8 are read as Windows-1252, and
// characters HTML does not allow (NUL, controls, noncharacters) become
// U+FFFD, so the result is always valid UTF-8.
std::string escapeHtml(std::string_view text);

// The first maxChars characters of the text of an HTML fragment: tags,
// comments, scripts and styles dropped, common references decoded, runs of
// white space made one blank. Reads no further than it needs to.
std::string plainTextPreview(std::string_view html, std::size_t maxChars);

// The page copy shown in the report, before escaping: at most maxSource
// bytes of the page, script elements and meta and base tags removed, marker
// elements inserted at the container's start and end and at each entry's
// start (the first kMaxEntryRows). A marker whose offset falls inside a tag,
// comment, script or other raw-text element goes right after it; offsets
// past the copied part are dropped.
std::string markedPageCopy(std::string_view html, std::size_t containerStart,
                           std::size_t containerEnd, const std::vector<std::size_t>& entryStarts,
                           std::size_t maxSource = kMaxPageSourceBytes);

}  // namespace w2r
