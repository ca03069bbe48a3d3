// Where the bytes of the text store came from in the raw page. The store
// holds the page's items in order minus character entities, comments and
// declarations, so every stored byte has one place in the raw page; the
// extraction mode uses this to hand out raw slices, whose entities are
// intact.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace w2r {

class Scanner;

// Replaces the content of every <script> and <style> element of text[0, n)
// by spaces, keeping line breaks; an element never closed runs to the end.
void blankScriptContent(char* text, std::size_t n);

class StoreOrigins {
public:
    // Scans raw (the page text the store was built from) the way the tree
    // builder did and maps [storeBegin, storeEnd) onto it. False, and the
    // map left empty, when the rescan does not give back the store's bytes.
    bool build(Scanner& scanner, std::string_view raw, const char* storeBegin,
               const char* storeEnd);
    void clear();
    bool ready() const { return ready_; }

    // The raw offset of store position p (storeBegin <= p <= storeEnd):
    // where the byte at p came from; text the store dropped just before
    // it (an entity, a comment) counts to the text before p. 0 when the map
    // is not ready or p is outside.
    std::size_t rawOffset(const char* p) const;
    // The raw slice of the store slice [a, b), empty when unmapped.
    std::string_view rawSlice(const char* a, const char* b) const;

private:
    // From store offset `store` on, store bytes sit at raw offset
    // raw + (p - store), up to the next segment.
    struct Segment {
        std::size_t store;
        std::size_t raw;
    };
    std::vector<Segment> segments_;
    std::string_view raw_;
    const char* storeBegin_ = nullptr;
    const char* storeEnd_ = nullptr;
    bool ready_ = false;
};

}  // namespace w2r
