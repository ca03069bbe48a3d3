// weblog2rss-text: prints the plain text of an HTML page, or its words one
// per line.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>

#include "base/alloc.h"
#include "base/limits.h"
#include "io/file_read.h"
#include "io/messages.h"
#include "text/strip.h"

namespace {

using namespace w2r;

const char kUsage[] =
    "usage: weblog2rss-text [-w] [FILE]\n"
    "Prints the text of the HTML page in FILE (or on standard input) without\n"
    "its markup, scripts and styles. With -w prints one word per line.\n";

int usageError() {
    std::fputs(kUsage, stderr);
    return 2;
}

// Exit status when the input cannot be read.
constexpr int kReadFailed = 1;

}  // namespace

int main(int argc, char** argv) {
    bool words = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "-w") == 0 && !words && !path)
            words = true;
        else if (argv[i][0] == '-' || path)
            return usageError();
        else
            path = argv[i];
    }

    // Same page limit as the main tool; the rest of the input is not read.
    char* page = static_cast<char*>(xmalloc(kPageReadLimit + 1));
    std::size_t len = 0;
    if (path) {
        // A regular file or a stream (/dev/stdin, a process substitution);
        // a folder or a device without data is refused.
        ReadResult r = readPageFile(path, page, kPageReadLimit, Accept::kRegularOrStream);
        if (!r.ok()) {
            std::fprintf(stderr, "%s\n", pageReadFailure(r.status, path).c_str());
            std::free(page);
            return kReadFailed;
        }
        len = r.size;
    } else {
        len = std::fread(page, 1, kPageReadLimit, stdin);
        if (std::ferror(stdin)) {
            std::fputs("Error reading standard input\n", stderr);
            std::free(page);
            return kReadFailed;
        }
    }
    page = static_cast<char*>(xrealloc(page, strippedTextRoom(len)));
    page[len] = '\0';

    if (words) {
        WordReader reader;
        reader.start(page);
        while (reader.hasMore()) {
            const char* w = reader.next();
            if (w) std::printf("%s\n", w);
        }
        reader.finish();
    } else {
        TextStripper stripper;
        stripper.strip(page);
        std::fputs(page, stdout);
    }
    std::free(page);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
