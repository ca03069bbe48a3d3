// Title and link finders: regular-expression searches over raw HTML text.
// Every match of these patterns starts with a known piece of text ("<b>",
// "<title>", ...) or holds one ("http://"), which plain byte searches find
// quickly; the patterns are then tried only where a match can be, in an
// order and over ranges that give the same first match as a search of the
// whole text.
#include "feed/finders.h"

#include <cstring>
#include <exception>

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

// The literal starts of the title patterns, in lower case.
const char kTitleStart[] = "<title>";
const char kBoldStart[] = "<b>";
const char kHeadingStart[] = "<h";
const char kSpanStart[] = "<span";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether the n bytes at p are lit (lower case), ASCII letters in either case.
bool startsWith(const char* p, const char* lit, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (lower(p[i]) != lit[i]) return false;
    return true;
}

// First occurrence at or after from of lit (lower case, first byte not a
// letter) that ends by end, case-insensitively; null when none.
const char* findLiteral(const char* from, const char* end, const char* lit, std::size_t n) {
    while (end - from >= static_cast<std::ptrdiff_t>(n)) {
        const void* hit = std::memchr(from, lit[0], static_cast<std::size_t>(end - from) - n + 1);
        if (!hit) return nullptr;
        const char* p = static_cast<const char*>(hit);
        if (startsWith(p + 1, lit + 1, n - 1)) return p;
        from = p + 1;
    }
    return nullptr;
}

// Sub-match 1 of the first match in [a, b) of a pattern whose matches all
// begin with lit: Boost at each occurrence in turn. With skipToGt (a
// pattern "lit[^>]*>..."), the occurrences before the first ">" after a
// failed one fail the same way and are skipped. Each try ends at the first
// "<" or ">" after the occurrence (or that ">"), so the whole is linear.
bool firstAtLiteral(const GuardedRegex& re, const char* a, const char* b, const char* lit,
                    bool skipToGt, std::string& title) {
    const std::size_t n = std::strlen(lit);
    Match m;
    try {
        for (const char* x = findLiteral(a, b, lit, n); x; x = findLiteral(x, b, lit, n)) {
            if (boost::regex_search(x, b, m, re.regex(), kSearchFlags | boost::match_continuous)) {
                title.assign(m[1].first, m[1].second);
                return true;
            }
            const char* next = x + 1;
            if (skipToGt) {
                const void* gt = std::memchr(x + n, '>', static_cast<std::size_t>(b - x) - n);
                if (!gt) return false;
                next = static_cast<const char*>(gt) + 1;
            }
            x = next;
        }
    } catch (const std::exception&) {  // the engine gave up: no match
    }
    return false;
}

// First "http://" (either case) in [from, end), or null.
const char* findHttp(const char* from, const char* end) {
    for (const char* p = from + 4; p < end;) {
        const void* hit = std::memchr(p, ':', static_cast<std::size_t>(end - p));
        if (!hit) return nullptr;
        const char* colon = static_cast<const char*>(hit);
        if (end - colon >= 3 && colon[1] == '/' && colon[2] == '/' &&
            startsWith(colon - 4, "http", 4))
            return colon - 4;
        p = colon + 1;
    }
    return nullptr;
}

}  // namespace

Finders::Finders()
    : pageTitle_(kPageTitlePattern, true),
      entryTitle_{GuardedRegex(kBoldPattern, true), GuardedRegex(kHeadingPattern, true),
                  GuardedRegex(kSpanPattern, true)},
      link_(kLinkPattern, true) {}

bool Finders::pageTitle(std::string_view html, std::string& title) const {
    const char* a = html.data();
    return firstAtLiteral(pageTitle_, a, a + html.size(), kTitleStart, false, title);
}

bool Finders::entryTitle(std::string_view html, std::string& title) const {
    const char* a = html.data();
    const char* b = a + html.size();
    return firstAtLiteral(entryTitle_[0], a, b, kBoldStart, false, title) ||
           firstAtLiteral(entryTitle_[1], a, b, kHeadingStart, false, title) ||
           firstAtLiteral(entryTitle_[2], a, b, kSpanStart, true, title);
}

// A match holds "http://" after its "<" with no ">" in between, and ends at
// the latest just after the first ">" that follows. So the next match at or
// after pos, if it starts before that ">" (g), starts after the last ">"
// before the first "http://" (h) and ends by g + 1: only [lo, g + 1) needs
// searching, and when it holds no match, none starts before g + 1.
void Finders::links(std::string_view html, std::vector<std::string>& out) const {
    Match m;
    const char* pos = html.data();
    const char* end = pos + html.size();
    while (pos < end) {
        const char* h = findHttp(pos, end);
        if (!h) return;
        const char* lo = pos;
        if (h > pos) {
            const void* gt = memrchr(pos, '>', static_cast<std::size_t>(h - pos));
            if (gt) lo = static_cast<const char*>(gt) + 1;
        }
        const void* gt = std::memchr(h, '>', static_cast<std::size_t>(end - h));
        const char* stop = gt ? static_cast<const char*>(gt) + 1 : end;
        if (link_.search(lo, stop, m)) {
            out.emplace_back(m[1].first, m[1].second);
            // Resume after the terminator; a match is never empty.
            pos = m[0].second;
        } else {
            pos = stop;
        }
    }
}

}  // namespace w2r
