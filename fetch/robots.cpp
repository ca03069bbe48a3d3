#include "fetch/robots.h"

#include <cstddef>

namespace w2r {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// The product token at the start of a User-agent value ("Name/1.0 (x)" -> "Name").
std::string_view leadingToken(std::string_view value) {
    std::size_t n = 0;
    while (n < value.size()) {
        char c = value[n];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '*';
        if (!ok) break;
        ++n;
    }
    return value.substr(0, n);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void appendEscape(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

// Whole-string match where '*' stands for any run of bytes. Greedy with one
// backtrack point, so the cost stays within pattern length times text length.
bool globMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool ruleMatches(std::string_view pattern, std::string_view path) {
    if (!pattern.empty() && pattern.back() == '$') {
        pattern.remove_suffix(1);
        return globMatch(pattern, path);
    }
    // Unanchored patterns match a prefix: the same as a trailing '*'.
    std::size_t n = 0;
    while (n < pattern.size() && pattern[n] != '*') ++n;
    if (n == pattern.size())  // no wildcard: a plain prefix test
        return path.substr(0, pattern.size()) == pattern;
    std::string withStar(pattern);
    withStar += '*';
    return globMatch(withStar, path);
}

}  // namespace

std::string normaliseRobotsPath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '%') {
            int hi = i + 2 < path.size() ? hexValue(path[i + 1]) : -1;
            int lo = hi >= 0 ? hexValue(path[i + 2]) : -1;
            if (hi >= 0 && lo >= 0) {
                unsigned char v = static_cast<unsigned char>(hi * 16 + lo);
                if (isUnreserved(v))
                    out += static_cast<char>(v);
                else
                    appendEscape(out, v);
                i += 2;
            } else {
                appendEscape(out, '%');
            }
        } else if (c >= 0x80 || c <= 0x20 || c == 0x7f) {
            appendEscape(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

RobotsRules RobotsRules::parse(std::string_view text, std::string_view productToken) {
    struct Group {
        bool forToken = false;
        bool forAll = false;
        std::vector<Rule> rules;
    };
    std::vector<Group> groups;
    bool inRules = true;  // a User-agent line after rules starts a new group
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // byte order mark

    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view key = trim(line.substr(0, colon));
        std::string_view value = trim(line.substr(colon + 1));

        if (equalsIgnoreCase(key, "user-agent") || equalsIgnoreCase(key, "useragent") ||
            equalsIgnoreCase(key, "user agent")) {
            if (inRules) {
                groups.emplace_back();
                inRules = false;
            }
            std::string_view token = leadingToken(value);
            if (token == "*")
                groups.back().forAll = true;
            else if (!token.empty() && equalsIgnoreCase(token, productToken))
                groups.back().forToken = true;
        } else if (equalsIgnoreCase(key, "allow") || equalsIgnoreCase(key, "disallow")) {
            if (groups.empty()) continue;  // rules before any User-agent line belong to no group
            inRules = true;
            if (value.empty()) continue;  // "Disallow:" with nothing disallows nothing
            std::string pattern;
            if (value.front() != '/' && value.front() != '*') pattern += '/';
            pattern += value;
            groups.back().rules.push_back(
                {equalsIgnoreCase(key, "allow"), normaliseRobotsPath(pattern)});
        }
        // Other records (Sitemap, Crawl-delay, ...) neither end nor join a group.
    }

    RobotsRules result;
    bool anyForToken = false;
    for (const Group& g : groups) anyForToken = anyForToken || g.forToken;
    for (Group& g : groups) {
        if (anyForToken ? g.forToken : g.forAll)
            for (Rule& r : g.rules) result.rules_.push_back(std::move(r));
    }
    return result;
}

RobotsRules RobotsRules::disallowAll() {
    RobotsRules result;
    result.rules_.push_back({false, "/"});
    return result;
}

bool RobotsRules::allows(std::string_view pathAndQuery) const {
    std::string path = normaliseRobotsPath(pathAndQuery);
    if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
    if (path == "/robots.txt") return true;
    bool allowed = true;
    std::size_t best = 0;
    bool matchedAny = false;
    for (const Rule& r : rules_) {
        if (!ruleMatches(r.pattern, path)) continue;
        std::size_t len = r.pattern.size();
        if (!matchedAny || len > best || (len == best && r.allow)) {
            allowed = r.allow;
            best = len;
            matchedAny = true;
        }
    }
    return allowed;
}

}  // namespace w2r
