// Page tree: pages scanned into the builder, the shape and text ranges
// they produce, and release of large and hostile trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dom/builder.h"
#include "dom/dom.h"
#include "scanner/vobHTMLParser.h"

namespace {

// Scans html with the builder's handlers installed, as the driver does.
void feed(const std::string& html) {
    registerDOMHandlers();
    std::string copy = html;
    useString(copy.data());
    while (html_lex() != HTML_END) {
    }
    deleteCurrentBuf();
}

std::string stored() { return std::string(buffer, ptr_buffer); }

// TAG"stored bytes"{children...} for a closed subtree.
std::string dump(const node* n) {
    std::string s = html_tag_names[n->tag];
    s += "\"" + std::string(n->start, n->end) + "\"";
    if (n->childCount) {
        s += "{";
        for (int i = 0; i < n->childCount; i++) s += (i ? " " : "") + dump(n->children[i]);
        s += "}";
    }
    return s;
}

std::string dumpRoot() {
    std::string s;
    for (int i = 0; i < root.childCount; i++) s += (i ? " " : "") + dump(root.children[i]);
    return s;
}

// Walks the whole tree without recursion and checks the links of every
// node: parent, next, childCount vs children, ranges inside the parent's
// range and siblings in store order. Returns the number of nodes below root.
long checkTree() {
    long count = 0;
    std::vector<const node*> todo{&root};
    while (!todo.empty()) {
        const node* n = todo.back();
        todo.pop_back();
        EXPECT_EQ(n->childCount == 0, n->children == nullptr);
        for (int i = 0; i < n->childCount; i++) {
            const node* c = n->children[i];
            count++;
            EXPECT_EQ(c->parent, n);
            EXPECT_EQ(c->next, i + 1 < n->childCount ? n->children[i + 1] : nullptr);
            EXPECT_GE(c->start, buffer);
            EXPECT_NE(c->end, nullptr);
            if (c->end) {
                EXPECT_LE(c->start, c->end);
                EXPECT_LE(c->end, n == &root ? ptr_buffer : n->end);
            }
            if (n != &root) {
                EXPECT_GE(c->start, n->start);
            }
            if (i > 0) {
                EXPECT_GE(c->start, n->children[i - 1]->end);
            }
            todo.push_back(c);
        }
        if (count > 10000000) return count;   // corrupt links: stop
    }
    return count;
}

class DomTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetParseState();
        while (!tag_stack.empty()) tag_stack.pop();
    }
    void TearDown() override { releaseTree(); }

    // Feeds the page, closes what is left open, checks the links.
    std::string build(const std::string& html) {
        feed(html);
        closeOpenElements();
        EXPECT_EQ(current, &root);
        checkTree();
        return dumpRoot();
    }
};

struct Case {
    const char* name;
    const char* html;
    const char* tree;
};

const Case kCases[] = {
    {"three unclosed LIs become siblings", "<ul><li>a<li>b<li>c</ul>",
     R"(UL"<ul><li>a<li>b<li>c</ul>"{LI"<li>a" LI"<li>b" LI"<li>c"})"},
    {"DIV with two unclosed Ps", "<div><p>one<p>two</div>",
     R"(DIV"<div><p>one<p>two</div>"{P"<p>one" P"<p>two"})"},
    {"implicitly closed P holding a closed B", "<div><p>a<b>b</b>c</div>",
     R"(DIV"<div><p>a<b>b</b>c</div>"{P"<p>a" B"<b>b</b>"})"},
    {"lifted children at two levels", "<ul><li><b>x</b><li>y</ul>",
     R"(UL"<ul><li><b>x</b><li>y</ul>"{LI"<li>" B"<b>x</b>" LI"<li>y"})"},
    {"close tag of I inside B is text", "<b>x<i>y</i>z</b>", R"(B"<b>x<i>y</i>z</b>")"},
    {"close tag stops at BODY", "<body><div>x</p>y</div></body>",
     R"(BODY"<body><div>x</p>y</div></body>"{DIV"<div>x</p>y</div>"})"},
    {"HTML close while BODY open stays text", "<html><body>x</html>",
     R"(HTML"<html><body>x</html>"{BODY"<body>x</html>"})"},
    {"BODY then HTML close both", "<html><body>x</body></html>",
     R"(HTML"<html><body>x</body></html>"{BODY"<body>x</body>"})"},
    {"HEAD is a barrier too", "<div><head>x</div>",
     R"(DIV"<div><head>x</div>"{HEAD"<head>x</div>"})"},
    {"a barrier's own close tag closes what it holds", "<head><div>x</head>",
     R"(HEAD"<head><div>x</head>"{DIV"<div>x"})"},
    {"single open element, other close tag", "<div>x</p>", R"(DIV"<div>x</p>")"},
    {"comments, declarations and entities leave no trace",
     "<p>a<!-- x -->b&amp;c<!DOCTYPE x></p>", R"(P"<p>abc</p>")"},
    {"other tags are text", "<div><br><img src=x><strong>s</strong></div>",
     R"(DIV"<div><br><img src=x><strong>s</strong></div>")"},
    {"end-of-page close flattens", "<div><p>one<b>two</b>",
     R"(DIV"<div><p>one<b>two</b>"{P"<p>one" B"<b>two</b>"})"},
    {"end-of-page close of a childless innermost", "<table><tr><td>x",
     R"(TABLE"<table><tr><td>x"{TR"<tr>" TD"<td>x"})"},
    {"close tags before any open tag", "</p>x<div></div></div>", R"(DIV"<div></div>")"},
    {"only close tags", "</div></span></x>", ""},
    {"empty page", "", ""},
};

