#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "scanner/handlers.h"
#include "scanner/scanner.h"
#include "scanner_reference.h"
#include "support.h"
namespace {
using namespace w2r;
using test::corpusPage;
Scanner scanner;  // one scanner for the whole binary: inputs must not leak into each other
std::vector<ref::Item> recorded;
int recordText(void*, int code, char* text, int len) {
    EXPECT_EQ(static_cast<int>(strlen(text)), len);
    recorded.push_back({code, std::string(text, len), 0});
    return 0;
}
int recordEntity(void*, int value) {
    recorded.push_back({kItemEntity, scanner.itemText(), value});
    return 0;
}
enum Mode { Record, Echo, Silent };
void install(Mode m) {
    ScanHandlers h = m == Echo ? echoHandlers() : ScanHandlers();
    if (m == Record) h = {nullptr, recordText, recordText, recordText, recordText, recordText, recordText, recordEntity};
    scanner.setHandlers(h);
    recorded.clear();
}

// Scans the current input to its end with the handlers installed, then releases it; the codes returned.
std::vector<int> drain(size_t* covered = nullptr) {
    std::vector<int> codes;
    for (int code; (code = scanner.next()) != kItemEnd; covered && (*covered += scanner.itemLength())) codes.push_back(code);
    EXPECT_EQ(scanner.next(), kItemEnd);  // and on every further call
    scanner.release();
    return codes;
}
std::vector<int> codesOf(std::string text, size_t* covered = nullptr) { return scanner.useString(&text[0]), drain(covered); }
// With recorders: every item must reach its handler with the code returned, and the items cover the text.
std::vector<ref::Item> scanCurrent(size_t textLength) {
    install(Record);
    size_t covered = 0;
    std::vector<int> codes = drain(&covered), handled;
    for (const ref::Item& item : recorded) handled.push_back(item.code);
    EXPECT_EQ(codes, handled);
    EXPECT_EQ(covered, textLength);
    return recorded;
}
// Through useString (a copy, ending at the first NUL) or useBuffer (in place, bytes left as given).
std::vector<ref::Item> scan(const std::string& input, bool inPlace = false) {
    std::string bytes = input + std::string(2, '\0');
    inPlace ? scanner.useBuffer(&bytes[0], static_cast<int>(bytes.size())) : scanner.useString(&bytes[0]);
    std::vector<ref::Item> items = scanCurrent(strlen(bytes.c_str()));
    EXPECT_EQ(bytes, input + std::string(2, '\0')) << "bytes not restored";
    return items;
}
std::string dump(const std::vector<ref::Item>& items) {
    std::string out;
    for (const auto& [code, text, value] : items)
        out += "[" + std::to_string(code) + " " + text + (code == kItemEntity ? "=" + std::to_string(value) : "") + "]";
    return out;
}
template <typename F>  // what f prints on standard output
std::string printed(F f) {
    testing::internal::CaptureStdout(), f();
    return testing::internal::GetCapturedStdout();
}

TEST(Scanner, ExactItemStreamsOfTrickyTexts) {  // cases in one row don't interact
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"<header><article><basefont><thead>", "[41 <header>][1 <article>][9 <basefont>][85 <thead>]"},
        {"<unknownTag><nobr></xyz><?xml version=1?>", "[89 <unknownTag>][0 <nobr>][1000 </xyz>][0 <?xml version=1?>]"},
        {"<p>x</P><H1 class='t'>", "[64 <p>][2000 x][1064 </P>][35 <H1 class='t'>]"},
        {"< a></ a><></></", "[0 < a>][1000 </ a>][2001 <][2001 >][0 </>][2001 <][2001 /]"},
        {"a<b then <b><a title='it>x\ndon't>", "[2000 a][7 <b then <b>][1 <a title='it>x\ndon't>]"},
        {"<a href='x>", "[2001 <][2000 a][2003  ][2000 href][2001 =][2001 '][2000 x][2001 >]"},
        {"<a!><x '!'><x \"'\">", "[1 <a!>][0 <x '!'>][0 <x \"'\">]"},
        {"<x!></x!>", "[2001 <][2000 x][2001 !][2001 >][2001 <][2001 /][2000 x][2001 !][2001 >]"},
        {"<!DOCTYPE html><!-- a >\nb --><!-- a->b -->", "[92 <!DOCTYPE html>][92 <!-- a >\nb -->][92 <!-- a->b -->]"},
        {"<!-- a -- b > c -->", "[92 <!-- a -- b >][2003  ][2000 c][2003  ][2001 -][2001 -][2001 >]"},
        {"<!-- a --> b -->", "[92 <!-- a -->][2003  ][2000 b][2003  ][2001 -][2001 -][2001 >]"},
        {"<!-- x", "[2001 <][2001 !][2001 -][2001 -][2003  ][2000 x]"},
        {"&amp&amp;&ampx", "[2004 &amp=38][2004 &amp;=38][2004 &amp=38][2000 x]"},
        {"&AMP;&#x41;&#;", "[2001 &][2000 AMP][2001 ;][2001 &][2001 #][2000 x41][2001 ;][2001 &][2001 #][2001 ;]"},
        {"&#65&#00065;x&nbsp;y", "[2004 &#65=65][2004 &#00065;=65][2000 x][2004 &nbsp;=32][2000 y]"},
        {"&sup1;&sup;&Eacute;&eacute;", "[2004 &sup1;=185][2001 &][2000 sup][2001 ;][2004 &Eacute;=201][2004 &eacute;=233]"},
        {"&ETH;&eth&AElig;&aelig", "[2004 &ETH;=208][2004 &eth=240][2004 &AElig;=198][2004 &aelig=230]"},
        {"&#2147483648;&#99999999999999999999", "[2004 &#2147483648;=2147483647][2004 &#99999999999999999999=2147483647]"},
        {"Hello,\r\n\t 3.14!", "[2000 Hello][2001 ,][2003 \r][2003 \n][2003 \t][2003  ][2000 3][2001 .][2000 14][2001 !]"},
        {"caf\xc3\xa9\x01\x0c\x7f_x", "[2000 caf\xc3\xa9\x01\x0c\x7f][2001 _][2000 x]"},
        {"", ""},
    };
    // clang-format on
    for (const auto& [input, items] : cases) EXPECT_EQ(dump(scan(input)), items) << "input: " << input;
}
// The reference's item streams: for random texts of tag, comment and entity fragments (NULs included),
// through both ways of supplying input, and for windows of real pages.
TEST(Scanner, MatchesTheLiteralRules) {
    // clang-format off
    const std::vector<std::string> pieces = {
        "<", "</", ">", "<!", "--", "-", "!", "'", "\"", " ", "\t", "\n", "\r", "/", "=", ";", "#", "&", "&#", "1", "42",
        "9999999999", "amp", "AMP", "nbsp", "sup", "sup1", "eacute", "Eacute", "lt", "quot", "not", "a", "A", "b",
        "bAsEfOnT", "th", "THead", "h1", "H7", "sub", "script", "xyz", "article", "nobr", "?", "_", "x", "\x80", "\xe9",
        "\xff", "\x01", "\x0c", "\x7f", std::string(1, '\0'), "<!--", "-->", "<a href='", "' x>", "<!DOCTYPE", "&#65;",
        "&lt;", "&#0"};
    // clang-format on
    std::mt19937 rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        for (int k = 0, n = 1 + static_cast<int>(rng() % 24); k < n; ++k) input += pieces[rng() % pieces.size()];
        // Every tenth: after 100 tags that fail (each reads on to the next '>'), so that the scanner
        // gives up reading tag ends forward and fills its table of every '<'.
        if (round % 10 == 9)
            for (int k = 0; k < 100; ++k) input.insert(0, "<x!");
        ASSERT_EQ(dump(scan(input, round % 2)), dump(ref::scan(input))) << input;
    }
    for (int page = 0; page < 97; page += 4) {  // real pages, when the corpus is there
        std::string text = corpusPage(page);
        for (int window = 0; window < 8 && text.size() > 600; ++window) {
            std::string input = text.substr(rng() % (text.size() - 600), 600);
            ASSERT_EQ(dump(scan(input)), dump(ref::scan(input))) << "page " << page;
        }
    }
}

