// Size limits shared by every stage.
#pragma once

#include <cstddef>

namespace w2r {

// Room for one page and for its text store: 3 MiB each.
constexpr std::size_t kPageBufferSize = 3145728;
// Longest page read, so that the page text always stays NUL-terminated.
constexpr std::size_t kPageReadLimit = kPageBufferSize - 1;

}  // namespace w2r
