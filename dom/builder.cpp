#include "dom/builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dom/dom.h"
#include "driver/alloc.h"
#include "scanner/vobHTMLParser.h"

namespace {

const char kStackError[] = "serious stack error";

// A close tag lifts at most this many open elements while looking for its match.
constexpr int kMaxLifted = 11;

// The 28 element kinds that make tree nodes, indexed by tag id.
struct DomKinds {
    bool is[HTML_TAG_TABLE_SIZE] = {};
    DomKinds() {
        const int ids[] = {TAG_A,  TAG_B,      TAG_BLOCKQUOTE, TAG_BODY,  TAG_DIV,
                           TAG_EM, TAG_FONT,   TAG_FORM,       TAG_FRAME, TAG_FRAMESET,
                           TAG_H1, TAG_H2,     TAG_H3,         TAG_H4,    TAG_H5,
                           TAG_H6, TAG_HEAD,   TAG_HTML,       TAG_IFRAME, TAG_LI,
                           TAG_OL, TAG_P,      TAG_SPAN,       TAG_TABLE, TAG_TBODY,
                           TAG_TD, TAG_TR,     TAG_UL};
        for (int id : ids) is[id] = true;
    }
};
const DomKinds domKinds;

// A close-tag search never lifts one of these off the stack.
bool isBarrier(int id) { return id == TAG_HTML || id == TAG_HEAD || id == TAG_BODY; }

// Slots reserved for a child array of n entries: n rounded up to a power of
// two, so appending one child at a time reallocates only log(n) times.
std::size_t childCapacity(int n) {
    if (n <= 0) return 0;
    std::size_t c = 1;
    while (c < static_cast<std::size_t>(n)) c <<= 1;
    return c;
}

// Makes room in p->children for newCount entries (the first childCount kept).
void growChildren(node* p, int newCount) {
    if (p->children && childCapacity(newCount) <= childCapacity(p->childCount)) return;
    p->children = static_cast<node**>(
        xrealloc(p->children, childCapacity(newCount) * sizeof(node*)));
}

// Bytes of text that fit at ptr_buffer, keeping the store NUL-terminated.
int storeRoom(int len) {
    if (len <= 0) return 0;
    std::size_t room = static_cast<std::size_t>(buffer + PAGE_BUFFER_SIZE - 1 - ptr_buffer);
    return static_cast<std::size_t>(len) > room ? static_cast<int>(room) : len;
}

// Copies len bytes of text to ptr_buffer without advancing it. A NUL inside
// text ends the copy and the rest of the len bytes are NULs; so does a null
// text (the end-of-page close passes none, with length 0).
void copyText(const char* text, int len) {
    if (len <= 0) return;
    char* out = ptr_buffer;  // a local: stores through it can't move it
    std::size_t n = static_cast<std::size_t>(len);
    if (!text) {
        std::memset(out, 0, n);
    } else if (n == 1) {
        out[0] = text[0];  // half of all items are one space or punctuation byte
    } else if (n < 32) {
        // Most other items are a short word: a plain loop beats the call.
        std::size_t i = 0;
        for (; i < n && text[i]; ++i) out[i] = text[i];
        for (; i < n; ++i) out[i] = '\0';
    } else {
        std::strncpy(out, text, n);
    }
}

}  // namespace

bool isDOMElement(int id) { return id >= 0 && id < HTML_TAG_TABLE_SIZE && domKinds.is[id]; }

int kemOpenTagHandler(int id, char* text, int len) {
    if (isDOMElement(id)) {
        tag_stack.push(id);
        handleDOMOpenTag(id, text, len);
    } else {
        handleDOMNormalString(id, text, len);
    }
    return 1;
}

int kemCloseTagHandler(int id, char* text, int len) {
    if (tag_stack.empty()) {
        std::printf("%s\n", kStackError);
        std::fflush(stdout);
        handleDOMNormalString(id, text, len);
        return 1;
    }
    int target = id - HTML_CLOSE_BASE;
    if (!isDOMElement(target)) {
        handleDOMNormalString(id, text, len);
        return 1;
    }
    int lifted[kMaxLifted];
    int k = 0;
    for (;;) {
        int top = tag_stack.top();
        if (top == target) {
            tag_stack.pop();
            handleDOMCloseTag(id, text, len, k);
            return 1;
        }
        if (tag_stack.size() <= 1 || isBarrier(top) || k == kMaxLifted) break;
        lifted[k++] = top;
        tag_stack.pop();
    }
    // No match within reach: restore the stack and keep the tag as text.
    while (k > 0) tag_stack.push(lifted[--k]);
    handleDOMNormalString(id, text, len);
    return 1;
}

int kemTokenHandler(int id, char* text, int len) {
    handleDOMNormalString(id, text, len);
    return 1;
}

int kemPunctHandler(int id, char* text, int len) {
    handleDOMNormalString(id, text, len);
    return 1;
}

int kemUnmatchedHandler(int id, char* text, int len) {
    handleDOMNormalString(id, text, len);
    return 1;
}

// Entities, comments and declarations are left out of the text store.
int kemEntityHandler(int) { return 1; }
int kemCommentHandler(int, char*, int) { return 1; }

int handleDOMOpenTag(int id, char* text, int len) {
    node* n = static_cast<node*>(xcalloc(1, sizeof(node)));
    n->tag = id;
    n->start = ptr_buffer;
    n->parent = current;
    len = storeRoom(len);
    copyText(text, len);
    ptr_buffer += len;

    growChildren(current, current->childCount + 1);
    current->children[current->childCount] = n;
    if (current->childCount > 0) current->children[current->childCount - 1]->next = n;
    current->childCount++;
    current = n;
    return 0;
}

int handleDOMCloseTag(int id, char* text, int len, int implicitCount) {
    // With no element open there is nothing to close; root is never closed.
    if (current == &root) return handleDOMNormalString(id, text, len);
    len = storeRoom(len);
    copyText(text, len);
    current->end = ptr_buffer;

    node* p = current;
    for (int i = 0; i < implicitCount; i++) {
        if (p->parent == &root) {   // never climb past the outermost element
            implicitCount = i;
            break;
        }
        p = p->parent;
    }

    // Flatten the implicitly closed elements, outermost first: each one's
    // children become its following siblings, and it ends where they begin.
    for (int i = 0; i < implicitCount; i++) {
        node* r = p->children[p->childCount - 1];
        if (r->childCount == 0) continue;
        growChildren(p, p->childCount + r->childCount);
        for (int j = 0; j < r->childCount; j++) {
            node* c = r->children[j];
            c->parent = p;
            p->children[p->childCount + j] = c;
        }
        p->childCount += r->childCount;
        r->next = r->children[0];
        r->end = r->children[0]->start;
        r->childCount = 0;
        std::free(r->children);
        r->children = nullptr;
    }

    p->end = ptr_buffer + len;
    current = p->parent;
    ptr_buffer += len;
    return 0;
}

int handleDOMNormalString(int, char* text, int len) {
    len = storeRoom(len);
    copyText(text, len);
    ptr_buffer += len;
    return 0;
}

void registerDOMHandlers() {
    setOpenTagHandler(kemOpenTagHandler);
    setCloseTagHandler(kemCloseTagHandler);
    setTokenHandler(kemTokenHandler);
    setCommentHandler(kemCommentHandler);
    setPunctHandler(kemPunctHandler);
    setUnmatchedHandler(kemUnmatchedHandler);
    setEntityHandler(kemEntityHandler);
}

void closeOpenElements() {
    if (tag_stack.empty()) return;
    handleDOMCloseTag(0, nullptr, 0, static_cast<int>(tag_stack.size()) - 1);
}
