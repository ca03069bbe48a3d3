// The feed layer: a page's entries as a neutral list, and the writers that
// serialise it. A new output format is one more FeedWriter.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "entries/entries.h"

namespace w2r {

class Finders;
class Page;

struct FeedEntry {
    std::string title;               // as found in the entry, else "Entry <i>"
    bool titleFound = false;         // whether title was found in the entry
    std::vector<std::string> links;  // http:// addresses of its links, in order
    std::string_view html;           // the entry's text, in the page's entry table
    Timestamp time;                  // date and time, with the pattern types
};

struct Feed {
    std::string_view address;              // the page's address ("" for standard input)
    std::string_view page;                 // the raw page, up to its first NUL
    std::optional<std::string> pageTitle;  // the first bare <title> of the raw page
    std::vector<FeedEntry> entries;
};

// The feed of the page's entry table. The views point into page and
// address: the feed is valid while both are unchanged.
Feed makeFeed(const Finders& finders, const Page& page, std::string_view address);

class FeedWriter {
public:
    virtual ~FeedWriter() = default;
    virtual void write(const Feed& feed) = 0;
};

// RSS 0.91 with dc:date: the channel title is the page title, else the
// address from byte 8 to the next "/"; entries without links link to the
// address. Text is written as found, without escaping.
class Rss091Writer final : public FeedWriter {
public:
    explicit Rss091Writer(std::ostream& out) : out_(out) {}
    void write(const Feed& feed) override;

private:
    std::ostream& out_;
};

// Channel title taken from the address when the page has none: from byte 8
// up to the next "/" (or the end); empty for addresses shorter than 8 bytes.
std::string fallbackChannelTitle(std::string_view address);

}  // namespace w2r
