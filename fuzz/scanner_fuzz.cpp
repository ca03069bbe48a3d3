// The fast scanner against the literal reference scanner. For the input's
// first kCompared bytes, read through a copy (useString) and in place
// (useBuffer), the fast scanner must give the reference's items (code,
// text, entity value) in order, report each item to its handler with the
// code next() returns, cover the text exactly, keep returning the end, and
// leave a buffer scanned in place as it was given. The reference is slow, so
// longer inputs are only scanned whole by the fast scanner on its own.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "reference_scan.h"
#include "scanner/scanner.h"

namespace {

using namespace w2r;
using fuzz::check;

constexpr std::size_t kCompared = 1024;

struct Recorder {
    Scanner* scanner = nullptr;
    std::vector<ref::Item> items;

    static int text(void* self, int code, char* text, int len) {
        check(static_cast<int>(std::strlen(text)) == len, "item text length differs from len");
        static_cast<Recorder*>(self)->items.push_back({code, std::string(text, len), 0});
        return 0;
    }
    static int entity(void* self, int value) {
        auto* r = static_cast<Recorder*>(self);
        r->items.push_back({kItemEntity, r->scanner->itemText(), value});
        return 0;
    }
};

std::string dump(const std::vector<ref::Item>& items) {
    std::string out;
    for (const ref::Item& item : items) {
        out += "[" + std::to_string(item.code) + " " + item.text;
        if (item.code == kItemEntity) out += "=" + std::to_string(item.value);
        out += "]";
    }
    return out;
}

// Scans the scanner's current input to its end and releases it; the items
// reported, after checking them against the codes returned and the length.
std::vector<ref::Item> drain(Scanner& scanner, Recorder& recorder, std::size_t textLength) {
    recorder.items.clear();
    std::vector<int> codes;
    std::size_t covered = 0;
    for (int code; (code = scanner.next()) != kItemEnd;) {
        codes.push_back(code);
        check(scanner.itemLength() > 0, "empty item");
        covered += static_cast<std::size_t>(scanner.itemLength());
        check(covered <= textLength, "items run past the text");
    }
    check(scanner.next() == kItemEnd, "an item after the end");
    scanner.release();
    check(covered == textLength, "items do not cover the text");
    check(codes.size() == recorder.items.size(), "an item missed its handler");
    for (std::size_t i = 0; i < codes.size(); ++i)
        check(codes[i] == recorder.items[i].code, "handler code differs from the code returned");
    return recorder.items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Scanner scanner;  // one scanner for every input, as a page's is
    static Recorder recorder;
    recorder.scanner = &scanner;
    scanner.setHandlers({&recorder, Recorder::text, Recorder::text, Recorder::text, Recorder::text,
                         Recorder::text, Recorder::text, Recorder::entity});

    const std::string whole(reinterpret_cast<const char*>(data), size);
    scanner.useString(whole.c_str());
    drain(scanner, recorder, std::strlen(whole.c_str()));

    const std::string input = whole.substr(0, kCompared);
    const std::size_t textLength = std::strlen(input.c_str());
    const std::string want = dump(fuzz::referenceScan(input));

    scanner.useString(input.c_str());
    const std::string copied = dump(drain(scanner, recorder, textLength));
    check(copied == want, "scanned copy differs from the reference",
          "input: " + input + "\nfast: " + copied + "\nreference: " + want);

    std::string bytes = input + std::string(2, '\0');
    const std::string given = bytes;
    scanner.useBuffer(&bytes[0], static_cast<int>(bytes.size()));
    const std::string inPlace = dump(drain(scanner, recorder, textLength));
    check(inPlace == want, "scanned buffer differs from the reference",
          "input: " + input + "\nfast: " + inPlace + "\nreference: " + want);
    check(bytes == given, "buffer not left as given");
    return 0;
}
