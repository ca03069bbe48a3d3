// Date and time patterns, the shared results object, field readers and
// validators.
#pragma once

#include <boost/regex.hpp>

typedef boost::match_results<const char*> DateMatch;

extern boost::regex* date_re_engine[15];
extern int date_re;   // 12: number of date patterns, first time-pattern id
extern int time_re;   // 15: one past the last time-pattern id
extern DateMatch match_result;
extern int match_flag;   // boost::match_default

// Compiles the fifteen patterns into date_re_engine (once, at start).
void initializeDateRE();
// Deletes the compiled patterns (end of run).
void releaseDateRE();

int getYear(DateMatch m, int id);
int getMonth(DateMatch m, int id);
int getDay(DateMatch m, int id);
int getHour(DateMatch m, int id);
int getMin(DateMatch m, int id);
bool isValidDate(int year, int month, int day);
bool isValidTime(int hour, int minute);

// Optional per-page preparation over the whole text store [begin, end), so
// that later searches of slices inside it are cheap. Results never change.
// The bytes of [begin, end) must stay as they are until the next call;
// prepareDateSearch(nullptr, nullptr) drops the index (initializeDateRE and
// releaseDateRE drop it too).
void prepareDateSearch(const char* begin, const char* end);
// Leftmost search of pattern id over [a, b) into match_result.
// A search the regex engine gives up on counts as no match.
bool searchDatePattern(int id, const char* a, const char* b);

// Text of pattern id (null outside 0..14) and whether it is compiled
// case-insensitively.
const char* datePatternText(int id);
bool datePatternIcase(int id);
// The same search as searchDatePattern without the linear-time locator:
// plain Boost over [a, b), a throw counting as no match. For comparisons.
bool searchDatePatternPlain(int id, const char* a, const char* b);
