// Entry titles found in the entry's parsed HTML.
#pragma once

#include <string>
#include <string_view>

#include "extract/html.h"

namespace w2r {

struct ModernTitle {
    std::string text;  // UTF-8, markup removed, white space collapsed; "" when none
    std::string link;  // href of the title's own link as written; "" when none
};

// The HTML around an entry, for layouts whose title is cut apart from the
// entry (both may be empty).
struct TitleContext {
    // From the previous entry's start (or the container's start) to this
    // entry's start: usually the previous entry.
    std::string_view preceding;
    // From this entry's end to the next entry's start (or the container's
    // end).
    std::string_view following;
};

// The title of an entry. Candidates are headings (h1-h6) and elements whose
// class names a title ("entry-title", "post-title", "headline", ...); a
// candidate inside another one is the more precise title. Tried in order:
//  1. the first candidate with a title that opens the entry (little of the
//     entry's own text before it);
//  2. the last candidate of the preceding HTML when almost nothing of its
//     own text follows it: the header of this entry, cut into the previous
//     slice (a date header with the title, then the post);
//  3. when the entry holds nothing but stamps and bylines (a bare date
//     header), the opening candidate of the following HTML;
//  4. the entry's first candidate with a title anywhere;
//  5. the text of the first link that looks like a permalink (dated path,
//     ".html", "?p=", "/post/", "/archives/", rel="bookmark", ...), in the
//     entry, then (bare entries only) in the following HTML.
// Texts that are no titles are skipped and the search goes on: dates,
// bylines ("Posted by", "By X"), category and tag lists, bare separators,
// "Permalink", "Comments (3)", "Read more" and the like, and headings that
// link to a category or tag page. Date stamps, <time> elements and elements
// classed as dates or meta data are left out of a title's text.
//
// Empty text when nothing fits: the caller falls back to its own finders.
ModernTitle findModernTitleAndLink(std::string_view entryHtml, const TitleContext& around = {});
ModernTitle findModernTitleAndLink(const HtmlFragment& entry, const HtmlFragment* preceding,
                                   const HtmlFragment* following);

// The text of findModernTitleAndLink.
std::string findModernTitle(std::string_view entryHtml, const TitleContext& around = {});

// Whether a text can be an entry's title: not empty, not only separators,
// not a date, byline, category list or link label such as "Read more".
bool isAcceptableTitle(std::string_view text);

// Whether an href looks like the permalink of a weblog post (rel is the
// link's rel attribute, may be empty).
bool looksLikePermalink(std::string_view href, std::string_view rel);

// Whether an href leads to a category, tag, label, topic or author page.
bool isTaxonomyHref(std::string_view href);

}  // namespace w2r
