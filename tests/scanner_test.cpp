#include <gtest/gtest.h>

#include <sys/resource.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "scanner/vobHTMLParser.h"
#include "tests/scanner_reference.h"

namespace {

std::vector<ref::Item> recorded;

int recordText(int code, char* text, int len) {
    EXPECT_EQ(static_cast<int>(strlen(text)), len);
    recorded.push_back({code, std::string(text, len), 0});
    return 0;
}

int recordEntity(int value) {
    recorded.push_back({HTML_ENTITY, html_text, value});
    return 0;
}

void installRecorders() {
    setOpenTagHandler(recordText);
    setCloseTagHandler(recordText);
    setTokenHandler(recordText);
    setCommentHandler(recordText);
    setPunctHandler(recordText);
    setUnmatchedHandler(recordText);
    setEntityHandler(recordEntity);
}

void installEchoes() {
    setOpenTagHandler(echoOpenTag);
    setCloseTagHandler(echoCloseTag);
    setTokenHandler(echoToken);
    setCommentHandler(echoComment);
    setPunctHandler(echoPunct);
    setUnmatchedHandler(echoUnmatched);
    setEntityHandler(echoEntity);
}

// Scans the current input to the end, checking that every item reached its
// handler with the code html_lex returned and that the items cover the text.
std::vector<ref::Item> scanCurrent(size_t textLength) {
    installRecorders();
    recorded.clear();
    size_t covered = 0;
    for (int code = html_lex(); code != HTML_END; code = html_lex()) {
        EXPECT_FALSE(recorded.empty());
        if (recorded.empty()) break;
        EXPECT_EQ(recorded.back().code, code);
        EXPECT_EQ(recorded.back().text, std::string(html_text, html_leng));
        covered += html_leng;
    }
    EXPECT_EQ(covered, textLength);
    EXPECT_EQ(html_lex(), HTML_END);  // and on every further call
    deleteCurrentBuf();
    return recorded;
}

// Through useString: the text ends at the first NUL.
std::vector<ref::Item> scanString(const std::string& input) {
    std::string copy = input;
    useString(&copy[0]);
    return scanCurrent(strlen(copy.c_str()));
}

// Through useBuffer: in place, with the two closing NULs.
std::vector<ref::Item> scanBuffer(const std::string& input) {
    std::vector<char> bytes(input.begin(), input.end());
    bytes.push_back(0);
    bytes.push_back(0);
    useBuffer(bytes.data(), static_cast<int>(bytes.size()));
    std::vector<ref::Item> items = scanCurrent(strlen(bytes.data()));
    EXPECT_EQ(std::string(bytes.data(), input.size()), input) << "buffer not restored";
    return items;
}

std::string dump(const std::vector<ref::Item>& items) {
    std::string out;
    for (const ref::Item& item : items) {
        out += "[" + std::to_string(item.code) + " " + item.text;
        if (item.code == HTML_ENTITY) out += "=" + std::to_string(item.value);
        out += "]";
    }
    return out;
}

std::string scanDump(const std::string& input) { return dump(scanString(input)); }

struct Case {
    const char* input;
    const char* items;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(scanDump(c.input), c.items) << "input: " << c.input;
}

TEST(ScannerTags, KnownNamesNeedNoDelimiterAndTheLongestNameWins) {
    expectCases({
        {"<header>", "[41 <header>]"},
        {"<article>", "[1 <article>]"},
        {"<section>", "[68 <section>]"},
        {"<image>", "[44 <image>]"},
        {"<embed src=x>", "[29 <embed src=x>]"},
        {"<track>", "[87 <track>]"},
        {"<nobr>", "[0 <nobr>]"},
        {"<basefont>", "[9 <basefont>]"},
        {"<thead>", "[85 <thead>]"},
        {"<link>", "[54 <link>]"},
        {"<sub>", "[77 <sub>]"},
        {"<bdo>", "[10 <bdo>]"},
        {"<unknownTag>", "[89 <unknownTag>]"},
        {"<xyz>", "[0 <xyz>]"},
        {"</xyz>", "[1000 </xyz>]"},
        {"<p>x</P>", "[64 <p>][2000 x][1064 </P>]"},
        {"<H1 class='t'>", "[35 <H1 class='t'>]"},
        {"<table width=100%>", "[79 <table width=100%>]"},
        {"<BlockQuote>", "[12 <BlockQuote>]"},
        {"<?xml version=1?>", "[0 <?xml version=1?>]"},
    });
}

TEST(ScannerTags, NameMustFollowTheBracketDirectly) {
    expectCases({
        {"< a>", "[0 < a>]"},
        {"</ a>", "[1000 </ a>]"},
        {"<>", "[2001 <][2001 >]"},
        {"</>", "[0 </>]"},
        {"<", "[2001 <]"},
        {"</", "[2001 <][2001 /]"},
    });
}

TEST(ScannerTags, QuotesInsideTags) {
    expectCases({
        {"a<b then <b>", "[2000 a][7 <b then <b>]"},
        {"<a title='it>x don't>", "[1 <a title='it>x don't>]"},
        {"<a title=\"1\n>2\">", "[1 <a title=\"1\n>2\">]"},
        {"<a href='x>",
         "[2001 <][2000 a][2003  ][2000 href][2001 =][2001 '][2000 x][2001 >]"},
        {"<x '>'>", "[0 <x '>'>]"},
        {"<x \"'\">", "[0 <x \"'\">]"},
    });
}

TEST(ScannerTags, BareExclamationOnlyKillsUnknownTags) {
    expectCases({
        {"<a!>", "[1 <a!>]"},
        {"<x!>", "[2001 <][2000 x][2001 !][2001 >]"},
        {"<x '!'>", "[0 <x '!'>]"},
        {"</b!>", "[1007 </b!>]"},
        {"</x!>", "[2001 <][2001 /][2000 x][2001 !][2001 >]"},
    });
}

TEST(ScannerComments, CommentVersusDeclaration) {
    expectCases({
        {"<!DOCTYPE html>", "[92 <!DOCTYPE html>]"},
        {"<![CDATA[x]]>", "[92 <![CDATA[x]]>]"},
        {"<!-- a > b -->", "[92 <!-- a > b -->]"},
        {"<!-- multi\nline -->", "[92 <!-- multi\nline -->]"},
        {"<!-- a -- b > c -->",
         "[92 <!-- a -- b >][2003  ][2000 c][2003  ][2001 -][2001 -][2001 >]"},
        {"<!-- x", "[2001 <][2001 !][2001 -][2001 -][2003  ][2000 x]"},
        {"<!>", "[92 <!>]"},
        {"<!---->", "[92 <!---->]"},
        {"<! \t-- x -- \n>y", "[92 <! \t-- x -- \n>][2000 y]"},
        {"<!-- x --->", "[92 <!-- x --->]"},
        {"<!-- a->b -->", "[92 <!-- a->b -->]"},
        {"<!-- a --> b -->", "[92 <!-- a -->][2003  ][2000 b][2003  ][2001 -][2001 -][2001 >]"},
    });
}

TEST(ScannerEntities, NamedAndNumeric) {
    expectCases({
        {"&amp", "[2004 &amp=38]"},
        {"&amp;", "[2004 &amp;=38]"},
        {"&ampx", "[2004 &amp=38][2000 x]"},
        {"&AMP;", "[2001 &][2000 AMP][2001 ;]"},
        {"&foo;", "[2001 &][2000 foo][2001 ;]"},
        {"&#x41;", "[2001 &][2001 #][2000 x41][2001 ;]"},
        {"&#65", "[2004 &#65=65]"},
        {"&#00065;", "[2004 &#00065;=65]"},
        {"x&nbsp;y", "[2000 x][2004 &nbsp;=32][2000 y]"},
        {"&sup1;&sup;", "[2004 &sup1;=185][2001 &][2000 sup][2001 ;]"},
        {"&Eacute;&eacute;&ETH;&eth", "[2004 &Eacute;=201][2004 &eacute;=233][2004 &ETH;=208][2004 &eth=240]"},
        {"&#2147483647;", "[2004 &#2147483647;=2147483647]"},
        {"&#2147483648;", "[2004 &#2147483648;=2147483647]"},
        {"&#99999999999999999999999", "[2004 &#99999999999999999999999=2147483647]"},
        {"&#;", "[2001 &][2001 #][2001 ;]"},
        {"&", "[2001 &]"},
    });
}

TEST(ScannerText, WordsPunctuationAndWhitespace) {
    expectCases({
        {"Hello, world!", "[2000 Hello][2001 ,][2003  ][2000 world][2001 !]"},
        {"3.14", "[2000 3][2001 .][2000 14]"},
        {"it's", "[2000 it][2001 '][2000 s]"},
        {"  ", "[2003  ][2003  ]"},
        {"\x0c", "[2000 \x0c]"},
        {"\xe9", "[2000 \xe9]"},
        {"caf\xc3\xa9_x", "[2000 caf\xc3\xa9][2001 _][2000 x]"},
        {"\t", "[2003 \t]"},
        {"a\r\nb", "[2000 a][2003 \r][2003 \n][2000 b]"},
        {"", ""},
    });
}

TEST(ScannerInput, TextEndsAtFirstNul) {
    std::string input("ab<b>\0<i>c", 10);
    EXPECT_EQ(dump(scanString(input)), "[2000 ab][7 <b>]");
    EXPECT_EQ(dump(scanBuffer(input)), "[2000 ab][7 <b>]");
    EXPECT_EQ(dump(scanBuffer(std::string("<a \0>", 5))), "[2001 <][2000 a][2003  ]");
}

// Random texts from tag, comment and entity fragments: the real scanner must
// give the reference's item stream, through both ways of supplying input.
TEST(ScannerReference, RandomTextsMatchTheLiteralRules) {
    const std::vector<std::string> pieces = {
        "<", "</", ">", "<!", "--", "-", "!", "'", "\"", " ", "\t", "\n", "\r", "/", "=", ";", "#",
        "&", "&#", "1", "42", "9999999999", "amp", "AMP", "nbsp", "sup", "sup1", "eacute", "Eacute",
        "lt", "quot", "not", "a", "A", "b", "bAsEfOnT", "th", "THead", "h1", "H7", "sub", "script",
        "xyz", "article", "nobr", "?", "_", "x", "\x80", "\xe9", "\xff", "\x01", "\x0c", "\x7f",
        std::string(1, '\0'), "<!--", "-->", "<a href='", "' x>", "<!DOCTYPE", "&#65;", "&lt;", "&#0",
    };
    std::mt19937 rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        int count = 1 + static_cast<int>(rng() % 24);
        for (int k = 0; k < count; ++k) input += pieces[rng() % pieces.size()];
        std::string expected = dump(ref::scan(input));
        std::string actual = round % 2 ? dump(scanBuffer(input)) : dump(scanString(input));
        ASSERT_EQ(actual, expected) << "input: " << input;
    }
}

