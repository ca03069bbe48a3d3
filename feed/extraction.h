// The extraction mode: entry titles, links and descriptions read from the
// raw page with an HTML5 parser and an RFC 3986 URI library, beside the
// system's regular-expression finders. Each part is switched on its own.
#pragma once

#include <string>
#include <string_view>

namespace w2r {

struct EntryLayout;
class Finders;
class Page;
struct Feed;

struct ExtractionSettings {
    // Dates: after the fifteen patterns, the extra forms of
    // extract/date_forms.h (other languages, ordinal days, <time datetime>).
    bool extraDateForms = false;
    // Titles: the first heading or title-classed element of the entry's raw
    // HTML, its text decoded; the system's finders when there is none.
    bool titleFinder = false;
    // Links: every <a href> of the entry resolved to an absolute http or
    // https address, the title's own link first.
    bool linkFinder = false;
    // Descriptions: the entry's raw HTML, with its character references and
    // comments, instead of the text store's copy.
    bool rawEntryHtml = false;
    // Entries: the content of scripts and styles is read as blank (markup
    // inside script strings makes no elements); the date pattern that most
    // children carry marks the entries; dates printed between a
    // container's elements (archive lists) mark entries too.
    bool entryRules = false;

    bool usesRawPage() const { return titleFinder || linkFinder || rawEntryHtml; }
    // Every part switched on.
    static ExtractionSettings all() { return {true, true, true, true, true}; }
};

// The feed of the page's entry table read with the parts of settings that
// concern entries (titles, links, descriptions); the other fields as
// makeFeed gives them. layout is the cut the locator made (its container
// gives the HTML before the first entry and after the last one); may be
// null.
Feed makeExtractedFeed(const Finders& finders, const Page& page, std::string_view address,
                       const ExtractionSettings& settings, const EntryLayout* layout);

// A UTF-8 text as HTML made only of ASCII: "&", "<" and ">" as entities,
// every other character above U+007E as a numeric character reference, so
// that it reads the same in every ASCII-compatible charset. Control
// characters are dropped.
std::string asciiHtmlText(std::string_view utf8);

}  // namespace w2r
