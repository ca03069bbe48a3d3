// The scanner's handler slots, their setters, the printing handlers they
// start with, and the diagnostic tag dump.
#include <cstdio>

#include "scanner/vobHTMLParser.h"

TextHandler _HANDLE_OPEN_TAG = echoOpenTag;
TextHandler _HANDLE_CLOSE_TAG = echoCloseTag;
TextHandler _HANDLE_TOKEN = echoToken;
TextHandler _HANDLE_COMMENT = echoComment;
TextHandler _HANDLE_PUNCT = echoPunct;
TextHandler _HANDLE_UNMATCHED = echoUnmatched;
EntityHandler _HANDLE_ENTITY = echoEntity;

void setOpenTagHandler(TextHandler h) { _HANDLE_OPEN_TAG = h; }
void setCloseTagHandler(TextHandler h) { _HANDLE_CLOSE_TAG = h; }
void setTokenHandler(TextHandler h) { _HANDLE_TOKEN = h; }
void setCommentHandler(TextHandler h) { _HANDLE_COMMENT = h; }
void setPunctHandler(TextHandler h) { _HANDLE_PUNCT = h; }
void setUnmatchedHandler(TextHandler h) { _HANDLE_UNMATCHED = h; }
void setEntityHandler(EntityHandler h) { _HANDLE_ENTITY = h; }

int echoOpenTag(int, char* text, int) {
    printf("OPEN TAG: %s\n", text);
    return 0;
}

int echoCloseTag(int, char* text, int) {
    printf("CLOSE TAG: %s\n", text);
    return 0;
}

int echoToken(int, char* text, int) {
    printf("TOKEN %s\n", text);
    return 0;
}

int echoComment(int, char* text, int) {
    printf("COMMENT %s\n", text);
    return 0;
}

int echoPunct(int, char* text, int) {
    printf("PUNCT %s\n", text);
    return 0;
}

// Whitespace is shown by its byte value (32 for a space, 10 for a line feed).
int echoUnmatched(int, char* text, int) {
    printf("UNMATCHED chr(%d)\n", static_cast<int>(static_cast<signed char>(text[0])));
    return 0;
}

int echoEntity(int value) {
    printf("ENTITY %c\n", value);
    return 0;
}

// Dumps open tags, close tags and words of s by name and code; the installed
// handlers keep running for every item.
void printTags(char* s) {
    useString(s);
    for (int code = html_lex(); code != HTML_END; code = html_lex()) {
        if (code >= 0 && code < HTML_CLOSE_BASE) {
            // Codes below 1000 are open tags or comments (92, an empty name).
            printf("OPEN  %s %d\n", html_tag_names[code < HTML_TAG_TABLE_SIZE ? code : 0], code);
        } else if (code >= HTML_CLOSE_BASE && code < HTML_WORD) {
            int id = code - HTML_CLOSE_BASE;
            printf("CLOSE /%s %d\n", html_tag_names[id < HTML_TAG_TABLE_SIZE ? id : 0], code);
        } else if (code == HTML_WORD) {
            printf("TOKEN %s\n", html_text);
        }
    }
    deleteCurrentBuf();
}
