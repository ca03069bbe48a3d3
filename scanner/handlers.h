// Ready-made handler sets for looking at what the scanner sees.
#pragma once

#include "scanner/scanner.h"

namespace w2r {

// Handlers that print each item on standard output ("OPEN TAG: <p>",
// "TOKEN word", "UNMATCHED chr(32)", "ENTITY <", ...).
ScanHandlers echoHandlers();

// Dumps open tags, close tags and words of s by name and code on standard
// output; the scanner's handlers keep running for every item.
void printTags(Scanner& scanner, const char* s);

}  // namespace w2r
