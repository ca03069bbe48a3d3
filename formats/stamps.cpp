#include "formats/stamps.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace w2r {
namespace {

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// 64-bit FNV-1a of text from the given basis, then mixed so that every
// input bit reaches every output bit.
std::uint64_t hash64(std::string_view text, std::uint64_t h) {
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    h ^= h >> 31;
    return h;
}

std::string format(const char* pattern, const FeedDate& d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, d.year, d.month, d.day, d.hour, d.minute);
    return buf;
}

}  // namespace

FeedDate normalisedDate(const FeedDate& date) {
    FeedDate d;
    d.year = std::clamp(date.year, 1, 9999);
    d.month = std::clamp(date.month, 1, 12);
    d.day = std::clamp(date.day, 1, daysInMonth(d.year, d.month));
    d.hour = std::clamp(date.hour, 0, 23);
    d.minute = std::clamp(date.minute, 0, 59);
    return d;
}

int dayOfWeek(int year, int month, int day) {
    static const int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) --year;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

std::string rfc822Date(const FeedDate& date) {
    const FeedDate d = normalisedDate(date);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:00 +0000",
                  kDayNames[dayOfWeek(d.year, d.month, d.day)], d.day, kMonthNames[d.month - 1],
                  d.year, d.hour, d.minute);
    return buf;
}

std::string w3cdtfDate(const FeedDate& date) {
    return format("%04d-%02d-%02dT%02d:%02d+00:00", normalisedDate(date));
}

std::string rfc3339Date(const FeedDate& date) {
    return format("%04d-%02d-%02dT%02d:%02d:00+00:00", normalisedDate(date));
}

bool earlierDate(const FeedDate& a, const FeedDate& b) {
    const FeedDate x = normalisedDate(a), y = normalisedDate(b);
    return std::tie(x.year, x.month, x.day, x.hour, x.minute) <
           std::tie(y.year, y.month, y.day, y.hour, y.minute);
}

std::string uuidUrn(std::string_view key) {
    std::uint64_t hi = hash64(key, 0xcbf29ce484222325ULL);
    std::uint64_t lo = hash64(key, 0x84222325cbf29ce4ULL ^ hi);
    hi = (hi & ~0xF000ULL) | 0x8000ULL;        // version 8
    lo = (lo & ~(3ULL << 62)) | (2ULL << 62);  // RFC variant
    char buf[64];
    std::snprintf(buf, sizeof buf, "urn:uuid:%08x-%04x-%04x-%04x-%012llx",
                  static_cast<unsigned>(hi >> 32), static_cast<unsigned>((hi >> 16) & 0xFFFF),
                  static_cast<unsigned>(hi & 0xFFFF), static_cast<unsigned>(lo >> 48),
                  static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFULL));
    return buf;
}

std::string EntryIds::next(const FeedDate& date, std::string_view title) {
    std::string key = address_;
    key += '\n';
    key += w3cdtfDate(date);
    key += '\n';
    key += title;
    // The n-th repeat of a key is named after n; counting the repeats per
    // key keeps many alike entries from costing n tries each.
    int& repeat = repeats_[key];
    std::string id = repeat == 0 ? uuidUrn(key) : uuidUrn(key + '\n' + std::to_string(repeat + 1));
    for (++repeat; !given_.insert(id).second;)
        id = uuidUrn(key + '\n' + std::to_string(++repeat));
    return id;
}

}  // namespace w2r
