// The fifteen date and time patterns and their compilation.
#include "dates/dates.h"

namespace w2r {
namespace {

// Pattern texts in id order: 0-11 dates, 12-14 times.
const char* const kPatternTexts[kPatternCount] = {
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

}  // namespace

bool DatePatterns::icase(int id) { return id != 8 && id != 9; }

DatePatterns::DatePatterns(YearWindow years) : years_(years) {
    regexes_.reserve(kPatternCount);
    for (int id = 0; id < kPatternCount; ++id) regexes_.emplace_back(kPatternTexts[id], icase(id));
}

}  // namespace w2r
