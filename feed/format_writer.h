// Feeds in the subscription formats (RSS 2.0, Atom 1.0, JSON Feed 1.1): the
// neutral feed handed to the format serialisers, and the writer for any
// format the command line can choose.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "feed/feed.h"
#include "formats/formats.h"

namespace w2r {

// The serialisers' view of feed: the page title when the page has one
// (else empty: the serialiser names the channel after the address), the
// address and the raw page; charsetHint is the charset of an HTTP
// Content-Type ("" when unknown). Views into feed and charsetHint.
FeedChannel feedChannel(const Feed& feed, std::string_view charsetHint);
// The items of feed: titles only when the system found one (else empty,
// which the serialisers turn into "Entry i"), every link, the entry HTML and
// its date and time.
std::vector<FeedItem> feedItems(const Feed& feed);

// Writes each feed in one of Rss2, Atom or Json to out.
class FormatWriter final : public FeedWriter {
public:
    FormatWriter(FeedFormat format, std::ostream& out, std::string charsetHint = std::string())
        : format_(format), out_(out), charsetHint_(std::move(charsetHint)) {}
    void write(const Feed& feed) override;

private:
    FeedFormat format_;
    std::ostream& out_;
    std::string charsetHint_;
};

// The writer for format: the RSS 0.91 writer or a FormatWriter. charsetHint
// as for feedChannel; the RSS 0.91 writer copies bytes as found and has no
// use for it.
std::unique_ptr<FeedWriter> makeFeedWriter(FeedFormat format, std::ostream& out,
                                           std::string charsetHint = std::string());

}  // namespace w2r
