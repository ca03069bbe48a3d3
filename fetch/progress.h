// A one-line progress display on a terminal: pages done out of the total,
// failures and the rate, redrawn in place with a carriage return.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace w2r {

class ProgressLine {
public:
    // Shows on out only when show is true; see forStderr for the usual choice.
    ProgressLine(std::string label, std::size_t total, std::FILE* out, bool show);

    // On standard error, shown only when standard error is a terminal.
    static ProgressLine forStderr(std::string label, std::size_t total);

    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine();

    // Records the counts; the line is redrawn at most ten times a second,
    // and always when everything is done.
    void update(std::size_t done, std::size_t failures);
    // Erases the line so that other output can follow (update draws it again).
    void clear();

    bool shown() const { return show_; }

private:
    void draw();

    std::string label_;
    std::size_t total_;
    std::FILE* out_;
    bool show_;
    std::size_t done_ = 0, failures_ = 0;
    std::size_t drawnWidth_ = 0;
    std::chrono::steady_clock::time_point start_, lastDraw_;
    bool drawnOnce_ = false;
};

}  // namespace w2r
