// Writes an explanation report over a page with hand-filled findings, to see
// and test the report's rendering: explain_sample PAGE OUT.html
// The markers go where the page's own "date" blocks and first table cell
// are, so the bundled weblog example shows them in place.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "explain/explain.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: explain_sample PAGE OUT.html\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        std::cerr << "explain_sample: cannot read " << argv[1] << "\n";
        return 1;
    }

    w2r::ExplainReport r;
    r.verdict =
        "Feed written with 4 entries: the first table cell holds 4 children "
        "with a recurring date.";
    r.options = {{"--modern", ""}, {"--explain", "weblog.html"}};
    r.address = "http://harbour.example.net/";
    r.pageSize = page.size();
    r.pageHtml = page;
    r.containerStart = page.find("<td valign=\"top\" width=\"72%\">");
    r.containerEnd =
        page.find("</td>", r.containerStart == std::string::npos ? 0 : r.containerStart);
    for (std::size_t at = page.find("<div class=\"date\">"); at != std::string::npos;
         at = page.find("<div class=\"date\">", at + 1))
        r.entryStarts.push_back(at);

    using w2r::PatternCount;
    r.examined = {
        {"(root)", 0, 1, {}, {}, {}, false, "Only one child: no date can recur."},
        {"html",
         1,
         2,
         {{0, 1}},
         {},
         {},
         false,
         "No date pattern is found in three or more children."},
        {"body", 2, 1, {{0, 1}}, {}, {}, false, "Only one child: no date can recur."},
        {"table", 3, 1, {{0, 1}}, {}, {}, false, "Only one child: no date can recur."},
        {"tr",
         4,
         2,
         {{0, 1}},
         {},
         {},
         false,
         "No date pattern is found in three or more children."},
        {"td",
         5,
         9,
         {{0, 4}, {13, 4}},
         {},
         {},
         true,
         "Date pattern 0 is found in 4 children and at least as often as outside them."},
    };
    r.examinedTotal = r.examined.size();
    r.patterns = {
        {0, false, "(Monday|Mon|...)\\W{1,3}(Jan|Feb|...)\\W{1,3}(\\d{1,2})\\W{1,2}(\\d{2,4})",
         "Monday, March 01, 2004"},
        {13, true, "(\\d{1,2}):(\\d{1,2})\\s?([a|p]m)", "10:32 PM"},
    };
    r.entries = {
        {1,
         "Fog over the breakwater",
         {"http://harbour.example.net/archives/000231.html"},
         "Monday, March 01, 2004",
         "10:32 PM",
         2004,
         3,
         1,
         22,
         32,
         "Monday, March 01, 2004 Fog over the breakwater The foghorn went all night. By "
         "breakfast the whole bay had vanished and the gulls were shouting at nothing."},
        {2,
         "Net mending",
         {"http://photos.example.net/olek/nets/",
          "http://harbour.example.net/archives/000230.html"},
         "Saturday, February 28, 2004",
         "9:05 AM",
         2004,
         2,
         28,
         9,
         5,
         "Saturday, February 28, 2004 Net mending Spent the afternoon with Olek on the quay, "
         "mending nets & trading stories. Update: the photos are up in his gallery."},
        {3,
         "Lighthouse keepers",
         {"http://www.example.org/lighthouses/", "http://harbour.example.net/archives/000229.html"},
         "Thursday, February 26, 2004",
         "12:15 PM",
         2004,
         2,
         26,
         12,
         15,
         "Thursday, February 26, 2004 Lighthouse keepers A short history of the keepers who "
         "lived on the point, with a list of the ones whose names survive."},
        {4,
         "Quiet week",
         {},
         "Tuesday, February 24, 2004",
         "12:40 AM",
         2004,
         2,
         24,
         0,
         40,
         "Tuesday, February 24, 2004 Quiet week Nothing to report but rain. The ferry ran "
         "late twice."},
    };

    std::ofstream out(argv[2], std::ios::binary);
    w2r::writeExplainReport(r, out);
    out.close();
    if (!out) {
        std::cerr << "explain_sample: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