// Windows of real pages, with their tags, scripts and entities, against the
// reference.
TEST(ScannerReference, CorpusWindowsMatchTheLiteralRules) {
    std::mt19937 rng(7);
    for (int page = 0; page < 97; page += 4) {
        std::string path = std::string(WEBLOG2RSS_CORPUS_DIR) + "/pages/" + std::to_string(page);
        FILE* f = fopen(path.c_str(), "rb");
        if (f == nullptr) continue;
        std::string text;
        char chunk[65536];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, got);
        fclose(f);
        for (int window = 0; window < 8 && text.size() > 600; ++window) {
            std::string input = text.substr(rng() % (text.size() - 600), 600);
            ASSERT_EQ(dump(scanString(input)), dump(ref::scan(input))) << "page " << page;
        }
    }
}

// Pathological texts of 3 MiB scan to the end, covering every byte.
TEST(ScannerPathological, HostileTextsAreScannedCompletely) {
    const size_t size = 3u << 20;
    const std::vector<std::string> units = {"<a", "<a '", "<!--", "&#1", "<", "<x \"", "<!-- --", "</"};
    for (const std::string& unit : units) {
        std::string text;
        while (text.size() + unit.size() <= size) text += unit;
        setOpenTagHandler(nullptr);
        setCloseTagHandler(nullptr);
        setTokenHandler(nullptr);
        setCommentHandler(nullptr);
        setPunctHandler(nullptr);
        setUnmatchedHandler(nullptr);
        setEntityHandler(nullptr);
        useString(&text[0]);
        size_t covered = 0, items = 0;
        while (html_lex() != HTML_END) {
            covered += html_leng;
            ++items;
        }
        deleteCurrentBuf();
        EXPECT_EQ(covered, text.size()) << unit;
        EXPECT_GT(items, 0u);
    }
    // "&#" and then 3 MiB of digits: one entity with the largest value.
    std::string digits = "&#" + std::string(size, '7');
    EXPECT_EQ(scanString(digits).size(), 1u);
}

