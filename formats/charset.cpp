#include "formats/charset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace w2r {
namespace {

// How far into a page its charset declaration is looked for.
constexpr std::size_t kDeclarationScanLimit = 64 * 1024;
// Longest charset label taken seriously.
constexpr std::size_t kLabelLimit = 40;
const char kReplacement[] = "\xEF\xBF\xBD";

// Decodes the UTF-8 sequence at the start of s (n > 0 bytes). Returns the
// code point and sets len to its length; for an ill-formed sequence returns
// -1 and sets len to the bytes to replace (its longest valid prefix, at
// least 1), with cut set when only the end of the input made it ill-formed.
long decodeUtf8(const unsigned char* s, std::size_t n, std::size_t& len, bool& cut) {
    cut = false;
    const unsigned lead = s[0];
    if (lead < 0x80) {
        len = 1;
        return static_cast<long>(lead);
    }
    std::size_t need;
    unsigned lo = 0x80, hi = 0xBF;
    long cp;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) lo = 0xA0;  // overlong
        if (lead == 0xED) hi = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) lo = 0x90;  // overlong
        if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        len = 1;
        return -1;
    }
    for (std::size_t i = 1; i <= need; ++i) {
        if (i >= n) {
            len = i;
            cut = true;
            return -1;
        }
        const unsigned b = s[i];
        if (b < lo || b > hi) {
            len = i;
            return -1;
        }
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | static_cast<long>(b & 0x3F);
    }
    len = need + 1;
    return cp;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }
char upperAscii(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Whether text at pos starts with word, ignoring ASCII case (word is lower).
bool startsWithNoCase(std::string_view text, std::size_t pos, std::string_view word) {
    if (text.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lowerAscii(text[pos + i]) != word[i]) return false;
    return true;
}

std::string lowerTrimmed(std::string_view s) {
    std::size_t a = 0, b = s.size();
    while (a < b && (isSpace(s[a]) || s[a] == '"' || s[a] == '\'')) ++a;
    while (b > a && (isSpace(s[b - 1]) || s[b - 1] == '"' || s[b - 1] == '\'')) --b;
    std::string out;
    for (std::size_t i = a; i < b; ++i) out += lowerAscii(s[i]);
    return out;
}

// The charset parameter of a Content-Type value; empty when there is none.
std::string charsetParameter(std::string_view value) {
    std::size_t pos = 0;
    while (pos < value.size()) {
        std::size_t at = std::string_view::npos;
        for (std::size_t i = pos; i + 7 <= value.size(); ++i)
            if (startsWithNoCase(value, i, "charset")) {
                at = i;
                break;
            }
        if (at == std::string_view::npos) return std::string();
        std::size_t p = at + 7;
        while (p < value.size() && isSpace(value[p])) ++p;
        if (p >= value.size() || value[p] != '=') {
            pos = at + 7;
            continue;
        }
        ++p;
        while (p < value.size() && isSpace(value[p])) ++p;
        if (p < value.size() && (value[p] == '"' || value[p] == '\'')) {
            const std::size_t close = value.find(value[p], p + 1);
            if (close == std::string_view::npos) return std::string();
            return std::string(value.substr(p + 1, close - p - 1));
        }
        std::size_t e = p;
        while (e < value.size() && !isSpace(value[e]) && value[e] != ';') ++e;
        return std::string(value.substr(p, e - p));
    }
    return std::string();
}

// Reads the attributes of a tag from pos (just after its name) up to its
// ">"; calls take(name, value) with the name in lower case. Returns the
// position after the tag.
template <typename Take>
std::size_t readAttributes(std::string_view page, std::size_t pos, Take take) {
    const std::size_t end = page.size();
    while (pos < end) {
        while (pos < end && (isSpace(page[pos]) || page[pos] == '/')) ++pos;
        if (pos >= end || page[pos] == '>') break;
        std::string name;
        do {
            name += lowerAscii(page[pos++]);
        } while (pos < end && !isSpace(page[pos]) && page[pos] != '=' && page[pos] != '>' &&
                 page[pos] != '/');
        while (pos < end && isSpace(page[pos])) ++pos;
        if (pos >= end || page[pos] != '=') {
            take(name, std::string_view());
            continue;
        }
        ++pos;
        while (pos < end && isSpace(page[pos])) ++pos;
        if (pos < end && (page[pos] == '"' || page[pos] == '\'')) {
            std::size_t close = page.find(page[pos], pos + 1);
            if (close == std::string_view::npos) close = end;
            take(name, page.substr(pos + 1, close - pos - 1));
            pos = close + 1;
        } else {
            const std::size_t start = pos;
            while (pos < end && !isSpace(page[pos]) && page[pos] != '>') ++pos;
            take(name, page.substr(start, pos - start));
        }
    }
    return pos + 1;
}

// The charset of a <meta> tag whose attributes start at pos.
std::string metaCharset(std::string_view page, std::size_t pos) {
    std::string charset, httpEquiv, content;
    bool hasCharset = false;
    readAttributes(page, pos, [&](const std::string& name, std::string_view value) {
        if (name == "charset" && !hasCharset) {
            hasCharset = true;
            charset = std::string(value);
        } else if (name == "http-equiv" && httpEquiv.empty()) {
            httpEquiv = lowerTrimmed(value);
        } else if (name == "content" && content.empty()) {
            content = std::string(value);
        }
    });
    if (hasCharset) return charset;
    if (httpEquiv == "content-type") return charsetParameter(content);
    return std::string();
}

// The encoding of an XML declaration at the start of page.
std::string xmlDeclarationCharset(std::string_view page) {
    std::size_t pos = 0;
    while (pos < page.size() && isSpace(page[pos])) ++pos;
    if (!startsWithNoCase(page, pos, "<?xml")) return std::string();
    const std::size_t close = page.find("?>", pos);
    if (close == std::string_view::npos) return std::string();
    std::string encoding;
    readAttributes(page.substr(0, close), pos + 5,
                   [&](const std::string& name, std::string_view value) {
                       if (name == "encoding") encoding = std::string(value);
                   });
    return encoding;
}

// Whether the tag name at pos (after "<" + name) ends there.
bool tagNameEnds(std::string_view page, std::size_t pos) {
    return pos >= page.size() || isSpace(page[pos]) || page[pos] == '/' || page[pos] == '>';
}

}  // namespace

