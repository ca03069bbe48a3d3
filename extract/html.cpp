// Parsing of HTML fragments with the HTML5 parser, tree walks and text.
#include "extract/html.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

namespace w2r {

namespace {

// Deepest element nesting handed to the parser.
constexpr int kMaxNesting = 512;

// windows-1252 code points of bytes 0x80-0x9F (0 where the byte is unused).
constexpr unsigned kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendCodePoint(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 if none.
size_t utf8Length(const unsigned char* p, size_t n) {
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t len;
    unsigned min;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4, min = 0x10000;
    else
        return 0;
    if (len > n) return 0;
    unsigned cp = c & (0x3F >> (len - 1));
    for (size_t k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (p[k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool isVoidTag(const std::string& name) {
    static const char* const kVoid[] = {"area",  "base",  "br",       "col",     "embed", "hr",
                                        "img",   "input", "link",     "meta",    "param", "source",
                                        "track", "wbr",   "basefont", "bgsound", "frame", "keygen"};
    for (const char* v : kVoid)
        if (name == v) return true;
    return false;
}

// Elements that cannot nest in themselves (a new one closes the old one)
// or whose end tag may be left out: they never build deep trees.
bool isFlatTag(const std::string& name) {
    static const char* const kFlat[] = {"a",  "p",     "li",     "dt",       "dd",       "tr",
                                        "td", "th",    "option", "optgroup", "rb",       "rt",
                                        "rp", "thead", "tbody",  "tfoot",    "colgroup", "caption",
                                        "h1", "h2",    "h3",     "h4",       "h5",       "h6"};
    for (const char* v : kFlat)
        if (name == v) return true;
    return false;
}

bool isRawTextTag(const std::string& name) {
    return name == "script" || name == "style" || name == "textarea" || name == "title" ||
           name == "xmp" || name == "plaintext";
}

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Case-insensitive search for needle (lower case) in text from pos.
size_t findNoCase(std::string_view text, std::string_view needle, size_t pos) {
    if (needle.empty() || text.size() < needle.size()) return std::string_view::npos;
    for (size_t i = pos; i + needle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() &&
               std::tolower(static_cast<unsigned char>(text[i + k])) == needle[k])
            ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

// End (one past ">") of the tag opening at i, quoted attribute values
// skipped; html.size() when it never closes.
size_t tagEnd(std::string_view html, size_t i) {
    char quote = 0;
    bool afterEquals = false;
    for (size_t k = i + 1; k < html.size(); ++k) {
        char c = html[k];
        if (quote) {
            if (c == quote) quote = 0;
        } else if ((c == '"' || c == '\'') && afterEquals) {
            quote = c;
        } else if (c == '>') {
            return k + 1;
        }
        if (!quote && c != ' ' && c != '\t' && c != '\n' && c != '\r') afterEquals = c == '=';
    }
    return html.size();
}

bool isInlineTag(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_A:
    case GUMBO_TAG_ABBR:
    case GUMBO_TAG_B:
    case GUMBO_TAG_BDI:
    case GUMBO_TAG_BDO:
    case GUMBO_TAG_CITE:
    case GUMBO_TAG_CODE:
    case GUMBO_TAG_DATA:
    case GUMBO_TAG_DFN:
    case GUMBO_TAG_EM:
    case GUMBO_TAG_I:
    case GUMBO_TAG_KBD:
    case GUMBO_TAG_MARK:
    case GUMBO_TAG_Q:
    case GUMBO_TAG_S:
    case GUMBO_TAG_SAMP:
    case GUMBO_TAG_SMALL:
    case GUMBO_TAG_SPAN:
    case GUMBO_TAG_STRONG:
    case GUMBO_TAG_SUB:
    case GUMBO_TAG_SUP:
    case GUMBO_TAG_TIME:
    case GUMBO_TAG_U:
    case GUMBO_TAG_VAR:
    case GUMBO_TAG_FONT:
    case GUMBO_TAG_BIG:
    case GUMBO_TAG_TT:
    case GUMBO_TAG_STRIKE:
    case GUMBO_TAG_NOBR:
    case GUMBO_TAG_WBR:
    case GUMBO_TAG_INS:
    case GUMBO_TAG_DEL:
    case GUMBO_TAG_RUBY:
    case GUMBO_TAG_RT:
    case GUMBO_TAG_RP:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        size_t len = utf8Length(p + i, n - i);
        if (len) {
            out.append(bytes.data() + i, len);
            i += len;
            continue;
        }
        unsigned char c = p[i++];
        unsigned cp = c >= 0xA0 ? c : kCp1252High[c - 0x80];
        appendCodePoint(out, cp ? cp : 0xFFFD);
    }
    return out;
}

std::string limitNesting(std::string_view html, int maxDepth) {
    std::string out;
    out.reserve(html.size());
    int depth = 0;
    size_t i = 0;
    const size_t n = html.size();
    while (i < n) {
        size_t lt = html.find('<', i);
        if (lt == std::string_view::npos) lt = n;
        out.append(html.data() + i, lt - i);
        i = lt;
        if (i >= n) break;
        if (html.compare(i, 4, "<!--") == 0) {
            size_t close = html.find("-->", i + 4);
            size_t end = close == std::string_view::npos ? n : close + 3;
            out.append(html.data() + i, end - i);
            i = end;
            continue;
        }
        bool closing = i + 1 < n && html[i + 1] == '/';
        size_t nameAt = i + (closing ? 2 : 1);
        if (nameAt >= n || !isAlpha(html[nameAt])) {
            out += '<';
            ++i;
            continue;
        }
        std::string name;
        for (size_t k = nameAt;
             k < n && (std::isalnum(static_cast<unsigned char>(html[k])) || html[k] == '-'); ++k)
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(html[k])));
        size_t end = tagEnd(html, i);
        bool counted = !isVoidTag(name) && !isFlatTag(name) &&
                       !(end >= 2 && html[end - 2] == '/' && html[end - 1] == '>');
        bool keep = true;
        if (closing) {
            if (counted) {
                keep = depth <= maxDepth;
                if (depth > 0) --depth;
            }
        } else if (counted) {
            keep = ++depth <= maxDepth;
        }
        if (keep) out.append(html.data() + i, end - i);
        i = end;
        if (!closing && keep && isRawTextTag(name)) {
            // Raw text runs to the element's end tag, which the next round
            // handles.
            size_t close = findNoCase(html, "</" + name, i);
            size_t stop = close == std::string_view::npos ? n : close;
            out.append(html.data() + i, stop - i);
            i = stop;
        }
    }
    return out;
}

HtmlFragment::HtmlFragment(std::string_view html) : text_(limitNesting(toUtf8(html), kMaxNesting)) {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;  // the errors are not needed: do not record them
    output_ = gumbo_parse_with_options(&options, text_.data(), text_.size());
    body_ = output_->root;
    const GumboVector& kids = output_->root->v.element.children;
    for (unsigned k = 0; k < kids.length; ++k) {
        const GumboNode* kid = static_cast<const GumboNode*>(kids.data[k]);
        if (kid->type == GUMBO_NODE_ELEMENT && kid->v.element.tag == GUMBO_TAG_BODY) body_ = kid;
    }
}

HtmlFragment::~HtmlFragment() { gumbo_destroy_output(&kGumboDefaultOptions, output_); }

void walkElements(const GumboNode* top, const std::function<Walk(const GumboNode*)>& visit) {
    if (!top || top->type != GUMBO_NODE_ELEMENT) return;
    std::vector<std::pair<const GumboNode*, unsigned>> stack{{top, 0}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        const GumboVector& kids = node->v.element.children;
        if (next >= kids.length) {
            stack.pop_back();
            continue;
        }
        const GumboNode* kid = static_cast<const GumboNode*>(kids.data[next++]);
        if (kid->type != GUMBO_NODE_ELEMENT && kid->type != GUMBO_NODE_TEMPLATE) continue;
        Walk w = visit(kid);
        if (w == Walk::kStop) return;
        if (w == Walk::kDescend) stack.emplace_back(kid, 0);
    }
}

const char* attribute(const GumboNode* element, const char* name) {
    if (!element || element->type != GUMBO_NODE_ELEMENT) return nullptr;
    const GumboAttribute* a = gumbo_get_attribute(&element->v.element.attributes, name);
    return a ? a->value : nullptr;
}

bool anyClassToken(const GumboNode* element, const std::function<bool(const std::string&)>& test) {
    const char* cls = attribute(element, "class");
    if (!cls) return false;
    std::string token;
    for (const char* p = cls;; ++p) {
        if (*p && !std::isspace(static_cast<unsigned char>(*p))) {
            token += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
            continue;
        }
        if (!token.empty() && test(token)) return true;
        token.clear();
        if (!*p) return false;
    }
}

bool isInvisible(const GumboNode* element) {
    switch (element->v.element.tag) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_SVG:
    case GUMBO_TAG_MATH:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
        return true;
    default:
        break;
    }
    if (element->v.element.tag_namespace != GUMBO_NAMESPACE_HTML) return true;
    if (attribute(element, "hidden")) return true;
    const char* ariaHidden = attribute(element, "aria-hidden");
    if (ariaHidden && std::strcmp(ariaHidden, "true") == 0) return true;
    return anyClassToken(element, [](const std::string& t) {
        return t == "screen-reader-text" || t == "sr-only" || t == "visually-hidden" ||
               t == "visuallyhidden" || t == "hidden";
    });
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string lowerLetters(std::string_view text) {
    std::string out = lowerAscii(text);
    for (size_t i = 0; i + 1 < out.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(out[i]);
        unsigned char b = static_cast<unsigned char>(out[i + 1]);
        if (a == 0xC3 && b >= 0x80 && b <= 0x9E && b != 0x97) {  // À-Þ
            out[i + 1] = static_cast<char>(b + 0x20);
        } else if (a == 0xD0 && b >= 0x90 && b <= 0x9F) {  // А-П
            out[i + 1] = static_cast<char>(b + 0x20);
        } else if (a == 0xD0 && b >= 0xA0 && b <= 0xAF) {  // Р-Я
            out[i] = static_cast<char>(0xD1);
            out[i + 1] = static_cast<char>(b - 0x20);
        } else if (a == 0xD0 && b >= 0x80 && b <= 0x8F) {  // Ѐ-Џ
            out[i] = static_cast<char>(0xD1);
            out[i + 1] = static_cast<char>(b + 0x10);
        } else {
            continue;
        }
        ++i;
    }
    return out;
}

std::string collapseWhitespace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool space = false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool isSpace = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            isSpace = true;
            ++i;
        }
        if (isSpace) {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += static_cast<char>(c);
    }
    return out;
}

std::string elementText(const GumboNode* element, const std::function<bool(const GumboNode*)>& skip,
                        const std::function<bool(const std::string&)>& dropText, size_t limit) {
    std::string raw;
    std::vector<std::pair<const GumboNode*, unsigned>> stack{{element, 0}};
    while (!stack.empty() && raw.size() <= limit) {
        auto& [node, next] = stack.back();
        const GumboVector& kids = node->v.element.children;
        if (next >= kids.length) {
            if (!isInlineTag(node->v.element.tag)) raw += ' ';
            stack.pop_back();
            continue;
        }
        const GumboNode* kid = static_cast<const GumboNode*>(kids.data[next++]);
        switch (kid->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_CDATA:
        case GUMBO_NODE_WHITESPACE: {
            const char* t = kid->v.text.text;
            if (dropText && kid->type == GUMBO_NODE_TEXT) {
                std::string piece = collapseWhitespace(t);
                if (dropText(piece)) {
                    raw += ' ';
                    break;
                }
            }
            raw += t;
            break;
        }
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            if (isInvisible(kid) || (skip && skip(kid))) {
                raw += ' ';
                break;
            }
            if (!isInlineTag(kid->v.element.tag)) raw += ' ';
            stack.emplace_back(kid, 0);
            break;
        default:
            break;
        }
    }
    return collapseWhitespace(raw);
}

}  // namespace w2r
