// A page's charset and the conversion of its bytes to UTF-8 that XML 1.0
// accepts.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace w2r {

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or code
// points above U+10FFFF). With allowCutEnd, a sequence that is only cut off
// by the end of text still counts as valid: pages are read up to a limit.
bool isValidUtf8(std::string_view text, bool allowCutEnd = false);

// utf8 reduced to what XML 1.0 allows: every ill-formed sequence becomes
// U+FFFD, vertical tab and form feed become spaces, other C0 controls
// except tab, line feed and carriage return are dropped, as are U+FFFE and
// U+FFFF.
std::string xmlSafeUtf8(std::string_view utf8);

// The iconv name for a charset label as pages and servers write it ("utf8",
// "iso-8859-1", "Shift_JIS", ...); empty when the label is malformed, names
// no charset iconv has, or names UTF-16 or UTF-32, which a label read as
// ASCII cannot be true of. Labels for Latin-1 and ASCII give WINDOWS-1252,
// which browsers decode them as.
std::string iconvCharsetName(std::string_view label);

// The charset label a page declares in <meta charset>, in a <meta
// http-equiv="Content-Type"> content value, or in an XML declaration,
// looked for in the page's head; empty when there is none.
std::string declaredCharset(std::string_view page);

// The charset of a page as an iconv name: from a byte-order mark, else from
// httpCharset (a label or a whole Content-Type value), else from the page's
// own declaration, else UTF-8 when the bytes are valid UTF-8, else
// WINDOWS-1252. Declarations iconv cannot use are passed over.
std::string detectCharset(std::string_view page, std::string_view httpCharset);

// Converts pieces of a page from its charset to XML-safe UTF-8 (see
// xmlSafeUtf8). Bytes invalid in the charset become U+FFFD.
class Utf8Converter {
public:
    // An iconv name; one iconv cannot open gives WINDOWS-1252.
    explicit Utf8Converter(const std::string& charset);
    ~Utf8Converter();
    Utf8Converter(const Utf8Converter&) = delete;
    Utf8Converter& operator=(const Utf8Converter&) = delete;

    std::string convert(std::string_view bytes);
    const std::string& charset() const { return charset_; }

private:
    std::string charset_;
    iconv_t cd_;  // (iconv_t)-1 for UTF-8, which needs only checking
};

}  // namespace w2r
