#include "dom/dom.h"

#include <cstdlib>
#include <cstring>

char tmp[PAGE_BUFFER_SIZE];
char buffer[PAGE_BUFFER_SIZE];
char* ptr_buffer = buffer;
node root;
node* current = &root;
std::stack<int> tag_stack;

void freeDOM(node* n) {
    // stub
    (void)n;
}

void resetParseState() {
    std::memset(buffer, 0, static_cast<std::size_t>(ptr_buffer - buffer));
    std::memset(&root, 0, sizeof root);
    ptr_buffer = buffer;
    current = &root;
    root.start = root.end = ptr_buffer;
}

void releaseTree() {
    while (!tag_stack.empty()) tag_stack.pop();
}
