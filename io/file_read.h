// Reading input files without ever blocking on them or mistaking a folder,
// a FIFO or a device for a page, and telling when two paths name one folder.
#pragma once

#include <cstddef>
#include <string>

namespace w2r {

enum class ReadStatus {
    kOk,
    kMissing,     // nothing at the path (or a dangling symbolic link)
    kOpenFailed,  // it exists but cannot be opened (permissions, loops, ...)
    kDirectory,
    kNotRegular,  // FIFO, device, socket
    kReadError,   // opened, but reading failed
    kTooLarge,    // readListFile: more bytes than the limit allows
};

struct ReadResult {
    ReadStatus status = ReadStatus::kOk;
    int error = 0;           // errno behind kOpenFailed, kMissing and kReadError
    std::size_t size = 0;    // bytes read
    bool truncated = false;  // the file holds more than the limit
    bool ok() const { return status == ReadStatus::kOk; }
};

// Which files a read accepts. FIFOs and character devices are read only
// when asked for (a single file the user named, such as a process
// substitution); a FIFO with no writer then reads as empty.
enum class Accept { kRegularOnly, kRegularOrStream };

// Reads at most limit bytes of the file at path into buffer; the rest of a
// longer file is left unread (truncated tells). Folders are always refused;
// other non-regular files unless accept allows them. Opening never blocks.
ReadResult readPageFile(const std::string& path, char* buffer, std::size_t limit,
                        Accept accept = Accept::kRegularOnly);
// The same into out, which ends up holding exactly the bytes read.
ReadResult readPageFile(const std::string& path, std::size_t limit, std::string& out,
                        Accept accept = Accept::kRegularOnly);
// A whole regular file such as the URL list into out; kTooLarge when it holds
// more than limit bytes (out then holds the first limit bytes).
ReadResult readListFile(const std::string& path, std::size_t limit, std::string& out);

// True when both paths exist and name the same file after following
// symbolic links (same device and inode).
bool sameFile(const std::string& a, const std::string& b);
// True when both paths name the same folder. An empty path is the current
// folder, as it is for page paths.
bool sameDirectory(const std::string& a, const std::string& b);

}  // namespace w2r
