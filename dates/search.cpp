#include "dates/search.h"

#include <re2/re2.h>

re2::RE2* makeAccelerator(const char*, bool) { return nullptr; }

bool guardedSearch(const boost::regex& re, const re2::RE2*, const char* a,
                   const char* b, boost::match_results<const char*>& m) {
    try {
        return boost::regex_search(a, b, m, re, boost::match_default);
    } catch (const std::exception&) {
        return false;
    }
}
