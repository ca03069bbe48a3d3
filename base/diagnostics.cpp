#include "base/diagnostics.h"

#include <cstdio>

namespace w2r {

void StdoutDiagnostics::report(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace w2r
