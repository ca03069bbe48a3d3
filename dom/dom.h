// The page tree and the parse state of the page being processed.
#pragma once

#include <cstddef>
#include <stack>

// One element of the page, covering [start, end) of the text store.
struct node {
    int tag;            // tag id of the open tag; 0 for root
    char* start;        // first byte of the node's stored text
    char* end;          // one past its last byte; null until closed
    int childCount;
    bool hasDate, hasGapDate, hasTailDate;
    bool hasTime, hasGapTime, hasTailTime;
    int dateType, gapDateType, tailDateType;   // pattern id + 1, 0 = none
    int timeType, gapTimeType, tailTimeType;
    node** children;    // childCount entries, null when there are none
    node* parent;       // null for root
    node* next;         // next sibling, null for the last child
    int year, month, day, hour, min;
    int gapYear, gapMonth, gapDay, gapHour, gapMin;
    int tailYear, tailMonth, tailDay, tailHour, tailMin;
};

constexpr std::size_t PAGE_BUFFER_SIZE = 3145728;   // 3 MiB
// Longest page read, so the text in tmp always stays NUL-terminated.
constexpr std::size_t PAGE_READ_LIMIT = PAGE_BUFFER_SIZE - 1;

extern char tmp[PAGE_BUFFER_SIZE];      // the raw page as read
extern char buffer[PAGE_BUFFER_SIZE];   // the text store
extern char* ptr_buffer;                // next free byte of buffer
extern node root;
extern node* current;                   // receives the next new child
extern std::stack<int> tag_stack;       // ids of the open elements

// Releases a subtree (never called on root). Iterative: deep trees are safe.
void freeDOM(node* n);

// Per-page reset: clears the bytes of buffer the previous page used, zeroes
// root, puts ptr_buffer at the start of buffer and current at root.
void resetParseState();
// Releases root's children and empties tag_stack.
void releaseTree();
