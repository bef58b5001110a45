#pragma once
// Output files prepared whole before any of them replaces what was there.
// Each output is written to a temporary file beside it, and only when every
// output of one operation is complete are they renamed over the old files; a
// rename that fails puts back the files already replaced. A character device
// or FIFO (/dev/stdout, /dev/null, a pipe made by mkfifo) is written straight
// into instead, so that the system's node is never replaced by a plain file;
// a symbolic link is followed and its target replaced, the link itself kept.
#include <filesystem>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace sorvelin {

// Where the bytes written under a name go.
struct OutputTarget {
    std::filesystem::path file; // the name after following its symbolic links
    bool direct = false;        // a character device or FIFO, written straight in
    bool exists = false;
};

// Checks that `path` can take an output without writing anything: FileError
// for a directory, a block device or socket, a loop of links, a device that
// cannot be written or a folder that does not exist.
OutputTarget CheckOutput(const std::filesystem::path& path);

// An existing regular file (after links) that its mode or owner keeps from
// being written, such as one of mode 0444.
bool IsWriteProtected(const std::filesystem::path& path);

// Throws FileError unless `path` is a regular file that reads to its end
// (a FIFO is refused without waiting for a writer).
void CheckInputFile(const std::filesystem::path& path);

// Whether two names are one file: by device and inode where it exists, else
// by the absolute, normalised name its links lead to.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

struct NamedFile {
    std::string role; // how the user gave it: "the song", "-o", ...
    std::filesystem::path path;
};
// UserError naming the first two of `files` that are the same file.
void RefuseSameFiles(const std::vector<NamedFile>& files);

// One output being prepared. Nothing under its name changes until it is
// committed; dropped uncommitted, it leaves nothing behind.
class PendingFile {
public:
    // Checks the name as CheckOutput does and opens the temporary file.
    explicit PendingFile(const std::filesystem::path& path);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::filesystem::path& Path() const;
    // Buffered and seekable; a write that fails throws FileError naming the
    // file and the system's reason.
    std::ostream& Stream();
    // CommitFiles of this file alone.
    void Commit();

    struct State;

private:
    friend void CommitFiles(std::span<PendingFile* const> files);
    std::unique_ptr<State> state_;
};

// Makes every file final, or none: on FileError each old file is as it was
// (bytes already sent into a device cannot be taken back).
void CommitFiles(std::span<PendingFile* const> files);

} // namespace sorvelin
