// HTML item scanner: cuts a NUL-terminated HTML text into tags, comments,
// words, punctuation, whitespace and entities, reporting each item through
// one of seven handler slots.
#pragma once

#include <cstdio>

// Item codes returned by html_lex and passed to the handlers.
// Open tags of known elements use their tag id (1..91), unknown ones 0;
// close tags use 1000 + tag id.
constexpr int HTML_UNKNOWN_TAG = 0;
constexpr int HTML_CLOSE_BASE = 1000;
constexpr int HTML_COMMENT = 92;
constexpr int HTML_WORD = 2000;
constexpr int HTML_PUNCT = 2001;
constexpr int HTML_SPACE = 2003;
constexpr int HTML_ENTITY = 2004;
constexpr int HTML_END = -1;

// Tag ids: positions in the element-name table (0 is _UKN_).
enum TagId {
    TAG_UKN = 0,
    TAG_A = 1,
    TAG_ABBR = 2,
    TAG_ACRONYM = 3,
    TAG_ADDRESS = 4,
    TAG_APPLET = 5,
    TAG_AREA = 6,
    TAG_B = 7,
    TAG_BASE = 8,
    TAG_BASEFONT = 9,
    TAG_BDO = 10,
    TAG_BIG = 11,
    TAG_BLOCKQUOTE = 12,
    TAG_BODY = 13,
    TAG_BR = 14,
    TAG_BUTTON = 15,
    TAG_CAPTION = 16,
    TAG_CENTER = 17,
    TAG_CITE = 18,
    TAG_CODE = 19,
    TAG_COL = 20,
    TAG_COLGROUP = 21,
    TAG_DD = 22,
    TAG_DEL = 23,
    TAG_DFN = 24,
    TAG_DIR = 25,
    TAG_DIV = 26,
    TAG_DL = 27,
    TAG_DT = 28,
    TAG_EM = 29,
    TAG_FIELDSET = 30,
    TAG_FONT = 31,
    TAG_FORM = 32,
    TAG_FRAME = 33,
    TAG_FRAMESET = 34,
    TAG_H1 = 35,
    TAG_H2 = 36,
    TAG_H3 = 37,
    TAG_H4 = 38,
    TAG_H5 = 39,
    TAG_H6 = 40,
    TAG_HEAD = 41,
    TAG_HR = 42,
    TAG_HTML = 43,
    TAG_I = 44,
    TAG_IFRAME = 45,
    TAG_IMG = 46,
    TAG_INPUT = 47,
    TAG_INS = 48,
    TAG_ISINDEX = 49,
    TAG_KBD = 50,
    TAG_LABEL = 51,
    TAG_LEGEND = 52,
    TAG_LI = 53,
    TAG_LINK = 54,
    TAG_MAP = 55,
    TAG_MENU = 56,
    TAG_META = 57,
    TAG_NOFRAMES = 58,
    TAG_NOSCRIPT = 59,
    TAG_OBJECT = 60,
    TAG_OL = 61,
    TAG_OPTGROUP = 62,
    TAG_OPTION = 63,
    TAG_P = 64,
    TAG_PARAM = 65,
    TAG_PRE = 66,
    TAG_Q = 67,
    TAG_S = 68,
    TAG_SAMP = 69,
    TAG_SCRIPT = 70,
    TAG_SELECT = 71,
    TAG_SMALL = 72,
    TAG_SPAN = 73,
    TAG_STRIKE = 74,
    TAG_STRONG = 75,
    TAG_STYLE = 76,
    TAG_SUB = 77,
    TAG_SUP = 78,
    TAG_TABLE = 79,
    TAG_TBODY = 80,
    TAG_TD = 81,
    TAG_TEXTAREA = 82,
    TAG_TFOOT = 83,
    TAG_TH = 84,
    TAG_THEAD = 85,
    TAG_TITLE = 86,
    TAG_TR = 87,
    TAG_TT = 88,
    TAG_U = 89,
    TAG_UL = 90,
    TAG_VAR = 91,
};
constexpr int HTML_TAG_COUNT = 92;      // ids 0..91
constexpr int HTML_TAG_TABLE_SIZE = 100;

// Upper-case element names by tag id, NUL-padded; entries 92..99 are empty.
extern const char html_tag_names[HTML_TAG_TABLE_SIZE][100];

typedef int (*TextHandler)(int code, char* text, int len);
typedef int (*EntityHandler)(int value);

// Handler slots; a null slot means the item is not reported.
extern TextHandler _HANDLE_OPEN_TAG;
extern TextHandler _HANDLE_CLOSE_TAG;
extern TextHandler _HANDLE_TOKEN;
extern TextHandler _HANDLE_COMMENT;
extern TextHandler _HANDLE_PUNCT;
extern TextHandler _HANDLE_UNMATCHED;
extern EntityHandler _HANDLE_ENTITY;

void setOpenTagHandler(TextHandler h);
void setCloseTagHandler(TextHandler h);
void setTokenHandler(TextHandler h);
void setCommentHandler(TextHandler h);
void setPunctHandler(TextHandler h);
void setUnmatchedHandler(TextHandler h);
void setEntityHandler(EntityHandler h);

// The initial handlers: print each item on standard output.
int echoOpenTag(int code, char* text, int len);
int echoCloseTag(int code, char* text, int len);
int echoToken(int code, char* text, int len);
int echoComment(int code, char* text, int len);
int echoPunct(int code, char* text, int len);
int echoUnmatched(int code, char* text, int len);
int echoEntity(int value);

// One input buffer: the bytes followed by two NULs.
// The text scanned is yy_ch_buf up to its first NUL (yy_n_chars bytes).
struct yy_buffer_state {
    char* yy_ch_buf;          // the bytes
    char* yy_buf_pos;         // scan position
    int yy_buf_size;          // number of bytes, not counting the two NULs
    int yy_n_chars;           // bytes before the first NUL: the text scanned
    int yy_is_our_buffer;     // the scanner owns and frees yy_ch_buf
    int yy_at_bol;            // unused, kept for layout compatibility
    int yy_buffer_status;     // 0 while more input may follow the bytes
};

extern char* html_text;   // current item, NUL-terminated in place
extern int html_leng;     // its length
extern FILE* html_in;     // read only when html_lex runs without supplied input

// Scans the next item, calls its handler, returns its code (-1 at the end).
int html_lex();
// End-of-input hook: always 1 (no further input follows).
int html_wrap();

// Makes a private copy of s (strlen bytes + two NULs) the current input.
void useString(char* s);
// Scans buf in place; size counts two trailing NULs. Refused otherwise.
void useBuffer(char* buf, int size);
// Frees the current input; no-op without one.
void deleteCurrentBuf();
// From a handler: shorten the current item to its first n bytes.
void backtrack(int n);
// Diagnostic dump of the tag structure of s on standard output.
void printTags(char* s);

// One named character entity: its name (exact case) and the value delivered.
struct HtmlEntity {
    const char* name;
    int value;
};
constexpr int HTML_ENTITY_COUNT = 100;
extern const HtmlEntity html_entities[HTML_ENTITY_COUNT];
