// Character-level helpers shared by the report writer and the page copy.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace w2r::explain_text {

constexpr char32_t kReplacement = 0xFFFD;

// The character at text[i], advancing i past it. Well-formed UTF-8 gives
// its code point; any other byte is read alone as Windows-1252.
char32_t nextChar(std::string_view text, std::size_t& i);

// True for characters an HTML document may hold as text.
bool allowedInHtml(char32_t c);

// Appends c as UTF-8, U+FFFD in place of what HTML does not allow; with
// escape, & < > " ' become character references.
void appendChar(std::string& out, char32_t c, bool escape);

// Appends at most maxChars characters of text, escaped, and an ellipsis
// when some were left out. Returns true when it cut.
bool appendEscaped(std::string& out, std::string_view text,
                   std::size_t maxChars = std::string_view::npos);

inline bool isHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
inline bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// True when text continues at i with the lowercase word, in any case.
bool startsWithNoCase(std::string_view text, std::size_t i, std::string_view word);

}  // namespace w2r::explain_text