// takeText() then next(), in turn: the runs hold exactly the words, spaces and punctuation the
// reference reports up to the next '<' or '&', and next() reports the items in between.
TEST(Scanner, TextRunsAreTheTextItemsBetweenMarkup) {
    std::mt19937 rng(7);
    const char* const pieces[] = {"<",  "&", "&amp;", "&#6", "<b>", "</p >", "<!-- x -->", "<x!",   "word",          " ",
                                  "\n", ",", ">",     "'",   "\"",  "\xe9",  "a<",         "&nbsp", "<a href='x>y'>"};
    install(Silent);
    for (int round = 0; round < 2000; ++round) {
        std::string input;
        for (int k = rng() % 16; k >= 0; --k) input += pieces[rng() % std::size(pieces)];
        std::vector<ref::Item> want = ref::scan(input);
        std::string bytes = input + std::string(2, '\0');
        scanner.useBuffer(&bytes[0], static_cast<int>(bytes.size()));
        size_t k = 0;  // next reference item
        for (;;) {
            std::string run(scanner.takeText());
            EXPECT_EQ(run.find_first_of("<&"), std::string::npos) << input;
            std::string got;
            for (; got.size() < run.size() && k < want.size(); got += want[k++].text)
                EXPECT_TRUE(want[k].code == kItemWord || want[k].code == kItemSpace || want[k].code == kItemPunct) << input;
            EXPECT_EQ(got, run) << input;
            int code = scanner.next();
            if (code == kItemEnd) break;
            ASSERT_LT(k, want.size()) << input;
            EXPECT_EQ(code, want[k].code) << input;
            EXPECT_EQ(std::string(scanner.itemText(), scanner.itemLength()), want[k++].text) << input;
        }
        EXPECT_EQ(k, want.size()) << input;
        scanner.release();
        EXPECT_EQ(bytes, input + std::string(2, '\0')) << "bytes not restored";
    }
}

