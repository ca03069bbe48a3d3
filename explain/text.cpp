// Escaping, UTF-8 repair and plain-text previews for the report.
#include "explain/text.h"

#include "explain/explain.h"

namespace w2r::explain_text {

namespace {

// Windows-1252 at 0x80..0x9F; 0 where the code page leaves a byte unused.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t singleByte(unsigned char b) {
    if (b < 0x80 || b >= 0xA0) return b;
    char16_t c = kCp1252High[b - 0x80];
    return c ? c : kReplacement;
}

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

char32_t nextChar(std::string_view text, std::size_t& i) {
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b = at(i);
    std::size_t n = text.size();
    // Length and the allowed range of the second byte (which rules out
    // overlong forms, surrogates and values past U+10FFFF).
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF)
        len = 2;
    else if (b == 0xE0) {
        len = 3;
        lo = 0xA0;
    } else if (b >= 0xE1 && b <= 0xEC)
        len = 3;
    else if (b == 0xED) {
        len = 3;
        hi = 0x9F;
    } else if (b >= 0xEE && b <= 0xEF)
        len = 3;
    else if (b == 0xF0) {
        len = 4;
        lo = 0x90;
    } else if (b >= 0xF1 && b <= 0xF3)
        len = 4;
    else if (b == 0xF4) {
        len = 4;
        hi = 0x8F;
    }
    bool ok = len > 0 && i + len <= n && at(i + 1) >= lo && at(i + 1) <= hi;
    for (std::size_t k = 2; ok && k < len; k++) ok = isContinuation(at(i + k));
    if (!ok) {
        i++;
        return singleByte(b);
    }
    char32_t c = b & (0xFF >> (len + 1));
    for (std::size_t k = 1; k < len; k++) c = (c << 6) | (at(i + k) & 0x3F);
    i += len;
    return c;
}

bool allowedInHtml(char32_t c) {
    if (c < 0x20) return c == '\t' || c == '\n' || c == '\r' || c == '\f';
    if (c >= 0x7F && c <= 0x9F) return false;
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    if (c >= 0xFDD0 && c <= 0xFDEF) return false;
    if ((c & 0xFFFE) == 0xFFFE) return false;
    return c <= 0x10FFFF;
}

void appendChar(std::string& out, char32_t c, bool escape) {
    if (!allowedInHtml(c)) c = kReplacement;
    if (escape) {
        switch (c) {
        case '&':
            out += "&amp;";
            return;
        case '<':
            out += "&lt;";
            return;
        case '>':
            out += "&gt;";
            return;
        case '"':
            out += "&quot;";
            return;
        case '\'':
            out += "&#39;";
            return;
        default:
            break;
        }
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool appendEscaped(std::string& out, std::string_view text, std::size_t maxChars) {
    std::size_t i = 0, count = 0;
    while (i < text.size()) {
        if (count == maxChars) {
            out += "\u2026";
            return true;
        }
        appendChar(out, nextChar(text, i), true);
        count++;
    }
    return false;
}

bool startsWithNoCase(std::string_view text, std::size_t i, std::string_view word) {
    if (i > text.size() || text.size() - i < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); k++)
        if (asciiLower(text[i + k]) != word[k]) return false;
    return true;
}

}  // namespace w2r::explain_text

namespace w2r {

using namespace explain_text;

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    appendEscaped(out, text);
    return out;
}

namespace {

bool endsName(char c) { return isHtmlSpace(c) || c == '/' || c == '>'; }

// Index just past the '>' that ends the tag whose name starts at i.
std::size_t skipTag(std::string_view s, std::size_t i) {
    std::size_t n = s.size();
    while (i < n && s[i] != '>') {
        if (s[i] == '"' || s[i] == '\'') {
            std::size_t q = s.find(s[i], i + 1);
            if (q == std::string_view::npos) return n;
            i = q;
        }
        i++;
    }
    return i < n ? i + 1 : n;
}

// Elements that read as a word of their own when their tags are dropped
// are all but these.
bool isInline(std::string_view name) {
    static constexpr std::string_view kInline[] = {
        "a", "abbr", "b",     "big",  "cite",   "code",   "em",  "font", "i",  "kbd", "mark",
        "q", "s",    "small", "span", "strike", "strong", "sub", "sup",  "tt", "u",   "wbr"};
    for (auto w : kInline)
        if (name == w) return true;
    return false;
}

// The character a reference at s[i] == '&' stands for, advancing i past it;
// a lone '&' when it is none of the forms read here.
char32_t readReference(std::string_view s, std::size_t& i) {
    std::size_t n = s.size();
    std::size_t k = i + 1;
    if (k < n && s[k] == '#') {
        k++;
        bool hex = k < n && (s[k] == 'x' || s[k] == 'X');
        if (hex) k++;
        char32_t v = 0;
        std::size_t digits = 0;
        for (; k < n; k++, digits++) {
            char c = s[k];
            int d = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
            if (d < 0) break;
            if (v <= 0x10FFFF) v = v * (hex ? 16 : 10) + d;
        }
        if (digits == 0) {
            i++;
            return '&';
        }
        if (k < n && s[k] == ';') k++;
        i = k;
        return v > 0x10FFFF ? kReplacement : v;
    }
    static constexpr struct {
        std::string_view name;
        char32_t c;
    } kNamed[] = {{"amp;", '&'},  {"lt;", '<'},    {"gt;", '>'},
                  {"quot;", '"'}, {"apos;", '\''}, {"nbsp;", 0xA0}};
    for (const auto& r : kNamed)
        if (s.substr(k, r.name.size()) == r.name) {
            i = k + r.name.size();
            return r.c;
        }
    i++;
    return '&';
}

}  // namespace

std::string plainTextPreview(std::string_view s, std::size_t maxChars) {
    std::string out;
    std::size_t count = 0, n = s.size(), i = 0;
    bool pendingSpace = false;
    while (i < n) {
        char c = s[i];
        if (c == '<') {
            if (startsWithNoCase(s, i, "<!--")) {
                std::size_t e = s.find("-->", i + 4);
                i = e == std::string_view::npos ? n : e + 3;
                continue;
            }
            bool end = i + 1 < n && s[i + 1] == '/';
            std::size_t nameAt = i + (end ? 2 : 1);
            if (nameAt < n &&
                (isAsciiAlpha(s[nameAt]) || (!end && (s[nameAt] == '!' || s[nameAt] == '?')))) {
                std::size_t e = nameAt;
                while (e < n && !endsName(s[e])) e++;
                std::string name;
                for (std::size_t k = nameAt; k < e; k++) name += asciiLower(s[k]);
                i = skipTag(s, e);
                if (!isInline(name)) pendingSpace = true;
                if (!end && (name == "script" || name == "style")) {
                    // Up to and past the element's end tag.
                    std::string close = "</" + name;
                    std::size_t k = i;
                    while (k < n && !(startsWithNoCase(s, k, close) &&
                                      (k + close.size() == n || endsName(s[k + close.size()]))))
                        k++;
                    i = k < n ? skipTag(s, k + close.size()) : n;
                }
                continue;
            }
        }
        char32_t ch = c == '&' ? readReference(s, i) : nextChar(s, i);
        if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == 0xA0) {
            pendingSpace = true;
            continue;
        }
        if (count == maxChars) {
            out += "\u2026";
            break;
        }
        if (pendingSpace && !out.empty()) {
            out += ' ';
            if (++count == maxChars) {
                out += "\u2026";
                break;
            }
        }
        pendingSpace = false;
        appendChar(out, ch, false);
        count++;
    }
    return out;
}

}  // namespace w2r
