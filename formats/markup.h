// Text taken out of HTML, and text put into XML.
#pragma once

#include <string>
#include <string_view>

namespace w2r {

// The plain text of an HTML fragment (UTF-8), as an HTML parser reads it:
// character references decoded, tags and comments removed, the content of
// script, style and template elements dropped, line breaks and block
// elements read as spaces; then runs of white space (no-break spaces among
// them) collapsed into one space, the ends trimmed, and the result limited
// to what XML 1.0 allows.
std::string htmlPlainText(std::string_view html);

// An HTML attribute value as written in a page (UTF-8) with its character
// references decoded as an HTML parser does, and with leading and trailing
// white space removed.
std::string htmlAttributeValue(std::string_view raw);

// text with &, <, >, " and ' written as XML references; usable both in
// element content and in quoted attribute values.
std::string escapeXml(std::string_view text);

// text as XML CDATA: each "]]>" inside is split across two sections, so
// the markup reads back as exactly text.
std::string cdataSections(std::string_view text);

}  // namespace w2r
