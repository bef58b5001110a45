#pragma once
// Text files as lists of lines, and writes that never leave a half-written
// file behind: everything the program writes goes to a temporary file in the
// same folder, which replaces the old file only once it is complete.
#include <filesystem>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace sorvelin {

// Every line of a text file without its line end (CR LF, LF or CR). A final
// line end does not make an empty last line, and a UTF-8 byte-order mark
// that some editors put at the start is no part of the first line. Throws
// FileError when the file cannot be read.
std::vector<std::string> ReadLines(const std::filesystem::path& path);
// The same over text already in memory.
std::vector<std::string> SplitLines(const std::string& text);

// The longest line a settings file or a song file holds: each of their lines
// is one number or a short text, and a longer one is refused before anything
// converts or quotes it.
inline constexpr std::size_t MaxLineBytes = 4096;
// Empty for a line within MaxLineBytes, otherwise why it is refused.
std::string LineLengthFault(const std::string& line);
// Whole file as bytes; throws FileError.
std::string ReadFileBytes(const std::filesystem::path& path);

bool FileExists(const std::filesystem::path& path);

// Writes bytes to `path` through a temporary file in the same folder, renamed
// over the old file only when every byte has been written and flushed. On any
// failure the old file is untouched, the temporary file is removed and
// FileError names the file and the reason. A symbolic link is followed and its
// target replaced; a character device or FIFO is written straight into (see
// PendingFile in OutputFile.h).
void WriteFileAtomic(const std::filesystem::path& path, const std::string& bytes);
// Each line followed by CR LF, written as above.
void WriteLinesAtomic(const std::filesystem::path& path, const std::vector<std::string>& lines);
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// Test hook: when set, called with the number of bytes about to be written and
// returning how many the "device" accepts, so a write that fails part way can
// be simulated. Empty in the program.
void SetWriteFaultForTesting(std::function<std::size_t(std::size_t)> accept);

// The folder that holds the running program file.
std::filesystem::path ProgramDir();

} // namespace sorvelin