bool isValidUtf8(std::string_view text, bool allowCutEnd) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t i = 0, n = text.size();
    while (i < n) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        std::size_t len;
        bool cut;
        if (decodeUtf8(s + i, n - i, len, cut) < 0) return cut && allowCutEnd;
        i += len;
    }
    return true;
}

std::string xmlSafeUtf8(std::string_view utf8) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::string out;
    out.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        // Runs of ordinary ASCII are copied as they are.
        std::size_t run = i;
        while (run < n && s[run] >= 0x20 && s[run] < 0x80) ++run;
        out.append(utf8.data() + i, run - i);
        i = run;
        if (i >= n) break;
        std::size_t len;
        bool cut;
        const long cp = decodeUtf8(s + i, n - i, len, cut);
        if (cp < 0) {
            out += kReplacement;
        } else if (cp == 0x0B || cp == 0x0C) {
            out += ' ';
        } else if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || cp == 0xFFFE ||
                   cp == 0xFFFF) {
            // not allowed in XML 1.0: dropped
        } else {
            out.append(utf8.data() + i, len);
        }
        i += len;
    }
    return out;
}

std::string iconvCharsetName(std::string_view label) {
    const std::string l = lowerTrimmed(label);
    if (l.empty() || l.size() > kLabelLimit) return std::string();
    for (char c : l)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
              c == '.' || c == ':'))
            return std::string();
    // Labels browsers decode as another charset, and labels a page read as
    // ASCII cannot truthfully carry (or that are unsafe to honour).
    static const struct {
        const char* label;
        const char* name;
    } kAliases[] = {
        {"utf8", "UTF-8"},
        {"unicode-1-1-utf-8", "UTF-8"},
        {"us-ascii", "WINDOWS-1252"},
        {"ascii", "WINDOWS-1252"},
        {"iso-8859-1", "WINDOWS-1252"},
        {"iso8859-1", "WINDOWS-1252"},
        {"iso_8859-1", "WINDOWS-1252"},
        {"latin1", "WINDOWS-1252"},
        {"l1", "WINDOWS-1252"},
        {"cp819", "WINDOWS-1252"},
        {"x-cp1252", "WINDOWS-1252"},
        {"iso-8859-9", "WINDOWS-1254"},
        {"iso8859-9", "WINDOWS-1254"},
        {"latin5", "WINDOWS-1254"},
        {"tis-620", "WINDOWS-874"},
        {"iso-8859-11", "WINDOWS-874"},
        {"shift_jis", "WINDOWS-31J"},
        {"shift-jis", "WINDOWS-31J"},
        {"sjis", "WINDOWS-31J"},
        {"x-sjis", "WINDOWS-31J"},
        {"ms_kanji", "WINDOWS-31J"},
        {"euc-kr", "CP949"},
        {"ks_c_5601-1987", "CP949"},
        {"windows-949", "CP949"},
        {"gb2312", "GB18030"},
        {"gbk", "GB18030"},
        {"x-gbk", "GB18030"},
        {"big5", "BIG5-HKSCS"},
        {"utf-16", ""},
        {"utf-16le", ""},
        {"utf-16be", ""},
        {"utf-32", ""},
        {"utf-32le", ""},
        {"utf-32be", ""},
        {"ucs-2", ""},
        {"ucs-4", ""},
        {"unicode", ""},
        {"utf-7", ""},
        {"x-user-defined", ""},
        {"iso-2022-kr", ""},
        {"iso-2022-cn", ""},
        {"hz-gb-2312", ""},
    };
    std::string name;
    bool aliased = false;
    for (const auto& a : kAliases)
        if (l == a.label) {
            name = a.name;
            aliased = true;
            break;
        }
    if (!aliased)
        for (char c : l) name += upperAscii(c);
    if (name.empty()) return name;
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
    iconv_close(cd);
    return name;
}

