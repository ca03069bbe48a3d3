// Page tree: pages scanned into the builder, the shape and text ranges they
// produce, and release of large and hostile trees.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "dom/builder.h"
#include "dom/dom.h"
#include "scanner/vobHTMLParser.h"
#include "tests/corpus.h"

namespace {

namespace gi = testing::internal;
constexpr int kDeep = 200000;
char kOpen[] = "<div>", kClose[] = "</div>";

// TAG"stored bytes"{children...} for a closed subtree; a list for root.
std::string dump(const node* n) {
    std::string s, kids;
    for (int i = 0; i < n->childCount; i++) kids += (i ? " " : "") + dump(n->children[i]);
    if (n == &root) return kids;
    s = std::string(html_tag_names[n->tag]) + "\"" + std::string(n->start, n->end) + "\"";
    return n->childCount ? s + "{" + kids + "}" : s;
}

// Walks the whole tree without recursion and checks every node's links:
// parent, next, childCount vs children, ranges inside the parent's range and
// siblings in store order. Returns the number of nodes below root.
long checkTree() {
    long count = 0;
    std::vector<const node*> todo{&root};
    while (!todo.empty() && count <= 10000000) {   // corrupt links: stop
        const node* n = todo.back();
        todo.pop_back();
        EXPECT_EQ(n->childCount == 0, n->children == nullptr);
        for (int i = 0; i < n->childCount; i++, count++) {
            const node* c = n->children[i];
            EXPECT_EQ(c->parent, n);
            EXPECT_EQ(c->next, i + 1 < n->childCount ? n->children[i + 1] : nullptr);
            EXPECT_GE(c->start, n == &root ? buffer : n->start);
            EXPECT_LE(c->start, c->end);   // also fails for an unclosed (null) end
            EXPECT_LE(c->end, n == &root ? ptr_buffer : n->end);
            if (i > 0) { EXPECT_GE(c->start, n->children[i - 1]->end); }
            todo.push_back(c);
        }
    }
    return count;
}

struct DomTest : ::testing::Test {
    void SetUp() override { resetParseState(); }
    void TearDown() override { releaseTree(); }   // also empties tag_stack
    // Scans the page with the builder's handlers as the driver does, closes
    // what is left open, checks the links.
    std::string build(std::string html) {
        registerDOMHandlers();
        useString(html.data());
        while (html_lex() != HTML_END) {}
        deleteCurrentBuf();
        closeOpenElements();
        EXPECT_EQ(current, &root);
        checkTree();
        return dump(&root);
    }
};

TEST_F(DomTest, TreeShapes) {
    auto spans = [](int n, const char* text) { std::string s; while (n-- > 0) s += text; return s; };
    const struct { std::string html, tree; } cases[] = {   // the page, then its tree
        {"<ul><li>a<li>b<li>c</ul>", R"(UL"<ul><li>a<li>b<li>c</ul>"{LI"<li>a" LI"<li>b" LI"<li>c"})"},
        {"<div><p>one<p>two</div>", R"(DIV"<div><p>one<p>two</div>"{P"<p>one" P"<p>two"})"},
        {"<div><p>a<b>b</b>c</div>", R"(DIV"<div><p>a<b>b</b>c</div>"{P"<p>a" B"<b>b</b>"})"},
        {"<ul><li><b>x</b><li>y</ul>", R"(UL"<ul><li><b>x</b><li>y</ul>"{LI"<li>" B"<b>x</b>" LI"<li>y"})"},
        {"<b>x<i>y</i>z</b>", R"(B"<b>x<i>y</i>z</b>")"},
        {"<body><div>x</p>y</div></body>", R"(BODY"<body><div>x</p>y</div></body>"{DIV"<div>x</p>y</div>"})"},
        {"<html><body>x</html>", R"(HTML"<html><body>x</html>"{BODY"<body>x</html>"})"},
        {"<div><head>x</div>", R"(DIV"<div><head>x</div>"{HEAD"<head>x</div>"})"},
        {"<head><div>x</head>", R"(HEAD"<head><div>x</head>"{DIV"<div>x"})"},
        {"<div>x</p>", R"(DIV"<div>x</p>")"},
        {"<p>a<!-- x -->b&amp;c<!DOCTYPE x></p>", R"(P"<p>abc</p>")"},
        {"<div><br><img src=x><strong>s</strong></div>", R"(DIV"<div><br><img src=x><strong>s</strong></div>")"},
        {"<div><p>one<b>two</b>", R"(DIV"<div><p>one<b>two</b>"{P"<p>one" B"<b>two</b>"})"},
        {"<table><tr><td>x", R"(TABLE"<table><tr><td>x"{TR"<tr>" TD"<td>x"})"},
        {"", ""},
        // A close tag lifts at most 11 open elements: 12 SPANs keep the DIV's close as text.
        {"<div>" + spans(11, "<span>") + "</div>",
         R"(DIV"<div>)" + spans(11, "<span>") + R"(</div>"{)" + spans(10, R"(SPAN"<span>" )") + R"(SPAN"<span>"})"},
        {"<div>" + spans(12, "<span>") + "</div>",
         R"(DIV"<div>)" + spans(12, "<span>") + R"(</div>"{)" + spans(11, R"(SPAN"<span>" )") + R"(SPAN"<span></div>"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        EXPECT_EQ(build(c.html), c.tree);
        TearDown();   // release and reset must leave a clean page for the next case
        EXPECT_EQ(root.children, nullptr);
        SetUp();
        EXPECT_EQ(std::string(buffer, 64), std::string(64, '\0'));
    }
}

TEST_F(DomTest, CloseTagWithNothingOpenReportsAndKeepsText) {
    gi::CaptureStdout();
    EXPECT_EQ(build("</p>x<div></div></div></span>"), R"(DIV"<div></div>")");
    EXPECT_EQ(gi::GetCapturedStdout(), "serious stack error\nserious stack error\nserious stack error\n");
    EXPECT_EQ(std::string(buffer, ptr_buffer), "</p>x<div></div></div></span>");
    releaseTree();
    resetParseState();   // a page of nothing but close tags
    gi::CaptureStdout();
    for (int i = 0; i < 50000; i++) kemCloseTagHandler(HTML_CLOSE_BASE + TAG_DIV, kClose, 6);
    EXPECT_EQ(gi::GetCapturedStdout().size(), 50000u * std::string("serious stack error\n").size());
    EXPECT_EQ(root.childCount, 0);
    EXPECT_EQ(ptr_buffer - buffer, 6 * 50000);
}

// 200,000 DIVs, left open or properly closed, build and free without
// recursion; the end-of-page close flattens unclosed ones under the
// outermost, each child spanning just its own open tag.
TEST_F(DomTest, DeepPages) {
    for (bool closed : {false, true}) {
        SCOPED_TRACE(closed);
        for (int i = 0; i < kDeep; i++) kemOpenTagHandler(TAG_DIV, kOpen, 5);
        for (int i = 0; closed && i < kDeep; i++) kemCloseTagHandler(HTML_CLOSE_BASE + TAG_DIV, kClose, 6);
        EXPECT_EQ(tag_stack.empty(), closed);
        closeOpenElements();
        ASSERT_EQ(current, &root);
        EXPECT_EQ(checkTree(), kDeep);
        const node* outer = root.children[0];
        EXPECT_EQ(outer->end, ptr_buffer);
        ASSERT_EQ(outer->childCount, closed ? 1 : kDeep - 1);
        const node* c = outer->children[closed ? 0 : 7];
        EXPECT_EQ(std::string(c->start, 5), "<div>");
        EXPECT_EQ(c->end - c->start, closed ? 11L * (kDeep - 1) : 5L);
        TearDown();
        SetUp();
    }
}

// Every corpus page builds a sound tree that returns to root and is
// released (leaks are caught by the sanitizer run).
TEST_F(DomTest, CorpusPagesBuildAndRelease) {
    SKIP_WITHOUT_CORPUS();
    gi::CaptureStdout();
    for (int page = 0; page < 97; page++) {
        SCOPED_TRACE(page);
        std::string html = corpusPage(page);
        build(html.substr(0, PAGE_READ_LIMIT).c_str());   // stops at a NUL byte, as the driver does
        EXPECT_LE(static_cast<std::size_t>(ptr_buffer - buffer), html.size());
        TearDown();
        SetUp();
    }
    gi::GetCapturedStdout();
}

}  // namespace
