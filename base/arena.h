// A bump allocator for the short-lived objects of one page: allocation is a
// pointer increment, and everything is released at once. The blocks are
// kept for the next page (up to a limit), so their memory is already
// mapped when it is used again.
#pragma once

#include <cstddef>
#include <vector>

namespace w2r {

class Arena {
public:
    Arena() = default;
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // size bytes aligned to 8 bytes (pointers, integers, nodes); never null
    // (out of memory ends the process).
    void* allocate(std::size_t size);
    // Room for newSize bytes holding the first oldSize bytes of p, which
    // came from this arena with oldSize bytes: p itself when it was the
    // last allocation and the block has room, else a copy.
    void* grow(void* p, std::size_t oldSize, std::size_t newSize);
    // Releases every allocation. Blocks up to keptBytes in all stay for
    // reuse, the others are freed.
    void releaseAll(std::size_t keptBytes = kDefaultKept);

    // Bytes held in blocks (used or not).
    std::size_t capacity() const { return capacity_; }

    static constexpr std::size_t kBlockSize = 256 * 1024;
    static constexpr std::size_t kDefaultKept = 8u << 20;

private:
    struct Block {
        char* data;
        std::size_t size;
    };
    void newBlock(std::size_t atLeast);

    std::vector<Block> blocks_;
    std::size_t current_ = 0;  // index of the block being filled
    char* next_ = nullptr;     // next free byte of the current block
    char* limit_ = nullptr;    // its end
    char* last_ = nullptr;     // start of the last allocation
    std::size_t capacity_ = 0;
};

}  // namespace w2r
