// Page tree: pages scanned into the builder, the shape and text ranges they
// produce, and release of large and hostile trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include "base/limits.h"
#include "dom/builder.h"
#include "dom/tree.h"
#include "scanner/scanner.h"
#include "support.h"

namespace {
using namespace w2r;

constexpr int kDeep = 200000;
char kOpen[] = "<div>", kClose[] = "</div>";

// TAG"stored bytes"{children...} for a closed subtree; a list for root.
std::string dump(const Node* n) {
    std::string s, kids;
    for (int i = 0; i < n->childCount; i++) kids += (i ? " " : "") + dump(n->children[i]);
    if (n->parent == nullptr) return kids;
    s = std::string(kTagNames[n->tag]) + "\"" + std::string(n->start, n->end) + "\"";
    return n->childCount ? s + "{" + kids + "}" : s;
}

// Walks the whole tree without recursion and checks every node's links:
// parent, childCount vs children, ranges inside the parent's range and
// siblings in store order. Returns the number of nodes below root.
long checkTree(const Tree& tree) {
    const Node* root = &tree.root();
    long count = 0;
    std::vector<const Node*> todo{root};
    while (!todo.empty() && count <= 10000000) {  // corrupt links: stop
        const Node* n = todo.back();
        todo.pop_back();
        EXPECT_EQ(n->childCount == 0, n->children == nullptr);
        for (int i = 0; i < n->childCount; i++, count++) {
            const Node* c = n->children[i];
            EXPECT_EQ(c->parent, n);
            EXPECT_GE(c->start, n == root ? tree.storeBegin() : n->start);
            EXPECT_LE(c->start, c->end);  // also fails for an unclosed (null) end
            EXPECT_LE(c->end, n == root ? tree.storeEnd() : n->end);
            if (i > 0) { EXPECT_GE(c->start, n->children[i - 1]->end); }
            todo.push_back(c);
        }
    }
    return count;
}

struct DomTest : ::testing::Test {
    Tree tree;
    Scanner scanner;
    CollectedDiagnostics messages;
    TreeBuilder builder{tree, messages};

    std::string printed() {
        std::string s;
        for (const std::string& line : messages.lines) s += line + "\n";
        messages.lines.clear();
        return s;
    }
    // Scans the page into the tree as a conversion does, checks the links.
    std::string build(const std::string& html) {
        EXPECT_TRUE(buildTree(scanner, tree, html.c_str(), messages));
        checkTree(tree);
        return dump(&tree.root());
    }
};

TEST_F(DomTest, TreeShapes) {
    auto spans = [](int n, const char* text) {
        std::string s;
        while (n-- > 0) s += text;
        return s;
    };
    // clang-format off
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
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        EXPECT_EQ(build(c.html), c.tree);
        tree.reset();  // must leave a clean page for the next case
        EXPECT_EQ(tree.root().children, nullptr);
        EXPECT_EQ(std::string(tree.storeBegin(), 64), std::string(64, '\0'));
    }
}

TEST_F(DomTest, CloseTagWithNothingOpenReportsAndKeepsText) {
    EXPECT_EQ(build("</p>x<div></div></div></span>"), R"(DIV"<div></div>")");
    EXPECT_EQ(printed(), "serious stack error\nserious stack error\nserious stack error\n");
    EXPECT_EQ(std::string(tree.storeBegin(), tree.storeEnd()), "</p>x<div></div></div></span>");
    tree.reset();  // a page of nothing but close tags
    for (int i = 0; i < 50000; i++) builder.closeTag(kCloseTagBase + kTagDiv, kClose, 6);
    EXPECT_EQ(printed().size(), 50000u * std::string("serious stack error\n").size());
    EXPECT_EQ(tree.root().childCount, 0);
    EXPECT_EQ(tree.storeEnd() - tree.storeBegin(), 6 * 50000);
}

// 200,000 DIVs, left open or properly closed, build and free without
// recursion; the end-of-page close flattens unclosed ones under the
// outermost, each child spanning just its own open tag.
TEST_F(DomTest, DeepPages) {
    for (bool closed : {false, true}) {
        SCOPED_TRACE(closed);
        for (int i = 0; i < kDeep; i++) builder.openTag(kTagDiv, kOpen, 5);
        for (int i = 0; closed && i < kDeep; i++) builder.closeTag(kCloseTagBase + kTagDiv, kClose, 6);
        EXPECT_EQ(tree.openElements().empty(), closed);
        builder.finish();
        ASSERT_TRUE(tree.atRoot());
        EXPECT_EQ(checkTree(tree), kDeep);
        const Node* outer = tree.root().children[0];
        EXPECT_EQ(outer->end, tree.storeEnd());
        ASSERT_EQ(outer->childCount, closed ? 1 : kDeep - 1);
        const Node* c = outer->children[closed ? 0 : 7];
        EXPECT_EQ(std::string(c->start, 5), "<div>");
        EXPECT_EQ(c->end - c->start, closed ? 11L * (kDeep - 1) : 5L);
        tree.reset();
    }
}

// Every corpus page builds a sound tree that returns to root and is
// released (leaks are caught by the sanitizer run).
TEST_F(DomTest, CorpusPagesBuildAndRelease) {
    SKIP_WITHOUT_CORPUS();
    for (int page = 0; page < 97; page++) {
        SCOPED_TRACE(page);
        std::string html = test::corpusPage(page);
        build(html.substr(0, kPageReadLimit).c_str());  // stops at a NUL byte, as a conversion does
        EXPECT_LE(static_cast<std::size_t>(tree.storeEnd() - tree.storeBegin()), html.size());
        tree.reset();
    }
}

}  // namespace
