// Text services built on the scanner: plain text of an HTML string, and its
// words one at a time. SCRIPT and STYLE content is skipped.
#pragma once

extern int tags[100];      // open-tag counters by tag id during a run
extern char* OUT;          // stripHTML's output cursor
extern char* TOKEN;        // last word found, or null
extern int TOKLEN;         // its length
extern int MORE_TOKENS;    // 1 until the end of the input was reached

// Replaces s by its plain text; s needs room for strippedTextRoom(strlen(s)).
int stripHTML(char* s);
// Room stripHTML needs for an input of len bytes (result and closing NUL).
unsigned long strippedTextRoom(unsigned long len);

int tokenizeHTML(char* s);
char* nextToken();
int hasMoreTokens();
int tokenLength();
void doneTokenize();

int stripperCountOpenTag(int code, char* text, int len);
int stripperCountCloseTag(int code, char* text, int len);
int stripperHandleToken(int code, char* text, int len);
int stripperHandlePunct(int code, char* text, int len);
int stripperHandleUnmatched(int code, char* text, int len);
int stripperHandleEntity(int value);
int tokenizerCountOpenTag(int code, char* text, int len);
int tokenizerCountCloseTag(int code, char* text, int len);
int tokenizerHandleToken(int code, char* text, int len);
