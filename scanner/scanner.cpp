// The HTML item scanner: a hand-written longest-match scanner over the rule
// table below, scanning its current input in place with a held byte: the
// byte after the current item is replaced by a NUL while the item is
// reported, and put back before the next one.
//
// Rules in order of precedence (longest match wins, ties go to the earlier
// rule):
//   1      comment        <! WS* -- ([^-] | -[^-])* -- WS* >        92
//   2      declaration    <! [^>]* >                               92
//   3-184  known tags     for id 91 down to 1: </NAME R* >, <NAME R* >
//   185    unknown close  </ Q+ >                                  1000
//   186    unknown open   < Q+ >                                   0
//   187    numeric entity &# DIGIT+ ;?                             2004
//   188-   named entity   & NAME ;?                                2004
//   288    word           WORDCHAR+                                2000
//   289    punctuation    one PUNCT byte                           2001
//   290    whitespace     one WS byte                              2003
// R is a byte other than > " ' or a quoted string; Q is R without a bare !.
//
// Every decision is made in time proportional to the item's length plus a
// constant, amortised: the end of a tag is read forward from its '<' (the
// tag's own bytes, which the item then takes), and should later '<' that
// fail to become tags make those reads cover the input twice, a table of
// the tag end at every '<', filled once from right to left, answers the
// rest; the searches for comment and declaration ends remember their last
// answer. So no byte is read again and again.
#include "scanner/scanner.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/alloc.h"
#include "tables.h"

namespace w2r {
namespace {

// Tag-end table entries kept between inputs (2 MiB): enough for a page of
// 3 MiB of ordinary HTML; a larger table is given back after its input.
constexpr size_t kKeptTableRoom = size_t{1} << 18;

enum ByteClass : unsigned char { BC_WORD, BC_WS, BC_PUNCT, BC_END };

struct ByteClassTable {
    unsigned char cls[256]{};
    constexpr ByteClassTable() {
        for (int b = 0; b < 256; ++b) {
            bool punct = (b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) ||
                         (b >= 0x5B && b <= 0x60) || (b >= 0x7B && b <= 0x7E);
            bool ws = b == ' ' || b == '\t' || b == '\n' || b == '\r';
            cls[b] = b == 0 ? BC_END : ws ? BC_WS : punct ? BC_PUNCT : BC_WORD;
        }
    }
};
constexpr ByteClassTable byte_classes;

inline unsigned char classOf(char c) { return byte_classes.cls[static_cast<unsigned char>(c)]; }
inline bool isWs(char c) { return classOf(c) == BC_WS; }

// Bit k set for every byte s[k], k < len <= 16, that the tag-end pass acts
// on: '<' (an answer is wanted there) and '>', quotes and '!' (they change
// the answer).
unsigned tagBytesMask(const char* s, size_t len) {
#if defined(__SSE2__)
    if (len == 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')),
                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8('\'')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8('!')));
        return static_cast<unsigned>(_mm_movemask_epi8(hit));
    }
#endif
    unsigned mask = 0;
    for (size_t k = 0; k < len; ++k) {
        char c = s[k];
        if (c == '<' || c == '>' || c == '"' || c == '\'' || c == '!') mask |= 1u << k;
    }
    return mask;
}

// The number of '<' among the n bytes at s.
size_t countLt(const char* s, size_t n) {
    size_t count = 0, i = 0;
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi8('<');
    while (i + 16 <= n) {
        // Each byte lane counts its hits (up to 255), then the lanes are added.
        __m128i lanes = _mm_setzero_si128();
        for (int k = 0; k < 255 && i + 16 <= n; ++k, i += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(v, lt));
        }
        __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    }
#endif
    for (; i < n; ++i) count += s[i] == '<';
    return count;
}

