#include "base/TextFile.h"

#include "base/Errors.h"
#include "base/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvelin {
namespace {

std::string Reason(int error) {
    return std::strerror(error);
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
    PendingFile file(path);
    file.Stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.Commit();
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

std::filesystem::path ProgramDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::filesystem::current_path();
    }
    return exe.parent_path();
}

} // namespace sorvelin
