// Guarded regular-expression search, shared by the date patterns and the
// title and link finders. Boost.Regex gives every result (Perl semantics);
// a linear-time twin of the pattern (RE2) first finds where the leftmost
// match starts, so that hostile text cannot make a search slow.
#pragma once

#include <boost/regex.hpp>

#include <cstddef>
#include <memory>
#include <string>

namespace re2 {
class RE2;
}

namespace w2r {

using Match = boost::match_results<const char*>;

// The match flags of every search in the system: none set.
constexpr boost::match_flag_type kSearchFlags = boost::match_default;

// Texts this short are searched by Boost directly: on them no pattern can
// take long, and the locator would cost more than it saves.
constexpr std::ptrdiff_t kDirectSearchBytes = 256;

// One pattern and its locator, each compiled on first use (a page needs
// only some of them). Immutable to its users: one object may be searched
// from several threads at once; the first use compiles under a once flag.
class GuardedRegex {
public:
    GuardedRegex(const char* pattern, bool icase);
    GuardedRegex(GuardedRegex&&) noexcept;
    ~GuardedRegex();

    const std::string& text() const { return text_; }
    bool icase() const { return icase_; }
    // The compiled pattern; a pattern Boost rejects throws here.
    const boost::regex& regex() const;
    // The linear-time twin; null when the pattern has none.
    const re2::RE2* locator() const;

    // Leftmost match in [a, b) into m. A search the regex engine gives up
    // on (complexity or memory limits) counts as no match.
    bool search(const char* a, const char* b, Match& m) const;
    // The same for a caller that knows that no match starts in [a, from):
    // the search begins at from; positions and prefix are reported against
    // a. Without useLocator Boost alone searches from there.
    bool searchFrom(const char* a, const char* from, const char* b, Match& m,
                    bool useLocator = true) const;
    // Where the leftmost match in [a, b) starts by the locator; null when
    // none does or there is no locator.
    const char* locateStart(const char* a, const char* b) const;

private:
    struct Compiled;

    std::string text_;
    bool icase_;
    std::unique_ptr<Compiled> compiled_;
};

// The RE2 pattern that matches exactly where the Boost pattern does; empty
// when the pattern uses syntax outside the translated subset.
std::string translateForLocator(const char* pattern, bool icase);
// The compiled twin of a Boost pattern; null when it has none.
std::unique_ptr<re2::RE2> makeLocator(const char* pattern, bool icase);

}  // namespace w2r