#if defined(__SSE2__)
// Bit k set for every byte of the 16 at s that belongs in a word: bytes
// 0x80-0xFF, letters, digits, 0x7F and the control bytes other than NUL,
// tab, line feed and carriage return.
unsigned wordBytesMask(const char* s) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    // Bytes of x in lo..hi: x - lo, unsigned, is at most hi - lo.
    auto in_range = [](__m128i x, char lo, char hi) {
        __m128i d = _mm_sub_epi8(x, _mm_set1_epi8(lo));
        return _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(static_cast<char>(hi - lo))), d);
    };
    __m128i word = _mm_cmplt_epi8(v, _mm_setzero_si128());
    word = _mm_or_si128(word, in_range(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z'));
    word = _mm_or_si128(word, in_range(v, '0', '9'));
    word = _mm_or_si128(word, _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)));
    __m128i ws = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\t')),
                              _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
    ws = _mm_or_si128(ws, _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
    word = _mm_or_si128(word, _mm_andnot_si128(ws, in_range(v, 0x01, 0x1F)));
    return static_cast<unsigned>(_mm_movemask_epi8(word));
}
#endif

// Length of the word starting at s (s[0] is a word byte); readable bytes
// from s are known to be at least avail, which covers the NUL ending the
// text.
size_t wordLength(const char* s, size_t avail) {
    size_t len = 1;
#if defined(__SSE2__)
    while (len + 16 <= avail) {
        unsigned stops = ~wordBytesMask(s + len) & 0xFFFFu;
        if (stops != 0) return len + static_cast<size_t>(__builtin_ctz(stops));
        len += 16;
    }
#else
    (void)avail;
#endif
    while (classOf(s[len]) == BC_WORD) ++len;
    return len;
}

// The highest known tag id whose name starts at s (either case), or 0.
int knownName(const char* s) {
    unsigned char first = static_cast<unsigned char>(s[0]) & 0xDF;
    if (first < 'A' || first > 'Z') return 0;
    const NameIndex& index = kNameIndex;
    int letter = first - 'A';
    int group = nameSecond(s[1]);
    for (int k = 0; k < index.count[letter][group]; ++k) {
        int id = index.ids[letter][group][k];
        const char* name = kTagNames[id];
        int j = 1;
        while (name[j] != 0) {
            char c = s[j];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != name[j]) break;
            ++j;
        }
        if (name[j] == 0) return id;
    }
    return 0;
}

// Entity rules at s[p] == '&': sets the value and returns the length, 0 if
// no entity starts here. Values beyond int are delivered as INT_MAX.
size_t matchEntity(const char* s, size_t p, int* value) {
    size_t i = p + 1;
    if (s[i] == '#') {
        ++i;
        if (s[i] < '0' || s[i] > '9') return 0;
        long long v = 0;
        for (; s[i] >= '0' && s[i] <= '9'; ++i) {
            v = v * 10 + (s[i] - '0');
            if (v > INT_MAX) v = INT_MAX + 1LL;
        }
        *value = v > INT_MAX ? INT_MAX : static_cast<int>(v);
    } else {
        unsigned char first = static_cast<unsigned char>(s[i]);
        if (first >= 128) return 0;
        const EntityIndex& index = kEntityIndex;
        size_t best = 0;
        for (int k = 0; k < index.count[first]; ++k) {
            int e = index.ids[first][k];
            size_t len = index.len[e];
            if (len > best && strncmp(s + i, kEntities[e].name, len) == 0) {
                best = len;
                *value = kEntities[e].value;
            }
        }
        if (best == 0) return 0;
        i += best;
    }
    if (s[i] == ';') ++i;
    return i - p;
}

}  // namespace

Scanner::~Scanner() { release(); }

// Makes the bytes the current input; the previous one, if any, is released.
void Scanner::install(char* bytes, int size, bool owned) {
    if (haveInput_) release();
    input_.bytes = bytes;
    input_.pos = bytes;
    input_.size = size;
    input_.length = static_cast<int>(strnlen(bytes, static_cast<size_t>(size)));
    input_.owned = owned;
    haveInput_ = true;
    tagEndReady_ = false;
    tagEndRead_ = 0;
    ddFrom_ = gtFrom_ = SIZE_MAX;
    itemText_ = bytes;
    itemLength_ = 0;
}

