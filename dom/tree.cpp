#include "dom/tree.h"

#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "base/limits.h"

namespace w2r {

// The store is allocated zeroed and untouched: its pages cost memory only
// once a page's text reaches them.
Tree::Tree()
    : store_(static_cast<char*>(xcalloc(kPageBufferSize, 1))),
      next_(store_),
      root_(),
      current_(&root_) {
    root_.start = root_.end = store_;
}

Tree::~Tree() {
    release();
    std::free(store_);
}

void Tree::release() {
    arena_.releaseAll();
    root_.children = nullptr;
    root_.childCount = 0;
    current_ = &root_;
    open_.clear();
}

void Tree::reset() {
    release();
    std::size_t used = static_cast<std::size_t>(next_ - store_);
    if (used > kPageBufferSize) used = kPageBufferSize;
    std::memset(store_, 0, used);
    root_ = Node();
    next_ = store_;
    current_ = &root_;
    root_.start = root_.end = next_;
}

}  // namespace w2r
