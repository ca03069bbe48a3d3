// The RSS 2.0, Atom 1.0 and JSON Feed 1.1 writers.
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "formats/charset.h"
#include "formats/formats.h"
#include "formats/markup.h"
#include "formats/stamps.h"

namespace w2r {
namespace {

const char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const char kChannelDescription[] = "Automatically generated RSS from weblog";
const char kUntitledChannel[] = "Weblog";
const char kJsonFeedVersion[] = "https://jsonfeed.org/version/1.1";

// What every format writes of a feed: all text in XML-safe UTF-8, titles
// as plain text, dates normalised.
struct Feed {
    std::string id;
    std::string title;
    std::string address;
    FeedDate updated;  // the newest entry's date (the epoch when there is none)
    struct Item {
        std::string id;
        std::string title;
        std::string link;
        std::string html;
        FeedDate date;
    };
    std::vector<Item> items;
};

Feed prepare(const FeedChannel& channel, const std::vector<FeedItem>& items) {
    Utf8Converter page(detectCharset(channel.rawPage, channel.httpCharset));
    Feed feed;
    feed.address = xmlSafeUtf8(channel.address);
    feed.id = uuidUrn(feed.address);
    feed.title = htmlPlainText(page.convert(channel.title));
    if (feed.title.empty()) feed.title = feed.address.empty() ? kUntitledChannel : feed.address;
    feed.updated = FeedDate{1970, 1, 1, 0, 0};

    EntryIds ids(feed.address);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FeedItem& in = items[i];
        Feed::Item item;
        item.date = normalisedDate({in.year, in.month, in.day, in.hour, in.minute});
        item.title = htmlPlainText(page.convert(in.title));
        item.id = ids.next(item.date, item.title);
        if (item.title.empty()) item.title = "Entry " + std::to_string(i);
        for (const std::string& link : in.links) {
            item.link = htmlAttributeValue(page.convert(link));
            if (!item.link.empty()) break;
        }
        if (item.link.empty()) item.link = feed.address;
        item.html = page.convert(in.html);
        if (i == 0 || earlierDate(feed.updated, item.date)) feed.updated = item.date;
        feed.items.push_back(std::move(item));
    }
    return feed;
}

// One element with escaped text content, on its own line.
std::string element(const char* name, const std::string& text) {
    return std::string("<") + name + ">" + escapeXml(text) + "</" + name + ">\n";
}

void writeRss2(const Feed& feed, std::ostream& out) {
    out << kXmlDeclaration
        << "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        << "<channel>\n"
        << element("title", feed.title) << element("link", feed.address)
        << element("description", kChannelDescription);
    for (const Feed::Item& item : feed.items) {
        out << "<item>\n"
            << element("title", item.title) << element("link", item.link) << "<description>"
            << cdataSections(item.html) << "</description>\n"
            << element("pubDate", rfc822Date(item.date))
            << element("dc:date", w3cdtfDate(item.date)) << "<guid isPermaLink=\"false\">"
            << item.id << "</guid>\n"
            << "</item>\n";
    }
    out << "</channel>\n</rss>\n";
}

void writeAtom(const Feed& feed, std::ostream& out) {
    out << kXmlDeclaration << "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n"
        << element("id", feed.id) << element("title", feed.title)
        << element("updated", rfc3339Date(feed.updated));
    if (!feed.address.empty()) out << "<link href=\"" << escapeXml(feed.address) << "\"/>\n";
    out << "<author>\n" << element("name", feed.title) << "</author>\n";
    for (const Feed::Item& item : feed.items) {
        out << "<entry>\n" << element("id", item.id) << element("title", item.title);
        if (!item.link.empty()) out << "<link href=\"" << escapeXml(item.link) << "\"/>\n";
        out << element("updated", rfc3339Date(item.date)) << "<content type=\"html\">"
            << escapeXml(item.html) << "</content>\n"
            << "</entry>\n";
    }
    out << "</feed>\n";
}

void writeJson(const Feed& feed, std::ostream& out) {
    using Json = nlohmann::ordered_json;
    Json doc;
    doc["version"] = kJsonFeedVersion;
    doc["title"] = feed.title;
    if (!feed.address.empty()) doc["home_page_url"] = feed.address;
    Json items = Json::array();
    for (const Feed::Item& item : feed.items) {
        Json entry;
        entry["id"] = item.id;
        if (!item.link.empty()) entry["url"] = item.link;
        entry["title"] = item.title;
        entry["content_html"] = item.html;
        entry["date_published"] = rfc3339Date(item.date);
        items.push_back(std::move(entry));
    }
    doc["items"] = std::move(items);
    out << doc.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace

bool parseFeedFormat(std::string_view name, FeedFormat& out) {
    for (FeedFormat f : {FeedFormat::Rss091, FeedFormat::Rss2, FeedFormat::Atom, FeedFormat::Json})
        if (name == feedFormatName(f)) {
            out = f;
            return true;
        }
    return false;
}

std::string_view feedFormatName(FeedFormat format) {
    switch (format) {
    case FeedFormat::Rss091:
        return "rss091";
    case FeedFormat::Rss2:
        return "rss2";
    case FeedFormat::Atom:
        return "atom";
    case FeedFormat::Json:
        return "json";
    }
    return "";
}

bool writeFeed(FeedFormat format, const FeedChannel& channel, const std::vector<FeedItem>& items,
               std::ostream& out) {
    if (format == FeedFormat::Rss091) return false;
    const Feed feed = prepare(channel, items);
    if (format == FeedFormat::Rss2)
        writeRss2(feed, out);
    else if (format == FeedFormat::Atom)
        writeAtom(feed, out);
    else
        writeJson(feed, out);
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace w2r