// Copies len bytes into a fresh buffer closed by two NULs.
void Scanner::installCopy(const char* bytes, size_t len) {
    if (len > static_cast<size_t>(INT_MAX) - 2) outOfMemory();
    char* copy = static_cast<char*>(xmalloc(len + 2));
    if (len > 0) memcpy(copy, bytes, len);
    copy[len] = copy[len + 1] = 0;
    install(copy, static_cast<int>(len), true);
}

// Records the tag end at every '<' from right to left, visiting only the
// bytes that matter (16 at a time): a quote at i continues after its partner
// quote, so the answer at i is the one already found there.
void Scanner::buildTagEnds() {
    const char* s = input_.bytes;
    size_t n = static_cast<size_t>(input_.length);
    // One entry per '<', filled from the back: count them first, so that a
    // page of nothing but '<' takes no more than it needs.
    size_t count = countLt(s, n);
    std::vector<TagEnd>& table = tagEnds_;
    if (table.capacity() < count) {
        std::vector<TagEnd>().swap(table);
        table.reserve(count);
    }
    table.resize(count);
    size_t k = count;
    int32_t end = -1;                       // end of "R* >" from here, -1 if none
    bool q_ok = false;                      // "Q* >" from here ends there too
    int32_t after_quote_end[2] = {-1, -1};  // the same, just after the nearest quote
    bool after_quote_q_ok[2] = {false, false};
    for (size_t block_end = n; block_end > 0;) {
        size_t block = block_end >= 16 ? block_end - 16 : 0;
        unsigned mask = tagBytesMask(s + block, block_end - block);
        while (mask != 0) {  // highest position first
            int bit = 31 - __builtin_clz(mask);
            mask &= ~(1u << bit);
            size_t i = block + static_cast<size_t>(bit);
            char c = s[i];
            if (c == '<') {
                table[--k] = {static_cast<int32_t>(i), end < 0 ? -1 : q_ok ? end : -2 - end};
            } else if (c == '>') {
                end = static_cast<int32_t>(i);
                q_ok = true;
            } else if (c == '!') {
                q_ok = false;
            } else {
                int k = c == '"' ? 0 : 1;
                int32_t e = after_quote_end[k];
                bool q = after_quote_q_ok[k];
                after_quote_end[k] = end;
                after_quote_q_ok[k] = q_ok;
                end = e;
                q_ok = q;
            }
        }
        block_end = block;
    }
    tagCursor_ = 0;
    tagEndReady_ = true;
}

// The tag end for the '<' at p: read forward until the input has been read
// twice that way, then from the table. Items start at ascending positions,
// so the table's cursor only moves forward, except after a backtrack.
int32_t Scanner::tagEndAt(size_t p) {
    if (!tagEndReady_) {
        // No '>' ahead, as a read to the end found out: nothing to read.
        if (gtFrom_ <= p + 1 && gtAt_ == static_cast<size_t>(input_.length)) return -1;
        if (tagEndRead_ <= 2 * static_cast<size_t>(input_.length) + 4096) return readTagEnd(p);
        buildTagEnds();
    }
    const std::vector<TagEnd>& table = tagEnds_;
    size_t k = tagCursor_;
    if (k > table.size() || (k > 0 && static_cast<size_t>(table[k - 1].pos) >= p)) {
        k = static_cast<size_t>(std::lower_bound(table.begin(), table.end(), p,
                                                 [](const TagEnd& e, size_t q) {
                                                     return static_cast<size_t>(e.pos) < q;
                                                 }) -
                                table.begin());
    }
    while (k < table.size() && static_cast<size_t>(table[k].pos) < p) ++k;
    tagCursor_ = k;
    return k < table.size() && static_cast<size_t>(table[k].pos) == p ? table[k].value : -1;
}

