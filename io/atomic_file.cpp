#include "io/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <streambuf>
#include <utility>
#include <vector>

namespace w2r {

namespace {

// An output buffer writing straight to a file descriptor. It remembers the
// first write error; from then on it refuses output, which makes the stream
// bad.
class FdOutBuf : public std::streambuf {
public:
    explicit FdOutBuf(int fd) : fd_(fd), buf_(kAtomicFileBuffer) {
        setp(buf_.data(), buf_.data() + buf_.size());
    }

    // Writes what is buffered; false (and error() set) on failure.
    bool drain() {
        if (error_ != 0) return false;
        std::size_t n = static_cast<std::size_t>(pptr() - pbase());
        setp(buf_.data(), buf_.data() + buf_.size());
        return writeOut(buf_.data(), n);
    }

    int error() const { return error_; }

protected:
    int_type overflow(int_type ch) override {
        if (!drain()) return traits_type::eof();
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        *pptr() = traits_type::to_char_type(ch);
        pbump(1);
        return ch;
    }

    std::streamsize xsputn(const char* s, std::streamsize count) override {
        if (error_ != 0 || count <= 0) return 0;
        std::size_t n = static_cast<std::size_t>(count);
        std::size_t room = static_cast<std::size_t>(epptr() - pptr());
        if (n <= room) {
            std::memcpy(pptr(), s, n);
            pbump(static_cast<int>(n));
            return count;
        }
        if (!drain()) return 0;
        if (n >= buf_.size()) return writeOut(s, n) ? count : 0;
        std::memcpy(pptr(), s, n);
        pbump(static_cast<int>(n));
        return count;
    }

    // Nothing outside can see the file before it is renamed, so a flush only
    // reports whether an error happened.
    int sync() override { return error_ == 0 ? 0 : -1; }

private:
    bool writeOut(const char* p, std::size_t n) {
        while (n > 0) {
            ssize_t done = ::write(fd_, p, n);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) {
                error_ = done < 0 ? errno : EIO;
                return false;
            }
            p += done;
            n -= static_cast<std::size_t>(done);
        }
        return true;
    }

    int fd_;
    int error_ = 0;
    std::vector<char> buf_;
};

// Random characters for temporary names, from the kernel's generator, or from
// the clock and process id when that is unavailable (the exclusive create
// catches any collision).
std::string randomSuffix(std::size_t length) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    unsigned char bytes[32];
    if (length > sizeof bytes) length = sizeof bytes;
    if (::getrandom(bytes, length, GRND_NONBLOCK) != static_cast<ssize_t>(length)) {
        struct timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        unsigned long long x = static_cast<unsigned long long>(ts.tv_nsec) * 0x9E3779B97F4A7C15ull ^
                               static_cast<unsigned long long>(ts.tv_sec) ^
                               (static_cast<unsigned long long>(::getpid()) << 32);
        for (std::size_t i = 0; i < length; i++) {
            x ^= x >> 29;
            x *= 0xBF58476D1CE4E5B9ull;
            bytes[i] = static_cast<unsigned char>(x >> 56);
        }
    }
    std::string out(length, ' ');
    for (std::size_t i = 0; i < length; i++) out[i] = kAlphabet[bytes[i] & 63];
    return out;
}

// Longest part of the final name copied into the temporary name, so that the
// temporary name stays within the file system's limit.
constexpr std::size_t kMaxBaseInTemporary = 200;
constexpr int kCreateAttempts = 64;

}  // namespace

struct AtomicFileWriter::State {
    std::string finalPath, tempPath;
    Durability durability;
    int fd = -1;
    int error = 0;
    std::unique_ptr<FdOutBuf> buf;
    std::ostream stream{nullptr};

    void fail(int e) {
        if (error == 0) error = e;
    }

    // Closes and removes the temporary file if it is still there.
    void discard() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        if (!tempPath.empty()) ::unlink(tempPath.c_str());
        tempPath.clear();
        stream.rdbuf(nullptr);
        buf.reset();
    }
};

