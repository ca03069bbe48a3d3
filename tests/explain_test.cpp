// The explanation report: escaping, previews, the marked page copy, and the
// report's structure and size under hostile and oversized input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "explain/explain.h"

namespace {

using std::string;
using namespace w2r;

constexpr std::size_t npos = string::npos;

string render(const ExplainReport& r) {
    std::ostringstream out;
    writeExplainReport(r, out);
    return out.str();
}

bool validUtf8(const string& s) {
    for (std::size_t i = 0; i < s.size();) {
        unsigned char b = s[i];
        std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; k++)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

// The reference at s[i] of the five the report writes, or null.
const std::pair<const char*, char>* referenceAt(const string& s, std::size_t i) {
    static const std::pair<const char*, char> refs[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&amp;", '&'}};
    for (const auto& r : refs)
        if (s.compare(i, std::char_traits<char>::length(r.first), r.first) == 0) return &r;
    return nullptr;
}

string unescape(const string& s) {
    string out;
    for (std::size_t i = 0; i < s.size();) {
        auto r = s[i] == '&' ? referenceAt(s, i) : nullptr;
        out += r ? r->second : s[i];
        i += r ? std::char_traits<char>::length(r->first) : 1;
    }
    return out;
}

// Reads the report as the restricted HTML the writer emits: known elements,
// all closed in order, double-quoted attributes without '<' or '"', no raw
// '<' or '>' in text, only the five references. Returns the first fault
// ("" when none) and the iframe's srcdoc, decoded.
string checkStructure(const string& h, string& srcdoc) {
    static const std::set<string> known = {"html", "head", "meta",  "title", "style", "body", "h1", "h2", "p",  "dl", "dt",   "dd",
                                           "br",   "code", "table", "thead", "tbody", "tr",   "th", "td", "ul", "li", "span", "iframe"};
    const string doctype = "<!DOCTYPE html>\n";
    if (h.compare(0, doctype.size(), doctype) != 0) return "no doctype";
    if (!validUtf8(h)) return "not UTF-8";
    std::vector<string> open;
    int iframes = 0;
    for (std::size_t i = doctype.size(); i < h.size();) {
        if (h[i] == '&' && !referenceAt(h, i)) return "bad reference at " + std::to_string(i);
        if (h[i] == '>') return "raw > at " + std::to_string(i);
        if (h[i] != '<') {
            i++;
            continue;
        }
        bool closing = h[i + 1] == '/';
        std::size_t j = i + (closing ? 2 : 1), nameAt = j;
        while (j < h.size() && std::isalnum(static_cast<unsigned char>(h[j]))) j++;
        string name = h.substr(nameAt, j - nameAt);
        if (!known.count(name)) return "unknown element '" + name + "' at " + std::to_string(i);
        while (!closing && h[j] == ' ') {
            std::size_t eq = h.find_first_of("=> ", j + 1);
            if (eq == npos) return "tag not closed";
            j = eq;
            if (h[j] != '=') continue;
            if (h[j + 1] != '"') return "unquoted attribute at " + std::to_string(j);
            std::size_t q = h.find('"', j + 2);
            string value = h.substr(j + 2, q - j - 2);
            if (value.find('<') != npos) return "< in attribute";
            if (h.compare(h.rfind(' ', j), 8, " srcdoc=") == 0) srcdoc = unescape(value);
            j = q + 1;
        }
        if (h[j] != '>') return "tag not closed at " + std::to_string(j);
        i = j + 1;
        if (closing) {
            if (open.empty() || open.back() != name) return "misnested </" + name + ">";
            open.pop_back();
        } else if (name != "meta" && name != "br") {
            open.push_back(name);
            iframes += name == "iframe";
            if (name == "style" || name == "title" || name == "iframe") {
                std::size_t end = h.find("</" + name + ">", i);
                if (end == npos || h.find('<', i) != end) return "< inside " + name;
                if (name == "iframe" && end != i) return "iframe has content";
                i = end;
            }
        }
    }
    if (!open.empty()) return "unclosed <" + open.back() + ">";
    return iframes <= 1 ? "" : "more than one iframe";
}

void replaceAll(string& s, const string& from, const string& to) {
    for (std::size_t at = s.find(from); at != npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
}

// The page copy with its markers written short: [C] [/C] [E1] ..., the
// style that comes with them dropped.
string marked(const string& page, std::size_t c, std::size_t e, std::vector<std::size_t> entries = {},
              std::size_t maxSource = kMaxPageSourceBytes) {
    string s = markedPageCopy(page, c, e, entries, maxSource);
    std::size_t style = s.find("<style>.w2r-mark");
    if (style != npos) s.erase(style, s.find("</style>", style) + 8 - style);
    replaceAll(s, "<span class=\"w2r-mark w2r-box\">entry container \u25BC</span>", "[C]");
    replaceAll(s, "<span class=\"w2r-mark w2r-box\">\u25B2 end of entry container</span>", "[/C]");
    replaceAll(s, "<span class=\"w2r-mark w2r-entry\">entry ", "[E");
    replaceAll(s, "</span>", "]");
    return s;
}

TEST(ExplainText, EscapeRepairsAndQuotes) {
    const struct {
        string in, out;
    } cases[] = {
        {"</script><!--\"x\"&'y'", "&lt;/script&gt;&lt;!--&quot;x&quot;&amp;&#39;y&#39;"},
        {string("a\0b\x01\tc\x7f", 7), "a\uFFFDb\uFFFD\tc\uFFFD"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82", "caf\u00e9 \u20ac \U0001F642"},  // valid UTF-8 kept
        {"\x93quoted\x94 \x81", "\u201cquoted\u201d \uFFFD"},                          // lone bytes read as Windows-1252
        {"caf\xe9", "caf\u00e9"},
        {"\xc0\xaf", "\u00c0\u00af"},                                    // overlong form
        {"\xed\xa0\x80", "\u00ed\u00a0\u20ac"},                          // encoded surrogate
        {"\xef\xbf\xbf \xc2\x85 \xef\xb7\x90", "\uFFFD \uFFFD \uFFFD"},  // noncharacters, C1 control
        {"\xe2\x82", "\u00e2\u201a"},                                    // cut sequence
    };
    for (const auto& c : cases) EXPECT_EQ(escapeHtml(c.in), c.out) << c.in;
}

TEST(ExplainText, PlainTextPreview) {
    const struct {
        string html;
        std::size_t max;
        string text;
    } cases[] = {
        {"<p>One</p><p>two <b>bo</b>ld</p>", 100, "One two bold"},
        {"a<script>if (a < b) x = '</p>';</script>b<style>p{}</style>c<!-- <p>x --> d", 100, "a b c d"},
        {"x &amp; &lt;y&gt; &#65;&#x42; &nbsp;&bogus; &#;", 100, "x & <y> AB &bogus; &#;"},
        {"  lots\n\n of \t space  ", 100, "lots of space"},
        {"<a href='x>y'>link</a> <img alt=\"a>b\">after", 100, "link after"},
        {"abcdef", 3, "abc\u2026"},
        {"abc", 3, "abc"},
        {"<unclosed attr='", 10, ""},
        {"\x93q\x94 \xff", 10, "\u201cq\u201d \u00ff"},
    };
    for (const auto& c : cases) EXPECT_EQ(plainTextPreview(c.html, c.max), c.text) << c.html;
    // A 64 MiB entry gives its start at once: the preview reads no further
    // (the best of three runs, against a scan of all of it).
    string huge(64u << 20, 'x');
    auto best = std::chrono::steady_clock::duration::max();
    for (int run = 0; run < 3; run++) {
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(plainTextPreview(huge, 300), string(300, 'x') + "\u2026");
        best = std::min(best, std::chrono::steady_clock::now() - t0);
    }
    EXPECT_LT(best, std::chrono::milliseconds(20));
}

TEST(ExplainPageCopy, MarkersAvoidTagsCommentsAndScripts) {
    const string page =
        "<!DOCTYPE html><title>t <b></title><div class=\"a>b\">x &amp; y \xc3\xa9</div>"
        "<!-- c --><SCRIPT>alert('</p>')</script ><meta http-equiv=refresh content=0>"
        "<base href=http://x/>\n <p>end</p>";
    auto at = [&](const string& s) { return page.find(s); };
    const struct {
        std::size_t c, e;
        std::vector<std::size_t> entries;
        string expect;
    } cases[] = {
        // At a start tag: marked and outlined; the doctype keeps its place.
        {0, npos, {at("<div")}, "<!DOCTYPE html>[C]<title>"},
        {at("<div"), npos, {at("<div")}, "[C][E1]<div data-w2r-container data-w2r-entry class="},
        {at("t <b>") + 2, npos, {}, "</title>[C]<div class"},  // in a title: after it
        {at("a>b"), npos, {}, "b\">[C]x &amp;"},               // inside a quoted value: after the tag
        {at("amp;"), npos, {}, "x &amp;[C] y"},                // never inside a reference
        {at("\xc3\xa9") + 1, npos, {}, "\xc3\xa9[C]</div>"},   // nor inside a character
        {at(" c -->"), npos, {}, "<!-- c -->\n [C]<p>end"},    // comment, then the dropped script and tags
        {at("alert"), at("end"), {}, "<!-- c -->\n [C]<p>[/C]end"},
        {at("\n <p>"), npos, {}, "\n [C]<p data-w2r-container>end"},  // past blanks to the tag
        {npos, page.size(), {}, "</p>[/C]"},
        {page.size() + 1, npos, {}, "<p>end</p>"},  // past the end: dropped
    };
    for (const auto& c : cases) {
        string s = marked(page, c.c, c.e, c.entries);
        EXPECT_NE(s.find(c.expect), npos) << c.expect << "\n" << s;
        EXPECT_EQ(s.find("alert"), npos);
        EXPECT_EQ(s.find("<meta"), npos);
        EXPECT_EQ(s.find("<base"), npos);
    }
    EXPECT_EQ(marked("<p>x</p>", npos, npos), "<p>x</p>");          // no markers: no style
    EXPECT_EQ(marked("<p>abcdef</p>", 7, 5, {}, 6), "<p>ab[/C]c");  // cut at the source limit
    // Entry markers stop at the entry row limit.
    std::vector<std::size_t> many(kMaxEntryRows + 50, 3);
    string s = marked("<p>x</p>", npos, npos, many);
    EXPECT_NE(s.find("[E" + std::to_string(kMaxEntryRows) + "]"), npos);
    EXPECT_EQ(s.find("[E" + std::to_string(kMaxEntryRows + 1) + "]"), npos);
}

// Every string a report holds, from the page or not, set to the same text.
ExplainReport reportFilledWith(const string& v, std::size_t rows, std::size_t links) {
    ExplainReport r;
    r.verdict = r.address = v;
    r.options.assign(rows, {v, v});
    r.pageSize = v.size();
    ExaminedElement e{v, 1, 2, {{1, 2}}, {{3, 4}}, {{5, 6}}, false, v};
    r.examined.assign(rows, e);
    r.examinedTotal = rows;
    r.patterns.assign(rows, {1, true, v, v});
    ExplainedEntry entry{1, v, std::vector<string>(links, v), v, v, 2004, 2, 29, 23, 59, v};
    r.entries.assign(rows, entry);
    return r;
}

TEST(ExplainReport, HostileTextStaysEscaped) {
    const string hostile =
        "</script><script>alert(1)</script></iframe><iframe src=x>\"'<!-- "
        "</style></title><img src=x onerror=alert(2)>&amp;\x93\0-->";
    const string v(hostile.data(), hostile.size() + 1);  // a NUL at the end too
    ExplainReport r = reportFilledWith(v, 3, 3);
    string page = "<html><body><p>" + v + "</iframe><SCRIPT type=module>alert(3)</SCRIPT>x";
    r.pageHtml = page;
    r.containerStart = 0;
    r.entryStarts = {page.find("alert"), page.find("<p>")};
    string html = render(r), srcdoc;
    EXPECT_EQ(checkStructure(html, srcdoc), "");
    EXPECT_NE(srcdoc.find("onerror"), npos);  // the page is there, its scripts are not
    std::transform(srcdoc.begin(), srcdoc.end(), srcdoc.begin(), ::tolower);
    EXPECT_EQ(srcdoc.find("<script"), npos);
    EXPECT_EQ(srcdoc.find("alert(3)"), npos);
    EXPECT_NE(html.find("default-src 'none'"), npos);
    EXPECT_NE(html.find("<iframe sandbox "), npos);
}

TEST(ExplainReport, EmptyReportIsComplete) {
    string html = render(ExplainReport{}), srcdoc;
    EXPECT_EQ(checkStructure(html, srcdoc), "");
    EXPECT_NE(html.find("<table id=\"entries\">"), npos);
    EXPECT_NE(html.find("No entries."), npos);
}

TEST(ExplainReport, LargeInputStaysBounded) {
    // 100,000 examined elements: the first 200 shown, the rest counted.
    ExplainReport r;
    r.examined.assign(100000, ExaminedElement{"div", 3, 1, {}, {}, {}, false, "Only one child."});
    r.examinedTotal = 100000;
    string html = render(r), srcdoc;
    EXPECT_EQ(checkStructure(html, srcdoc), "");
    std::size_t rows = 0;
    for (std::size_t at = html.find("Only one child."); at != npos; at = html.find("Only one child.", at + 1)) rows++;
    EXPECT_EQ(rows, kMaxExaminedRows);
    EXPECT_NE(html.find("and 99800 more elements examined."), npos);
    EXPECT_LT(html.size(), 100000u);

    // Entries of 1 MiB are cut to their first characters.
    ExplainReport big = reportFilledWith(string(1u << 20, 'w'), 2, 2);
    html = render(big);
    EXPECT_EQ(checkStructure(html, srcdoc), "");
    EXPECT_NE(html.find("<td class=\"text\">" + string(kMaxEntryTextChars, 'w') + "\u2026</td>"), npos);
    EXPECT_LT(html.size(), 100000u);

    // The worst case: every field and count past its limit, every character
    // one that escapes to six bytes, the page larger than the copy limit.
    const string quotes(2 * kMaxSentenceChars, '"');
    ExplainReport worst = reportFilledWith(quotes, 2 * std::max(kMaxExaminedRows, kMaxOptions), kMaxLinksPerEntry + 1);
    for (auto& e : worst.examined) e.own = e.gap = e.tail = std::vector<PatternCount>(100, {99999, 99999});
    const string page(kMaxPageSourceBytes + 4096, '"');
    worst.pageHtml = page;
    worst.containerStart = worst.containerEnd = 0;
    worst.entryStarts.assign(2 * kMaxEntryRows, 10);
    html = render(worst);
    EXPECT_EQ(checkStructure(html, srcdoc), "");
    EXPECT_LE(html.size(), kMaxReportBytes);
    EXPECT_NE(html.find("Only the first 3145728 of its"), npos);
    std::cout << "worst-case report: " << html.size() << " bytes\n";
}

}  // namespace
