// Entry detection: finds the element whose children carry recurring date
// stamps and cuts its content into timestamped entries.
#pragma once

#include <vector>

struct node;

struct timestamp {
    int dateType;   // date pattern id + 1
    int timeType;   // time pattern id + 1, 0 = no time
    int year;
    int month;
    int day;
    int hour;
    int min;
};

extern char** blogentries;          // entry texts, NUL-terminated
extern timestamp* timestampentries; // parallel to blogentries
extern int blogentries_count;

// Locator results.
constexpr int BFS_NONE = 0;          // no recurring date or time
constexpr int BFS_ENTRIES = 1;       // entry table filled
constexpr int BFS_DATES_OUTSIDE = 2; // dates recur, at least as many outside children
constexpr int BFS_TIMES_INSIDE = 3;  // only times recur, inside
constexpr int BFS_TIMES_OUTSIDE = 4; // only times recur, at least as many outside

int DOMParseBFS(node* top);
void separateEntries(int dateCount, int* dateChildren, int timeCount,
                     int* timeChildren, int shift, int lastChild,
                     node* container);
// Frees the entry table and its texts; leaves it empty.
void freeEntries();

// Makes an empty entry table with dateCount + timeCount zero-filled slots
// and sets blogentries_count to the larger of the two (an old table is
// freed first).
void allocateEntries(int dateCount, int timeCount);
// Number of slots in the current entry table (0 when there is none).
int entryCapacity();

// The arguments of the last separateEntries call (dateChildren already
// moved back by shift), kept for tests and debugging.
struct EntryLayout {
    node* container = nullptr;
    int dateCount = 0;
    int timeCount = 0;
    int shift = 0;
    int lastChild = 0;
    std::vector<int> dateChildren;
    std::vector<int> timeChildren;
};
extern EntryLayout last_layout;
