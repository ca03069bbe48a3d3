#include "rss/rss.h"

// stub
void printEntriesRSS(const std::string&, std::ostream&) {}
void printEntries() {}
bool findBlogTitle(const std::string&, std::string&) { return false; }
bool findEntryTitle(const std::string&, std::string&) { return false; }
void findLinks(const std::string&, std::queue<std::string>&) {}
