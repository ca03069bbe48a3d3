// An HTML fragment parsed with the HTML5 parser, and the tree walks and text
// helpers the title and link finders share.
#pragma once

#include <gumbo.h>

#include <functional>
#include <string>
#include <string_view>

namespace w2r {

// Bytes as UTF-8: valid UTF-8 sequences are kept, every other byte is read
// as windows-1252 (the usual encoding of pages that are not UTF-8).
std::string toUtf8(std::string_view bytes);

// Copy of html whose element nesting stays within maxDepth: start tags
// that would open deeper elements, and the end tags that close them, are
// dropped. The parser's work grows with the nesting depth for every tag, so
// this keeps parsing of hostile input linear.
std::string limitNesting(std::string_view html, int maxDepth);

// One fragment parsed into a tree (owned; freed with the object).
class HtmlFragment {
public:
    explicit HtmlFragment(std::string_view html);
    ~HtmlFragment();
    HtmlFragment(const HtmlFragment&) = delete;
    HtmlFragment& operator=(const HtmlFragment&) = delete;

    // The body element (the fragment's content); never null.
    const GumboNode* body() const { return body_; }

private:
    std::string text_;  // the parser's input; its tree points into it
    GumboOutput* output_;
    const GumboNode* body_;
};

// What a visitor tells the walk to do after seeing an element.
enum class Walk { kDescend, kSkipChildren, kStop };

// Visits the elements below top (not top itself) in document order without
// recursion.
void walkElements(const GumboNode* top, const std::function<Walk(const GumboNode*)>& visit);

// Value of attribute name (lower case), null when absent.
const char* attribute(const GumboNode* element, const char* name);
// True when the element's class attribute holds a token for which
// test(lowercased token) is true.
bool anyClassToken(const GumboNode* element, const std::function<bool(const std::string&)>& test);

// Elements whose content a reader never sees as text: scripts, styles,
// templates, embedded SVG and MathML, form controls, and elements marked
// hidden or meant for screen readers only.
bool isInvisible(const GumboNode* element);

// Visible text of an element: text nodes joined, block boundaries and <br>
// as spaces, white space (NBSP included) collapsed, trimmed. skip(e) true
// leaves out the subtree of e; a text node for which dropText(text) is true
// is left out too (both may be empty functions). Collection stops once
// about limit bytes were gathered.
std::string elementText(const GumboNode* element,
                        const std::function<bool(const GumboNode*)>& skip = {},
                        const std::function<bool(const std::string&)>& dropText = {},
                        size_t limit = static_cast<size_t>(-1));

// The text with ASCII letters lowered (other bytes kept).
std::string lowerAscii(std::string_view text);
// The UTF-8 text with ASCII, Latin-1 and Cyrillic capital letters lowered.
std::string lowerLetters(std::string_view text);

// Collapses runs of white space (ASCII and NBSP) to one space and trims.
std::string collapseWhitespace(std::string_view text);

}  // namespace w2r
