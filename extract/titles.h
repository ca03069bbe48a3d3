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

// The title of an entry, tried in this order:
//  1. the first heading (h1-h6) or element whose class names a title
//     ("entry-title", "post-title", "headline", ...) with an acceptable
//     text; a title element inside such a candidate is preferred to it;
//  2. the text of the first link that looks like a permalink (dated path,
//     ".html", "?p=", "/post/", "/archives/", rel="bookmark", ...).
// Texts that are no titles are skipped and the search goes on: dates,
// bylines ("Posted by", "By X"), category and tag lists, bare separators,
// "Permalink", "Comments (3)", "Read more" and the like. Date stamps,
// <time> elements and elements classed as dates or meta data are left out
// of a title's text.
//
// followingHtml is the HTML after the entry up to where the next entry
// begins (may be empty). It is searched, with the same rules, only when the
// entry itself holds no more than a date header or a byline: layouts whose
// date header is cut apart from the post it belongs to.
//
// Empty text when nothing fits: the caller falls back to its own finders.
ModernTitle findModernTitleAndLink(std::string_view entryHtml,
                                   std::string_view followingHtml = {});
ModernTitle findModernTitleAndLink(const HtmlFragment& entry,
                                   const HtmlFragment* following = nullptr);

// The text of findModernTitleAndLink.
std::string findModernTitle(std::string_view entryHtml,
                            std::string_view followingHtml = {});

// Whether a text can be an entry's title: not empty, not only separators,
// not a date, byline, category list or link label such as "Read more".
bool isAcceptableTitle(std::string_view text);

// Whether an href looks like the permalink of a weblog post (rel is the
// link's rel attribute, may be empty).
bool looksLikePermalink(std::string_view href, std::string_view rel);

}  // namespace w2r
