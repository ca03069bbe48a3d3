// The charset hint handed to the format serialisers winning over the page's
// own declaration (what each item carries: the golden feeds of cli_test).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "feed/format_writer.h"
#include "weblog2rss/convert.h"

namespace {

using namespace w2r;

// A page that declares UTF-8 but holds Windows-1252 bytes: the hint of an
// HTTP Content-Type decides how its bytes are read.
TEST(FormatWriter, CharsetHintWinsOverThePage) {
    std::string page = "<html><head><meta charset=\"utf-8\"></head><body><div>";
    for (int d = 1; d <= 4; d++)
        page += "<p>Monday, March 0" + std::to_string(d) + ", 2004</p><b>Caf\xe9 " + std::to_string(d) + "</b><p>text</p>";
    page += "</div></body></html>";
    const Converter converter;
    Page context;
    CollectedDiagnostics diagnostics;
    auto titleOf = [&](const std::string& hint) {
        std::ostringstream out;
        FormatWriter writer(FeedFormat::Rss2, out, hint);
        EXPECT_TRUE(convertPage(converter, context, page, "http://h.example/", writer, diagnostics).hasEntries());
        return out.str();
    };
    EXPECT_NE(titleOf("windows-1252").find("<title>Caf\xc3\xa9 1</title>"), std::string::npos);
    EXPECT_EQ(titleOf("").find("Caf\xc3\xa9"), std::string::npos);  // invalid UTF-8 is not read as Latin-1
}

}  // namespace