// Pathological texts of 3 MiB scan to the end, covering every byte.
TEST(Scanner, HostileTextsAreScannedCompletely) {
    const size_t size = 3u << 20;
    for (std::string unit : {"<a", "<a '", "<!--", "&#1", "<", "<x \"", "<!-- --", "</"}) {
        std::string text;
        while (text.size() + unit.size() <= size) text += unit;
        size_t covered = 0;
        install(Silent), codesOf(text, &covered);
        EXPECT_EQ(covered, text.size()) << unit;
    }
    std::vector<ref::Item> digits = scan("&#" + std::string(size, '7'));  // one capped entity
    ASSERT_EQ(digits.size(), 1u);
    EXPECT_EQ(digits[0].value, INT_MAX);
}

TEST(Registry, PrintedFormatsAndNullSlots) {
    install(Echo);
    char text[] = "<p>Hi</p>", more[] = "<!--c--><zz></zz> .";  // printTags scans a copy
    EXPECT_EQ(printed([] { codesOf("<b>Hi</b> \n&lt;<!-- c -->,"); }),
              "OPEN TAG: <b>\nTOKEN Hi\nCLOSE TAG: </b>\nUNMATCHED chr(32)\nUNMATCHED chr(10)\nENTITY <\n"
              "COMMENT <!-- c -->\nPUNCT ,\n");
    EXPECT_EQ(printed([&] { printTags(scanner, text); }),  // the handlers keep running
              "OPEN TAG: <p>\nOPEN  P 64\nTOKEN Hi\nTOKEN Hi\nCLOSE TAG: </p>\nCLOSE /P 1064\n");
    install(Silent);  // null slots silence the handlers but not the codes
    EXPECT_EQ(printed([&] { printTags(scanner, more); }), "OPEN   92\nOPEN  _UKN_ 0\nCLOSE /_UKN_ 1000\n");
    std::vector<int> codes;
    EXPECT_EQ(printed([&] { codes = codesOf("<p>a, b&amp;<!--c--></p>"); }), "");
    EXPECT_EQ(codes, (std::vector<int>{64, 2000, 2001, 2003, 2000, 2004, 92, 1064}));
}
TEST(Registry, SuppliedInputs) {  // useString copies; useBuffer refuses bytes without two closing NULs
    char text[] = "one two";
    scanner.useString(text);
    memset(text, 'x', sizeof text - 1);
    EXPECT_EQ(dump(scanCurrent(7)), "[2000 one][2003  ][2000 two]");
    EXPECT_STREQ(text, "xxxxxxx");
    scanner.release();                    // no current input: nothing happens
    EXPECT_EQ(scanner.next(), kItemEnd);  // and nothing is scanned after a release
    EXPECT_EQ(recorded.size(), 3u);
    char current[] = "cur", bad1[] = {'a', 'b', 0, 'c'}, bad2[] = {'a', 0, 'b', 0}, tiny[] = {0};
    scanner.useString(current);
    scanner.useBuffer(bad1, 4), scanner.useBuffer(bad2, 4), scanner.useBuffer(tiny, 1), scanner.useBuffer(nullptr, 2);
    EXPECT_EQ(dump(scanCurrent(3)), "[2000 cur]");
    char good[] = {'x', ' ', 'y', 0, 0};
    scanner.useBuffer(good, 5);
    EXPECT_EQ(scanner.next(), kItemWord);
    EXPECT_EQ(good[1], 0);  // the held byte, in the caller's bytes
    scanner.release();
    EXPECT_EQ(std::string(good, 3), "x y");  // put back, nothing cleared, on release
}
TEST(Registry, BacktrackRescansTheRestOfTheItemAndIgnoresBadLengths) {
    install(Record);
    ScanHandlers h = scanner.handlers();
    h.openTag = [](void*, int code, char* text, int len) {
        recordText(nullptr, code, text, len), scanner.backtrack(1);
        EXPECT_EQ(std::string(scanner.itemText()) + std::to_string(scanner.itemLength()), "<1");
        return 0;
    };
    h.word = [](void*, int code, char* text, int len) {  // lengths outside the item are ignored
        return recordText(nullptr, code, text, len), scanner.backtrack(0), scanner.backtrack(len + 1), 0;
    };
    scanner.setHandlers(h);
    EXPECT_EQ(codesOf("<b>x yz"), (std::vector<int>{7, 2000, 2001, 2000, 2003, 2000}));
    EXPECT_EQ(dump(recorded), "[7 <b>][2000 b][2001 >][2000 x][2003  ][2000 yz]");
    scanner.backtrack(1);  // no current input
}
TEST(Registry, ElementNameTableIsSortedAndPadded) {  // the reference relies on it
    EXPECT_STREQ(kTagNames[91], "VAR");
    for (int id = 1; id < 91; ++id) EXPECT_LT(strcmp(kTagNames[id], kTagNames[id + 1]), 0) << id;
    for (int id = 92; id < 100; ++id) EXPECT_STREQ(kTagNames[id], "");
}

#ifndef __SANITIZE_ADDRESS__  // no address-space cap under AddressSanitizer's shadow memory
TEST(RegistryDeathTest, ExhaustedMemoryIsFatal) {
    std::string big(256u << 20, 'x');
    long pages = 0;  // cap the address space a little above what is in use now
    std::ifstream("/proc/self/statm") >> pages;
    ASSERT_GT(pages, 0);
    rlimit r;
    r.rlim_cur = r.rlim_max = static_cast<rlim_t>(pages) * 4096 + (32u << 20);
    EXPECT_EXIT((setrlimit(RLIMIT_AS, &r), scanner.useString(&big[0])), testing::ExitedWithCode(2), "^out of memory\n$");
}
#endif
}  // namespace
