// How a fuzz target reports a fault: the message on standard error, then
// abort(), which libFuzzer records as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace w2r::fuzz {

[[noreturn]] inline void fail(std::string_view what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty()) {
        // Long details (whole feeds) are cut: the input itself is saved.
        std::size_t shown = detail.size() < 2000 ? detail.size() : 2000;
        std::fprintf(stderr, "%.*s%s\n", static_cast<int>(shown), detail.data(),
                     shown < detail.size() ? "..." : "");
    }
    std::abort();
}

inline void check(bool ok, std::string_view what, std::string_view detail = {}) {
    if (!ok) fail(what, detail);
}

}  // namespace w2r::fuzz
