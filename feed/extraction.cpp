// Titles, links and descriptions of entries read from the raw page.
#include "feed/extraction.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "dom/tree.h"
#include "entries/page.h"
#include "extract/links.h"
#include "extract/titles.h"
#include "feed/feed.h"
#include "feed/finders.h"
#include "formats/charset.h"
#include "formats/markup.h"

namespace w2r {
namespace {

// Entries after the first whose titles tell whether the first has one of
// its own.
constexpr std::size_t kTitleSample = 8;
// The title of an entry that has none.
const char kUntitled[] = "(untitled)";

// Appends the decimal numeric character reference of cp.
void appendReference(std::string& out, unsigned cp) {
    out += "&#";
    out += std::to_string(cp);
    out += ';';
}

// An absolute address as an attribute value in HTML: "&" written as an
// entity, so that decoding it gives the address back.
std::string attributeText(const std::string& url) {
    std::string out;
    out.reserve(url.size());
    for (char c : url) {
        if (c == '&')
            out += "&amp;";
        else
            out += c;
    }
    return out;
}

// The raw HTML of the store slice [a, b), the store's copy when the page
// could not be mapped.
std::string_view rawOf(const Page& page, const char* a, const char* b) {
    if (!a || !b || a >= b) return {};
    std::string_view raw = page.origins().rawSlice(a, b);
    if (!raw.empty()) return raw;
    return std::string_view(a, static_cast<std::size_t>(b - a));
}

}  // namespace

std::string asciiHtmlText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            ++i;
            if (c == '&')
                out += "&amp;";
            else if (c == '<')
                out += "&lt;";
            else if (c == '>')
                out += "&gt;";
            else if (c == '\t' || c == '\n' || c == '\r')
                out += ' ';
            else if (c >= 0x20 && c < 0x7F)
                out += static_cast<char>(c);
            continue;
        }
        // A UTF-8 sequence; an invalid byte reads as U+FFFD.
        int extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
        unsigned cp = extra < 0 ? 0 : c & (0x3F >> extra);
        std::size_t k = 1;
        for (; extra > 0 && k <= static_cast<std::size_t>(extra); ++k) {
            if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80)
                break;
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        bool whole = extra > 0 && k == static_cast<std::size_t>(extra) + 1;
        static const unsigned kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (!whole || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            appendReference(out, 0xFFFD);
            i += whole ? k : (k > 1 ? k : 1);
            continue;
        }
        i += k;
        if (cp == 0xFFFE || cp == 0xFFFF || (cp >= 0x80 && cp < 0xA0)) continue;
        appendReference(out, cp);
    }
    return out;
}

Feed makeExtractedFeed(const Finders& finders, const Page& page, std::string_view address,
                       const ExtractionSettings& settings, const EntryLayout* layout) {
    Feed feed = makeFeed(finders, page, address);
    if (!settings.usesRawPage() || feed.entries.empty()) return feed;
    const EntryTable& table = page.entries();
    const std::size_t n = table.size();

    // Each entry's raw HTML, and the HTML around the entries inside their
    // container.
    std::vector<std::string_view> raw(n);
    for (std::size_t i = 0; i < n; i++)
        raw[i] = rawOf(page, table[i].storeStart, table[i].storeEnd);
    if (settings.rawEntryHtml)
        for (std::size_t i = 0; i < n; i++)
            if (!raw[i].empty()) feed.entries[i].html = raw[i];
    if (!settings.titleFinder && !settings.linkFinder) return feed;

    std::string_view before, after;
    if (layout && layout->container) {
        const Node* box = layout->container;
        const char* boxEnd = box->end ? box->end : page.tree().storeEnd();
        before = rawOf(page, box->start, table.front().storeStart);
        after = rawOf(page, table.back().storeEnd, boxEnd);
    }

    // The parser reads UTF-8: pieces are converted from the page's charset.
    Utf8Converter toUtf8(detectCharset(page.text(), ""));
    std::vector<std::unique_ptr<HtmlFragment>> parsed(n);
    auto fragment = [&](std::size_t i) -> const HtmlFragment* {
        if (!parsed[i]) parsed[i] = std::make_unique<HtmlFragment>(toUtf8.convert(raw[i]));
        return parsed[i].get();
    };
    std::unique_ptr<HtmlFragment> head, tail;
    if (!before.empty()) head = std::make_unique<HtmlFragment>(toUtf8.convert(before));
    if (!after.empty()) tail = std::make_unique<HtmlFragment>(toUtf8.convert(after));
    const std::string base =
        settings.linkFinder ? findBaseHref(page.text(), address) : std::string();

    // When the entries after the first have a title of their own, the
    // first has one too: what precedes it (a page heading, "Posts") is not
    // its title.
    const std::size_t sample = std::min<std::size_t>(n - 1, kTitleSample);
    std::size_t standAlone = 0;
    for (std::size_t i = 1; i <= sample; i++)
        if (!findModernTitleAndLink(*fragment(i), nullptr, nullptr).text.empty()) standAlone++;
    for (std::size_t i = 1; i <= sample; i++) parsed[i].reset();
    const bool firstStandsAlone = sample > 0 && standAlone * 2 > sample;

    for (std::size_t i = 0; i < n; i++) {
        FeedEntry& e = feed.entries[i];
        const HtmlFragment* own = fragment(i);
        const HtmlFragment* preceding = i > 0              ? fragment(i - 1)
                                        : firstStandsAlone ? nullptr
                                                           : head.get();
        const HtmlFragment* following = i + 1 < n ? nullptr : tail.get();
        ModernTitle t = findModernTitleAndLink(*own, preceding, following);
        if (settings.titleFinder && !t.text.empty()) {
            e.title = asciiHtmlText(t.text);
            e.titleFound = true;
        } else if (settings.titleFinder &&
                   (!e.titleFound || !isAcceptableTitle(htmlPlainText(toUtf8.convert(e.title))))) {
            // The system's finders gave nothing, or a date, a byline or the
            // like.
            e.title = kUntitled;
            e.titleFound = true;
        }
        if (settings.linkFinder) {
            const std::string titleLink = settings.titleFinder ? t.link : std::string();
            std::vector<std::string> links = findModernLinks(*own, base, titleLink);
            // After the title's own link, the links that look like a post's
            // permalink come first: the item's link is the first one.
            const std::size_t keep =
                links.empty() || titleLink.empty() || resolveHttpUrl(titleLink, base).empty() ? 0
                                                                                              : 1;
            std::stable_partition(
                links.begin() + static_cast<std::ptrdiff_t>(keep), links.end(),
                [](const std::string& url) { return looksLikePermalink(url, ""); });
            e.links.clear();
            for (const std::string& link : links) e.links.push_back(attributeText(link));
        }
        // Fragments before the previous entry are no longer needed.
        if (i >= 1) parsed[i - 1].reset();
    }
    return feed;
}

}  // namespace w2r
