#include "dom/builder.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "base/alloc.h"
#include "base/limits.h"

namespace w2r {
namespace {

const char kStackError[] = "serious stack error";

// A close tag lifts at most this many open elements while looking for its match.
constexpr int kMaxLifted = 11;

// The 28 element kinds that make tree nodes, indexed by tag id.
struct TreeKinds {
    bool is[kTagTableSize] = {};
    constexpr TreeKinds() {
        const int ids[] = {kTagA,      kTagB,    kTagBlockquote, kTagBody,     kTagDiv,  kTagEm,
                           kTagFont,   kTagForm, kTagFrame,      kTagFrameset, kTagH1,   kTagH2,
                           kTagH3,     kTagH4,   kTagH5,         kTagH6,       kTagHead, kTagHtml,
                           kTagIframe, kTagLi,   kTagOl,         kTagP,        kTagSpan, kTagTable,
                           kTagTbody,  kTagTd,   kTagTr,         kTagUl};
        for (int id : ids) is[id] = true;
    }
};
constexpr TreeKinds kTreeKinds;

// A close-tag search never lifts one of these off the stack.
bool isBarrier(int id) { return id == kTagHtml || id == kTagHead || id == kTagBody; }

// Slots reserved for a child array of n entries: n rounded up to a power of
// two, so appending one child at a time reallocates only log(n) times.
std::size_t childCapacity(int n) {
    if (n <= 0) return 0;
    std::size_t c = 1;
    while (c < static_cast<std::size_t>(n)) c <<= 1;
    return c;
}

// Makes room in p->children for newCount entries (the first childCount kept).
void growChildren(Arena& arena, Node* p, int newCount) {
    std::size_t have = childCapacity(p->childCount);
    std::size_t want = childCapacity(newCount);
    if (p->children && want <= have) return;
    p->children = static_cast<Node**>(
        arena.grow(p->children, static_cast<std::size_t>(p->childCount) * sizeof(Node*),
                   want * sizeof(Node*)));
}

// Bytes of text that fit at next, keeping the store NUL-terminated.
int storeRoom(const char* store, const char* next, int len) {
    if (len <= 0) return 0;
    std::size_t room = static_cast<std::size_t>(store + kPageBufferSize - 1 - next);
    return static_cast<std::size_t>(len) > room ? static_cast<int>(room) : len;
}

// Copies len bytes of text to out. A NUL inside text ends the copy and the
// rest of the len bytes are NULs; so does a null text (the end-of-page close
// passes none, with length 0).
void copyText(char* out, const char* text, int len) {
    if (len <= 0) return;
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

int onOpenTag(void* b, int id, char* text, int len) {
    static_cast<TreeBuilder*>(b)->openTag(id, text, len);
    return 1;
}
int onCloseTag(void* b, int code, char* text, int len) {
    static_cast<TreeBuilder*>(b)->closeTag(code, text, len);
    return 1;
}
int onText(void* b, int, char* text, int len) {
    static_cast<TreeBuilder*>(b)->text(text, len);
    return 1;
}
// Entities, comments and declarations are left out of the text store.
int onEntity(void*, int) { return 1; }
int onComment(void*, int, char*, int) { return 1; }

}  // namespace

bool isTreeElement(int id) { return id >= 0 && id < kTagTableSize && kTreeKinds.is[id]; }

ScanHandlers TreeBuilder::handlers() {
    ScanHandlers h;
    h.context = this;
    h.openTag = onOpenTag;
    h.closeTag = onCloseTag;
    h.word = onText;
    h.comment = onComment;
    h.punct = onText;
    h.space = onText;
    h.entity = onEntity;
    return h;
}

void TreeBuilder::openTag(int id, const char* text, int len) {
    if (isTreeElement(id)) {
        tree_.open_.push_back(static_cast<unsigned char>(id));
        openElement(id, text, len);
    } else {
        this->text(text, len);
    }
}

void TreeBuilder::closeTag(int code, const char* text, int len) {
    std::vector<unsigned char>& open = tree_.open_;
    if (open.empty()) {
        diagnostics_.report(kStackError);
        this->text(text, len);
        return;
    }
    int target = code - kCloseTagBase;
    if (!isTreeElement(target)) {
        this->text(text, len);
        return;
    }
    int lifted[kMaxLifted];
    int k = 0;
    for (;;) {
        int top = open.back();
        if (top == target) {
            open.pop_back();
            // With no element open in the tree there is nothing to close;
            // root is never closed.
            if (tree_.atRoot())
                this->text(text, len);
            else
                closeElement(text, len, k);
            return;
        }
        if (open.size() <= 1 || isBarrier(top) || k == kMaxLifted) break;
        lifted[k++] = top;
        open.pop_back();
    }
    // No match within reach: restore the stack and keep the tag as text.
    while (k > 0) open.push_back(static_cast<unsigned char>(lifted[--k]));
    this->text(text, len);
}

void TreeBuilder::text(const char* text, int len) {
    len = storeRoom(tree_.store_, tree_.next_, len);
    copyText(tree_.next_, text, len);
    tree_.next_ += len;
}

void TreeBuilder::textRun(const char* text, std::size_t len) {
    int n = storeRoom(tree_.store_, tree_.next_,
                      len > kPageBufferSize ? kPageBufferSize : static_cast<int>(len));
    std::memcpy(tree_.next_, text, static_cast<std::size_t>(n));
    tree_.next_ += n;
}

void TreeBuilder::openElement(int id, const char* text, int len) {
    Node* current = tree_.current_;
    Node* n = new (tree_.arena_.allocate(sizeof(Node))) Node();
    n->tag = id;
    n->start = tree_.next_;
    n->parent = current;
    len = storeRoom(tree_.store_, tree_.next_, len);
    copyText(tree_.next_, text, len);
    tree_.next_ += len;

    growChildren(tree_.arena_, current, current->childCount + 1);
    current->children[current->childCount] = n;
    current->childCount++;
    tree_.current_ = n;
}

void TreeBuilder::closeElement(const char* text, int len, int implicitCount) {
    Node* root = &tree_.root_;
    len = storeRoom(tree_.store_, tree_.next_, len);
    copyText(tree_.next_, text, len);
    tree_.current_->end = tree_.next_;

    Node* p = tree_.current_;
    for (int i = 0; i < implicitCount; i++) {
        if (p->parent == root) {  // never climb past the outermost element
            implicitCount = i;
            break;
        }
        p = p->parent;
    }

    // Flatten the implicitly closed elements, outermost first: each one's
    // children become its following siblings, and it ends where they begin.
    // p's last child is the next one to flatten: its array grows once to
    // the final count.
    if (implicitCount > 0) {
        int total = p->childCount;
        const Node* r = p->children[p->childCount - 1];
        for (int i = 0; i < implicitCount && r->childCount > 0; i++) {
            total += r->childCount;
            r = r->children[r->childCount - 1];
        }
        growChildren(tree_.arena_, p, total);
    }
    for (int i = 0; i < implicitCount; i++) {
        Node* r = p->children[p->childCount - 1];
        if (r->childCount == 0) break;  // p's last child stays the same
        for (int j = 0; j < r->childCount; j++) {
            Node* c = r->children[j];
            c->parent = p;
            p->children[p->childCount + j] = c;
        }
        p->childCount += r->childCount;
        r->end = r->children[0]->start;
        r->childCount = 0;
        r->children = nullptr;
    }

    p->end = tree_.next_ + len;
    tree_.current_ = p->parent;
    tree_.next_ += len;
}

void TreeBuilder::finish() {
    if (tree_.open_.empty()) return;
    if (tree_.atRoot()) return;
    closeElement(nullptr, 0, static_cast<int>(tree_.open_.size()) - 1);
}

bool buildTree(Scanner& scanner, Tree& tree, Diagnostics& diagnostics) {
    TreeBuilder builder(tree, diagnostics);
    scanner.setHandlers(builder.handlers());
    // Runs of plain text go to the store in one copy; the scanner reports
    // the items in between (tags, entities, comments, a lone '<' or '&').
    for (;;) {
        std::string_view run = scanner.takeText();
        if (!run.empty()) builder.textRun(run.data(), run.size());
        if (scanner.next() == kItemEnd) break;
    }
    scanner.release();
    scanner.setHandlers(ScanHandlers());
    builder.finish();
    return tree.atRoot();
}

bool buildTree(Scanner& scanner, Tree& tree, const char* text, Diagnostics& diagnostics) {
    scanner.useString(text);
    return buildTree(scanner, tree, diagnostics);
}

}  // namespace w2r
