// The text services on one input (its text ends at the first NUL).
// TextStripper must stay within the room strippedTextRoom promises (the
// buffer is exactly that size, so AddressSanitizer sees any byte past it)
// and end its text where end() says. WordReader must give words of the
// length it reports, without whitespace, and nothing once it has ended;
// both skip SCRIPT and STYLE alike, so every word it gives appears in the
// stripped text, in order, followed by a space. One stripper and one
// reader serve every input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "check.h"
#include "text/strip.h"

using namespace w2r;
using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TextStripper stripper;
    static WordReader reader;

    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t len = std::strlen(input.c_str());
    const std::size_t room = strippedTextRoom(len);
    check(room > len, "no room for the closing NUL");
    std::unique_ptr<char[]> text(new char[room]);
    std::memcpy(text.get(), input.c_str(), len + 1);
    stripper.strip(text.get());
    const char* end = stripper.end();
    check(end >= text.get() && end < text.get() + room, "end() outside the buffer");
    check(*end == '\0' && std::strlen(text.get()) == static_cast<std::size_t>(end - text.get()),
          "stripped text does not end at end()");
    const std::string stripped(text.get(), static_cast<std::size_t>(end - text.get()));

    reader.start(input.c_str());
    std::size_t at = 0;  // where the next word must be looked for in stripped
    while (reader.hasMore()) {
        const char* word = reader.next();
        if (!word) {
            check(reader.length() == 0, "length() not 0 at the end");
            continue;
        }
        const std::size_t n = std::strlen(word);
        check(n > 0 && static_cast<int>(n) == reader.length(), "word length differs from length()");
        for (std::size_t i = 0; i < n; ++i)
            check(std::strchr(" \t\r\n", word[i]) == nullptr, "whitespace inside a word", word);
        std::size_t found = stripped.find(std::string(word, n) + " ", at);
        check(found != std::string::npos, "a word missing from the stripped text", word);
        at = found + n + 1;
    }
    check(reader.next() == nullptr && reader.length() == 0 && !reader.hasMore(),
          "a word after the end");
    reader.finish();
    check(reader.next() == nullptr, "a word after finish()");
    return 0;
}
