// The tree builder: scanner handlers that grow the page tree while the page
// is scanned.
#pragma once

#include <cstddef>

#include "base/diagnostics.h"
#include "dom/tree.h"
#include "scanner/scanner.h"

namespace w2r {

// True for the 28 element kinds that make tree nodes.
bool isTreeElement(int id);

// Feeds the items of one page into a tree. Every item's text is appended to
// the store (entities, comments and declarations are left out); open and
// close tags of tree elements open and close nodes. A close tag with no
// element open is reported as "serious stack error".
class TreeBuilder {
public:
    TreeBuilder(Tree& tree, Diagnostics& diagnostics) : tree_(tree), diagnostics_(diagnostics) {}

    // Handlers that call the methods below on this builder.
    ScanHandlers handlers();

    void openTag(int id, const char* text, int len);
    void closeTag(int code, const char* text, int len);
    void text(const char* text, int len);
    // A run of text holding no NUL byte.
    void textRun(const char* text, std::size_t len);
    // End-of-page close: closes every element still open (no-op when none is).
    void finish();

private:
    void openElement(int id, const char* text, int len);
    void closeElement(const char* text, int len, int implicitCount);

    Tree& tree_;
    Diagnostics& diagnostics_;
};

// Scans text (up to its first NUL) into the reset tree and closes what is
// left open; true when the tree's cursor is back at root.
bool buildTree(Scanner& scanner, Tree& tree, const char* text, Diagnostics& diagnostics);
// The same for the scanner's current input, scanned in place; the input is
// released afterwards.
bool buildTree(Scanner& scanner, Tree& tree, Diagnostics& diagnostics);

}  // namespace w2r
