// Page tree: the builder handlers fed item by item, the shape and text
// ranges they produce, and release of large and hostile trees.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "dom/builder.h"
#include "dom/dom.h"
#include "scanner/vobHTMLParser.h"

namespace {

const std::map<std::string, int>& tagIds() {
    static const std::map<std::string, int> ids = {
        {"a", TAG_A},       {"b", TAG_B},         {"body", TAG_BODY}, {"br", TAG_BR},
        {"div", TAG_DIV},   {"head", TAG_HEAD},   {"html", TAG_HTML}, {"i", TAG_I},
        {"img", TAG_IMG},   {"li", TAG_LI},       {"p", TAG_P},       {"span", TAG_SPAN},
        {"table", TAG_TABLE}, {"td", TAG_TD},     {"tr", TAG_TR},     {"ul", TAG_UL},
        {"strong", TAG_STRONG}, {"title", TAG_TITLE},
    };
    return ids;
}

std::string tagName(int id) {
    for (const auto& [name, value] : tagIds())
        if (value == id) {
            std::string upper = name;
            for (char& c : upper) c = static_cast<char>(std::toupper(c));
            return upper;
        }
    return "#" + std::to_string(id);
}

// Feeds a small HTML text to the builder the way the scanner reports it:
// tags, comments, entities, words, single punctuation and whitespace.
// Independent of the scanner, so these tests pin the builder alone.
void feed(const std::string& html) {
    std::vector<char> text;
    auto call = [&](auto handler, int code, const std::string& piece) {
        text.assign(piece.begin(), piece.end());
        text.push_back('\0');
        handler(code, text.data(), static_cast<int>(piece.size()));
    };
    std::size_t i = 0;
    while (i < html.size()) {
        char c = html[i];
        if (html.compare(i, 2, "<!") == 0) {
            std::size_t e = html.compare(i, 4, "<!--") == 0 ? html.find("-->", i) + 3
                                                            : html.find('>', i) + 1;
            call(kemCommentHandler, HTML_COMMENT, html.substr(i, e - i));
            i = e;
        } else if (c == '<') {
            std::size_t e = html.find('>', i) + 1;
            std::string piece = html.substr(i, e - i);
            bool close = piece[1] == '/';
            std::size_t n0 = close ? 2 : 1, n1 = n0;
            while (std::isalnum(static_cast<unsigned char>(piece[n1]))) n1++;
            std::string name = piece.substr(n0, n1 - n0);
            for (char& ch : name) ch = static_cast<char>(std::tolower(ch));
            auto it = tagIds().find(name);
            int id = it == tagIds().end() ? 0 : it->second;
            if (close)
                call(kemCloseTagHandler, HTML_CLOSE_BASE + id, piece);
            else
                call(kemOpenTagHandler, id, piece);
            i = e;
        } else if (c == '&') {
            i = html.find(';', i) + 1;
            kemEntityHandler('&');
        } else if (std::isalnum(static_cast<unsigned char>(c))) {
            std::size_t e = i;
            while (e < html.size() && std::isalnum(static_cast<unsigned char>(html[e]))) e++;
            call(kemTokenHandler, HTML_WORD, html.substr(i, e - i));
            i = e;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            call(kemUnmatchedHandler, HTML_SPACE, std::string(1, c));
            i++;
        } else {
            call(kemPunctHandler, HTML_PUNCT, std::string(1, c));
            i++;
        }
    }
}

std::string stored() { return std::string(buffer, ptr_buffer); }

// TAG"stored bytes"{children...}; an unclosed node shows TAG"start..."?.
std::string dump(const node* n) {
    std::string s = tagName(n->tag);
    if (n->end)
        s += "\"" + std::string(n->start, n->end) + "\"";
    else
        s += "\"" + std::string(n->start, ptr_buffer) + "...\"?";
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
// node: parent, next, childCount vs children, ranges inside the store and
// siblings in store order. Returns the number of nodes below root.
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
                EXPECT_LE(c->end, ptr_buffer);
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
    {"comments and entities leave no trace", "<p>a<!-- x -->b&amp;c</p>", R"(P"<p>abc</p>")"},
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

TEST_F(DomTest, StoreKeepsEverythingButCommentsAndEntities) {
    build("<p>a <!-- note --> b&nbsp;c<!DOCTYPE x></p>");
    EXPECT_EQ(stored(), "<p>a  bc</p>");
    EXPECT_EQ(*ptr_buffer, '\0');
}

TEST_F(DomTest, CloseTagWithNothingOpenReportsAndKeepsText) {
    testing::internal::CaptureStdout();
    build("</p>x<div></div></div></span>");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "serious stack error\nserious stack error\nserious stack error\n");
    EXPECT_EQ(stored(), "</p>x<div></div></div></span>");
    EXPECT_EQ(root.childCount, 1);
}

TEST_F(DomTest, EmptyPageLeavesRootEmpty) {
    build("");
    EXPECT_EQ(root.childCount, 0);
    EXPECT_EQ(root.children, nullptr);
    EXPECT_EQ(ptr_buffer, buffer);
    EXPECT_EQ(root.start, buffer);
    EXPECT_EQ(root.end, buffer);
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

TEST_F(DomTest, UnmatchedCloseLeavesStackUnchanged) {
    feed("<html><body><div><span>x</p>");
    ASSERT_EQ(tag_stack.size(), 4u);
    EXPECT_EQ(tag_stack.top(), TAG_SPAN);
    EXPECT_EQ(current->tag, TAG_SPAN);
}

TEST_F(DomTest, NulInsideTextIsStoredAsNuls) {
    char text[] = {'a', 'b', '\0', 'c', 'd', '\0'};
    handleDOMNormalString(HTML_WORD, text, 5);
    EXPECT_EQ(ptr_buffer - buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), std::string("ab\0\0\0", 5));
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
    ASSERT_EQ(root.childCount, 1);
    node* outer = root.children[0];
    ASSERT_EQ(outer->childCount, kDeep - 1);
    EXPECT_EQ(outer->start, buffer);
    EXPECT_EQ(outer->end, ptr_buffer);
    for (int i = 0; i < outer->childCount; i++) {
        node* c = outer->children[i];
        ASSERT_EQ(c->start, buffer + 5 * (i + 1));
        ASSERT_EQ(c->end, c->start + 5);
        ASSERT_EQ(c->childCount, 0);
        ASSERT_EQ(c->parent, outer);
        ASSERT_EQ(c->next, i + 1 < outer->childCount ? outer->children[i + 1] : nullptr);
    }
}

// Deep, properly closed nesting must build and free without recursion.
TEST_F(DomTest, DeeplyNestedClosedElements) {
    char open[] = "<div>", close[] = "</div>";
    for (int i = 0; i < kDeep; i++) kemOpenTagHandler(TAG_DIV, open, 5);
    for (int i = 0; i < kDeep; i++) kemCloseTagHandler(HTML_CLOSE_BASE + TAG_DIV, close, 6);
    ASSERT_EQ(current, &root);
    EXPECT_TRUE(tag_stack.empty());
    EXPECT_EQ(checkTree(), kDeep);
    const node* n = root.children[0];
    for (int depth = 0; depth < kDeep; depth++) {
        ASSERT_EQ(n->start, buffer + 5 * depth);
        ASSERT_EQ(n->end, ptr_buffer - 6 * depth);
        if (depth + 1 < kDeep) {
            ASSERT_EQ(n->childCount, 1);
            n = n->children[0];
        }
    }
}

TEST_F(DomTest, ManySiblings) {
    char open[] = "<b>", close[] = "</b>";
    for (int i = 0; i < kDeep; i++) {
        kemOpenTagHandler(TAG_B, open, 3);
        kemCloseTagHandler(HTML_CLOSE_BASE + TAG_B, close, 4);
    }
    ASSERT_EQ(root.childCount, kDeep);
    EXPECT_EQ(checkTree(), kDeep);
    EXPECT_EQ(root.children[kDeep - 1]->start, buffer + 7 * (kDeep - 1));
}

TEST_F(DomTest, PageOfOnlyCloseTags) {
    char close[] = "</div>";
    testing::internal::CaptureStdout();
    for (int i = 0; i < 50000; i++) kemCloseTagHandler(HTML_CLOSE_BASE + TAG_DIV, close, 6);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.size(), 50000u * std::strlen("serious stack error\n"));
    EXPECT_EQ(root.childCount, 0);
    EXPECT_EQ(ptr_buffer - buffer, 6 * 50000);
    EXPECT_EQ(current, &root);
}

