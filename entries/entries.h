// Entry detection: finds the element whose children carry recurring date
// stamps and cuts its content into timestamped entries.
#pragma once

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
constexpr int BFS_DATES_OUTSIDE = 2; // dates recur, but not inside children
constexpr int BFS_TIMES_INSIDE = 3;  // only times recur, inside
constexpr int BFS_TIMES_OUTSIDE = 4; // only times recur, at least as many outside

int DOMParseBFS(node* top);
void separateEntries(int dateCount, int* dateChildren, int timeCount,
                     int* timeChildren, int shift, int lastChild,
                     node* container);
// Frees the entry table and its texts; leaves it empty.
void freeEntries();
