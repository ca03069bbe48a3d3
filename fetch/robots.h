// Robots exclusion rules: parses a robots.txt file and answers whether a
// crawler with a given product token may fetch a path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace w2r {

class RobotsRules {
public:
    // Everything allowed: what a host without robots.txt (4xx) means.
    RobotsRules() = default;

    // Rules of the groups that apply to productToken (e.g. "weblog2rss"):
    // the groups naming the token (case-insensitively), else the "*" groups,
    // else none. Lines that are not understood are skipped.
    static RobotsRules parse(std::string_view text, std::string_view productToken);

    // Nothing allowed: what an unreachable robots.txt (5xx, network error) means.
    static RobotsRules disallowAll();

    // pathAndQuery is the URL's path, plus "?query" when there is one. The
    // longest matching pattern decides (Allow wins a tie); "*" matches any
    // run of bytes and a final "$" anchors the pattern at the end.
    bool allows(std::string_view pathAndQuery) const;

private:
    struct Rule {
        bool allow;
        std::string pattern;  // normalised like the paths it is matched with
    };
    std::vector<Rule> rules_;
};

// Percent-encoding made comparable: escapes of unreserved characters are
// decoded, other escapes get upper-case hex digits, bytes outside ASCII and
// controls are escaped. Robots patterns and URL paths both pass through it.
std::string normaliseRobotsPath(std::string_view path);

}  // namespace w2r
