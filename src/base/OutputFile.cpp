#include "base/OutputFile.h"

#include "base/Errors.h"
#include "base/TextFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvelin {
namespace fs = std::filesystem;

namespace {

// The kernel's own limit on links followed in one name.
constexpr int MaxLinkHops = 40;
constexpr std::size_t BufferBytes = 64 * 1024;

std::function<std::size_t(std::size_t)>& WriteFault() {
    static std::function<std::size_t(std::size_t)> fault;
    return fault;
}

std::string Quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

FileError CannotWrite(const fs::path& path, int error) {
    return FileError("Cannot write file " + Quoted(path) + ". " + std::strerror(error));
}

// Writes all `size` bytes to `fd`; returns 0 or the errno of the failure.
int WriteAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t want = size - done;
        if (WriteFault()) {
            const std::size_t accepted = WriteFault()(want);
            if (accepted < want) {
                if (accepted > 0 && ::write(fd, data + done, accepted) < 0) {
                    return errno;
                }
                return ENOSPC;
            }
        }
        const ssize_t n = ::write(fd, data + done, want);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// The name that `path` leads to after its symbolic links, the last one
// dangling or not, so that a link to a file not yet made makes that file.
fs::path FollowLinks(const fs::path& path) {
    fs::path name = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return name;
        }
        std::error_code ec;
        const fs::path target = fs::read_symlink(name, ec);
        if (ec || hops == MaxLinkHops) {
            throw CannotWrite(path, ec ? ec.value() : ELOOP);
        }
        name = target.is_absolute() ? target : name.parent_path() / target;
    }
}

fs::path FolderOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

class FdBuffer : public std::streambuf {
public:
    FdBuffer(int fd, fs::path name) : fd_(fd), name_(std::move(name)), buffer_(BufferBytes) {
        Reset();
    }
    void Drain() {
        const int error = WriteAll(fd_, pbase(), static_cast<std::size_t>(pptr() - pbase()));
        Reset();
        if (error != 0) {
            failed_ = true;
            throw CannotWrite(name_, error);
        }
    }
    bool Failed() const { return failed_; }

protected:
    int_type overflow(int_type c) override {
        Drain();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        Drain();
        return 0;
    }
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        Drain();
        const int whence = dir == std::ios_base::beg   ? SEEK_SET
                           : dir == std::ios_base::cur ? SEEK_CUR
                                                       : SEEK_END;
        const off_t at = ::lseek(fd_, off, whence);
        if (at < 0) {
            failed_ = true;
            throw CannotWrite(name_, errno);
        }
        return at;
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
        return seekoff(pos, std::ios_base::beg, which);
    }

private:
    void Reset() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

    int fd_;
    fs::path name_;
    std::vector<char> buffer_;
    bool failed_ = false;
};

// The temporary file beside an output; ".old" is added for the old file's
// second name while it is replaced.
constexpr const char* TempPattern = ".sorvelin-XXXXXX";

// Opens a file of no name in the temporary folder, gone when closed, for a
// device's bytes until every output is ready.
int OpenStaging() {
    const fs::path folder = fs::temp_directory_path();
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = (folder / "sorvelin-XXXXXX").string();
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(name.c_str());
        }
    }
    return fd;
}

} // namespace

void SetWriteFaultForTesting(std::function<std::size_t(std::size_t)> accept) {
    WriteFault() = std::move(accept);
}

