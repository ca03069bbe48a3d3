// Field readers and validators: turn a date or time match into numbers and
// decide whether they make a plausible weblog date or time of day.
#include <cctype>
#include <climits>
#include <string>

#include "dates/dates.h"

namespace w2r {
namespace {

// Three-letter month names, three spellings per month, in calendar order.
const char* const month_names[36] = {
    "Jan", "jan", "JAN", "Feb", "feb", "FEB", "Mar", "mar", "MAR", "Apr", "apr", "APR",
    "May", "may", "MAY", "Jun", "jun", "JUN", "Jul", "jul", "JUL", "Aug", "aug", "AUG",
    "Sep", "sep", "SEP", "Oct", "oct", "OCT", "Nov", "nov", "NOV", "Dec", "dec", "DEC",
};

// Text of sub-match n; empty when it is absent (also for an empty match,
// whose sub-matches Boost refuses to index).
std::string subText(const DateMatch& m, int n) {
    if (n < 0 || n >= static_cast<int>(m.size())) return std::string();
    return m[n].str();
}

bool subMatched(const DateMatch& m, int n) {
    return n >= 0 && n < static_cast<int>(m.size()) && m[n].matched;
}

// Reads sub-match n as a decimal number the way atoi does (leading white
// space, optional sign, digits); an absent or empty sub-match reads as 0.
// Overlong digit runs saturate instead of overflowing.
int readNumber(const DateMatch& m, int n) {
    if (!subMatched(m, n)) return 0;
    const char* p = m[n].first;
    const char* end = m[n].second;
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) value = INT_MAX + 1LL;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Sub-match numbers of the year, the month and the day for date ids 0-11.
const int year_group[12] = {4, 4, 4, 0, 3, 4, 3, 4, 1, 3, 3, 3};
const int month_group[12] = {2, 3, 3, 2, 1, 2, 1, 1, 2, 1, 2, 2};
const int day_group[12] = {3, 1, 2, 3, 2, 3, 2, 2, 3, 2, 1, 1};

bool isDateId(int id) { return id >= 0 && id < 12; }

}  // namespace

int getYear(const DateMatch& m, int id) {
    if (!isDateId(id) || id == 3) return 2004;
    int year = readNumber(m, year_group[id]);
    if (year <= 49) return year + 2000;
    if (year <= 99) return year + 1900;
    return year;
}

int getMonth(const DateMatch& m, int id) {
    if (!isDateId(id)) return 1;
    if (id == 5 || id == 8 || id == 9) return readNumber(m, month_group[id]);
    std::string name = subText(m, month_group[id]);
    for (int month = 0; month < 12; ++month)
        for (int form = 0; form < 3; ++form)
            if (name.find(month_names[month * 3 + form]) != std::string::npos) return month + 1;
    return 0;
}

int getDay(const DateMatch& m, int id) {
    if (!isDateId(id)) return 1;
    return readNumber(m, day_group[id]);
}

int getHour(const DateMatch& m, int id) {
    int hour = readNumber(m, 1);
    bool ampm = id == 12 || id == 13 || (id == 14 && subMatched(m, 3));
    if (!ampm) return hour;
    std::string marker = subText(m, 3);
    if (marker[0] == 'a' || marker[0] == 'A') return hour == 12 ? 0 : hour;
    return hour <= 11 ? hour + 12 : hour;
}

int getMin(const DateMatch& m, int) { return readNumber(m, 2); }

bool isValidDate(int year, int month, int day, YearWindow years) {
    static const int month_limit[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!years.contains(year)) return false;
    if (day < 1 || month < 1 || month > 12) return false;
    return day <= month_limit[month - 1];
}

bool isValidTime(int hour, int minute) {
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

}  // namespace w2r
