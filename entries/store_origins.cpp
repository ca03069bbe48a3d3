#include "entries/store_origins.h"

#include <algorithm>
#include <cstring>

#include "scanner/scanner.h"

namespace w2r {

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
