#include "dom/dom.h"

#include <cstdlib>
#include <cstring>

char tmp[PAGE_BUFFER_SIZE];
char buffer[PAGE_BUFFER_SIZE];
char* ptr_buffer = buffer;
node root;
node* current = &root;
std::stack<int> tag_stack;

// Walks the subtree without recursion: descend into the last child still
// attached (detaching it by lowering childCount), free a node once it has no
// children left, then climb to its parent. Parent links are always right, so
// no explicit stack is needed however deep the tree is.
void freeDOM(node* n) {
    if (!n) return;
    node* cur = n;
    for (;;) {
        if (cur->childCount > 0 && cur->children) {
            cur = cur->children[--cur->childCount];
            continue;
        }
        node* up = cur->parent;
        bool top = cur == n;
        std::free(cur->children);
        std::free(cur);
        if (top) return;
        cur = up;
    }
}

void resetParseState() {
    std::size_t used = static_cast<std::size_t>(ptr_buffer - buffer);
    if (used > PAGE_BUFFER_SIZE) used = PAGE_BUFFER_SIZE;
    std::memset(buffer, 0, used);
    std::memset(&root, 0, sizeof root);
    ptr_buffer = buffer;
    current = &root;
    root.start = root.end = ptr_buffer;
}

void releaseTree() {
    for (int i = 0; i < root.childCount; i++) freeDOM(root.children[i]);
    if (root.childCount != 0) std::free(root.children);
    root.children = nullptr;
    root.childCount = 0;
    current = &root;
    while (!tag_stack.empty()) tag_stack.pop();
}
