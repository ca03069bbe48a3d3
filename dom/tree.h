// The page tree: elements over one text store holding the page's text as
// the tree builder kept it.
#pragma once

#include <cstddef>
#include <vector>

#include "base/arena.h"

namespace w2r {

// One element of the page, covering [start, end) of the text store. Nodes
// and their child arrays live in the tree's arena until the tree is released.
struct Node {
    int tag;  // tag id of the open tag; 0 for root
    int childCount;
    char* start;      // first byte of the node's stored text
    char* end;        // one past its last byte; null until closed
    Node** children;  // childCount entries, null when there are none
    Node* parent;     // null for root
};

class TreeBuilder;

// Owns the text store (kPageBufferSize bytes), the nodes and the stack of
// open elements of one page at a time. The nodes' memory is kept from page
// to page.
class Tree {
public:
    Tree();
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // Releases the nodes (all at once) and empties the open-element stack;
    // the store keeps its text.
    void release();
    // release(), then clears the bytes of the store the page used: an empty
    // tree, ready for the next page.
    void reset();

    Node& root() { return root_; }
    const Node& root() const { return root_; }
    // The text store: [storeBegin(), storeEnd()) holds the stored text and
    // is followed by NULs.
    char* storeBegin() const { return store_; }
    char* storeEnd() const { return next_; }
    // The element that receives the next new child.
    const Node* current() const { return current_; }
    bool atRoot() const { return current_ == &root_; }
    // Tag ids of the open elements, outermost first.
    const std::vector<unsigned char>& openElements() const { return open_; }

private:
    friend class TreeBuilder;

    char* store_;
    char* next_;  // next free byte of the store
    Node root_;
    Node* current_;
    std::vector<unsigned char> open_;  // tag ids (below kTagTableSize)
    Arena arena_;                      // nodes and child arrays
};

}  // namespace w2r
