#include "scanner/vobHTMLUtils.h"

#include <cstring>

#include "scanner/vobHTMLParser.h"

int tags[100];
char* OUT = nullptr;
char* TOKEN = nullptr;
int TOKLEN = 0;
int MORE_TOKENS = 0;

namespace {

constexpr int kTagCounters = 100;

// While an open SCRIPT or STYLE is counted, their content is skipped.
bool insideScriptOrStyle() { return tags[TAG_SCRIPT] > 0 || tags[TAG_STYLE] > 0; }

void clearCounters() { std::memset(tags, 0, sizeof tags); }

// Appends n bytes at OUT and keeps the output NUL-terminated.
void emit(const char* text, int n) {
    std::memcpy(OUT, text, static_cast<std::size_t>(n));
    OUT += n;
    *OUT = '\0';
}

// Shared open-tag counting: inside script or style only the "<" counts as
// consumed, so a comparison like "a<b ...>" cannot swallow "</script>".
// Returns true when the tag was counted (outside script and style).
bool countOpenTag(int code) {
    if (insideScriptOrStyle()) {
        backtrack(1);
        return false;
    }
    if (code > 0 && code < kTagCounters) tags[code]++;
    return true;
}

// Close tags are counted everywhere: that is how "</script>" ends a script.
void countCloseTag(int code) {
    int id = code - HTML_CLOSE_BASE;
    if (id > 0 && id < kTagCounters && tags[id] > 0) tags[id]--;
}

}  // namespace

unsigned long strippedTextRoom(unsigned long len) { return len + (len + 1) / 2 + 1; }

int stripperCountOpenTag(int code, char*, int) {
    if (!countOpenTag(code) || code == HTML_UNKNOWN_TAG) return 0;
    if (code == TAG_BR)
        emit("\n", 1);
    else if (code == TAG_P)
        emit("\n\n", 2);
    else
        emit(" ", 1);
    return 0;
}

int stripperCountCloseTag(int code, char*, int) {
    countCloseTag(code);
    return 0;
}

int stripperHandleToken(int, char* text, int len) {
    if (insideScriptOrStyle()) return 0;
    emit(text, len);
    emit(" ", 1);
    return 0;
}

int stripperHandlePunct(int, char* text, int len) {
    if (insideScriptOrStyle()) return 0;
    emit(text, len);
    return 0;
}

// Whitespace is written even inside script and style; tabs are dropped.
int stripperHandleUnmatched(int, char* text, int) {
    if (text[0] != '\t') emit(" ", 1);
    return 0;
}

int stripperHandleEntity(int value) {
    if (insideScriptOrStyle()) return 0;
    if (value == '<' || value == '>' || value == '&' || value == '"' || value == ' ') {
        char c = static_cast<char>(value);
        emit(&c, 1);
    }
    return 0;
}

int stripHTML(char* s) {
    useString(s);
    setOpenTagHandler(stripperCountOpenTag);
    setCloseTagHandler(stripperCountCloseTag);
    setTokenHandler(stripperHandleToken);
    setCommentHandler(nullptr);
    setPunctHandler(stripperHandlePunct);
    setUnmatchedHandler(stripperHandleUnmatched);
    setEntityHandler(stripperHandleEntity);
    OUT = s;
    *OUT = '\0';   // an input that yields no text leaves an empty string
    clearCounters();
    while (html_lex() != HTML_END) {
    }
    deleteCurrentBuf();
    return 0;
}

int tokenizerCountOpenTag(int code, char*, int) {
    countOpenTag(code);
    return 0;
}

int tokenizerCountCloseTag(int code, char*, int) {
    countCloseTag(code);
    return 0;
}

int tokenizerHandleToken(int, char* text, int len) {
    if (insideScriptOrStyle()) {
        TOKEN = nullptr;
        TOKLEN = 0;
    } else {
        TOKEN = text;
        TOKLEN = len;
    }
    return 0;
}

int tokenizeHTML(char* s) {
    useString(s);
    setOpenTagHandler(tokenizerCountOpenTag);
    setCloseTagHandler(tokenizerCountCloseTag);
    setTokenHandler(tokenizerHandleToken);
    setCommentHandler(nullptr);
    setPunctHandler(nullptr);
    setEntityHandler(nullptr);
    setUnmatchedHandler(nullptr);
    clearCounters();
    MORE_TOKENS = 1;
    TOKEN = nullptr;
    TOKLEN = 0;
    return 0;
}

char* nextToken() {
    // After the end (or doneTokenize) there is no input left to scan.
    if (!MORE_TOKENS) return nullptr;
    for (;;) {
        int code = html_lex();
        if (code == HTML_END) {
            MORE_TOKENS = 0;
            TOKEN = nullptr;
            TOKLEN = 0;
            return nullptr;
        }
        if (code == HTML_WORD && TOKEN) return TOKEN;
    }
}

int hasMoreTokens() { return MORE_TOKENS; }

int tokenLength() { return TOKLEN; }

void doneTokenize() {
    MORE_TOKENS = 0;
    TOKEN = nullptr;
    TOKLEN = 0;
    deleteCurrentBuf();
}
