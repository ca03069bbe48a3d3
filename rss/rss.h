// RSS 0.91 feed writer and the title and link finders.
#pragma once

#include <ostream>
#include <queue>
#include <string>

// Writes the feed of the current entry table for the page at address.
void printEntriesRSS(const std::string& address, std::ostream& out);
// Diagnostic dump of the entry table on standard output.
void printEntries();

// Page title: the first bare <title> element with plain-text content.
bool findBlogTitle(const std::string& html, std::string& title);
// Entry title: the first bold, else heading, else span text (by pattern).
bool findEntryTitle(const std::string& html, std::string& title);
// Appends every http:// href address of a tag starting with "a", in order.
void findLinks(const std::string& html, std::queue<std::string>& links);

// Channel title taken from the address when the page has none: from byte 8
// up to the next "/" (or the end); empty for addresses shorter than 8 bytes.
std::string fallbackChannelTitle(const std::string& address);
