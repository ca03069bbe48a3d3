// The files of a fetch cache: page n in dir/n, what is known about it in
// dir/n.meta, both replaced atomically.
#pragma once

#include <string>
#include <string_view>

namespace w2r {

struct CacheMeta {
    std::string url;       // the address the page was fetched from
    long long bytes = -1;  // the page's length when it was written
    std::string etag;
    std::string lastModified;
    std::string charset;
    std::string feedKey;  // see feedKeyOf
};

// Reads dir/n.meta; a missing or unreadable file gives an empty meta.
CacheMeta readCacheMeta(const std::string& path);
std::string formatCacheMeta(const CacheMeta& meta);

// Writes data to path through a temporary file in the same folder and a
// rename, so readers see the old or the new file, never a part.
// removeFirst (when not empty) is removed once the data is written and
// before the rename. Returns "" or why it failed.
std::string writeFileAtomically(const std::string& path, std::string_view data,
                                const std::string& removeFirst = {});

bool isRegularFile(const std::string& path);
// The length of a regular file, -1 for anything else.
long long regularFileSize(const std::string& path);

// Reads a whole file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& out);

// A key that changes when the page bytes or the options string change.
std::string feedKeyOf(std::string_view page, std::string_view optionsKey);

}  // namespace w2r
