// Where the stages report what they notice while converting a page
// ("serious stack error", "Subtle error occur, recovered"). The caller
// chooses the sink: the command line prints each line on standard output at
// once; a caller converting pages in parallel collects them per page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace w2r {

class Diagnostics {
public:
    virtual ~Diagnostics() = default;
    // One message line, without its line feed.
    virtual void report(std::string_view line) = 0;
};

// Writes each line and a line feed on standard output and flushes it.
class StdoutDiagnostics final : public Diagnostics {
public:
    void report(std::string_view line) override;
};

// Keeps the lines in order.
class CollectedDiagnostics final : public Diagnostics {
public:
    void report(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

}  // namespace w2r
