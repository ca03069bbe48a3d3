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
#include "explain_check.h"

namespace {

using std::string;
using namespace w2r;
using w2r::test::checkStructure;

constexpr std::size_t npos = string::npos;

string render(const ExplainReport& r) {
    std::ostringstream out;
    writeExplainReport(r, out);
    return out.str();
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
