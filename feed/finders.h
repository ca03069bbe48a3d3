// Title and link finders: guarded regular-expression searches over raw
// HTML text. Built once; one object serves every thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/guarded_regex.h"

namespace w2r {

class Finders {
public:
    Finders();

    // Page title: the first bare <title> element with plain-text content.
    bool pageTitle(std::string_view html, std::string& title) const;
    // Entry title: the first bold, else heading, else span text (by pattern).
    bool entryTitle(std::string_view html, std::string& title) const;
    // Appends every http:// href address of a tag starting with "a", in order.
    void links(std::string_view html, std::vector<std::string>& out) const;

    // The patterns, all case-insensitive: page title, the three entry-title
    // patterns in the order tried, links.
    const GuardedRegex& pageTitlePattern() const { return pageTitle_; }
    const GuardedRegex& entryTitlePattern(int which) const { return entryTitle_[which]; }
    const GuardedRegex& linkPattern() const { return link_; }

private:
    GuardedRegex pageTitle_;
    GuardedRegex entryTitle_[3];
    GuardedRegex link_;
};

}  // namespace w2r
