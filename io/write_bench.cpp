// Times writing a folder of feeds the ways a batch can write them: over the
// old file in place, through a temporary file renamed over it, and the same
// with the data and the folder synced. Every file is rewritten over an
// existing one that is already on disk, as in a batch repeated later.
// Usage: io_write_bench FEEDS_DIR OUT_DIR [RUNS]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/atomic_file.h"

namespace {

using Feeds = std::vector<std::pair<std::string, std::string>>;

Feeds loadFeeds(const std::string& dir) {
    Feeds feeds;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return feeds;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream in(dir + "/" + e->d_name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        feeds.emplace_back(e->d_name, text.str());
    }
    ::closedir(d);
    return feeds;
}

bool writeInPlace(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0664);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
              ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
    return ::close(fd) == 0 && ok;
}

bool writeAtomic(const std::string& path, const std::string& text, w2r::Durability d) {
    w2r::AtomicFileWriter out(path, d);
    if (!out.isOpen()) return false;
    out.stream() << text;
    return out.commit();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: io_write_bench FEEDS_DIR OUT_DIR [RUNS]\n");
        return 2;
    }
    Feeds feeds = loadFeeds(argv[1]);
    std::string out = argv[2];
    int runs = argc > 3 ? std::atoi(argv[3]) : 9;
    if (feeds.empty() || runs <= 0) return 2;
    const char* names[] = {"in place", "temporary + rename", "temporary + fsync + rename"};
    std::vector<double> times[3];
    for (int run = 0; run < runs + 1; run++) {
        for (int mode = 0; mode < 3; mode++) {
            // The previous run's feeds are on disk, as they are hours later.
            ::sync();
            auto t0 = std::chrono::steady_clock::now();
            for (const auto& [name, text] : feeds) {
                std::string path = out + "/" + name;
                bool ok = mode == 0 ? writeInPlace(path, text)
                                    : writeAtomic(path, text,
                                                  mode == 1 ? w2r::Durability::kRenameOnly
                                                            : w2r::Durability::kSync);
                if (!ok) {
                    std::fprintf(stderr, "write failed: %s\n", path.c_str());
                    return 1;
                }
            }
            double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            if (run > 0) times[mode].push_back(ms);  // the first run creates the files
        }
    }
    std::size_t bytes = 0;
    for (const auto& f : feeds) bytes += f.second.size();
    std::printf("%zu feeds, %zu bytes, median of %d runs:\n", feeds.size(), bytes, runs);
    for (int mode = 0; mode < 3; mode++) {
        std::sort(times[mode].begin(), times[mode].end());
        std::printf("  %-28s %8.2f ms\n", names[mode], times[mode][times[mode].size() / 2]);
    }
    return 0;
}
