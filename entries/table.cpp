// The entry table: allocation and release.
#include <cstdlib>

#include "driver/alloc.h"
#include "entries/entries.h"

char** blogentries = nullptr;
timestamp* timestampentries = nullptr;
int blogentries_count = 0;
EntryLayout last_layout;

// Slots allocated in the current table; every slot below it may be freed.
static int entries_capacity = 0;

void allocateEntries(int dateCount, int timeCount) {
    freeEntries();
    int slots = dateCount + timeCount;
    if (slots < 1) slots = 1;
    blogentries = static_cast<char**>(xcalloc(slots, sizeof(char*)));
    timestampentries =
        static_cast<timestamp*>(xcalloc(slots, sizeof(timestamp)));
    entries_capacity = slots;
    blogentries_count = dateCount > timeCount ? dateCount : timeCount;
}

int entryCapacity() { return entries_capacity; }

void freeEntries() {
    // Every filled slot is freed, whatever the count says; unfilled slots
    // are null.
    if (blogentries) {
        for (int i = 0; i < entries_capacity; i++) std::free(blogentries[i]);
        std::free(blogentries);
    }
    std::free(timestampentries);
    blogentries = nullptr;
    timestampentries = nullptr;
    blogentries_count = 0;
    entries_capacity = 0;
}
