// The page arena.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/arena.h"

namespace {
using w2r::Arena;

TEST(Arena, AllocationsAreAlignedDisjointAndReusedAfterRelease) {
    Arena arena;
    struct Piece {
        unsigned char* p;
        std::size_t size;
    };
    std::vector<Piece> pieces;
    // Sizes from 1 byte to beyond a block, each filled with its own byte.
    const std::size_t sizes[] = {1, 7, 8, 48, 100, 4096, Arena::kBlockSize - 8, Arena::kBlockSize * 3, 9};
    for (int round = 0; round < 40; ++round)
        for (std::size_t size : sizes) {
            auto* p = static_cast<unsigned char*>(arena.allocate(size));
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u);
            std::memset(p, static_cast<int>(pieces.size() & 0xFF), size);
            pieces.push_back({p, size});
        }
    for (std::size_t i = 0; i < pieces.size(); ++i)
        for (std::size_t k = 0; k < pieces[i].size; k += 997) ASSERT_EQ(pieces[i].p[k], i & 0xFF) << i;

    void* first = pieces[0].p;
    arena.releaseAll();
    EXPECT_LE(arena.capacity(), Arena::kDefaultKept);
    EXPECT_GT(arena.capacity(), 0u);
    EXPECT_EQ(arena.allocate(16), first);  // the kept memory is used again
    arena.releaseAll(0);
    EXPECT_EQ(arena.capacity(), 0u);
}

TEST(Arena, GrowExtendsTheLastAllocationInPlaceElseCopies) {
    Arena arena;
    auto* a = static_cast<char*>(arena.allocate(8));
    std::memcpy(a, "abcdefg", 8);
    EXPECT_EQ(arena.grow(a, 8, 64), a);  // last allocation, room in the block
    auto* b = static_cast<char*>(arena.allocate(8));
    EXPECT_GE(b, a + 64);  // the grown room is taken
    auto* c = static_cast<char*>(arena.grow(a, 8, 128));
    EXPECT_NE(c, a);  // not the last allocation any more
    EXPECT_STREQ(c, "abcdefg");
    // Growing beyond the block moves to a block of its own, keeping the bytes.
    auto* d = static_cast<char*>(arena.grow(c, 128, Arena::kBlockSize * 2));
    EXPECT_STREQ(d, "abcdefg");
    std::memset(d, 1, Arena::kBlockSize * 2);
    EXPECT_NE(arena.grow(nullptr, 0, 16), nullptr);
}

}  // namespace