OutputTarget CheckOutput(const fs::path& path) {
    OutputTarget target;
    target.file = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            throw CannotWrite(path, errno);
        }
        // A new file, or one a dangling link names: it goes where the link
        // points, into a folder that must exist.
        target.file = FollowLinks(path);
        struct stat folder {};
        if (::stat(FolderOf(target.file).c_str(), &folder) != 0) {
            throw CannotWrite(path, errno);
        }
        if (!S_ISDIR(folder.st_mode)) {
            throw CannotWrite(path, ENOTDIR);
        }
        return target;
    }
    target.exists = true;
    if (S_ISDIR(st.st_mode)) {
        throw FileError("Cannot write file " + Quoted(path) + ": it is a directory.");
    }
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
        // Opened later by the name given, which the system follows even
        // where a link names no path (/dev/stdout on a pipe).
        if (::access(path.c_str(), W_OK) != 0) {
            throw CannotWrite(path, errno);
        }
        target.direct = true;
    } else if (S_ISREG(st.st_mode)) {
        // Replaced where it is, the links that lead to it kept.
        std::error_code ec;
        const fs::path real = fs::canonical(path, ec);
        target.file = ec ? FollowLinks(path) : real;
    } else {
        throw FileError("Cannot write file " + Quoted(path) +
                        ": it is neither a regular file nor a character device or FIFO.");
    }
    return target;
}

bool IsWriteProtected(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // The superuser may write anything, so the mode decides for it too.
    return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

void CheckInputFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw FileError("Cannot open file " + Quoted(path) + ". " + std::strerror(errno));
    }
    struct stat st {};
    std::string problem;
    if (::fstat(fd, &st) != 0) {
        problem = "Cannot read file " + Quoted(path) + ". " + std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        problem = Quoted(path) + " is a directory.";
    } else if (!S_ISREG(st.st_mode)) {
        problem = Quoted(path) + " is not a regular file.";
    } else {
        std::array<char, BufferBytes> block{};
        ssize_t n = 0;
        while ((n = ::read(fd, block.data(), block.size())) > 0 || (n < 0 && errno == EINTR)) {
        }
        if (n < 0) {
            problem = "Cannot read file " + Quoted(path) + ". " + std::strerror(errno);
        }
    }
    ::close(fd);
    if (!problem.empty()) {
        throw FileError(problem);
    }
}

namespace {

struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;
    bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const fs::path& path) {
    Identity id;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    std::error_code ec;
    fs::path name;
    try {
        name = FollowLinks(path);
    } catch (const FileError&) {
        name = path;
    }
    fs::path full = fs::weakly_canonical(fs::absolute(name, ec), ec);
    if (ec) {
        full = fs::absolute(name, ec);
    }
    id.name = full.lexically_normal().string();
    return id;
}

} // namespace

bool SameFile(const fs::path& a, const fs::path& b) {
    return IdentityOf(a) == IdentityOf(b);
}

void RefuseSameFiles(const std::vector<NamedFile>& files) {
    std::vector<Identity> ids;
    ids.reserve(files.size());
    for (const NamedFile& file : files) {
        ids.push_back(IdentityOf(file.path));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            if (ids[i] == ids[j]) {
                throw UserError(files[i].role + " " + Quoted(files[i].path) + " and " +
                                files[j].role + " " + Quoted(files[j].path) +
                                " are the same file.");
            }
        }
    }
}

struct PendingFile::State {
    fs::path path;
    OutputTarget target;
    std::string temp; // beside the target; empty for a direct target
    std::string backup;
    int fd = -1;
    std::unique_ptr<FdBuffer> buffer;
    std::unique_ptr<std::ostream> stream;
    bool replaced = false;

    // Everything that can fail before the old file is touched.
    void Finish() {
        if (buffer->Failed()) {
            throw CannotWrite(path, EIO);
        }
        buffer->Drain();
        if (target.direct) {
            return;
        }
        int error = ::fsync(fd) != 0 ? errno : 0;
        if (::close(fd) != 0 && error == 0) {
            error = errno;
        }
        fd = -1;
        if (error != 0) {
            throw CannotWrite(path, error);
        }
    }

    void Replace() {
        // A second name for the old file, so that a later failure can put
        // it back; where the folder takes no hard links it cannot.
        if (target.exists) {
            const std::string name = temp + ".old";
            if (::link(target.file.c_str(), name.c_str()) == 0) {
                backup = name;
            }
        }
        if (::rename(temp.c_str(), target.file.c_str()) != 0) {
            throw CannotWrite(path, errno);
        }
        temp.clear();
        replaced = true;
    }

