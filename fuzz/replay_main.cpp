// Replays inputs through a fuzz target without libFuzzer: each argument is a
// file or a folder (its regular files, in name order), and every file is
// given whole to LLVMFuzzerTestOneInput. A target reports a fault by
// aborting; an argument that cannot be read makes the exit status 1.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replayFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    // A copy of exactly the input's size, as libFuzzer gives it: a read past
    // the end is caught by AddressSanitizer.
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
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
            if (!replayFile(f)) {
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
