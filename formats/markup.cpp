#include "formats/markup.h"

#include <gumbo.h>

#include <utility>
#include <vector>

#include "formats/charset.h"

namespace w2r {
namespace {

// Longest input taken from a title or an attribute value: the parser's
// work, and the depth of the tree it builds, stay bounded on hostile input.
constexpr std::size_t kParseInputLimit = 16 * 1024;

// s cut to at most limit bytes, at a UTF-8 character boundary.
std::string_view cutAtCharBoundary(std::string_view s, std::size_t limit) {
    if (s.size() <= limit) return s;
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

// Parses html as the content of a <div>; releases the tree when it goes.
class Fragment {
public:
    explicit Fragment(const std::string& html) {
        options_ = kGumboDefaultOptions;
        options_.fragment_context = GUMBO_TAG_DIV;
        options_.fragment_namespace = GUMBO_NAMESPACE_HTML;
        options_.max_errors = 0;
        output_ = gumbo_parse_with_options(&options_, html.data(), html.size());
    }
    ~Fragment() {
        if (output_) gumbo_destroy_output(&options_, output_);
    }
    Fragment(const Fragment&) = delete;
    Fragment& operator=(const Fragment&) = delete;
    const GumboNode* root() const { return output_ ? output_->root : nullptr; }

private:
    GumboOptions options_;
    GumboOutput* output_ = nullptr;
};

// Elements whose content is not text a reader sees.
bool hidesText(GumboTag tag) {
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_TEMPLATE;
}

// Elements that separate the words before and after them.
bool separatesWords(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_BR:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_P:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_DL:
        return true;
    default:
        return false;
    }
}

// The text under root in document order; an explicit stack, as the tree of
// hostile input can be deep.
std::string collectText(const GumboNode* root) {
    std::string text;
    struct Step {
        const GumboNode* node;
        bool leaving;
    };
    std::vector<Step> stack{{root, false}};
    while (!stack.empty()) {
        const Step step = stack.back();
        stack.pop_back();
        const GumboNode* node = step.node;
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
            node->type == GUMBO_NODE_CDATA) {
            text += node->v.text.text;
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
        const GumboTag tag = node->v.element.tag;
        if (hidesText(tag)) continue;
        if (separatesWords(tag)) text += ' ';
        if (step.leaving) continue;
        if (separatesWords(tag)) stack.push_back({node, true});
        const GumboVector& children = node->v.element.children;
        for (unsigned i = children.length; i-- > 0;)
            stack.push_back({static_cast<const GumboNode*>(children.data[i]), false});
    }
    return text;
}

// Length of the white space (ASCII or U+00A0) at text[i], 0 if none.
std::size_t spaceAt(const std::string& text, std::size_t i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') return 1;
    if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') return 2;
    return 0;
}

std::string collapseSpaces(const std::string& text) {
    std::string out;
    bool pending = false;
    for (std::size_t i = 0; i < text.size();) {
        if (std::size_t n = spaceAt(text, i)) {
            pending = !out.empty();
            i += n;
            continue;
        }
        if (pending) out += ' ';
        pending = false;
        out += text[i++];
    }
    return out;
}

}  // namespace

std::string htmlPlainText(std::string_view html) {
    const std::string input = xmlSafeUtf8(cutAtCharBoundary(html, kParseInputLimit));
    Fragment fragment(input);
    if (!fragment.root()) return std::string();
    return collapseSpaces(xmlSafeUtf8(collectText(fragment.root())));
}

std::string htmlAttributeValue(std::string_view raw) {
    const std::string value = xmlSafeUtf8(cutAtCharBoundary(raw, kParseInputLimit));
    std::string tag = "<a href=\"";
    for (char c : value) {
        if (c == '"')
            tag += "&quot;";
        else
            tag += c;
    }
    tag += "\">";
    Fragment fragment(tag);
    std::vector<const GumboNode*> stack;
    if (fragment.root()) stack.push_back(fragment.root());
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        if (node->v.element.tag == GUMBO_TAG_A) {
            const GumboAttribute* href = gumbo_get_attribute(&node->v.element.attributes, "href");
            if (!href) return std::string();
            std::string decoded = xmlSafeUtf8(href->value);
            const std::size_t a = decoded.find_first_not_of(" \t\n\r\f");
            if (a == std::string::npos) return std::string();
            const std::size_t b = decoded.find_last_not_of(" \t\n\r\f");
            return decoded.substr(a, b - a + 1);
        }
        const GumboVector& children = node->v.element.children;
        for (unsigned i = children.length; i-- > 0;)
            stack.push_back(static_cast<const GumboNode*>(children.data[i]));
    }
    return std::string();
}

std::string escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string cdataSections(std::string_view text) {
    std::string out = "<![CDATA[";
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find("]]>", pos)) != std::string_view::npos; pos = hit + 2) {
        // "]]" ends this section; the ">" opens the next one.
        out.append(text.substr(pos, hit + 2 - pos));
        out += "]]><![CDATA[";
    }
    out.append(text.substr(pos));
    out += "]]>";
    return out;
}

}  // namespace w2r
