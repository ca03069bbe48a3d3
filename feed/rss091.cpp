// The neutral feed of a page, and its RSS 0.91 writer.
#include <charconv>
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

namespace {

// The feed text is put together here and handed to the stream in blocks of
// about this size: one stream call per block instead of a dozen per entry.
constexpr std::size_t kBlockBytes = 64 * 1024;

// Appends an int as std::to_string writes it, whatever the stream's format.
void appendNumber(std::string& out, int value) {
    char digits[16];
    std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, r.ptr);
}

}  // namespace

void Rss091Writer::write(const Feed& feed) {
    std::string text;
    text.reserve(kBlockBytes + 4096);
    auto pass = [this, &text](bool last) {
        if (text.empty() || (!last && text.size() < kBlockBytes)) return;
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
        text.clear();
    };
    text += kXmlDeclaration;
    text += '\n';
    text += kRssOpen;
    text += "\n<channel>\n<title>";
    if (feed.pageTitle)
        text += *feed.pageTitle;
    else
        text += fallbackChannelTitle(feed.address);
    text += "</title>\n<link>";
    text += feed.address;
    text += "</link>\n";
    text += kChannelDescription;
    text += '\n';
    for (const FeedEntry& e : feed.entries) {
        const Timestamp& ts = e.time;
        text += "<item>\n<title>";
        text += e.title;
        text += "</title>\n";
        if (e.links.empty()) {
            text += "<link>";
            text += feed.address;
            text += "</link>\n";
        }
        for (const std::string& link : e.links) {
            text += "<link>";
            text += link;
            text += "</link>\n";
        }
        text += "<description>";
        text += e.html;
        text += "</description>\n<dc:date>";
        appendNumber(text, ts.year);
        text += '-';
        appendNumber(text, ts.month);
        text += '-';
        appendNumber(text, ts.day);
        text += 'T';
        appendNumber(text, ts.hour);
        text += ':';
        appendNumber(text, ts.min);
        text += "+00:00</dc:date>\n</item>\n";
        pass(false);
    }
    text += "</channel>\n</rss>\n";
    pass(true);
}

}  // namespace w2r
