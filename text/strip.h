// Text services built on the scanner: the plain text of an HTML string, and
// its words one at a time. SCRIPT and STYLE content is skipped.
#pragma once

#include "scanner/scanner.h"

namespace w2r {

// Room TextStripper::strip needs for an input of len bytes (result and
// closing NUL).
unsigned long strippedTextRoom(unsigned long len);

// Open-tag counters by tag id, shared by both services: inside an open
// SCRIPT or STYLE the content is skipped.
struct TagCounts {
    int open[kTagTableSize] = {};
    bool insideScriptOrStyle() const { return open[kTagScript] > 0 || open[kTagStyle] > 0; }
};

class TextStripper {
public:
    // Replaces s by its plain text; s needs room for strippedTextRoom(strlen(s)).
    // Tags become a space (BR a line feed, P two), words are followed by a
    // space, whitespace becomes a space (tabs are dropped), and of the
    // entities only <, >, &, " and the space are kept.
    void strip(char* s);
    // One past the last byte written by the last strip (its closing NUL).
    const char* end() const { return out_; }

private:
    static int onOpenTag(void* self, int code, char* text, int len);
    static int onCloseTag(void* self, int code, char* text, int len);
    static int onWord(void* self, int code, char* text, int len);
    static int onPunct(void* self, int code, char* text, int len);
    static int onSpace(void* self, int code, char* text, int len);
    static int onEntity(void* self, int value);
    void emit(const char* text, int n);

    Scanner scanner_;
    TagCounts counts_;
    char* out_ = nullptr;
};

// The words of an HTML string outside SCRIPT and STYLE, one at a time.
class WordReader {
public:
    // Starts reading the words of a copy of s.
    void start(const char* s);
    // The next word (NUL-terminated, valid until the next call), or null at
    // the end; asking again after the end is harmless.
    const char* next();
    bool hasMore() const { return more_; }
    // Length of the word next() returned last; 0 at the end.
    int length() const { return length_; }
    // Ends reading and releases the copy.
    void finish();

private:
    static int onOpenTag(void* self, int code, char* text, int len);
    static int onCloseTag(void* self, int code, char* text, int len);
    static int onWord(void* self, int code, char* text, int len);

    Scanner scanner_;
    TagCounts counts_;
    const char* word_ = nullptr;
    int length_ = 0;
    bool more_ = false;
};

}  // namespace w2r
