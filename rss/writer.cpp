// RSS 0.91 feed writer and the entry-table dump.
#include <cstdio>
#include <ostream>
#include <queue>
#include <string>

#include "dom/dom.h"
#include "entries/entries.h"
#include "rss/rss.h"

namespace {

const char kXmlDeclaration[] = R"(<?xml version="1.0"?>)";
const char kRssOpen[] = R"(<rss version="0.91">)";
const char kChannelDescription[] =
    "<description>Automatically generated RSS from weblog</description>";

// Position in the address at which the fallback channel title starts.
const std::string::size_type kHostStart = 8;

// Writes one line of the feed and flushes it.
void writeLine(std::ostream& out, const std::string& text) {
    out << text << '\n';
    out.flush();
}

// Text of entry i; an unfilled slot reads as empty.
std::string entryText(int i) {
    const char* text = blogentries[i];
    return text ? std::string(text) : std::string();
}

}  // namespace

std::string fallbackChannelTitle(const std::string& address) {
    if (address.size() < kHostStart) return std::string();
    std::string::size_type slash = address.find('/', kHostStart);
    if (slash == std::string::npos) return address.substr(kHostStart);
    return address.substr(kHostStart, slash - kHostStart);
}

void printEntriesRSS(const std::string& address, std::ostream& out) {
    writeLine(out, kXmlDeclaration);
    writeLine(out, kRssOpen);
    writeLine(out, "<channel>");
    std::string channelTitle;
    if (!findBlogTitle(std::string(tmp), channelTitle))
        channelTitle = fallbackChannelTitle(address);
    writeLine(out, "<title>" + channelTitle + "</title>");
    writeLine(out, "<link>" + address + "</link>");
    writeLine(out, kChannelDescription);

    std::queue<std::string> links;
    for (int i = 0; i < blogentries_count; i++) {
        const std::string text = entryText(i);
        const timestamp& ts = timestampentries[i];
        writeLine(out, "<item>");
        std::string title;
        if (!findEntryTitle(text, title)) title = "Entry " + std::to_string(i);
        writeLine(out, "<title>" + title + "</title>");
        findLinks(text, links);
        if (links.empty()) writeLine(out, "<link>" + address + "</link>");
        while (!links.empty()) {
            writeLine(out, "<link>" + links.front() + "</link>");
            links.pop();
        }
        writeLine(out, "<description>" + text + "</description>");
        writeLine(out, "<dc:date>" + std::to_string(ts.year) + "-" +
                           std::to_string(ts.month) + "-" +
                           std::to_string(ts.day) + "T" +
                           std::to_string(ts.hour) + ":" +
                           std::to_string(ts.min) + "+00:00</dc:date>");
        writeLine(out, "</item>");
    }
    writeLine(out, "</channel>");
    writeLine(out, "</rss>");
}

void printEntries() {
    for (int i = 0; i < blogentries_count; i++) {
        const timestamp& ts = timestampentries[i];
        std::printf("Date type: %d Time type: %d<br>", ts.dateType, ts.timeType);
        std::printf("Year: %d, Month: %d, Day: %d, Hour: %d, Min: %d<br>",
                    ts.year, ts.month, ts.day, ts.hour, ts.min);
        std::printf("%s <hr>", blogentries[i] ? blogentries[i] : "");
    }
    std::fflush(stdout);
}
