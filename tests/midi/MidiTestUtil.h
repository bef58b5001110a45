#pragma once
// Helpers shared by the MIDI data tests.
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace sorvelin::test {

// Bytes as upper-case hexadecimal pairs separated by spaces: "4D 54 68 64".
inline std::string Hex(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
        if (!text.empty()) {
            text += ' ';
        }
        text += pair;
    }
    return text;
}

// An output device that takes at most `limit` bytes and may refuse to seek,
// like a full disk or a pipe.
class LimitedBuffer : public std::streambuf {
public:
    LimitedBuffer(std::size_t limit, bool seekable) : limit_(limit), seekable_(seekable) {}
    const std::string& Bytes() const { return bytes_; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        if (position_ >= limit_) {
            return traits_type::eof();
        }
        if (position_ == bytes_.size()) {
            bytes_.push_back(static_cast<char>(c));
        } else {
            bytes_[position_] = static_cast<char>(c);
        }
        ++position_;
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::streamsize written = 0;
        while (written < n &&
               !traits_type::eq_int_type(overflow(traits_type::to_int_type(s[written])),
                                         traits_type::eof())) {
            ++written;
        }
        return written;
    }
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                     std::ios_base::openmode) override {
        if (!seekable_) {
            return pos_type(off_type(-1));
        }
        const off_type base = dir == std::ios_base::beg   ? 0
                              : dir == std::ios_base::cur ? static_cast<off_type>(position_)
                                                          : static_cast<off_type>(bytes_.size());
        const off_type target = base + offset;
        if (target < 0 || target > static_cast<off_type>(bytes_.size())) {
            return pos_type(off_type(-1));
        }
        position_ = static_cast<std::size_t>(target);
        return pos_type(target);
    }
    pos_type seekpos(pos_type target, std::ios_base::openmode mode) override {
        return seekoff(off_type(target), std::ios_base::beg, mode);
    }

private:
    std::string bytes_;
    std::size_t position_ = 0;
    std::size_t limit_;
    bool seekable_;
};

} // namespace sorvelin::test