// Through the real scanner: every corpus page builds a sound tree that
// returns to root and is released (leaks are caught by the sanitizer run).
bool scannerAvailable() {
    char probe[] = "<b>x</b>";
    setOpenTagHandler(nullptr);
    useString(probe);
    int code = html_lex();
    deleteCurrentBuf();
    return code != HTML_END;
}

TEST_F(DomTest, CorpusPagesBuildAndRelease) {
    if (!scannerAvailable()) GTEST_SKIP() << "scanner not built yet";
    registerDOMHandlers();
    testing::internal::CaptureStdout();
    for (int page = 0; page < 97; page++) {
        std::string path = std::string(WEBLOG2RSS_CORPUS_DIR) + "/pages/" + std::to_string(page);
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (html.size() > PAGE_READ_LIMIT) html.resize(PAGE_READ_LIMIT);
        SCOPED_TRACE(path);
        SetUp();
        std::memset(tmp, 0, sizeof tmp);
        std::memcpy(tmp, html.data(), html.size());
        useString(tmp);
        while (html_lex() != HTML_END) {
        }
        deleteCurrentBuf();
        closeOpenElements();
        EXPECT_EQ(current, &root);
        EXPECT_LE(static_cast<std::size_t>(ptr_buffer - buffer), html.size());
        checkTree();
        releaseTree();
    }
    testing::internal::GetCapturedStdout();
}

TEST_F(DomTest, ScannerFedPageMatchesFeeder) {
    if (!scannerAvailable()) GTEST_SKIP() << "scanner not built yet";
    registerDOMHandlers();
    char page[] = "<ul><li>a, b<!-- c --><li>d&amp;e</ul>";
    useString(page);
    while (html_lex() != HTML_END) {
    }
    deleteCurrentBuf();
    EXPECT_EQ(dumpRoot(), R"(UL"<ul><li>a, b<li>de</ul>"{LI"<li>a, b" LI"<li>de"})");
}

}  // namespace
