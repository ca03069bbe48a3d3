// Text utilities: stripHTML's output table, script/style skipping, the room
// bound, the tokenizer, and the weblog2rss-text command.
#include <gtest/gtest.h>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include "text/strip.h"

namespace {
using namespace w2r;
using Words = std::vector<std::string>;
TextStripper stripper;  // one of each for the whole binary: runs must not leak into each other
WordReader reader;

// Strips html in a buffer of exactly the documented room, with a guard
// pattern after it, and checks the result stayed inside that room.
std::string strip(const std::string& html) {
    std::size_t room = strippedTextRoom(html.size());
    std::vector<char> buf(room + 16, '#');
    std::copy(html.begin(), html.end(), buf.begin());
    buf[html.size()] = '\0';
    stripper.strip(buf.data());
    for (std::size_t i = room; i < buf.size(); i++) EXPECT_EQ(buf[i], '#') << "overrun at " << i;
    EXPECT_EQ(stripper.end(), buf.data() + std::char_traits<char>::length(buf.data()));
    return buf.data();
}

Words words(std::string html) {
    Words out;
    reader.start(html.data());
    while (reader.hasMore()) {
        if (const char* w = reader.next()) {
            EXPECT_EQ(reader.length(), static_cast<int>(std::string(w).size()));
            out.push_back(w);
        }
    }
    EXPECT_EQ(reader.next(), nullptr);  // asking again after the end is harmless
    EXPECT_EQ(reader.length(), 0);
    reader.finish();
    return out;
}

TEST(TextStripper, OutputTable) {
    // clang-format off
    const struct { const char *html, *text; } cases[] = {
        {"Hello, <b>world</b>!", "Hello ,  world !"},
        {"a<br>b<p>c", "a \nb \n\nc "},
        {"x,y", "x ,y "},
        {"<script>var x = 1;</script>Text", "    Text "},
        {"<script>if (a<b) go();</script>ok", "   ok "},
        {"<style>p {color: red}</style>Hi", "   Hi "},
        {"&lt;tag&gt; &amp; &copy;", "<tag > & "},
        {"&quot;q&#34;&nbsp;", "\"q \" "},
        {"one\ttwo", "one two "},
        {"a\r\nb", "a   b "},
        {"<xyz>u</xyz><!-- c --><!DOCTYPE html>v", "u v "},
        {"</script>after", "after "},
        {"", ""},
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(strip(c.html), c.text) << c.html;
    // An unclosed SCRIPT hides the rest of its page but not the next run.
    EXPECT_EQ(strip("<script>a b<p>c"), "  ");  // the tag, then the space inside
    EXPECT_EQ(strip("<p>c"), "\n\nc ");
}

// Words gain a space each, so short words between punctuation are the worst
// case; the output must still fit strippedTextRoom.
TEST(TextStripper, OutputNeverExceedsRoom) {
    for (std::string s : {"x", "x,", ",x", "x,y", "a.b.c.d.", "1&amp2", "x<b>y", "x&lt;y&gt;z", "x\ny\rz"}) {
        strip(s);
        while (s.size() < 3000) s += s;
        strip(s);
    }
    // Random mixes of the same ingredients, tags and entities included.
    std::mt19937 rng(7);
    // clang-format off
    const char* pieces[] = {"a", "b", ",", ".", "'", " ", "\t", "\n", "<p>", "<br>", "<b>",
                            "&lt;", "&#38;", "&amp", "<script>", "</script>"};
    // clang-format on
    for (int round = 0; round < 300; round++) {
        std::string page;
        for (int n = 1 + static_cast<int>(rng() % 400); n > 0; n--) page += pieces[rng() % 16];
        strip(page);
    }
}

TEST(WordReader, Words) {
    EXPECT_EQ(words("<style>p {color: red}</style>Hi there"), (Words{"Hi", "there"}));
    EXPECT_EQ(words("don't <b>stop</b> 2004&amp;x"), (Words{"don", "t", "stop", "2004", "x"}));
    EXPECT_EQ(words("<script>var a<b;</script>ok"), Words{"ok"});
    EXPECT_EQ(words("<script>never closed"), Words{});
    EXPECT_EQ(words(""), Words{});
}

// Runs the text command in a shell; returns its stdout and "[exit <status>]".
std::string runText(const std::string& args) {
    std::string bin = WEBLOG2RSS_TEXT_BIN, out;
    std::FILE* p = popen((bin + " " + args).c_str(), "r");
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;) out.append(chunk, n);
    return out + "[exit " + std::to_string(pclose(p)) + "]";
}

TEST(TextCommand, StripsWordsAndReportsMissingFile) {
    EXPECT_EQ(runText("<<'EOF'\n<p>Hi, <i>you</i>&amp;me</p>\nEOF"), "\n\nHi ,  you &me  [exit 0]");
    EXPECT_EQ(runText("-w <<'EOF'\n<style>a</style>Hi, you\nEOF"), "Hi\nyou\n[exit 0]");
    EXPECT_EQ(runText("/nonexistent/page 2>&1"), "File not exist, skipping: /nonexistent/page\n[exit 256]");
    EXPECT_EQ(runText("-h").find("usage: weblog2rss-text [-w] [FILE]"), 0u);
    std::string words = runText("-w " WEBLOG2RSS_SOURCE_DIR "/examples/weblog.html");
    EXPECT_GT(words.size(), 100u);
    EXPECT_EQ(words.substr(words.size() - 9), "\n[exit 0]");
}

}  // namespace