    void Undo() {
        if (!replaced) {
            return;
        }
        if (!backup.empty()) {
            ::rename(backup.c_str(), target.file.c_str());
            backup.clear();
        } else if (!target.exists) {
            ::unlink(target.file.c_str());
        }
        replaced = false;
    }

    void CopyOut() {
        // A FIFO's open waits here for its reader, as any writer's does.
        const int out = ::open(target.file.c_str(), O_WRONLY | O_CLOEXEC);
        if (out < 0) {
            throw CannotWrite(path, errno);
        }
        int error = ::lseek(fd, 0, SEEK_SET) < 0 ? errno : 0;
        std::vector<char> block(BufferBytes);
        while (error == 0) {
            const ssize_t n = ::read(fd, block.data(), block.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error = n < 0 ? errno : 0;
                break;
            }
            error = WriteAll(out, block.data(), static_cast<std::size_t>(n));
        }
        if (::close(out) != 0 && error == 0) {
            error = errno;
        }
        if (error != 0) {
            throw CannotWrite(path, error);
        }
    }

    void Done() {
        if (!backup.empty()) {
            ::unlink(backup.c_str());
            backup.clear();
        }
        if (target.direct) {
            return;
        }
        // The rename itself lives in the folder: flush it too, so a power
        // cut right after a save finds the new file rather than the old one.
        // The new file is complete either way, so a refusal is no failure.
        const int folder =
            ::open(FolderOf(target.file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
};

PendingFile::PendingFile(const fs::path& path) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.path = path;
    s.target = CheckOutput(path);
    if (s.target.direct) {
        s.fd = OpenStaging();
        if (s.fd < 0) {
            throw CannotWrite(path, errno);
        }
    } else {
        // A short name of its own rather than one made from the target's: any
        // name the folder takes, up to its longest, must still leave room for
        // the temporary one (and the old file's second name).
        s.temp = (FolderOf(s.target.file) / TempPattern).string();
        s.fd = ::mkostemp(s.temp.data(), O_CLOEXEC);
        if (s.fd < 0) {
            const int error = errno;
            s.temp.clear();
            throw CannotWrite(path, error);
        }
        // Keep the old file's permissions, or those of an ordinary new file
        // rather than mkstemp's owner-only ones.
        struct stat old {};
        ::fchmod(s.fd, ::stat(s.target.file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    }
    s.buffer = std::make_unique<FdBuffer>(s.fd, path);
    s.stream = std::make_unique<std::ostream>(s.buffer.get());
    // A failed write surfaces as the buffer's FileError, not as a flag.
    s.stream->exceptions(std::ios_base::badbit);
}

PendingFile::~PendingFile() {
    if (state_->fd >= 0) {
        ::close(state_->fd);
    }
    if (!state_->temp.empty()) {
        ::unlink(state_->temp.c_str());
    }
    if (!state_->backup.empty()) {
        ::unlink(state_->backup.c_str());
    }
}

const fs::path& PendingFile::Path() const {
    return state_->path;
}

std::ostream& PendingFile::Stream() {
    return *state_->stream;
}

void PendingFile::Commit() {
    PendingFile* self = this;
    CommitFiles(std::span<PendingFile* const>(&self, 1));
}

void CommitFiles(std::span<PendingFile* const> files) {
    for (PendingFile* file : files) {
        file->state_->Finish();
    }
    // Renames first, since they can be undone; bytes sent into a device
    // cannot, so the devices come last.
    std::vector<PendingFile::State*> replaced;
    try {
        for (PendingFile* file : files) {
            if (!file->state_->target.direct) {
                file->state_->Replace();
                replaced.push_back(file->state_.get());
            }
        }
        for (PendingFile* file : files) {
            if (file->state_->target.direct) {
                file->state_->CopyOut();
            }
        }
    } catch (...) {
        for (auto it = replaced.rbegin(); it != replaced.rend(); ++it) {
            (*it)->Undo();
        }
        throw;
    }
    for (PendingFile* file : files) {
        file->state_->Done();
    }
}

} // namespace sorvelin
