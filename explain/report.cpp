// Renders an ExplainReport as one self-contained HTML page.
#include <algorithm>
#include <cstdio>
#include <string>

#include "explain/explain.h"
#include "explain/text.h"

namespace w2r {

using namespace explain_text;

namespace {

constexpr std::string_view kStyle = R"(
body{font:15px/1.45 system-ui,sans-serif;margin:0 auto;max-width:1200px;padding:16px 24px;color:#222;background:#fff}
h1{font-size:22px;margin:0 0 8px}
h2{font-size:18px;margin:28px 0 8px;border-bottom:1px solid #ccc}
.verdict{font-size:18px;padding:10px 14px;background:#f3f6fa;border-left:5px solid #1f6fb2;margin:8px 0 16px}
table{border-collapse:collapse;width:100%;font-size:13px}
th,td{border:1px solid #ccc;padding:3px 6px;text-align:left;vertical-align:top}
th{background:#eef1f5}
tr.chosen td{background:#e6f4e6;font-weight:bold}
td.num{text-align:right;white-space:nowrap}
td.tag code{white-space:nowrap}
td.text{max-width:420px;overflow-wrap:anywhere}
ul.links{margin:0;padding-left:16px}
code{font:12px/1.3 monospace;overflow-wrap:anywhere}
.note{color:#555;font-size:13px}
dl{display:grid;grid-template-columns:max-content 1fr;gap:2px 12px;margin:0}
dt{font-weight:bold}
dd{margin:0;overflow-wrap:anywhere}
iframe{width:100%;height:720px;border:2px solid #888;background:#fff}
.legend span{display:inline-block;padding:1px 5px;border-radius:3px;color:#fff;font:bold 12px sans-serif}
)";

std::string text(std::string_view s, std::size_t maxChars) {
    std::string out;
    appendEscaped(out, s, maxChars);
    return out;
}

std::string number(long long v) { return std::to_string(v); }

// "#3 ×4, #7 ×1" for the first counts of a list.
std::string counts(const std::vector<PatternCount>& list) {
    std::string out;
    std::size_t shown = std::min(list.size(), kMaxCountsPerList);
    for (std::size_t k = 0; k < shown; k++) {
        if (k) out += ", ";
        out += "#" + number(list[k].id) + "\u00A0\u00D7" + number(list[k].count);
    }
    if (list.size() > shown) out += ", \u2026";
    return out;
}

std::string padded(int v, int width) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*d", width, v);
    return buf;
}

std::string dateValues(const ExplainedEntry& e) {
    if (e.year < 0 || e.month < 0 || e.day < 0) return "not read";
    return padded(e.year, 4) + "-" + padded(e.month, 2) + "-" + padded(e.day, 2);
}

std::string timeValues(const ExplainedEntry& e) {
    if (e.hour < 0 || e.minute < 0) return "not read";
    return padded(e.hour, 2) + ":" + padded(e.minute, 2);
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void writeSummary(const ExplainReport& r, std::string& h) {
    h += "<h1>What weblog2rss saw on ";
    h += r.address.empty() ? std::string("this page") : text(r.address, kMaxShortChars);
    h += "</h1>\n<p class=\"verdict\">" + text(r.verdict, kMaxSentenceChars) + "</p>\n<dl>\n";
    h += "<dt>Address</dt><dd>" + text(r.address, kMaxSentenceChars) + "</dd>\n";
    h += "<dt>Page size</dt><dd>" + plural(r.pageSize, "byte", "bytes") + "</dd>\n";
    h += "<dt>Options</dt><dd>";
    if (r.options.empty()) h += "none";
    std::size_t shown = std::min(r.options.size(), kMaxOptions);
    for (std::size_t k = 0; k < shown; k++) {
        if (k) h += "<br>";
        h += "<code>" + text(r.options[k].first, kMaxShortChars) + "</code>";
        if (!r.options[k].second.empty())
            h += " = <code>" + text(r.options[k].second, kMaxShortChars) + "</code>";
    }
    if (r.options.size() > shown) h += "<br>and " + number(r.options.size() - shown) + " more";
    h += "</dd>\n</dl>\n";
}

void writeExamined(const ExplainReport& r, std::string& h) {
    h += "<h2>Elements examined</h2>\n"
         "<p class=\"note\">In the order the locator examined them. The counts give, per "
         "pattern id, how many dates and times were found in the children's own text, "
         "in the text between children and after the last child.</p>\n";
    std::size_t total = std::max(r.examinedTotal, r.examined.size());
    if (total == 0) {
        h += "<p>No element was examined.</p>\n";
        return;
    }
    h += "<table id=\"examined\">\n<thead><tr><th>#</th><th>Tag</th><th>Depth</th>"
         "<th>Children</th><th>In children</th><th>Between</th><th>After</th>"
         "<th>Decision</th></tr></thead>\n<tbody>\n";
    std::size_t shown = std::min(r.examined.size(), kMaxExaminedRows);
    for (std::size_t k = 0; k < shown; k++) {
        const ExaminedElement& e = r.examined[k];
        h += e.chosen ? "<tr class=\"chosen\">" : "<tr>";
        h += "<td class=\"num\">" + number(k + 1) + "</td><td class=\"tag\"><code>" +
             text(e.tag, kMaxShortChars) + "</code></td><td class=\"num\">" + number(e.depth) +
             "</td><td class=\"num\">" + number(e.childCount) + "</td><td>" + counts(e.own) +
             "</td><td>" + counts(e.gap) + "</td><td>" + counts(e.tail) + "</td><td>" +
             (e.chosen ? "chosen: " : "refused: ") + text(e.why, kMaxSentenceChars) +
             "</td></tr>\n";
    }
    h += "</tbody>\n</table>\n";
    if (total > shown)
        h += "<p class=\"note\">and " + number(total - shown) + " more " +
             (total - shown == 1 ? "element" : "elements") + " examined.</p>\n";
}

void writePatterns(const ExplainReport& r, std::string& h) {
    h += "<h2>Date and time patterns chosen</h2>\n";
    if (r.patterns.empty()) {
        h += "<p>No pattern was chosen.</p>\n";
        return;
    }
    h += "<table id=\"patterns\">\n<thead><tr><th>Kind</th><th>Id</th><th>Pattern</th>"
         "<th>Example match</th></tr></thead>\n<tbody>\n";
    std::size_t shown = std::min(r.patterns.size(), kMaxPatternRows);
    for (std::size_t k = 0; k < shown; k++) {
        const PatternExample& p = r.patterns[k];
        h += std::string("<tr><td>") + (p.isTime ? "time" : "date") + "</td><td class=\"num\">" +
             number(p.id) + "</td><td><code>" + text(p.patternText, kMaxSentenceChars) +
             "</code></td><td>" + text(p.exampleMatch, kMaxShortChars) + "</td></tr>\n";
    }
    h += "</tbody>\n</table>\n";
}

void writeEntries(const ExplainReport& r, std::string& h) {
    h += "<h2>Entries</h2>\n<table id=\"entries\">\n<thead><tr><th>#</th><th>Title</th>"
         "<th>Links</th><th>Date</th><th>Time</th><th>Text (first " +
         number(kMaxEntryTextChars) + " characters)</th></tr></thead>\n<tbody>\n";
    if (r.entries.empty()) h += "<tr><td colspan=\"6\">No entries.</td></tr>\n";
    std::size_t shown = std::min(r.entries.size(), kMaxEntryRows);
    for (std::size_t k = 0; k < shown; k++) {
        const ExplainedEntry& e = r.entries[k];
        h += "<tr><td class=\"num\">" + number(e.number) + "</td><td>" +
             text(e.title, kMaxTitleChars) + "</td><td>";
        if (!e.links.empty()) {
            h += "<ul class=\"links\">";
            std::size_t links = std::min(e.links.size(), kMaxLinksPerEntry);
            for (std::size_t l = 0; l < links; l++)
                h += "<li><code>" + text(e.links[l], kMaxLinkChars) + "</code></li>";
            if (e.links.size() > links)
                h += "<li>and " + number(e.links.size() - links) + " more</li>";
            h += "</ul>";
        }
        h += "</td><td>" + text(e.dateText, kMaxShortChars) + "<br><code>" + dateValues(e) +
             "</code></td><td>" + text(e.timeText, kMaxShortChars) + "<br><code>" + timeValues(e) +
             "</code></td><td class=\"text\">" + text(e.text, kMaxEntryTextChars) + "</td></tr>\n";
    }
    h += "</tbody>\n</table>\n";
    if (r.entries.size() > shown)
        h += "<p class=\"note\">and " + number(r.entries.size() - shown) + " more entries.</p>\n";
}

void writePage(const ExplainReport& r, std::string& h) {
    h += "<h2>The page</h2>\n";
    if (r.pageHtml.empty()) {
        h += "<p>The page had no text.</p>\n";
        return;
    }
    h += "<p class=\"note legend\">As the reader would see it, with its scripts removed and "
         "nothing loaded from elsewhere: <span style=\"background:#c0392b\">entry container</span> "
         "outlined with dashes, <span style=\"background:#1f6fb2\">entry N</span> where each "
         "entry starts.";
    if (r.pageHtml.size() > kMaxPageSourceBytes)
        h += " Only the first " + number(kMaxPageSourceBytes) + " of its " +
             number(r.pageHtml.size()) + " bytes are shown.";
    if (r.entryStarts.size() > kMaxEntryRows)
        h += " Only the first " + number(kMaxEntryRows) + " entries are marked.";
    h += "</p>\n<iframe sandbox title=\"the page\" referrerpolicy=\"no-referrer\" srcdoc=\"";
    appendEscaped(h, markedPageCopy(r.pageHtml, r.containerStart, r.containerEnd, r.entryStarts));
    h += "\"></iframe>\n";
}

}  // namespace

void writeExplainReport(const ExplainReport& r, std::ostream& out) {
    std::string h;
    h += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'; img-src data:\">\n"
         "<meta name=\"referrer\" content=\"no-referrer\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>weblog2rss explanation: ";
    h += r.address.empty() ? std::string("page") : text(r.address, kMaxShortChars);
    h += "</title>\n<style>";
    h += kStyle;
    h += "</style>\n</head>\n<body>\n";
    writeSummary(r, h);
    writeExamined(r, h);
    writePatterns(r, h);
    writeEntries(r, h);
    out << h;
    h.clear();
    writePage(r, h);
    h += "</body>\n</html>\n";
    out << h;
}

}  // namespace w2r
