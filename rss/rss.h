// RSS 0.91 feed writer and the title and link finders.
#pragma once

#include <ostream>
#include <queue>
#include <string>

// Writes the feed of the current entry table for the page at address.
void printEntriesRSS(const std::string& address, std::ostream& out);
// Diagnostic dump of the entry table on standard output.
void printEntries();

bool findBlogTitle(const std::string& html, std::string& title);
bool findEntryTitle(const std::string& html, std::string& title);
void findLinks(const std::string& html, std::queue<std::string>& links);
