// Files replaced whole: the new content goes to a temporary file beside the
// final one and is renamed over it only once every byte is written, so a
// reader of the final path sees the previous file or the new one, never a
// mix, and a failed write leaves the previous file as it was.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

namespace w2r {

// Whether commit() also forces the data and the rename to stable storage.
// Without it a reader still always sees a whole file; only a crash of the
// machine itself can lose the new file's blocks. With kSync the data is
// synced before the rename and the folder after it; a failure of that last
// step makes commit() false although the file was already replaced.
enum class Durability { kRenameOnly, kSync };

// Bytes the writer buffers before each write system call.
constexpr std::size_t kAtomicFileBuffer = 64 * 1024;

// Writes one file through a temporary file in the final path's folder. The
// temporary name starts with "." and ends in random characters; it is
// created exclusively (never through a symbolic link) with mode 0664 before
// the umask, or with the permission bits of a regular file already at the
// final path, so replacing a file keeps the mode it was given.
//
//     AtomicFileWriter out(path);
//     if (!out.isOpen()) ... cannot create (out.error() holds errno)
//     out.stream() << ...;
//     if (!out.commit()) ... nothing replaced (out.error() holds errno)
//
// Destroying the writer before commit() removes the temporary file. A
// moved-from writer may only be destroyed or assigned to.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const std::string& finalPath,
                              Durability durability = Durability::kRenameOnly);
    ~AtomicFileWriter();
    AtomicFileWriter(AtomicFileWriter&&) noexcept;
    AtomicFileWriter& operator=(AtomicFileWriter&&) noexcept;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // True when the temporary file was created and neither committed nor
    // abandoned yet.
    bool isOpen() const;
    // The content goes here. Flushes do not write: nobody can see the
    // temporary file before commit(), so they would only cost system calls.
    // After a write error, and when the writer is not open, the stream is
    // bad and drops its output.
    std::ostream& stream();
    // Writes what is buffered, closes the file and renames it over the final
    // path (a symbolic link there is replaced, not followed). True when the
    // final path now holds exactly what was streamed; on false the temporary
    // file is gone and the final path is untouched (but see kSync).
    bool commit();
    // Removes the temporary file; the final path is untouched.
    void abandon();
    // errno of the first failure, 0 when there was none.
    int error() const;
    // The temporary file's path while it exists (for tests and messages).
    const std::string& temporaryPath() const;
    const std::string& finalPath() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace w2r
