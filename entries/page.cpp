#include "entries/page.h"

#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "base/limits.h"
#include "dom/builder.h"

namespace w2r {

// Allocated zeroed and untouched: its pages cost memory only once a page's
// bytes reach them. One byte more than the longest page and its NUL: the
// scanner reads the page in place and wants two NULs after it.
Page::Page() : raw_(static_cast<char*>(xcalloc(kPageBufferSize + 1, 1))) {}

Page::~Page() { std::free(raw_); }

void Page::reset() {
    std::memset(raw_, 0, dirty_);
    dirty_ = 0;
    size_ = 0;
    dateIndex_.drop();
    extraDates_.drop();
    origins_.clear();
    entries_.clear();
    tree_.reset();
}

void Page::read(std::FILE* f) {
    std::size_t n = std::fread(raw_, 1, kPageReadLimit, f);
    setSize(n);
}

void Page::setSize(std::size_t n) {
    raw_[n] = raw_[n + 1] = '\0';
    size_ = n;
    if (n + 2 > dirty_) dirty_ = n + 2;
}

void Page::load(std::string_view bytes) {
    std::size_t n = bytes.size() < kPageReadLimit ? bytes.size() : kPageReadLimit;
    if (n > 0) std::memcpy(raw_, bytes.data(), n);  // an empty view may hold no pointer
    setSize(n);
}

// The scanner works on the raw page in place and puts back every byte it
// changes before it lets go of it.
bool Page::buildTree(Diagnostics& diagnostics) {
    scanner_.useBuffer(raw_, static_cast<int>(size_ + 2));
    return w2r::buildTree(scanner_, tree_, diagnostics);
}

bool Page::mapOrigins() {
    return origins_.build(scanner_, text(), tree_.storeBegin(), tree_.storeEnd());
}

void Page::blankScripts() { blankScriptContent(raw_, std::strlen(raw_)); }

std::string_view Page::text() const { return std::string_view(raw_, std::strlen(raw_)); }

}  // namespace w2r
