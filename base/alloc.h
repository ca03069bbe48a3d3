// Allocation that never returns null: on exhaustion the process prints
// "out of memory" on standard error and exits with status 2.
#pragma once

#include <cstddef>

namespace w2r {

void* xmalloc(std::size_t size);
void* xcalloc(std::size_t count, std::size_t size);
void* xrealloc(void* p, std::size_t size);
// Prints message and a newline on standard error and exits with status 2.
[[noreturn]] void fatalError(const char* message);
// Reports exhausted memory ("out of memory") and ends the process.
[[noreturn]] void outOfMemory();

}  // namespace w2r
