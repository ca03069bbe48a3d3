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
// as plain text, dates normalised. The channel is prepared at once; items
// are prepared one at a time as they are written, so a feed of any size
// takes the memory of one item.
struct Channel {
    std::string id;
    std::string title;
    std::string address;
    FeedDate updated;  // the newest entry's date (the epoch when there is none)
};

struct Item {
    std::string id;
    std::string title;
    std::string link;
    std::string html;
    FeedDate date;
};

class Preparer {
public:
    Preparer(const FeedChannel& channel, const std::vector<FeedItem>& items)
        : page_(detectCharset(channel.rawPage, channel.httpCharset)),
          items_(items),
          ids_(xmlSafeUtf8(channel.address)) {
        channel_.address = xmlSafeUtf8(channel.address);
        channel_.id = uuidUrn(channel_.address);
        channel_.title = htmlPlainText(page_.convert(channel.title));
        if (channel_.title.empty())
            channel_.title = channel_.address.empty() ? kUntitledChannel : channel_.address;
        channel_.updated = FeedDate{1970, 1, 1, 0, 0};
        for (std::size_t i = 0; i < items.size(); ++i) {
            FeedDate date = dateOf(items[i]);
            if (i == 0 || earlierDate(channel_.updated, date)) channel_.updated = date;
        }
    }

    const Channel& channel() const { return channel_; }
    std::size_t size() const { return items_.size(); }

    // Item i; call in order, once each: the ids depend on the items before.
    Item item(std::size_t i) {
        const FeedItem& in = items_[i];
        Item item;
        item.date = dateOf(in);
        item.title = htmlPlainText(page_.convert(in.title));
        item.id = ids_.next(item.date, item.title);
        if (item.title.empty()) item.title = "Entry " + std::to_string(i);
        for (const std::string& link : in.links) {
            item.link = htmlAttributeValue(page_.convert(link));
            if (!item.link.empty()) break;
        }
        if (item.link.empty()) item.link = channel_.address;
        item.html = page_.convert(in.html);
        return item;
    }

private:
    static FeedDate dateOf(const FeedItem& in) {
        return normalisedDate({in.year, in.month, in.day, in.hour, in.minute});
    }

    Utf8Converter page_;
    const std::vector<FeedItem>& items_;
    EntryIds ids_;
    Channel channel_;
};

// One element with escaped text content, on its own line.
std::string element(const char* name, const std::string& text) {
    return std::string("<") + name + ">" + escapeXml(text) + "</" + name + ">\n";
}

void writeRss2(Preparer& feed, std::ostream& out) {
    const Channel& channel = feed.channel();
    out << kXmlDeclaration
        << "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        << "<channel>\n"
        << element("title", channel.title) << element("link", channel.address)
        << element("description", kChannelDescription);
    for (std::size_t i = 0; i < feed.size(); ++i) {
        const Item item = feed.item(i);
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

void writeAtom(Preparer& feed, std::ostream& out) {
    const Channel& channel = feed.channel();
    out << kXmlDeclaration << "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n"
        << element("id", channel.id) << element("title", channel.title)
        << element("updated", rfc3339Date(channel.updated));
    if (!channel.address.empty()) out << "<link href=\"" << escapeXml(channel.address) << "\"/>\n";
    out << "<author>\n" << element("name", channel.title) << "</author>\n";
    for (std::size_t i = 0; i < feed.size(); ++i) {
        const Item item = feed.item(i);
        out << "<entry>\n" << element("id", item.id) << element("title", item.title);
        if (!item.link.empty()) out << "<link href=\"" << escapeXml(item.link) << "\"/>\n";
        out << element("updated", rfc3339Date(item.date)) << "<content type=\"html\">"
            << escapeXml(item.html) << "</content>\n"
            << "</entry>\n";
    }
    out << "</feed>\n";
}

// The JSON document is written piece by piece in the layout of a dump with
// an indent of two: each item is dumped on its own and indented to its
// place (dumped strings hold no raw line breaks).
void writeJson(Preparer& feed, std::ostream& out) {
    using Json = nlohmann::ordered_json;
    auto dump = [](const Json& value, int indent) {
        return value.dump(indent, ' ', false, Json::error_handler_t::replace);
    };
    const Channel& channel = feed.channel();
    out << "{\n  \"version\": " << dump(kJsonFeedVersion, -1)
        << ",\n  \"title\": " << dump(channel.title, -1);
    if (!channel.address.empty()) out << ",\n  \"home_page_url\": " << dump(channel.address, -1);
    out << ",\n  \"items\": [";
    for (std::size_t i = 0; i < feed.size(); ++i) {
        const Item item = feed.item(i);
        Json entry;
        entry["id"] = item.id;
        if (!item.link.empty()) entry["url"] = item.link;
        entry["title"] = item.title;
        entry["content_html"] = item.html;
        entry["date_published"] = rfc3339Date(item.date);
        std::string text = dump(entry, 2);
        std::string indented;
        indented.reserve(text.size() + 64);
        for (char c : text) {
            indented += c;
            if (c == '\n') indented += "    ";
        }
        out << (i == 0 ? "\n    " : ",\n    ") << indented;
    }
    out << (feed.size() == 0 ? "]\n}\n" : "\n  ]\n}\n");
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
    Preparer feed(channel, items);
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
