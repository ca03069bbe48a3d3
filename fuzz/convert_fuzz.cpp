// The whole per-page conversion through the public API, an input being one
// page. Its feed is written in every output format: RSS 0.91 by the
// system's writer and, from the same neutral feed, RSS 2.0, Atom and JSON.
// The input's size picks the page address and the HTTP charset among a few
// ordinary and odd ones.
//
// Two pages are reused as the batch reuses its page: page 0 converts every
// input from memory; every other input page 1 converts too, read from a
// stream as the batch reads files, having last held a different page. Both
// must give the same result, messages and RSS 0.91 feed: what a page held
// before never shows. The RSS 2.0 and Atom feeds must be well-formed XML and
// the JSON feed must parse, each with one item per entry.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "formats/formats.h"
#include "weblog2rss/convert.h"

namespace {

using namespace w2r;
using fuzz::check;

const std::string_view kAddresses[] = {
    "http://www.example.org/weblog/",
    "",
    "http://a",
    "https://h\xc3\xa9.example/a b/?q=<1>&r=\"2\"'#]]>",
    "http://\x93quoted\x94.example/\x01\x7f/",
};
const std::string_view kCharsets[] = {"", "utf-8", "text/html; charset=windows-1252",
                                      "x-no-such-charset"};

// Writes a feed in every format, keeping each one's bytes.
class EveryFormatWriter final : public FeedWriter {
public:
    explicit EveryFormatWriter(std::string_view httpCharset) : httpCharset_(httpCharset) {}

    void write(const Feed& feed) override {
        ++feeds;
        entryCount = feed.entries.size();
        std::ostringstream rss;
        Rss091Writer(rss).write(feed);
        rss091 = rss.str();

        const std::string fallback = fallbackChannelTitle(feed.address);
        FeedChannel channel;
        channel.title = feed.pageTitle ? std::string_view(*feed.pageTitle) : fallback;
        channel.address = feed.address;
        channel.rawPage = feed.page;
        channel.httpCharset = httpCharset_;
        std::vector<FeedItem> items;
        for (const FeedEntry& e : feed.entries) {
            const Timestamp& t = e.time;
            items.push_back({e.titleFound ? e.title : std::string(), e.links, e.html, t.year,
                             t.month, t.day, t.hour, t.min});
        }
        const FeedFormat formats[] = {FeedFormat::Rss2, FeedFormat::Atom, FeedFormat::Json};
        for (int i = 0; i < 3; ++i) {
            std::ostringstream out;
            check(writeFeed(formats[i], channel, items, out), "writeFeed reported a failure");
            others[i] = out.str();
        }
    }

    int feeds = 0;
    std::size_t entryCount = 0;
    std::string rss091;
    std::string others[3];  // RSS 2.0, Atom, JSON

private:
    std::string_view httpCharset_;
};

// Keeps the RSS 0.91 feed alone.
class Rss091Only final : public FeedWriter {
public:
    void write(const Feed& feed) override {
        std::ostringstream out;
        Rss091Writer(out).write(feed);
        text = out.str();
    }
    std::string text;
};

// The element children named name of node.
std::size_t countChildren(const xmlNode* node, const char* name) {
    std::size_t n = 0;
    for (const xmlNode* c = node ? node->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && xmlStrEqual(c->name, BAD_CAST name)) ++n;
    return n;
}

const xmlNode* firstChild(const xmlNode* node, const char* name) {
    for (const xmlNode* c = node ? node->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && xmlStrEqual(c->name, BAD_CAST name)) return c;
    return nullptr;
}

// The XML feed parses, and its items (RSS 2.0: rss/channel/item; Atom:
// feed/entry) number entryCount.
void checkXml(const std::string& xml, bool atom, std::size_t entryCount) {
    xmlDoc* doc =
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "feed.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    check(doc != nullptr, atom ? "Atom feed is not well-formed" : "RSS 2.0 feed is not well-formed",
          xml);
    const xmlNode* root = xmlDocGetRootElement(doc);
    std::size_t items =
        atom ? countChildren(root, "entry") : countChildren(firstChild(root, "channel"), "item");
    xmlFreeDoc(doc);
    check(items == entryCount,
          atom ? "Atom entries differ from the entries found"
               : "RSS 2.0 items differ from the entries found",
          xml);
}

void checkJson(const std::string& text, std::size_t entryCount) {
    nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    check(!doc.is_discarded(), "JSON feed does not parse", text);
    check(doc.is_object() && doc.contains("items") && doc["items"].is_array() &&
              doc["items"].size() == entryCount,
          "JSON items differ from the entries found", text);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

struct Outcome {
    ConvertResult result;
    std::string messages;
    std::string rss091;
};

bool operator==(const Outcome& x, const Outcome& y) {
    return x.result.treeClosed == y.result.treeClosed && x.result.located == y.result.located &&
           x.result.entryCount == y.result.entryCount && x.messages == y.messages &&
           x.rss091 == y.rss091;
}

// Page 1's conversion: read from a stream, as the batch reads its files.
Outcome convertRead(const Converter& converter, Page& page, const std::uint8_t* data,
                    std::size_t size, std::string_view address) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::FILE* f = size > 0 ? fmemopen(&bytes[0], size, "r") : nullptr;
    page.reset();
    if (f) {
        page.read(f);
        std::fclose(f);
    } else {
        page.load(bytes);
    }
    Outcome o;
    Rss091Only writer;
    CollectedDiagnostics diagnostics;
    o.result = convertLoadedPage(converter, page, address, writer, diagnostics);
    o.messages = joined(diagnostics.lines);
    o.rss091 = writer.text;
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Converter converter;
    static Page pages[2];
    static bool convertedBefore = false;  // page 1 converts every other input
    static bool xmlReady = (xmlInitParser(), true);
    (void)xmlReady;

    const std::string_view address = kAddresses[size % std::size(kAddresses)];
    const std::string_view charset = kCharsets[size / 5 % std::size(kCharsets)];
    const std::string_view html(reinterpret_cast<const char*>(data), size);

    EveryFormatWriter writer(charset);
    CollectedDiagnostics diagnostics;
    Outcome first;
    first.result = convertPage(converter, pages[0], html, address, writer, diagnostics);
    first.messages = joined(diagnostics.lines);
    first.rss091 = writer.rss091;

    check(first.result.hasEntries() == (writer.feeds == 1) && writer.feeds <= 1,
          "a feed written without entries, or entries without a feed");
    if (writer.feeds == 1) {
        check(writer.entryCount == static_cast<std::size_t>(first.result.entryCount) &&
                  writer.entryCount > 0,
              "feed entries differ from the count reported");
        checkXml(writer.others[0], false, writer.entryCount);
        checkXml(writer.others[1], true, writer.entryCount);
        checkJson(writer.others[2], writer.entryCount);
    }

    convertedBefore = !convertedBefore;
    if (convertedBefore) {
        Outcome second = convertRead(converter, pages[1], data, size, address);
        check(second == first, "the page's previous content changed the conversion",
              "memory:\n" + first.messages + first.rss091 + "\nstream:\n" + second.messages +
                  second.rss091);
    }
    return 0;
}
