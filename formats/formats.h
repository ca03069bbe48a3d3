// Feed serialisers for the subscription formats: RSS 2.0, Atom 1.0 and
// JSON Feed 1.1. They take the titles, links, entry texts and dates the
// system found, as raw bytes in the page's charset, and write them as
// well-formed UTF-8 documents that feed readers take whole.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace w2r {

enum class FeedFormat { Rss091, Rss2, Atom, Json };

// Reads a format name ("rss091", "rss2", "atom", "json"); false and out
// untouched for any other name.
bool parseFeedFormat(std::string_view name, FeedFormat& out);
// The name parseFeedFormat reads for format.
std::string_view feedFormatName(FeedFormat format);

struct FeedItem {
    // The entry title as found in the page's HTML (may hold character
    // references or markup); empty when none was found, which gives
    // "Entry i" with i the item's position.
    std::string title;
    // Link addresses as found (raw attribute values); the first non-empty
    // one is the item's link, else the page address.
    std::vector<std::string> links;
    // The entry's raw HTML in the page's charset.
    std::string_view html;
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
};

struct FeedChannel {
    // The page title as found (or the caller's fallback); raw page charset.
    std::string_view title;
    // The page address, used as written (not in the page's charset).
    std::string_view address;
    // The page as read; its byte-order mark or declaration gives the charset.
    std::string_view rawPage;
    // The charset of an HTTP Content-Type (a label or the whole header
    // value); may be empty. It wins over the page's own declaration.
    std::string_view httpCharset;
};

// Writes a complete feed in one of Rss2, Atom or Json to out. Returns false
// without writing for Rss091 (the system's own writer makes that one) and
// when out fails.
bool writeFeed(FeedFormat format, const FeedChannel& channel, const std::vector<FeedItem>& items,
               std::ostream& out);

}  // namespace w2r
