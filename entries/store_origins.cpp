#include "entries/store_origins.h"

#include <algorithm>
#include <cstring>

#include "scanner/scanner.h"

namespace w2r {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether text[i, n) starts with the lower-case word w, ASCII case ignored.
bool startsWith(const char* text, std::size_t i, std::size_t n, std::string_view w) {
    if (n - i < w.size()) return false;
    for (std::size_t k = 0; k < w.size(); ++k)
        if (lower(text[i + k]) != w[k]) return false;
    return true;
}

// Whether the byte after a tag name ends it.
bool endsName(const char* text, std::size_t i, std::size_t n) {
    if (i >= n) return true;
    char c = text[i];
    return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

}  // namespace

void blankScriptContent(char* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] != '<') continue;
        std::string_view name;
        if (startsWith(text, i + 1, n, "script") && endsName(text, i + 7, n))
            name = "script";
        else if (startsWith(text, i + 1, n, "style") && endsName(text, i + 6, n))
            name = "style";
        else
            continue;
        // The content starts after the start tag's ">".
        std::size_t k = i + 1 + name.size();
        while (k < n && text[k] != '>') ++k;
        if (k >= n) return;
        std::size_t from = k + 1, to = from;
        for (; to < n; ++to)
            if (text[to] == '<' && to + 1 < n && text[to + 1] == '/' &&
                startsWith(text, to + 2, n, name) && endsName(text, to + 2 + name.size(), n))
                break;
        for (std::size_t p = from; p < to; ++p)
            if (text[p] != '\n') text[p] = ' ';
        i = to > i ? to - 1 : i;
    }
}

void StoreOrigins::clear() {
    segments_.clear();
    raw_ = {};
    storeBegin_ = storeEnd_ = nullptr;
    ready_ = false;
}

bool StoreOrigins::build(Scanner& scanner, std::string_view raw, const char* storeBegin,
                         const char* storeEnd) {
    clear();
    if (!storeBegin || storeEnd < storeBegin) return false;
    // The scanner reads up to the first NUL, as the tree builder did.
    raw = raw.substr(0, std::min(raw.size(), std::strlen(raw.data())));
    const std::size_t storeSize = static_cast<std::size_t>(storeEnd - storeBegin);
    scanner.setHandlers(ScanHandlers());
    scanner.useString(raw.data());
    std::size_t rawAt = 0, storeAt = 0;
    bool dropped = true;  // opens the first segment
    bool same = true;
    for (int code; same && (code = scanner.next()) != kItemEnd;) {
        std::size_t len = static_cast<std::size_t>(scanner.itemLength());
        if (code == kItemEntity || code == kItemComment) {
            dropped = true;
        } else {
            if (dropped) segments_.push_back({storeAt, rawAt});
            dropped = false;
            same = storeAt + len <= storeSize &&
                   std::memcmp(storeBegin + storeAt, raw.data() + rawAt, len) == 0;
            storeAt += len;
        }
        rawAt += len;
    }
    scanner.release();
    if (!same || storeAt != storeSize || rawAt != raw.size()) {
        segments_.clear();
        return false;
    }
    segments_.push_back({storeSize, rawAt});  // the end maps to the end
    raw_ = raw;
    storeBegin_ = storeBegin;
    storeEnd_ = storeEnd;
    ready_ = true;
    return true;
}

std::size_t StoreOrigins::rawOffset(const char* p) const {
    if (!ready_ || p < storeBegin_ || p > storeEnd_) return 0;
    std::size_t at = static_cast<std::size_t>(p - storeBegin_);
    // The last segment starting at or before at.
    auto it = std::upper_bound(segments_.begin(), segments_.end(), at,
                               [](std::size_t v, const Segment& s) { return v < s.store; });
    if (it == segments_.begin()) return 0;
    --it;
    return it->raw + (at - it->store);
}

std::string_view StoreOrigins::rawSlice(const char* a, const char* b) const {
    if (!ready_ || !a || !b || a >= b || a < storeBegin_ || b > storeEnd_) return {};
    std::size_t from = rawOffset(a), to = rawOffset(b);
    return to > from ? raw_.substr(from, to - from) : std::string_view();
}

}  // namespace w2r