std::string declaredCharset(std::string_view page) {
    const std::string_view head = page.substr(0, std::min(page.size(), kDeclarationScanLimit));
    std::size_t pos = 0;
    while ((pos = head.find('<', pos)) != std::string_view::npos) {
        if (head.compare(pos, 4, "<!--") == 0) {
            const std::size_t close = head.find("-->", pos + 4);
            if (close == std::string_view::npos) break;
            pos = close + 3;
        } else if (startsWithNoCase(head, pos, "<meta") && tagNameEnds(head, pos + 5)) {
            std::string charset = metaCharset(head, pos + 5);
            if (!charset.empty()) return charset;
            pos += 5;
        } else if (startsWithNoCase(head, pos, "<body") && tagNameEnds(head, pos + 5)) {
            break;
        } else {
            ++pos;
        }
    }
    return xmlDeclarationCharset(head);
}

std::string detectCharset(std::string_view page, std::string_view httpCharset) {
    if (page.compare(0, 3, "\xEF\xBB\xBF") == 0) return "UTF-8";
    if (page.compare(0, 2, "\xFF\xFE") == 0) return "UTF-16LE";
    if (page.compare(0, 2, "\xFE\xFF") == 0) return "UTF-16BE";
    const bool whole = httpCharset.find_first_of("/;=") != std::string_view::npos;
    std::string name =
        iconvCharsetName(whole ? charsetParameter(httpCharset) : std::string(httpCharset));
    if (!name.empty()) return name;
    name = iconvCharsetName(declaredCharset(page));
    if (!name.empty()) return name;
    return isValidUtf8(page, true) ? "UTF-8" : "WINDOWS-1252";
}

Utf8Converter::Utf8Converter(const std::string& charset)
    : charset_("UTF-8"), cd_(reinterpret_cast<iconv_t>(-1)) {
    if (iconvCharsetName(charset) == "UTF-8") return;
    cd_ = iconv_open("UTF-8", charset.c_str());
    if (cd_ != reinterpret_cast<iconv_t>(-1)) {
        charset_ = charset;
        return;
    }
    cd_ = iconv_open("UTF-8", "WINDOWS-1252");
    if (cd_ != reinterpret_cast<iconv_t>(-1)) charset_ = "WINDOWS-1252";
}

Utf8Converter::~Utf8Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
}

std::string Utf8Converter::convert(std::string_view bytes) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return xmlSafeUtf8(bytes);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // initial shift state
    std::string out(bytes.size() + bytes.size() / 2 + 16, '\0');
    std::size_t used = 0;
    auto room = [&](std::size_t need) {
        if (out.size() - used < need) out.resize(out.size() * 2 + need);
    };
    char* src = const_cast<char*>(bytes.data());
    std::size_t srcLeft = bytes.size();
    // Each round either consumes input or grows the output, so it ends.
    while (srcLeft > 0) {
        room(16);
        char* dst = &out[used];
        std::size_t dstLeft = out.size() - used;
        const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
        const int err = errno;
        used = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1) || err == E2BIG) continue;
        room(sizeof kReplacement);
        std::memcpy(&out[used], kReplacement, 3);
        used += 3;
        if (err == EINVAL) break;  // a sequence cut off by the end
        ++src;                     // an invalid byte: skip it
        --srcLeft;
    }
    for (;;) {  // the closing shift sequence of stateful charsets
        room(16);
        char* dst = &out[used];
        std::size_t dstLeft = out.size() - used;
        const std::size_t r = iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1) || errno != E2BIG) break;
        out.resize(out.size() * 2);
    }
    out.resize(used);
    return xmlSafeUtf8(out);
}

}  // namespace w2r
