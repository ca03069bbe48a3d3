#include "io/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace w2r {

namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

ReadResult failed(ReadStatus status, int error) {
    ReadResult r;
    r.status = status;
    r.error = error;
    return r;
}

// Opens path for reading without blocking (a FIFO without a writer would
// otherwise wait forever) and checks what it is. On success fd is open and
// sizeHint holds the size of a regular file (0 for streams).
ReadResult openInput(const std::string& path, Accept accept, int& fd, std::size_t& sizeHint) {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd < 0) {
        int e = errno;
        // Sockets and devices without a driver fail to open; say what they are.
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return failed(S_ISDIR(st.st_mode) ? ReadStatus::kDirectory : ReadStatus::kNotRegular,
                          e);
        return failed(e == ENOENT || e == ENOTDIR ? ReadStatus::kMissing : ReadStatus::kOpenFailed,
                      e);
    }
    ReadResult r;
    if (::fstat(fd, &st) != 0) {
        r = failed(ReadStatus::kReadError, errno);
    } else if (S_ISREG(st.st_mode)) {
        sizeHint = static_cast<std::size_t>(st.st_size);
        return r;
    } else if (S_ISDIR(st.st_mode)) {
        r = failed(ReadStatus::kDirectory, EISDIR);
    } else if (accept == Accept::kRegularOrStream &&
               (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        // The user named this stream: wait for its data like any reader.
        int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
            sizeHint = 0;
            return r;
        }
        r = failed(ReadStatus::kReadError, errno);
    } else {
        r = failed(ReadStatus::kNotRegular, 0);
    }
    ::close(fd);
    fd = -1;
    return r;
}

// Reads from fd until end of file or limit bytes in all; room(got) gives the
// place for the next bytes and how many fit there (at least one). Returns 0
// or the errno of a failed read.
template <class Room>
int readUpTo(int fd, std::size_t limit, std::size_t& got, Room room) {
    while (got < limit) {
        auto [place, fits] = room(got);
        ssize_t n = ::read(fd, place, std::min(fits, limit - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

// After limit bytes: whether the file goes on.
bool hasMore(int fd) {
    char c;
    ssize_t n;
    do n = ::read(fd, &c, 1);
    while (n < 0 && errno == EINTR);
    return n > 0;
}

}  // namespace

ReadResult readPageFile(const std::string& path, char* buffer, std::size_t limit, Accept accept) {
    int raw;
    std::size_t hint = 0;
    ReadResult r = openInput(path, accept, raw, hint);
    if (!r.ok()) return r;
    Descriptor fd(raw);
    int e = readUpTo(fd.get(), limit, r.size, [&](std::size_t got) {
        return std::pair<char*, std::size_t>(buffer + got, limit - got);
    });
    if (e != 0) return failed(ReadStatus::kReadError, e);
    r.truncated = r.size == limit && hasMore(fd.get());
    return r;
}

ReadResult readPageFile(const std::string& path, std::size_t limit, std::string& out,
                        Accept accept) {
    out.clear();
    int raw;
    std::size_t hint = 0;
    ReadResult r = openInput(path, accept, raw, hint);
    if (!r.ok()) return r;
    Descriptor fd(raw);
    constexpr std::size_t kStep = 64 * 1024;
    // One byte beyond the size seen, so that end of file is read in place.
    out.resize(std::min(limit, hint < limit ? hint + 1 : limit));
    int e = readUpTo(fd.get(), limit, r.size, [&](std::size_t got) {
        if (got == out.size()) out.resize(std::min(limit, std::max(2 * got, kStep)));
        return std::pair<char*, std::size_t>(&out[got], out.size() - got);
    });
    out.resize(r.size);
    if (e != 0) {
        out.clear();
        return failed(ReadStatus::kReadError, e);
    }
    r.truncated = r.size == limit && hasMore(fd.get());
    return r;
}

ReadResult readListFile(const std::string& path, std::size_t limit, std::string& out) {
    ReadResult r = readPageFile(path, limit, out, Accept::kRegularOnly);
    if (r.ok() && r.truncated) r.status = ReadStatus::kTooLarge;
    return r;
}

namespace {

bool statPath(const std::string& path, struct stat& st) {
    return ::stat(path.empty() ? "." : path.c_str(), &st) == 0;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (a.empty() || b.empty()) return false;
    return statPath(a, sa) && statPath(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool sameDirectory(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return statPath(a, sa) && statPath(b, sb) && S_ISDIR(sa.st_mode) && S_ISDIR(sb.st_mode) &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace w2r
