// The lines the command line prints about input and output files. Page
// lines go to standard output in batch mode and to standard error in
// single-file mode; the others name their stream.
#pragma once

#include <string>

#include "io/file_read.h"

namespace w2r {

// A page file: each line is followed by the page's path.
constexpr char kPageMissing[] = "File not exist, skipping: ";
constexpr char kPageCannotOpen[] = "Cannot open file, skipping: ";
constexpr char kPageIsDirectory[] = "Is a directory, skipping: ";
constexpr char kPageNotRegular[] = "Not a regular file, skipping: ";
constexpr char kPageReadError[] = "Error reading file, skipping: ";

// Standard error: the URL list cannot be read as a file (missing,
// unreadable, a folder, a FIFO, ...). The path follows without a space.
constexpr char kListCannotOpen[] = "can't open url list file";

// Standard error, exit status 2: INDIR and OUTDIR name one folder, which
// would replace the pages by their feeds.
constexpr char kSameFolder[] = "INDIR and OUTDIR are the same folder: ";

// A feed file: "Error opening file " PATH "to write" (no space before "to")
// when the file cannot be created, "Error writing file " PATH when writing,
// closing or replacing it failed.
constexpr char kFeedOpenBefore[] = "Error opening file ";
constexpr char kFeedOpenAfter[] = "to write";
constexpr char kFeedWriteError[] = "Error writing file ";

// The line for a page that could not be read, or "" for kOk.
inline std::string pageReadFailure(ReadStatus status, const std::string& path) {
    switch (status) {
    case ReadStatus::kOk:
        return "";
    case ReadStatus::kMissing:
        return kPageMissing + path;
    case ReadStatus::kOpenFailed:
        return kPageCannotOpen + path;
    case ReadStatus::kDirectory:
        return kPageIsDirectory + path;
    case ReadStatus::kNotRegular:
        return kPageNotRegular + path;
    case ReadStatus::kReadError:
    case ReadStatus::kTooLarge:
        break;
    }
    return kPageReadError + path;
}

inline std::string listReadFailure(const std::string& path) { return kListCannotOpen + path; }
inline std::string feedOpenFailure(const std::string& path) {
    return kFeedOpenBefore + path + kFeedOpenAfter;
}
inline std::string feedWriteFailure(const std::string& path) { return kFeedWriteError + path; }
inline std::string sameFolderFailure(const std::string& dir) { return kSameFolder + dir; }

}  // namespace w2r
