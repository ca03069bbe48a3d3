// The page context: everything one conversion works on, reused from page to
// page. One Page per thread; pages share nothing.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

#include "base/diagnostics.h"
#include "dates/dates.h"
#include "dates/extra_index.h"
#include "dom/tree.h"
#include "entries/entries.h"
#include "entries/store_origins.h"
#include "scanner/scanner.h"

namespace w2r {

class Page {
public:
    Page();
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Clears what the previous page left: the bytes of the raw page it used,
    // the tree and its text store, the date index and the entry table.
    void reset();
    // Puts at most kPageReadLimit bytes of f, or of bytes, into the raw
    // page; the rest is not read.
    void read(std::FILE* f);
    void load(std::string_view bytes);
    // Scans the raw page into the tree and closes what is left open; true
    // when the tree's cursor is back at root.
    bool buildTree(Diagnostics& diagnostics);

    // The raw page as read, up to its first NUL byte.
    std::string_view text() const;
    Tree& tree() { return tree_; }
    const Tree& tree() const { return tree_; }
    DateIndex& dateIndex() { return dateIndex_; }
    EntryTable& entries() { return entries_; }
    const EntryTable& entries() const { return entries_; }

    // Extraction mode: the extra date forms' index, and the map from the
    // text store back to the raw page (made by mapOrigins after buildTree).
    ExtraDateIndex& extraDates() { return extraDates_; }
    const StoreOrigins& origins() const { return origins_; }
    bool mapOrigins();
    // Replaces the content of every script and style element of the raw
    // page by spaces (line breaks kept), so that markup written inside
    // scripts does not make elements; offsets stay as they were. Call
    // before buildTree.
    void blankScripts();

private:
    void setSize(std::size_t n);

    char* raw_;              // kPageBufferSize + 1 bytes
    std::size_t size_ = 0;   // bytes read into raw_
    std::size_t dirty_ = 0;  // bytes of raw_ written since the last reset
    Scanner scanner_;
    Tree tree_;
    DateIndex dateIndex_;
    EntryTable entries_;
    ExtraDateIndex extraDates_;
    StoreOrigins origins_;
};

}  // namespace w2r
