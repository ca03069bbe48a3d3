#include "entries/page.h"

#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "base/limits.h"
#include "dom/builder.h"

namespace w2r {

// Allocated zeroed and untouched: its pages cost memory only once a page's
// bytes reach them.
Page::Page() : raw_(static_cast<char*>(xcalloc(kPageBufferSize, 1))) {}

Page::~Page() { std::free(raw_); }

void Page::reset() {
    std::memset(raw_, 0, dirty_);
    dirty_ = 0;
    dateIndex_.drop();
    extraDates_.drop();
    origins_.clear();
    entries_.clear();
    tree_.reset();
}

void Page::read(std::FILE* f) {
    std::size_t n = std::fread(raw_, 1, kPageReadLimit, f);
    raw_[n] = '\0';
    if (n + 1 > dirty_) dirty_ = n + 1;
}

void Page::load(std::string_view bytes) {
    std::size_t n = bytes.size() < kPageReadLimit ? bytes.size() : kPageReadLimit;
    std::memcpy(raw_, bytes.data(), n);
    raw_[n] = '\0';
    if (n + 1 > dirty_) dirty_ = n + 1;
}

bool Page::buildTree(Diagnostics& diagnostics) {
    return w2r::buildTree(scanner_, tree_, raw_, diagnostics);
}

bool Page::mapOrigins() {
    return origins_.build(scanner_, text(), tree_.storeBegin(), tree_.storeEnd());
}

void Page::blankScripts() { blankScriptContent(raw_, std::strlen(raw_)); }

std::string_view Page::text() const { return std::string_view(raw_, std::strlen(raw_)); }

}  // namespace w2r
