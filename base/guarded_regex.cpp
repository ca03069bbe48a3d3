// Guarded regular-expression search. Boost.Regex backtracks: on some texts
// it takes super-linear time or gives up with an exception. A linear-time
// twin of the pattern (RE2, bytes as Latin-1) finds where the leftmost match
// starts; Boost then matches only at that start, so the result is Boost's
// own while the time stays linear.
#include "base/guarded_regex.h"

#include <re2/re2.h>

#include <bitset>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <string>

namespace w2r {
namespace {

typedef std::bitset<256> ByteSet;
typedef std::map<std::string, ByteSet> BracketCache;

const boost::regex::flag_type kBoostFlags = boost::regex::normal;

bool isAsciiLetter(unsigned c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(unsigned c) { return c >= '0' && c <= '9'; }

// The byte set of a literal byte; case-insensitive patterns fold ASCII
// letters only (the program runs in the default locale).
ByteSet literalSet(unsigned c, bool icase) {
    ByteSet set;
    set.set(c);
    if (icase && isAsciiLetter(c)) set.set(c ^ 0x20);
    return set;
}

// The sets of \d, \w and \s, and of their complements.
bool escapeClassSet(char e, ByteSet& set) {
    set.reset();
    for (unsigned c = 0; c < 256; ++c) {
        bool digit = isAsciiDigit(c);
        bool word = digit || isAsciiLetter(c) || c == '_';
        bool space = c == ' ' || (c >= 0x09 && c <= 0x0D);
        switch (e) {
        case 'd':
        case 'D':
            set[c] = digit;
            break;
        case 'w':
        case 'W':
            set[c] = word;
            break;
        case 's':
        case 'S':
            set[c] = space;
            break;
        default:
            return false;
        }
    }
    if (e == 'D' || e == 'W' || e == 'S') set.flip();
    return true;
}

// The byte set of a bracket expression, found by asking Boost about every
// byte: whatever the bracket's own rules ("|" and non-leading "^" literal,
// escapes, ranges, case folding), the set is exactly Boost's. Results are
// cached by text and case option for one translation.
bool bracketSet(const std::string& bracket, bool icase, ByteSet& set, BracketCache& cache) {
    std::string key = (icase ? "i" : "c") + bracket;
    auto it = cache.find(key);
    if (it != cache.end()) {
        set = it->second;
        return true;
    }
    try {
        boost::regex::flag_type flags = kBoostFlags;
        if (icase) flags |= boost::regex::icase;
        boost::regex re(bracket, flags);
        set.reset();
        for (unsigned c = 0; c < 256; ++c) {
            char ch = static_cast<char>(c);
            set[c] = boost::regex_match(&ch, &ch + 1, re);
        }
    } catch (const std::exception&) {
        return false;
    }
    cache[key] = set;
    return true;
}

// Appends a byte set as an RE2 character class of explicit byte ranges.
void emitSet(const ByteSet& set, std::string& out) {
    if (set.none()) {
        out += "[^\\x00-\\x{10ffff}]";
        return;
    }
    out += '[';
    char buf[32];
    for (unsigned c = 0; c < 256;) {
        if (!set[c]) {
            ++c;
            continue;
        }
        unsigned last = c;
        while (last + 1 < 256 && set[last + 1]) ++last;
        if (last == c)
            std::snprintf(buf, sizeof buf, "\\x{%02x}", c);
        else
            std::snprintf(buf, sizeof buf, "\\x{%02x}-\\x{%02x}", c, last);
        out += buf;
        c = last + 1;
    }
    out += ']';
}

// Reads a counted repeat "{n}", "{n,}" or "{n,m}" at p; returns the
// character after it, or null when it is not one RE2 can take.
const char* readCount(const char* p, std::string& out) {
    const char* q = p + 1;
    auto number = [&q](long& v) {
        if (!isAsciiDigit(static_cast<unsigned char>(*q))) return false;
        v = 0;
        while (isAsciiDigit(static_cast<unsigned char>(*q))) {
            v = v * 10 + (*q++ - '0');
            if (v > 1000) return false;
        }
        return true;
    };
    long lo = 0, hi = -1;
    if (!number(lo)) return nullptr;
    if (*q == ',') {
        ++q;
        if (*q != '}' && !number(hi)) return nullptr;
        if (hi >= 0 && hi < lo) return nullptr;
    } else {
        hi = lo;
    }
    if (*q != '}') return nullptr;
    out.append(p, q + 1);
    return q + 1;
}

// Translates a Boost pattern (Perl syntax) into an RE2 pattern over bytes
// that matches exactly where the Boost pattern matches. Every atom becomes an
// explicit byte class, groups become non-capturing. Returns false for
// anything outside the supported subset (anchors, assertions, look-around,
// back references, options, possessive repeats, POSIX classes).
bool translatePattern(const char* p, bool icase, std::string& out) {
    BracketCache cache;
    int depth = 0;
    bool quantifiable = false;  // an atom or group precedes
    while (*p) {
        unsigned char c = static_cast<unsigned char>(*p);
        ByteSet set;
        switch (c) {
        case '(':
            if (p[1] == '?' || p[1] == '*') return false;
            out += "(?:";
            ++depth;
            ++p;
            quantifiable = false;
            continue;
        case ')':
            if (--depth < 0) return false;
            out += ')';
            ++p;
            quantifiable = true;
            continue;
        case '|':
            out += '|';
            ++p;
            quantifiable = false;
            continue;
        case '*':
        case '+':
        case '?':
        case '{': {
            if (!quantifiable) return false;
            if (c == '{') {
                p = readCount(p, out);
                if (!p) return false;
            } else {
                out += static_cast<char>(c);
                ++p;
            }
            if (*p == '?') {
                out += '?';
                ++p;
            } else if (*p == '+') {
                return false;
            }
            quantifiable = false;
            continue;
        }
        case '^':
        case '$':
            return false;
        case '.':
            set.set();
            ++p;
            break;
        case '[': {
            const char* q = p + 1;
            if (*q == '^') ++q;
            if (*q == ']') ++q;
            while (*q && *q != ']') {
                if (*q == '[' && (q[1] == ':' || q[1] == '=' || q[1] == '.')) return false;
                if (*q == '\\') {
                    if (!q[1]) return false;
                    ++q;
                }
                ++q;
            }
            if (*q != ']') return false;
            if (!bracketSet(std::string(p, q + 1), icase, set, cache)) return false;
            p = q + 1;
            break;
        }
        case '\\': {
            unsigned char e = static_cast<unsigned char>(p[1]);
            if (escapeClassSet(static_cast<char>(e), set)) {
            } else if (e == 'n') {
                set.set('\n');
            } else if (e == 't') {
                set.set('\t');
            } else if (e == 'r') {
                set.set('\r');
            } else if (e == 'f') {
                set.set('\f');
            } else if (e == 'v') {
                set.set('\v');
            } else if (e == 'a') {
                set.set('\a');
            } else if (e == 'e') {
                set.set(0x1B);
            } else if (e == 0 || isAsciiLetter(e) || isAsciiDigit(e) || e == '<' || e == '>' ||
                       e == '`' || e == '\'') {
                return false;  // assertions, references, other escapes
            } else {
                set = literalSet(e, icase);
            }
            p += 2;
            break;
        }
        default:
            set = literalSet(c, icase);
            ++p;
            break;
        }
        emitSet(set, out);
        quantifiable = true;
    }
    return depth == 0;
}

}  // namespace

std::string translateForLocator(const char* pattern, bool icase) {
    std::string out;
    if (!pattern || !translatePattern(pattern, icase, out)) return std::string();
    return out;
}

std::unique_ptr<re2::RE2> makeLocator(const char* pattern, bool icase) {
    std::string translated = translateForLocator(pattern, icase);
    if (translated.empty()) return nullptr;
    re2::RE2::Options options;
    options.set_encoding(re2::RE2::Options::EncodingLatin1);
    options.set_dot_nl(true);
    options.set_never_capture(true);
    options.set_log_errors(false);
    auto locator = std::make_unique<re2::RE2>(translated, options);
    if (!locator->ok()) return nullptr;
    return locator;
}

struct GuardedRegex::Compiled {
    std::once_flag regexOnce, locatorOnce;
    boost::regex regex;
    std::unique_ptr<re2::RE2> locator;
};

GuardedRegex::GuardedRegex(const char* pattern, bool icase)
    : text_(pattern), icase_(icase), compiled_(std::make_unique<Compiled>()) {}

GuardedRegex::GuardedRegex(GuardedRegex&&) noexcept = default;
GuardedRegex::~GuardedRegex() = default;

const boost::regex& GuardedRegex::regex() const {
    Compiled& c = *compiled_;
    std::call_once(c.regexOnce, [this, &c] {
        c.regex.assign(text_,
                       icase_ ? boost::regex::normal | boost::regex::icase : boost::regex::normal);
    });
    return c.regex;
}

const re2::RE2* GuardedRegex::locator() const {
    Compiled& c = *compiled_;
    std::call_once(c.locatorOnce, [this, &c] { c.locator = makeLocator(text_.c_str(), icase_); });
    return c.locator.get();
}

const char* GuardedRegex::locateStart(const char* a, const char* b) const {
    const re2::RE2* re = locator();
    if (!re || a > b) return nullptr;
    re2::StringPiece text(a, static_cast<size_t>(b - a));
    re2::StringPiece found;
    if (!re->Match(text, 0, text.size(), re2::RE2::UNANCHORED, &found, 1)) return nullptr;
    // An empty match at the very start of an empty text has no data pointer.
    return found.data() ? found.data() : a;
}

bool GuardedRegex::searchFrom(const char* a, const char* from, const char* b, Match& m,
                              bool useLocator) const {
    if (a > from || from > b) return false;
    const char* start = from;
    try {
        const boost::regex& re = regex();
        bool hit;
        if (useLocator && b - from > kDirectSearchBytes && locator()) {
            start = locateStart(from, b);
            if (!start) return false;
            hit = boost::regex_search(start, b, m, re, kSearchFlags | boost::match_continuous);
            if (!hit) {  // not expected: the twin disagrees; trust Boost
                start = from;
                hit = boost::regex_search(from, b, m, re, kSearchFlags);
            }
        } else {
            hit = boost::regex_search(from, b, m, re, kSearchFlags);
        }
        if (!hit) return false;
    } catch (const std::exception&) {
        return false;
    }
    if (from != a || start != from) {
        // Report the prefix and positions against a, as a search of [a, b)
        // does; the match itself starts where it was found.
        auto& prefix = const_cast<boost::sub_match<const char*>&>(m.prefix());
        prefix.first = a;
        prefix.matched = a != m[0].first;
        m.set_base(a);
    }
    return true;
}

bool GuardedRegex::search(const char* a, const char* b, Match& m) const {
    return searchFrom(a, a, b, m);
}

}  // namespace w2r