TEST_F(DomTest, TreeShapes) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        testing::internal::CaptureStdout();
        std::string tree = build(c.html);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(tree, c.tree);
        TearDown();
    }
}

TEST_F(DomTest, CloseTagWithNothingOpenReportsAndKeepsText) {
    testing::internal::CaptureStdout();
    build("</p>x<div></div></div></span>");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "serious stack error\nserious stack error\nserious stack error\n");
    EXPECT_EQ(stored(), "</p>x<div></div></div></span>");
    EXPECT_EQ(root.childCount, 1);
}

// A close tag lifts at most 11 open elements: 11 SPANs are closed by the
// DIV's close tag, 12 keep it as text until the end-of-page close.
TEST_F(DomTest, ElevenLiftedIdsAtMost) {
    for (int spans : {11, 12}) {
        SCOPED_TRACE(spans);
        SetUp();
        std::string html = "<div>";
        for (int i = 0; i < spans; i++) html += "<span>";
        feed(html + "</div>");
        EXPECT_EQ(tag_stack.size(), spans == 11 ? 0u : 13u);
        closeOpenElements();
        EXPECT_EQ(current, &root);
        checkTree();
        std::string tree = R"(DIV"<div>)";
        for (int i = 0; i < spans; i++) tree += "<span>";
        tree += R"(</div>"{)";
        for (int i = 0; i < spans; i++)
            tree += i + 1 < spans ? R"(SPAN"<span>" )"
                    : spans == 11 ? R"(SPAN"<span>"})"     // ends where </div> begins
                                  : R"(SPAN"<span></div>"})";  // ends at the end of the page
        EXPECT_EQ(dumpRoot(), tree);
        TearDown();
    }
}

TEST_F(DomTest, ReleaseAndResetStartCleanPage) {
    build("<div><p>one two three</div>");
    releaseTree();
    EXPECT_EQ(root.children, nullptr);
    resetParseState();
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[10], '\0');
    EXPECT_EQ(build("<b>x</b>"), R"(B"<b>x</b>")");
}

constexpr int kDeep = 200000;

// A long run of unclosed DIVs: the end-of-page close flattens them all
// under the outermost one, each child spanning just its own open tag.
TEST_F(DomTest, ManyUnclosedElements) {
    char div[] = "<div>";
    for (int i = 0; i < kDeep; i++) kemOpenTagHandler(TAG_DIV, div, 5);
    closeOpenElements();
    ASSERT_EQ(current, &root);
    EXPECT_EQ(checkTree(), kDeep);
    node* outer = root.children[0];
    ASSERT_EQ(outer->childCount, kDeep - 1);
    EXPECT_EQ(outer->end, ptr_buffer);
    EXPECT_EQ(std::string(outer->children[7]->start, outer->children[7]->end), "<div>");
}

// Deep, properly closed nesting must build and free without recursion.
TEST_F(DomTest, DeeplyNestedClosedElements) {
    char open[] = "<div>", close[] = "</div>";
    for (int i = 0; i < kDeep; i++) kemOpenTagHandler(TAG_DIV, open, 5);
    for (int i = 0; i < kDeep; i++) kemCloseTagHandler(HTML_CLOSE_BASE + TAG_DIV, close, 6);
    ASSERT_EQ(current, &root);
    EXPECT_TRUE(tag_stack.empty());
    EXPECT_EQ(checkTree(), kDeep);
}

TEST_F(DomTest, PageOfOnlyCloseTags) {
    char close[] = "</div>";
    testing::internal::CaptureStdout();
    for (int i = 0; i < 50000; i++) kemCloseTagHandler(HTML_CLOSE_BASE + TAG_DIV, close, 6);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.size(), 50000u * std::strlen("serious stack error\n"));
    EXPECT_EQ(root.childCount, 0);
    EXPECT_EQ(ptr_buffer - buffer, 6 * 50000);
}

// Every corpus page builds a sound tree that returns to root and is
// released (leaks are caught by the sanitizer run).
TEST_F(DomTest, CorpusPagesBuildAndRelease) {
    testing::internal::CaptureStdout();
    for (int page = 0; page < 97; page++) {
        std::string path = std::string(WEBLOG2RSS_CORPUS_DIR) + "/pages/" + std::to_string(page);
        std::ifstream in(path, std::ios::binary);
        std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        html.resize(std::min(html.size(), PAGE_READ_LIMIT));
        SCOPED_TRACE(path);
        SetUp();
        build(html.c_str());   // stops at a NUL byte, as the driver does
        EXPECT_LE(static_cast<std::size_t>(ptr_buffer - buffer), html.size());
        releaseTree();
    }
    testing::internal::GetCapturedStdout();
}

}  // namespace
