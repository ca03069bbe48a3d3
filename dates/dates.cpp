#include "dates/dates.h"

// stub
boost::regex* date_re_engine[15];
int date_re = 12;
int time_re = 15;
DateMatch match_result;
int match_flag = boost::match_default;
void initializeDateRE() {}
void releaseDateRE() {}
int getYear(DateMatch, int) { return 2004; }
int getMonth(DateMatch, int) { return 1; }
int getDay(DateMatch, int) { return 1; }
int getHour(DateMatch, int) { return 0; }
int getMin(DateMatch, int) { return 0; }
bool isValidDate(int, int, int) { return false; }
bool isValidTime(int, int) { return false; }
void prepareDateSearch(const char*, const char*) {}
bool searchDatePattern(int, const char*, const char*) { return false; }
