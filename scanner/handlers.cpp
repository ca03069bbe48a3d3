// The printing handler set and the diagnostic tag dump.
#include "scanner/handlers.h"

#include <cstdio>

namespace w2r {
namespace {

int echoOpenTag(void*, int, char* text, int) {
    printf("OPEN TAG: %s\n", text);
    return 0;
}

int echoCloseTag(void*, int, char* text, int) {
    printf("CLOSE TAG: %s\n", text);
    return 0;
}

int echoToken(void*, int, char* text, int) {
    printf("TOKEN %s\n", text);
    return 0;
}

int echoComment(void*, int, char* text, int) {
    printf("COMMENT %s\n", text);
    return 0;
}

int echoPunct(void*, int, char* text, int) {
    printf("PUNCT %s\n", text);
    return 0;
}

// Whitespace is shown by its byte value (32 for a space, 10 for a line feed).
int echoSpace(void*, int, char* text, int) {
    printf("UNMATCHED chr(%d)\n", static_cast<int>(static_cast<signed char>(text[0])));
    return 0;
}

int echoEntity(void*, int value) {
    printf("ENTITY %c\n", value);
    return 0;
}

}  // namespace

ScanHandlers echoHandlers() {
    ScanHandlers h;
    h.openTag = echoOpenTag;
    h.closeTag = echoCloseTag;
    h.word = echoToken;
    h.comment = echoComment;
    h.punct = echoPunct;
    h.space = echoSpace;
    h.entity = echoEntity;
    return h;
}

void printTags(Scanner& scanner, const char* s) {
    scanner.useString(s);
    for (int code = scanner.next(); code != kItemEnd; code = scanner.next()) {
        if (code >= 0 && code < kCloseTagBase) {
            // Codes below 1000 are open tags or comments (92, an empty name).
            printf("OPEN  %s %d\n", kTagNames[code < kTagTableSize ? code : 0], code);
        } else if (code >= kCloseTagBase && code < kItemWord) {
            int id = code - kCloseTagBase;
            printf("CLOSE /%s %d\n", kTagNames[id < kTagTableSize ? id : 0], code);
        } else if (code == kItemWord) {
            printf("TOKEN %s\n", scanner.itemText());
        }
    }
    scanner.release();
}

}  // namespace w2r
