#include "base/arena.h"

#include <cstdlib>
#include <cstring>

#include "base/alloc.h"

namespace w2r {
namespace {

constexpr std::size_t kAlign = 8;

std::size_t roundUp(std::size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

}  // namespace

Arena::~Arena() {
    for (Block& b : blocks_) std::free(b.data);
}

// Moves to the next block, which is free: the kept one after the current
// block when it is large enough, else a new one put there.
void Arena::newBlock(std::size_t atLeast) {
    std::size_t k = next_ ? current_ + 1 : 0;
    if (k == blocks_.size() || blocks_[k].size < atLeast) {
        std::size_t size = atLeast > kBlockSize ? atLeast : kBlockSize;
        blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(k),
                       Block{static_cast<char*>(xmalloc(size)), size});
        capacity_ += size;
    }
    current_ = k;
    next_ = blocks_[k].data;
    limit_ = next_ + blocks_[k].size;
}

void* Arena::allocate(std::size_t size) {
    size = roundUp(size ? size : 1);
    if (!next_ || static_cast<std::size_t>(limit_ - next_) < size) newBlock(size);
    last_ = next_;
    next_ += size;
    return last_;
}

void* Arena::grow(void* p, std::size_t oldSize, std::size_t newSize) {
    if (p && p == last_ && roundUp(newSize) <= static_cast<std::size_t>(limit_ - last_)) {
        next_ = last_ + roundUp(newSize);
        return p;
    }
    void* q = allocate(newSize);
    if (p && oldSize) std::memcpy(q, p, oldSize < newSize ? oldSize : newSize);
    return q;
}

void Arena::releaseAll(std::size_t keptBytes) {
    std::size_t kept = 0, k = 0;
    for (Block& b : blocks_) {
        if (kept + b.size <= keptBytes) {
            kept += b.size;
            blocks_[k++] = b;
        } else {
            std::free(b.data);
        }
    }
    blocks_.resize(k);
    capacity_ = kept;
    current_ = 0;
    next_ = limit_ = last_ = nullptr;
}

}  // namespace w2r
