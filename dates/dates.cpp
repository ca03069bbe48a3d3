// The fifteen date and time patterns, their compilation, and the searches
// the entry locator runs with them.
#include "dates/dates.h"

#include <re2/re2.h>

#include "dates/search.h"

namespace {

// Pattern texts in id order: 0-11 dates, 12-14 times.
const char* const date_patterns[15] = {
    R"((Monday|Mon|Tuesday|Tue|Wednesday|Wed|Thursday|Thu|Thur|Friday|Fri|Saturday|Sat|Sunday|Sun)\W{1,3}(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec|January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{1,2})\W{1,2}(\d{2,4}))",
    R"((\d{2})(th|st|nd|rd)\W+(January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{4}))",
    R"((Monday|Mon|Tuesday|Tue|Wednesday|Wed|Thursday|Thu|Thur|Friday|Fri|Saturday|Sat|Sunday|Sun)\W{1,3}(\d{1,2})\W{1,3}(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec|January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{2,4}))",
    R"((Monday|Mon|Tuesday|Tue|Wednesday|Wed|Thursday|Thu|Thur|Friday|Fri|Saturday|Sat|Sunday|Sun)\W{1,3}(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec|January|February|March|April|May|June|July|August|September|October|November|December)\W{1,4}(\d{1,2}))",
    R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec|January|February|March|April|May|June|July|August|September|October|November|December).{1,3}?(\d{1,2})\W{1,3}?(\d{2,4}))",
    R"((Monday|Mon|Tuesday|Tue|Wednesday|Wed|Thursday|Thu|Thur|Friday|Fri|Saturday|Sat|Sunday|Sun)\W{1,3}(\d{2})-(\d{2})-(\d{2,4}))",
    R"((January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{1,2})\W{1,3}(\d{4}))",
    R"((January|February|March|April|May|June|July|August|September|October|November|December)\W{1,3}(\d{1,2})(th|rd|st|nd)\W{1,3}(\d{4}))",
    R"(>[^<]*(\d{4})[-|/|\.](\d{1,2})[-|/|\.](\d{1,2}))",
    R"(>[^<]*(\d{1,2})[-|/|\.](\d{1,2})[-|/|\.](\d{4}|\d{2}))",
    R"((\d{2})\W{1,3}(January|February|March|April|May|June|July|August|September|October|November|December|Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)\W{1,3}(\d{2,4}))",
    R"((\d{2})(January|February|March|April|May|June|July|August|September|October|November|December|Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)(\d{2,4}))",
    R"((\d{1,2}):(\d{1,2}):\d{1,2}\s?([a|p]m))",
    R"((\d{1,2}):(\d{1,2})\s?([a|p]m))",
    R"(@\s?(\d{1,2}):(\d{1,2})\s?([a|p]m)?)",
};

// Linear-time twins of the compiled patterns (null where none was built).
re2::RE2* date_accel[15];

}  // namespace

boost::regex* date_re_engine[15];
int date_re = 12;
int time_re = 15;
DateMatch match_result;
int match_flag = boost::match_default;

const char* datePatternText(int id) {
    return id >= 0 && id < 15 ? date_patterns[id] : nullptr;
}

bool datePatternIcase(int id) { return id != 8 && id != 9; }

void initializeDateRE() {
    for (int id = 0; id < 15; ++id) {
        boost::regex::flag_type flags = boost::regex::normal;
        if (datePatternIcase(id)) flags |= boost::regex::icase;
        delete date_re_engine[id];
        date_re_engine[id] = new boost::regex(date_patterns[id], flags);
        delete date_accel[id];
        date_accel[id] = makeAccelerator(date_patterns[id], datePatternIcase(id));
    }
}

void releaseDateRE() {
    for (int id = 0; id < 15; ++id) {
        delete date_re_engine[id];
        date_re_engine[id] = nullptr;
        delete date_accel[id];
        date_accel[id] = nullptr;
    }
}

bool searchDatePattern(int id, const char* a, const char* b) {
    if (id < 0 || id >= 15 || !date_re_engine[id] || a > b) return false;
    return guardedSearch(*date_re_engine[id], date_accel[id], a, b,
                         match_result);
}

bool searchDatePatternPlain(int id, const char* a, const char* b) {
    if (id < 0 || id >= 15 || !date_re_engine[id] || a > b) return false;
    return guardedSearch(*date_re_engine[id], nullptr, a, b, match_result);
}

void prepareDateSearch(const char*, const char*) {}
