#include "fetch/cache_files.h"
#include "fetch/fetch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace w2r {
namespace {

std::string errnoText(int err) { return std::generic_category().message(err); }

// Header values end up on one line of the meta file.
std::string oneLine(std::string_view value) {
    std::string out;
    for (char c : value)
        if (c != '\n' && c != '\r' && c != '\0') out += c;
    return out;
}

std::uint64_t fnv1a(std::string_view data, std::uint64_t h = 14695981039346656037ull) {
    for (unsigned char c : data) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string hex64(std::uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

const char kMetaHeader[] = "weblog2rss-cache 1";

}  // namespace

std::string cachePath(const std::string& dir, std::size_t n, std::string_view suffix) {
    std::string path = dir;
    if (!path.empty() && path.back() != '/') path += '/';
    path += std::to_string(n);
    path += suffix;
    return path;
}

bool isRegularFile(const std::string& path) { return regularFileSize(path) >= 0; }

long long regularFileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

bool readWholeFile(const std::string& path, std::string& out) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

CacheMeta readCacheMeta(const std::string& path) {
    CacheMeta meta;
    std::string text;
    if (!readWholeFile(path, text)) return meta;
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (first) {
            if (line != kMetaHeader) return CacheMeta{};  // not ours, or a later format
            first = false;
            continue;
        }
        std::size_t sep = line.find(": ");
        if (sep == std::string_view::npos) continue;
        std::string_view key = line.substr(0, sep), value = line.substr(sep + 2);
        if (key == "url")
            meta.url = value;
        else if (key == "etag")
            meta.etag = value;
        else if (key == "last-modified")
            meta.lastModified = value;
        else if (key == "charset")
            meta.charset = value;
        else if (key == "bytes")
            meta.bytes = std::atoll(std::string(value).c_str());
        else if (key == "feed-key")
            meta.feedKey = value;
    }
    return meta;
}

std::string formatCacheMeta(const CacheMeta& meta) {
    std::string out = kMetaHeader;
    out += '\n';
    auto add = [&out](const char* key, const std::string& value) {
        if (value.empty()) return;
        out += key;
        out += ": ";
        out += oneLine(value);
        out += '\n';
    };
    add("url", meta.url);
    add("etag", meta.etag);
    add("last-modified", meta.lastModified);
    add("charset", meta.charset);
    if (meta.bytes >= 0) add("bytes", std::to_string(meta.bytes));
    add("feed-key", meta.feedKey);
    return out;
}

std::string writeFileAtomically(const std::string& path, std::string_view data,
                                const std::string& removeFirst) {
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = path + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 100))
            return "cannot write " + path + ": " + errnoText(errno);
    }
    bool ok = writeAll(fd, data);
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    std::string failedPath = path;
    if (ok && !removeFirst.empty() && ::unlink(removeFirst.c_str()) != 0 && errno != ENOENT) {
        ok = false;
        err = errno;
        failedPath = removeFirst;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return "cannot write " + failedPath + ": " + errnoText(err);
    }
    return {};
}

std::string feedKeyOf(std::string_view page, std::string_view optionsKey) {
    // Two differently seeded hashes of the page, its length and one of the options.
    return hex64(fnv1a(page)) + hex64(fnv1a(page, 0x9e3779b97f4a7c15ull)) + "-" +
           std::to_string(page.size()) + "-" + hex64(fnv1a(optionsKey));
}

bool feedUpToDate(const std::string& cacheDir, std::size_t n, std::string_view optionsKey) {
    CacheMeta meta = readCacheMeta(cachePath(cacheDir, n, ".meta"));
    if (meta.feedKey.empty()) return false;
    std::string page;
    if (!readWholeFile(cachePath(cacheDir, n), page)) return false;
    return meta.feedKey == feedKeyOf(page, optionsKey);
}

bool recordFeedKey(const std::string& cacheDir, std::size_t n, std::string_view optionsKey) {
    std::string page;
    if (!readWholeFile(cachePath(cacheDir, n), page)) return false;
    std::string metaPath = cachePath(cacheDir, n, ".meta");
    CacheMeta meta = readCacheMeta(metaPath);
    meta.feedKey = feedKeyOf(page, optionsKey);
    return writeFileAtomically(metaPath, formatCacheMeta(meta)).empty();
}

}  // namespace w2r
