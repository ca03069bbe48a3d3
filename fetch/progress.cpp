#include "fetch/progress.h"

#include <unistd.h>
#include <algorithm>
#include <utility>

namespace w2r {

ProgressLine::ProgressLine(std::string label, std::size_t total, std::FILE* out, bool show)
    : label_(std::move(label)),
      total_(total),
      out_(out),
      show_(show && out),
      start_(std::chrono::steady_clock::now()) {}

ProgressLine ProgressLine::forStderr(std::string label, std::size_t total) {
    return ProgressLine(std::move(label), total, stderr, ::isatty(STDERR_FILENO) == 1);
}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::update(std::size_t done, std::size_t failures) {
    done_ = done;
    failures_ = failures;
    if (!show_) return;
    auto now = std::chrono::steady_clock::now();
    if (drawnOnce_ && done_ < total_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    drawnOnce_ = true;
    draw();
}

void ProgressLine::draw() {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
    char buf[256];
    int n = std::snprintf(buf, sizeof buf, "%s %zu/%zu pages, %zu failed, %.1f pages/s",
                          label_.c_str(), done_, total_, failures_, rate);
    if (n < 0) return;
    std::size_t width = std::min(static_cast<std::size_t>(n), sizeof buf - 1);
    // Spaces cover what a longer earlier line left.
    std::fprintf(out_, "\r%s%*s", buf,
                 static_cast<int>(drawnWidth_ > width ? drawnWidth_ - width : 0), "");
    std::fflush(out_);
    drawnWidth_ = std::max(drawnWidth_, width);
}

void ProgressLine::clear() {
    if (!show_ || drawnWidth_ == 0) return;
    std::fprintf(out_, "\r%*s\r", static_cast<int>(drawnWidth_), "");
    std::fflush(out_);
    drawnWidth_ = 0;
    drawnOnce_ = false;
}

}  // namespace w2r
