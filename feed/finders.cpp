// Title and link finders: regular-expression searches over raw HTML text.
#include "feed/finders.h"

namespace w2r {
namespace {

// The page title: bare <title>, content without "<", ">" or "^".
const char kPageTitlePattern[] = R"re(<title>([^>^<]+?)</title>)re";
// Entry titles, tried in this order whatever their position in the text.
const char kBoldPattern[] = R"re(<b>([^>^<]+?)</b>)re";
const char kHeadingPattern[] = R"re(<h\d>([^>^<]+?)</h\d>)re";
const char kSpanPattern[] = R"re(<span[^>]*>([^>^<]+?)</span>)re";
// Absolute http:// addresses in the href of any tag whose name starts with a.
const char kLinkPattern[] = R"re(<\s*?a[^>]+?href\s*?=\s*?["|']?(http://[^>^"^']+?)["|'|\s|>])re";

// Searches all of html; on a hit assigns sub-match 1 to title.
bool findFirst(const GuardedRegex& re, std::string_view html, std::string& title) {
    Match m;
    const char* a = html.data();
    if (!re.search(a, a + html.size(), m)) return false;
    title = m.str(1);
    return true;
}

}  // namespace

Finders::Finders()
    : pageTitle_(kPageTitlePattern, true),
      entryTitle_{GuardedRegex(kBoldPattern, true), GuardedRegex(kHeadingPattern, true),
                  GuardedRegex(kSpanPattern, true)},
      link_(kLinkPattern, true) {}

bool Finders::pageTitle(std::string_view html, std::string& title) const {
    return findFirst(pageTitle_, html, title);
}

bool Finders::entryTitle(std::string_view html, std::string& title) const {
    for (const GuardedRegex& re : entryTitle_)
        if (findFirst(re, html, title)) return true;
    return false;
}

void Finders::links(std::string_view html, std::vector<std::string>& out) const {
    Match m;
    const char* pos = html.data();
    const char* end = pos + html.size();
    while (pos < end && link_.search(pos, end, m)) {
        out.push_back(m.str(1));
        // Resume after the terminator; a match is never empty.
        pos = m[0].second;
    }
}

}  // namespace w2r
