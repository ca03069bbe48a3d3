// Entry dates in the forms feeds write them, and stable entry ids.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace w2r {

// A date and time of day, taken as UTC.
struct FeedDate {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
};

// The nearest real date: year limited to 1..9999, month to 1..12, day to
// the days of that month, hour to 0..23 and minute to 0..59. Every form
// below writes the normalised date, so a date found out of range still
// gives a date every reader parses.
FeedDate normalisedDate(const FeedDate& date);
// Day of the week, 0 = Sunday.
int dayOfWeek(int year, int month, int day);
// "Sun, 07 Mar 2004 09:05:00 +0000"
std::string rfc822Date(const FeedDate& date);
// "2004-03-07T09:05+00:00"
std::string w3cdtfDate(const FeedDate& date);
// "2004-03-07T09:05:00+00:00"
std::string rfc3339Date(const FeedDate& date);
// Whether a comes before b once both are normalised.
bool earlierDate(const FeedDate& a, const FeedDate& b);

// A "urn:uuid:" name built from a 128-bit hash of key (a UUID of the
// version for names made by their own scheme).
std::string uuidUrn(std::string_view key);

// Ids of the entries of one feed: an entry's id depends only on the page
// address, its date and its title, and the ids handed out by one object
// are all distinct (repeats of the same address, date and title are told
// apart by their order).
class EntryIds {
public:
    explicit EntryIds(std::string_view address) : address_(address) {}
    std::string next(const FeedDate& date, std::string_view title);

private:
    std::string address_;
    std::set<std::string> given_;
    std::map<std::string, int> repeats_;  // per key, the ids handed out
};

}  // namespace w2r
