#include "text/strip.h"

#include <cstring>

namespace w2r {
namespace {

// Open-tag counting: inside script or style only the "<" counts as
// consumed, so a comparison like "a<b ...>" cannot swallow "</script>".
// Returns true when the tag was counted (outside script and style).
bool countOpenTag(TagCounts& counts, Scanner& scanner, int code) {
    if (counts.insideScriptOrStyle()) {
        scanner.backtrack(1);
        return false;
    }
    if (code > 0 && code < kTagTableSize) counts.open[code]++;
    return true;
}

// Close tags are counted everywhere: that is how "</script>" ends a script.
void countCloseTag(TagCounts& counts, int code) {
    int id = code - kCloseTagBase;
    if (id > 0 && id < kTagTableSize && counts.open[id] > 0) counts.open[id]--;
}

}  // namespace

unsigned long strippedTextRoom(unsigned long len) { return len + (len + 1) / 2 + 1; }

// Appends n bytes at the output and keeps it NUL-terminated.
void TextStripper::emit(const char* text, int n) {
    std::memcpy(out_, text, static_cast<std::size_t>(n));
    out_ += n;
    *out_ = '\0';
}

int TextStripper::onOpenTag(void* self, int code, char*, int) {
    auto* t = static_cast<TextStripper*>(self);
    if (!countOpenTag(t->counts_, t->scanner_, code) || code == kUnknownTag) return 0;
    if (code == kTagBr)
        t->emit("\n", 1);
    else if (code == kTagP)
        t->emit("\n\n", 2);
    else
        t->emit(" ", 1);
    return 0;
}

int TextStripper::onCloseTag(void* self, int code, char*, int) {
    countCloseTag(static_cast<TextStripper*>(self)->counts_, code);
    return 0;
}

int TextStripper::onWord(void* self, int, char* text, int len) {
    auto* t = static_cast<TextStripper*>(self);
    if (t->counts_.insideScriptOrStyle()) return 0;
    t->emit(text, len);
    t->emit(" ", 1);
    return 0;
}

int TextStripper::onPunct(void* self, int, char* text, int len) {
    auto* t = static_cast<TextStripper*>(self);
    if (t->counts_.insideScriptOrStyle()) return 0;
    t->emit(text, len);
    return 0;
}

// Whitespace is written even inside script and style; tabs are dropped.
int TextStripper::onSpace(void* self, int, char* text, int) {
    if (text[0] != '\t') static_cast<TextStripper*>(self)->emit(" ", 1);
    return 0;
}

int TextStripper::onEntity(void* self, int value) {
    auto* t = static_cast<TextStripper*>(self);
    if (t->counts_.insideScriptOrStyle()) return 0;
    if (value == '<' || value == '>' || value == '&' || value == '"' || value == ' ') {
        char c = static_cast<char>(value);
        t->emit(&c, 1);
    }
    return 0;
}

void TextStripper::strip(char* s) {
    ScanHandlers h;
    h.context = this;
    h.openTag = onOpenTag;
    h.closeTag = onCloseTag;
    h.word = onWord;
    h.punct = onPunct;
    h.space = onSpace;
    h.entity = onEntity;
    scanner_.setHandlers(h);
    scanner_.useString(s);  // the scanner works on a copy: s is the output
    out_ = s;
    *out_ = '\0';  // an input that yields no text leaves an empty string
    counts_ = TagCounts();
    while (scanner_.next() != kItemEnd) {}
    scanner_.release();
}

int WordReader::onOpenTag(void* self, int code, char*, int) {
    auto* r = static_cast<WordReader*>(self);
    countOpenTag(r->counts_, r->scanner_, code);
    return 0;
}

int WordReader::onCloseTag(void* self, int code, char*, int) {
    countCloseTag(static_cast<WordReader*>(self)->counts_, code);
    return 0;
}

int WordReader::onWord(void* self, int, char* text, int len) {
    auto* r = static_cast<WordReader*>(self);
    if (r->counts_.insideScriptOrStyle()) {
        r->word_ = nullptr;
        r->length_ = 0;
    } else {
        r->word_ = text;
        r->length_ = len;
    }
    return 0;
}

void WordReader::start(const char* s) {
    ScanHandlers h;
    h.context = this;
    h.openTag = onOpenTag;
    h.closeTag = onCloseTag;
    h.word = onWord;
    scanner_.setHandlers(h);
    scanner_.useString(s);
    counts_ = TagCounts();
    more_ = true;
    word_ = nullptr;
    length_ = 0;
}

const char* WordReader::next() {
    // After the end (or finish) there is no input left to scan.
    if (!more_) return nullptr;
    for (;;) {
        int code = scanner_.next();
        if (code == kItemEnd) {
            more_ = false;
            word_ = nullptr;
            length_ = 0;
            return nullptr;
        }
        if (code == kItemWord && word_) return word_;
    }
}

void WordReader::finish() {
    more_ = false;
    word_ = nullptr;
    length_ = 0;
    scanner_.release();
}

}  // namespace w2r
