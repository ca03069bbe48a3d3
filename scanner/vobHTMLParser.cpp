#include "scanner/vobHTMLParser.h"

// stub
const char html_tag_names[HTML_TAG_TABLE_SIZE][100] = {};
char* html_text = nullptr;
int html_leng = 0;
FILE* html_in = nullptr;
TextHandler _HANDLE_OPEN_TAG = nullptr;
TextHandler _HANDLE_CLOSE_TAG = nullptr;
TextHandler _HANDLE_TOKEN = nullptr;
TextHandler _HANDLE_COMMENT = nullptr;
TextHandler _HANDLE_PUNCT = nullptr;
TextHandler _HANDLE_UNMATCHED = nullptr;
EntityHandler _HANDLE_ENTITY = nullptr;
int html_lex() { return HTML_END; }
int html_wrap() { return 1; }
void useString(char*) {}
void useBuffer(char*, int) {}
void deleteCurrentBuf() {}
void backtrack(int) {}
void printTags(char*) {}
void setOpenTagHandler(TextHandler h) { _HANDLE_OPEN_TAG = h; }
void setCloseTagHandler(TextHandler h) { _HANDLE_CLOSE_TAG = h; }
void setTokenHandler(TextHandler h) { _HANDLE_TOKEN = h; }
void setCommentHandler(TextHandler h) { _HANDLE_COMMENT = h; }
void setPunctHandler(TextHandler h) { _HANDLE_PUNCT = h; }
void setUnmatchedHandler(TextHandler h) { _HANDLE_UNMATCHED = h; }
void setEntityHandler(EntityHandler h) { _HANDLE_ENTITY = h; }
int echoOpenTag(int, char*, int) { return 0; }
int echoCloseTag(int, char*, int) { return 0; }
int echoToken(int, char*, int) { return 0; }
int echoComment(int, char*, int) { return 0; }
int echoPunct(int, char*, int) { return 0; }
int echoUnmatched(int, char*, int) { return 0; }
int echoEntity(int) { return 0; }
