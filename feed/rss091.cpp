// The neutral feed of a page, and its RSS 0.91 writer.
#include <string>

#include "entries/page.h"
#include "feed/feed.h"
#include "feed/finders.h"

namespace w2r {
namespace {

const char kXmlDeclaration[] = R"(<?xml version="1.0"?>)";
const char kRssOpen[] = R"(<rss version="0.91">)";
const char kChannelDescription[] =
    "<description>Automatically generated RSS from weblog</description>";

// Position in the address at which the fallback channel title starts.
const std::string_view::size_type kHostStart = 8;

}  // namespace

std::string fallbackChannelTitle(std::string_view address) {
    if (address.size() < kHostStart) return std::string();
    std::string_view::size_type slash = address.find('/', kHostStart);
    if (slash == std::string_view::npos) return std::string(address.substr(kHostStart));
    return std::string(address.substr(kHostStart, slash - kHostStart));
}

Feed makeFeed(const Finders& finders, const Page& page, std::string_view address) {
    Feed feed;
    feed.address = address;
    feed.page = page.text();
    std::string title;
    if (finders.pageTitle(feed.page, title)) feed.pageTitle = std::move(title);
    const EntryTable& table = page.entries();
    feed.entries.reserve(table.size());
    for (std::size_t i = 0; i < table.size(); i++) {
        FeedEntry e;
        e.html = table[i].html;
        e.time = table[i].time;
        e.titleFound = finders.entryTitle(e.html, e.title);
        if (!e.titleFound) e.title = "Entry " + std::to_string(i);
        finders.links(e.html, e.links);
        feed.entries.push_back(std::move(e));
    }
    return feed;
}

void Rss091Writer::write(const Feed& feed) {
    std::ostream& out = out_;
    out << kXmlDeclaration << '\n' << kRssOpen << "\n<channel>\n";
    out << "<title>" << (feed.pageTitle ? *feed.pageTitle : fallbackChannelTitle(feed.address))
        << "</title>\n";
    out << "<link>" << feed.address << "</link>\n";
    out << kChannelDescription << '\n';
    for (const FeedEntry& e : feed.entries) {
        const Timestamp& ts = e.time;
        out << "<item>\n<title>" << e.title << "</title>\n";
        if (e.links.empty()) out << "<link>" << feed.address << "</link>\n";
        for (const std::string& link : e.links) out << "<link>" << link << "</link>\n";
        out << "<description>" << e.html << "</description>\n";
        // Numbers as std::to_string writes them, whatever the stream's format.
        out << "<dc:date>" << std::to_string(ts.year) << '-' << std::to_string(ts.month) << '-'
            << std::to_string(ts.day) << 'T' << std::to_string(ts.hour) << ':'
            << std::to_string(ts.min) << "+00:00</dc:date>\n";
        out << "</item>\n";
    }
    out << "</channel>\n</rss>\n";
}

}  // namespace w2r
