#include "base/alloc.h"

#include <cstdio>
#include <cstdlib>

namespace w2r {

void fatalError(const char* message) {
    std::fprintf(stderr, "%s\n", message);
    std::exit(2);
}

void outOfMemory() { fatalError("out of memory"); }

void* xmalloc(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) outOfMemory();
    return p;
}

void* xcalloc(std::size_t count, std::size_t size) {
    void* p = std::calloc(count ? count : 1, size ? size : 1);
    if (!p) outOfMemory();
    return p;
}

void* xrealloc(void* p, std::size_t size) {
    void* q = std::realloc(p, size ? size : 1);
    if (!q) outOfMemory();
    return q;
}

}  // namespace w2r