// The tag end for the '<' at p, read forward: the first '>' after it,
// quoted strings skipped whole; an unclosed quote before it leaves none,
// and so does the lack of any '>' ahead (known without reading once a
// read has gone to the end).
int32_t Scanner::readTagEnd(size_t p) {
    const char* s = input_.bytes;
    const size_t n = static_cast<size_t>(input_.length);
    bool q_ok = true;
    size_t i = p + 1;
    int32_t value = -1;
    while (i < n) {
        char c = s[i];
        if (c == '>') {
            value = q_ok ? static_cast<int32_t>(i) : -2 - static_cast<int32_t>(i);
            break;
        }
        if (c == '"' || c == '\'') {
            const void* close = memchr(s + i + 1, c, n - i - 1);
            if (close == nullptr) break;
            i = static_cast<size_t>(static_cast<const char*>(close) - s) + 1;
            continue;
        }
        if (c == '!') q_ok = false;
        ++i;
    }
    tagEndRead_ += i - p;
    if (i == n) firstGreater(s, n, p + 1);  // remember whether any '>' is ahead
    return value;
}

// First "--" starting at or after from, or n.
size_t Scanner::firstDoubleDash(const char* s, size_t n, size_t from) {
    if (ddFrom_ <= from && from <= ddAt_) return ddAt_;
    size_t i = from;
    while (i + 1 < n) {
        const void* hit = memchr(s + i, '-', n - i - 1);
        if (hit == nullptr) {
            i = n;
            break;
        }
        i = static_cast<size_t>(static_cast<const char*>(hit) - s);
        if (s[i + 1] == '-') break;
        i += 2;  // s[i + 1] is not '-', so no "--" starts there either
    }
    ddFrom_ = from;
    ddAt_ = i + 1 < n ? i : n;
    return ddAt_;
}

// First '>' at or after from, or n.
size_t Scanner::firstGreater(const char* s, size_t n, size_t from) {
    if (gtFrom_ <= from && from <= gtAt_) return gtAt_;
    const void* hit = from < n ? memchr(s + from, '>', n - from) : nullptr;
    gtFrom_ = from;
    gtAt_ = hit != nullptr ? static_cast<size_t>(static_cast<const char*>(hit) - s) : n;
    return gtAt_;
}

// Rules 1 and 2 at s[p] == '<', s[p + 1] == '!': the item's length, 0 if
// neither matches. A comment never ends before the first '>', so it wins
// whenever it matches.
size_t Scanner::matchCommentOrDeclaration(const char* s, size_t n, size_t p) {
    size_t i = p + 2;
    while (isWs(s[i])) ++i;
    if (s[i] == '-' && s[i + 1] == '-') {
        // The body cannot hold "--", so the first one after the opening
        // is the only possible close.
        size_t k = firstDoubleDash(s, n, i + 2);
        if (k < n) {
            size_t j = k + 2;
            while (isWs(s[j])) ++j;
            if (s[j] == '>') return j + 1 - p;
        }
    }
    size_t g = firstGreater(s, n, p + 2);
    return g < n ? g + 1 - p : 0;
}

// Tag rules 3-186 at s[p] == '<' (not "<!"): sets code and returns the
// length, 0 if no tag starts here. Names and the '/' contain no quote,
// '>' or '!', so every candidate rule ends where "R* >" (or "Q* >") from
// p + 1 ends: known and unknown forms differ only in whether they apply.
size_t Scanner::matchTag(const char* s, size_t p, int* code) {
    int32_t t = tagEndAt(p);
    if (t == -1) return 0;
    bool q_ok = t >= 0;
    size_t end = static_cast<size_t>(q_ok ? t : -2 - t);
    bool close = s[p + 1] == '/';
    int id = knownName(s + p + (close ? 2 : 1));
    if (id != 0) {
        *code = close ? kCloseTagBase + id : id;
        return end + 1 - p;
    }
    if (!q_ok || end == p + 1) return 0;  // "<>" has no remainder piece
    // "</>" is no close tag: its only remainder piece is the '/'.
    *code = close && end > p + 2 ? kCloseTagBase : kUnknownTag;
    return end + 1 - p;
}

