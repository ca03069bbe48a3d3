// Title and link finders: regular-expression searches over raw HTML text.
#include <memory>
#include <queue>
#include <string>

#include <boost/regex.hpp>
#include <re2/re2.h>

#include "dates/search.h"
#include "rss/rss.h"

namespace {

// The page title: bare <title>, content without "<", ">" or "^".
const char kBlogTitlePattern[] = R"re(<title>([^>^<]+?)</title>)re";
// Entry titles, tried in this order whatever their position in the text.
const char kBoldPattern[] = R"re(<b>([^>^<]+?)</b>)re";
const char kHeadingPattern[] = R"re(<h\d>([^>^<]+?)</h\d>)re";
const char kSpanPattern[] = R"re(<span[^>]*>([^>^<]+?)</span>)re";
// Absolute http:// addresses in the href of any tag whose name starts with a.
const char kLinkPattern[] =
    R"re(<\s*?a[^>]+?href\s*?=\s*?["|']?(http://[^>^"^']+?)["|'|\s|>])re";

// One compiled finder pattern and its linear-time locator (may be null).
struct Finder {
    boost::regex re;
    std::unique_ptr<re2::RE2> accel;
};

// Compiles a pattern case-insensitively with Perl syntax. The finders keep
// their compiled forms for the whole run; they are released at exit.
Finder makeFinder(const char* pattern) {
    Finder f;
    f.re.assign(pattern, boost::regex::normal | boost::regex::icase);
    f.accel.reset(makeAccelerator(pattern, true));
    return f;
}

const Finder& blogTitleFinder() {
    static const Finder f = makeFinder(kBlogTitlePattern);
    return f;
}

const Finder& entryTitleFinder(int which) {
    static const Finder f[3] = {makeFinder(kBoldPattern),
                                makeFinder(kHeadingPattern),
                                makeFinder(kSpanPattern)};
    return f[which];
}

const Finder& linkFinder() {
    static const Finder f = makeFinder(kLinkPattern);
    return f;
}

// Leftmost match of f in [a, b); a search the engine gives up on is no match.
bool search(const Finder& f, const char* a, const char* b,
            boost::match_results<const char*>& m) {
    return guardedSearch(f.re, f.accel.get(), a, b, m);
}

// Searches all of html; on a hit assigns sub-match 1 to title.
bool findFirst(const Finder& f, const std::string& html, std::string& title) {
    boost::match_results<const char*> m;
    const char* a = html.data();
    if (!search(f, a, a + html.size(), m)) return false;
    title = m.str(1);
    return true;
}

}  // namespace

bool findBlogTitle(const std::string& html, std::string& title) {
    return findFirst(blogTitleFinder(), html, title);
}

bool findEntryTitle(const std::string& html, std::string& title) {
    for (int which = 0; which < 3; which++)
        if (findFirst(entryTitleFinder(which), html, title)) return true;
    return false;
}

void findLinks(const std::string& html, std::queue<std::string>& links) {
    const Finder& f = linkFinder();
    boost::match_results<const char*> m;
    const char* pos = html.data();
    const char* end = pos + html.size();
    while (pos < end && search(f, pos, end, m)) {
        links.push(m.str(1));
        // Resume after the terminator; a match is never empty.
        pos = m[0].second;
    }
}