// Captures what f prints on standard output.
template <typename F>
std::string captureStdout(F f) {
    fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

void scanAll(const char* text) {
    std::string copy = text;
    useString(&copy[0]);
    while (html_lex() != HTML_END) {
    }
    deleteCurrentBuf();
}

TEST(Registry, EchoHandlersPrintEachItem) {
    installEchoes();
    EXPECT_EQ(captureStdout([] { scanAll("<b>Hi</b>"); }), "OPEN TAG: <b>\nTOKEN Hi\nCLOSE TAG: </b>\n");
    EXPECT_EQ(captureStdout([] { scanAll(" \n&lt;"); }), "UNMATCHED chr(32)\nUNMATCHED chr(10)\nENTITY <\n");
    EXPECT_EQ(captureStdout([] { scanAll("<!-- c -->,"); }), "COMMENT <!-- c -->\nPUNCT ,\n");
}

TEST(Registry, NullSlotsSilenceHandlersButNotCodes) {
    const char* text = "<p>a, b&amp;<!--c--></p>";
    installRecorders();
    recorded.clear();
    std::vector<int> withHandlers;
    scanAll(text);
    for (const ref::Item& item : recorded) withHandlers.push_back(item.code);

    installEchoes();
    setOpenTagHandler(nullptr);
    setCloseTagHandler(nullptr);
    setTokenHandler(nullptr);
    setCommentHandler(nullptr);
    setPunctHandler(nullptr);
    setUnmatchedHandler(nullptr);
    setEntityHandler(nullptr);
    std::vector<int> codes;
    std::string printed = captureStdout([&] {
        std::string copy = text;
        useString(&copy[0]);
        for (int code = html_lex(); code != HTML_END; code = html_lex()) codes.push_back(code);
        deleteCurrentBuf();
    });
    EXPECT_EQ(printed, "");
    EXPECT_EQ(codes, withHandlers);
    EXPECT_EQ(codes, (std::vector<int>{64, 2000, 2001, 2003, 2000, 2004, 92, 1064}));
}

TEST(Registry, UseStringTakesAPrivateCopy) {
    installRecorders();
    recorded.clear();
    char text[] = "one two";
    useString(text);
    memset(text, 'x', sizeof text - 1);
    while (html_lex() != HTML_END) {
    }
    deleteCurrentBuf();
    EXPECT_EQ(dump(recorded), "[2000 one][2003  ][2000 two]");
    EXPECT_STREQ(text, "xxxxxxx");
}

TEST(Registry, EmptyInputAndMissingInput) {
    installRecorders();
    recorded.clear();
    char empty[] = "";
    useString(empty);
    EXPECT_EQ(html_lex(), HTML_END);
    EXPECT_EQ(html_lex(), HTML_END);
    deleteCurrentBuf();
    deleteCurrentBuf();  // no current input: nothing happens
    EXPECT_EQ(html_lex(), HTML_END);  // no input after a deletion either
    EXPECT_TRUE(recorded.empty());
    EXPECT_EQ(html_wrap(), 1);
}

TEST(Registry, UseBufferRefusesWithoutTwoClosingNuls) {
    char current[] = "cur";
    useString(current);
    char bad1[] = {'a', 'b', 0, 'c'};
    char bad2[] = {'a', 0, 'b', 0};
    char tiny[] = {0};
    useBuffer(bad1, 4);
    useBuffer(bad2, 4);
    useBuffer(tiny, 1);
    useBuffer(nullptr, 2);
    installRecorders();
    recorded.clear();
    while (html_lex() != HTML_END) {
    }
    deleteCurrentBuf();
    EXPECT_EQ(dump(recorded), "[2000 cur]");

    char good[] = {'x', ' ', 'y', 0, 0};
    EXPECT_EQ(dump(scanBuffer("x y")), "[2000 x][2003  ][2000 y]");
    useBuffer(good, 5);
    EXPECT_EQ(html_lex(), HTML_WORD);
    EXPECT_EQ(good[1], 0);  // the held byte, in the caller's bytes
    deleteCurrentBuf();
    EXPECT_EQ(good[1], ' ');  // put back when the input is released
}

int backtrackingOpenTag(int code, char* text, int len) {
    recordText(code, text, len);
    backtrack(1);
    EXPECT_EQ(html_leng, 1);
    EXPECT_STREQ(html_text, "<");
    return 0;
}

TEST(Registry, BacktrackRescansTheRestOfTheItem) {
    installRecorders();
    setOpenTagHandler(backtrackingOpenTag);
    recorded.clear();
    char text[] = "<b>x";
    useString(text);
    std::vector<int> codes;
    for (int code = html_lex(); code != HTML_END; code = html_lex()) codes.push_back(code);
    deleteCurrentBuf();
    EXPECT_EQ(codes, (std::vector<int>{7, 2000, 2001, 2000}));
    EXPECT_EQ(dump(recorded), "[7 <b>][2000 b][2001 >][2000 x]");
}

int badBacktrack(int code, char* text, int len) {
    recordText(code, text, len);
    backtrack(0);
    backtrack(len + 1);
    return 0;
}

TEST(Registry, BacktrackOutsideTheItemIsIgnored) {
    installRecorders();
    setTokenHandler(badBacktrack);
    recorded.clear();
    scanAll("ab cd");
    EXPECT_EQ(dump(recorded), "[2000 ab][2003  ][2000 cd]");
    backtrack(1);  // no current input
}

TEST(Registry, PrintTagsDumpsCodesAndNames) {
    installEchoes();
    char text[] = "<p>Hi</p>";
    EXPECT_EQ(captureStdout([&] { printTags(text); }),
              "OPEN TAG: <p>\nOPEN  P 64\nTOKEN Hi\nTOKEN Hi\nCLOSE TAG: </p>\nCLOSE /P 1064\n");
    installRecorders();
    char more[] = "<!--c--><zz></zz> .";
    EXPECT_EQ(captureStdout([&] { printTags(more); }), "OPEN   92\nOPEN  _UKN_ 0\nCLOSE /_UKN_ 1000\n");
    EXPECT_STREQ(text, "<p>Hi</p>");
}

TEST(Registry, ElementNameTable) {
    EXPECT_STREQ(html_tag_names[0], "_UKN_");
    EXPECT_STREQ(html_tag_names[TAG_BASEFONT], "BASEFONT");
    EXPECT_STREQ(html_tag_names[TAG_VAR], "VAR");
    for (int id = 1; id < HTML_TAG_COUNT - 1; ++id)
        EXPECT_LT(strcmp(html_tag_names[id], html_tag_names[id + 1]), 0) << id;
    for (int id = HTML_TAG_COUNT; id < HTML_TAG_TABLE_SIZE; ++id) EXPECT_STREQ(html_tag_names[id], "");
}

// Without supplied input the scanner reads its input stream. The check runs
// in a fresh process, where no input was ever supplied.
TEST(RegistryDeathTest, ReadsTheInputStreamWhenNoInputWasSupplied) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            FILE* f = tmpfile();
            fputs("<b>x y", f);
            rewind(f);
            html_in = f;
            installRecorders();
            while (html_lex() != HTML_END) {
            }
            fprintf(stderr, "%s", dump(recorded).c_str());
            exit(0);
        },
        testing::ExitedWithCode(0), "^\\[7 <b>\\]\\[2000 x\\]\\[2003  \\]\\[2000 y\\]$");
}

// Address-space limits cannot be combined with AddressSanitizer's shadow memory.
#if defined(__SANITIZE_ADDRESS__)
#define WEBLOG2RSS_NO_MEMORY_LIMIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WEBLOG2RSS_NO_MEMORY_LIMIT 1
#endif
#endif

#ifndef WEBLOG2RSS_NO_MEMORY_LIMIT
// Caps the address space a little above what is in use now.
void limitAddressSpace() {
    long pages = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (f == nullptr || fscanf(f, "%ld", &pages) != 1) exit(3);
    fclose(f);
    rlim_t limit = static_cast<rlim_t>(pages) * 4096 + (32u << 20);
    rlimit r{limit, limit};
    setrlimit(RLIMIT_AS, &r);
}

TEST(RegistryDeathTest, ExhaustedMemoryIsFatal) {
    std::string big(256u << 20, 'x');
    EXPECT_EXIT(
        {
            limitAddressSpace();
            useString(&big[0]);
        },
        testing::ExitedWithCode(2), "^out of dynamic memory in yy_scan_bytes\\(\\)\n$");
}
#endif

}  // namespace
