// Replays inputs through a fuzz target without libFuzzer: each argument is a
// file or a folder (its regular files, in name order), and every file is
// given whole to LLVMFuzzerTestOneInput. A target reports a fault by
// aborting; an input that takes longer than W2R_REPLAY_SECONDS (default 60)
// ends the process by SIGALRM, as a hang; an argument that cannot be read
// makes the exit status 1. Each file's name is printed on standard error
// before it is replayed, so that a failure names its input.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replayFile(const std::string& path, unsigned seconds) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    // A copy of exactly the input's size, as libFuzzer gives it: a read past
    // the end is caught by AddressSanitizer.
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    std::fprintf(stderr, "%s\n", path.c_str());
    alarm(seconds);
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    alarm(0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const char* limit = std::getenv("W2R_REPLAY_SECONDS");
    const unsigned seconds =
        limit && std::atoi(limit) > 0 ? static_cast<unsigned>(std::atoi(limit)) : 60;
    int replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::vector<std::string> files;
        if (fs::is_directory(argv[i], error)) {
            for (const fs::directory_entry& e : fs::directory_iterator(argv[i], error))
                if (e.is_regular_file()) files.push_back(e.path().string());
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(argv[i]);
        }
        if (error) {
            std::fprintf(stderr, "cannot list %s\n", argv[i]);
            ok = false;
        }
        for (const std::string& f : files) {
            if (!replayFile(f, seconds)) {
                std::fprintf(stderr, "cannot read %s\n", f.c_str());
                ok = false;
                continue;
            }
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    return ok ? 0 : 1;
}
