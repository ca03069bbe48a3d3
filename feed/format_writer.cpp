#include "feed/format_writer.h"

#include <utility>

namespace w2r {

FeedChannel feedChannel(const Feed& feed, std::string_view charsetHint) {
    FeedChannel channel;
    if (feed.pageTitle) channel.title = *feed.pageTitle;
    channel.address = feed.address;
    channel.rawPage = feed.page;
    channel.httpCharset = charsetHint;
    return channel;
}

std::vector<FeedItem> feedItems(const Feed& feed) {
    std::vector<FeedItem> items;
    items.reserve(feed.entries.size());
    for (const FeedEntry& e : feed.entries) {
        FeedItem item;
        if (e.titleFound) item.title = e.title;
        item.links = e.links;
        item.html = e.html;
        item.year = e.time.year;
        item.month = e.time.month;
        item.day = e.time.day;
        item.hour = e.time.hour;
        item.minute = e.time.min;
        items.push_back(std::move(item));
    }
    return items;
}

void FormatWriter::write(const Feed& feed) {
    // A failed stream shows in out_'s state, which the caller checks.
    writeFeed(format_, feedChannel(feed, charsetHint_), feedItems(feed), out_);
}

std::unique_ptr<FeedWriter> makeFeedWriter(FeedFormat format, std::ostream& out,
                                           std::string charsetHint) {
    if (format == FeedFormat::Rss091) return std::make_unique<Rss091Writer>(out);
    return std::make_unique<FormatWriter>(format, out, std::move(charsetHint));
}

}  // namespace w2r
