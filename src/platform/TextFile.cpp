#include "platform/TextFile.h"

#include "platform/Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvelin {
namespace {

std::function<std::size_t(std::size_t)>& WriteFault() {
    static std::function<std::size_t(std::size_t)> fault;
    return fault;
}

std::string Reason(int error) {
    return std::strerror(error);
}

// Writes all of `bytes` to `fd`; returns 0 or the errno of the failure.
int WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t want = bytes.size() - done;
        if (WriteFault()) {
            const std::size_t accepted = WriteFault()(want);
            if (accepted < want) {
                if (accepted > 0) {
                    if (::write(fd, bytes.data() + done, accepted) < 0) {
                        return errno;
                    }
                }
                return ENOSPC;
            }
        }
        const ssize_t n = ::write(fd, bytes.data() + done, want);
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

} // namespace

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    bool pending = false;
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    const std::size_t start = text.starts_with(ByteOrderMark) ? ByteOrderMark.size() : 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            pending = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            current.push_back(c);
            pending = true;
        }
    }
    if (pending) {
        lines.push_back(std::move(current));
    }
    return lines;
}

std::string LineLengthFault(const std::string& line) {
    if (line.size() <= MaxLineBytes) {
        return {};
    }
    return "the line holds " + std::to_string(line.size()) + " bytes; a line holds at most " +
           std::to_string(MaxLineBytes) + ".";
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw FileError("Cannot open file \"" + path.string() + "\". " + Reason(errno));
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        throw FileError("Cannot read file \"" + path.string() + "\".");
    }
    return buffer.str();
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    return SplitLines(ReadFileBytes(path));
}

bool FileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

void WriteFileAtomic(const std::filesystem::path& path, const std::string& bytes) {
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw FileError("Cannot write file \"" + path.string() + "\". " + Reason(errno));
    }
    // Keep the old file's permissions, or those of an ordinary new file rather
    // than mkstemp's owner-only ones.
    struct stat old {};
    ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    int error = WriteAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0) {
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            error = errno;
        }
    }
    if (error != 0) {
        ::unlink(temp.c_str());
        throw FileError("Cannot write file \"" + path.string() + "\". " + Reason(error));
    }
    // The rename itself lives in the folder: flush it too, so a power cut
    // right after a save finds the new file rather than the old one. The new
    // file is complete either way, so a folder that refuses is no failure.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void WriteLinesAtomic(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    WriteFileAtomic(path, JoinLinesCrLf(lines));
}

void SetWriteFaultForTesting(std::function<std::size_t(std::size_t)> accept) {
    WriteFault() = std::move(accept);
}

std::filesystem::path ProgramDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::filesystem::current_path();
    }
    return exe.parent_path();
}

} // namespace sorvelin