int Scanner::next() {
    restoreHeldByte();
    if (!haveInput_) return kItemEnd;

    char* s = input_.bytes;
    size_t n = static_cast<size_t>(input_.length);
    size_t p = static_cast<size_t>(input_.pos - s);
    if (p >= n) {
        itemText_ = s + n;
        itemLength_ = 0;
        return kItemEnd;
    }

    int code = kItemPunct;
    int value = 0;
    size_t len = 1;
    switch (classOf(s[p])) {
    case BC_WORD:
        len = wordLength(s + p, n + 2 - p);  // the two closing NULs are readable
        code = kItemWord;
        break;
    case BC_WS:
        code = kItemSpace;
        break;
    default:
        if (s[p] == '<') {
            size_t m = s[p + 1] == '!' ? matchCommentOrDeclaration(s, n, p) : matchTag(s, p, &code);
            if (m > 0) {
                len = m;
                if (s[p + 1] == '!') code = kItemComment;
            }
        } else if (s[p] == '&') {
            size_t m = matchEntity(s, p, &value);
            if (m > 0) {
                len = m;
                code = kItemEntity;
            }
        }
        break;
    }

    itemText_ = s + p;
    itemLength_ = static_cast<int>(len);
    heldAt_ = s + p + len;
    heldByte_ = *heldAt_;
    *heldAt_ = 0;
    input_.pos = heldAt_;

    TextHandler h = nullptr;
    if (code == kItemSpace) {  // half of all items on real pages
        h = handlers_.space;
    } else if (code == kItemWord) {
        h = handlers_.word;
    } else if (code == kItemPunct) {
        h = handlers_.punct;
    } else if (code == kItemEntity) {
        if (handlers_.entity != nullptr) handlers_.entity(handlers_.context, value);
        return code;
    } else if (code == kItemComment) {
        h = handlers_.comment;
    } else if (code >= kCloseTagBase) {
        h = handlers_.closeTag;
    } else {
        h = handlers_.openTag;
    }
    if (h != nullptr) h(handlers_.context, code, itemText_, itemLength_);
    return code;
}

// The run at the scan position, which is a text byte.
std::string_view Scanner::takeRun() {
    char* s = input_.bytes;
    size_t n = static_cast<size_t>(input_.length);
    size_t p = static_cast<size_t>(input_.pos - s);
    if (p >= n) return std::string_view();
    size_t q = p;
#if defined(__SSE2__)
    for (; q + 16 <= n; q += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + q));
        __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')),
                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) {
            q += static_cast<size_t>(__builtin_ctz(mask));
            break;
        }
    }
#endif
    while (q < n && s[q] != '<' && s[q] != '&') ++q;
    input_.pos = s + q;
    itemText_ = empty_;  // no current item: backtrack() does nothing
    itemLength_ = 0;
    return std::string_view(s + p, q - p);
}

void Scanner::useString(const char* s) {
    restoreHeldByte();
    installCopy(s != nullptr ? s : "", s != nullptr ? strlen(s) : 0);
}

void Scanner::useBuffer(char* buf, int size) {
    if (buf == nullptr || size < 2 || buf[size - 2] != 0 || buf[size - 1] != 0) return;
    restoreHeldByte();
    install(buf, size - 2, false);
}

// The held byte goes back first, so a caller's buffer is left as it was given.
void Scanner::release() {
    if (!haveInput_) return;
    restoreHeldByte();
    if (input_.owned) free(input_.bytes);
    input_ = Input();
    haveInput_ = false;
    tagEndReady_ = false;
    if (tagEnds_.capacity() > kKeptTableRoom) std::vector<TagEnd>().swap(tagEnds_);
    itemText_ = empty_;
    itemLength_ = 0;
}

void Scanner::backtrack(int n) {
    if (!haveInput_ || heldAt_ == nullptr || n < 1 || n > itemLength_) return;
    *heldAt_ = heldByte_;
    heldAt_ = itemText_ + n;
    heldByte_ = *heldAt_;
    *heldAt_ = 0;
    itemLength_ = n;
    input_.pos = heldAt_;
}

}  // namespace w2r