AtomicFileWriter::AtomicFileWriter(const std::string& finalPath, Durability durability)
    : state_(new State) {
    State& s = *state_;
    s.finalPath = finalPath;
    s.durability = durability;
    std::size_t slash = finalPath.rfind('/');
    std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") {
        s.fail(EISDIR);
        return;
    }
    if (base.size() > kMaxBaseInTemporary) base.resize(kMaxBaseInTemporary);

    // A regular file already at the final path keeps its permission bits.
    struct stat old;
    bool keepMode = ::lstat(finalPath.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    for (int attempt = 0; attempt < kCreateAttempts; attempt++) {
        std::string temp = folder + "." + base + "." + randomSuffix(12);
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0664);
        if (fd < 0) {
            if (errno == EEXIST || errno == EINTR) continue;
            s.fail(errno);
            return;
        }
        s.fd = fd;
        s.tempPath = temp;
        break;
    }
    if (s.fd < 0) {
        s.fail(EEXIST);
        return;
    }
    if (keepMode && ::fchmod(s.fd, old.st_mode & 0777) != 0) {
        s.fail(errno);
        s.discard();
        return;
    }
    s.buf.reset(new FdOutBuf(s.fd));
    s.stream.rdbuf(s.buf.get());
}

AtomicFileWriter::~AtomicFileWriter() {
    if (state_) state_->discard();
}

AtomicFileWriter::AtomicFileWriter(AtomicFileWriter&&) noexcept = default;

AtomicFileWriter& AtomicFileWriter::operator=(AtomicFileWriter&& other) noexcept {
    if (this != &other) {
        if (state_) state_->discard();
        state_ = std::move(other.state_);
    }
    return *this;
}

bool AtomicFileWriter::isOpen() const { return state_ && state_->fd >= 0; }

std::ostream& AtomicFileWriter::stream() { return state_->stream; }

bool AtomicFileWriter::commit() {
    if (!isOpen()) {
        if (state_) state_->fail(EBADF);
        return false;
    }
    State& s = *state_;
    bool ok = s.buf->drain();
    if (!ok) s.fail(s.buf->error());
    if (ok && s.durability == Durability::kSync && ::fsync(s.fd) != 0) {
        s.fail(errno);
        ok = false;
    }
    // A failed close can mean lost data (on network file systems the write
    // errors arrive here); the descriptor is released either way.
    int fd = s.fd;
    s.fd = -1;
    if (::close(fd) != 0 && ok) {
        s.fail(errno);
        ok = false;
    }
    // rename replaces a symbolic link at the final path rather than
    // following it, and refuses to replace a folder. (Exchanging the two
    // names and unlinking the old file instead avoids ext4's write-out at
    // the rename, but that unlink costs several times more.)
    if (ok && ::rename(s.tempPath.c_str(), s.finalPath.c_str()) != 0) {
        s.fail(errno);
        ok = false;
    }
    if (!ok) {
        s.discard();
        return false;
    }
    s.tempPath.clear();
    s.stream.rdbuf(nullptr);
    s.buf.reset();
    if (s.durability == Durability::kSync) {
        // The rename itself is durable once the folder is synced.
        std::size_t slash = s.finalPath.rfind('/');
        std::string folder = slash == std::string::npos ? "." : s.finalPath.substr(0, slash + 1);
        int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd < 0 || ::fsync(dfd) != 0) s.fail(errno);
        if (dfd >= 0) ::close(dfd);
        if (s.error != 0) return false;
    }
    return true;
}

void AtomicFileWriter::abandon() {
    if (state_) state_->discard();
}

int AtomicFileWriter::error() const { return state_ ? state_->error : EBADF; }

const std::string& AtomicFileWriter::temporaryPath() const { return state_->tempPath; }

const std::string& AtomicFileWriter::finalPath() const { return state_->finalPath; }

}  // namespace w2r
