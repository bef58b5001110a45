#pragma once
// The program's one error path: a failing conversion, list index or file
// operation throws one of these; the guard around every window handler shows
// the message and the operation stops where it was.
#include <stdexcept>
#include <string>
#include <string_view>

namespace sorvelin {

// A text that is not a number where a number was expected.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A list or table index outside its bounds.
class IndexError : public std::out_of_range {
public:
    IndexError(long long index, long long length);
    explicit IndexError(const std::string& message) : std::out_of_range(message) {}
    long long Index() const { return index_; }
    long long Length() const { return length_; }

private:
    long long index_ = -1;
    long long length_ = -1;
};

// A file that cannot be opened, read or written.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Any other refusal with a message meant for the user (a bad table entry,
// a song file that cannot be loaded, a note count below 2, ...).
class UserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How much of a value from a file or a field a message quotes: enough to
// find it, never so much that a megabyte line fills (and freezes) a box.
inline constexpr std::size_t MaxQuotedCharacters = 60;

// Input as a message shows it: cut after MaxQuotedCharacters characters
// (never inside one) with an ellipsis, and every control character shown as
// its visible picture (U+2400 for NUL and so on), since a NUL would end the
// message's text and an escape byte would reach the terminal.
std::string Excerpt(std::string_view text);

} // namespace sorvelin
