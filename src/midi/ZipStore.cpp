#include "midi/ZipStore.h"

#include "base/Errors.h"

#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

namespace sorvelin {
namespace {

constexpr std::uint32_t LocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t CentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::uint16_t VersionNeeded = 10; // stored entries only
constexpr std::uint16_t DosDate1980 = (0 << 9) | (1 << 5) | 1;
constexpr std::size_t CrcOffsetInHeader = 14;
constexpr std::size_t StreamChunk = 1 << 16;

// Eight tables, so that eight bytes are folded in per step.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

CrcTables MakeCrcTables() {
    CrcTables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        t[0][n] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::size_t n = 0; n < 256; ++n) {
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
        }
    }
    return t;
}

void LE16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void LE32(std::string& out, std::uint32_t v) {
    LE16(out, v & 0xFFFF);
    LE16(out, v >> 16);
}

std::uint32_t Fit32(std::uint64_t size) {
    if (size >= std::numeric_limits<std::uint32_t>::max()) {
        throw UserError("The score is too large for a compressed MusicXML file (4 GiB); "
                        "save it as .musicxml.");
    }
    return static_cast<std::uint32_t>(size);
}

// The fields a local header and its central directory entry share.
void CommonFields(std::string& out, std::uint32_t crc, std::uint64_t size, std::size_t nameSize) {
    LE16(out, VersionNeeded);
    LE16(out, 0); // flags
    LE16(out, 0); // stored
    LE16(out, 0); // time
    LE16(out, DosDate1980);
    LE32(out, crc);
    LE32(out, Fit32(size)); // compressed
    LE32(out, Fit32(size)); // uncompressed
    LE16(out, static_cast<std::uint32_t>(nameSize));
    LE16(out, 0); // extra field
}

void Put(std::ostream& out, std::string_view bytes) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw FileError("The score could not be written completely");
    }
}

// Passes what is written on to another stream, adding up its CRC and size.
class CrcBuffer : public std::streambuf {
public:
    explicit CrcBuffer(std::ostream& target) : target_(target), buffer_(StreamChunk) {
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }
    std::uint32_t Crc() const { return crc_; }
    std::uint64_t Size() const { return size_; }

protected:
    int_type overflow(int_type c) override {
        Drain();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (static_cast<std::size_t>(n) < StreamChunk) {
            return std::streambuf::xsputn(s, n);
        }
        Drain();
        Pass({s, static_cast<std::size_t>(n)});
        return n;
    }
    int sync() override {
        Drain();
        return 0;
    }

private:
    void Drain() {
        Pass({pbase(), static_cast<std::size_t>(pptr() - pbase())});
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }
    void Pass(std::string_view bytes) {
        crc_ = Crc32(bytes, crc_);
        size_ += bytes.size();
        Put(target_, bytes);
    }

    std::ostream& target_;
    std::vector<char> buffer_;
    std::uint32_t crc_ = 0;
    std::uint64_t size_ = 0;
};

} // namespace

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
    static const CrcTables t = MakeCrcTables();
    crc = ~crc;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t n = data.size();
    while (n >= 8) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            low = __builtin_bswap32(low);
            high = __builtin_bswap32(high);
        }
        low ^= crc;
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
              t[4][low >> 24] ^ t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^
              t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
        p += 8;
        n -= 8;
    }
    while (n-- > 0) {
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

StoredZip::StoredZip(std::ostream& out) : out_(out) {}

std::uint64_t StoredZip::WriteLocalHeader(std::string_view name, std::uint32_t crc,
                                          std::uint64_t size) {
    const std::uint64_t offset = written_;
    std::string local;
    LE32(local, LocalHeaderSignature);
    CommonFields(local, crc, size, name.size());
    local += name;
    Put(out_, local);
    written_ += local.size();
    return offset;
}

void StoredZip::Listed(std::string_view name, std::uint32_t crc, std::uint64_t size,
                       std::uint64_t offset) {
    LE32(central_, CentralHeaderSignature);
    LE16(central_, VersionNeeded); // made by
    CommonFields(central_, crc, size, name.size());
    LE16(central_, 0); // comment
    LE16(central_, 0); // disk
    LE16(central_, 0); // internal attributes
    LE32(central_, 0); // external attributes
    LE32(central_, Fit32(offset));
    central_ += name;
    ++entries_;
}

void StoredZip::Add(std::string_view name, std::string_view data) {
    const std::uint32_t crc = Crc32(data);
    const std::uint64_t offset = WriteLocalHeader(name, crc, data.size());
    Put(out_, data);
    written_ += data.size();
    Listed(name, crc, data.size(), offset);
}

void StoredZip::AddStreamed(std::string_view name,
                            const std::function<void(std::ostream&)>& write) {
    const std::streampos header = out_.tellp();
    const std::uint64_t offset = WriteLocalHeader(name, 0, 0);
    CrcBuffer buffer(out_);
    std::ostream entry(&buffer);
    entry.exceptions(std::ios::badbit);
    write(entry);
    entry.flush();
    written_ += buffer.Size();
    std::string fields;
    LE32(fields, buffer.Crc());
    LE32(fields, Fit32(buffer.Size()));
    LE32(fields, Fit32(buffer.Size()));
    const std::streampos end = out_.tellp();
    out_.seekp(header + static_cast<std::streamoff>(CrcOffsetInHeader));
    Put(out_, fields);
    out_.seekp(end);
    if (header < 0 || !out_) {
        throw FileError("The score could not be written: its stream cannot go back to fill in "
                        "the container's sizes");
    }
    Listed(name, buffer.Crc(), buffer.Size(), offset);
}

void StoredZip::Finish() {
    std::string end;
    LE32(end, EndSignature);
    LE16(end, 0);
    LE16(end, 0);
    LE16(end, entries_);
    LE16(end, entries_);
    LE32(end, Fit32(central_.size()));
    LE32(end, Fit32(written_));
    LE16(end, 0); // comment
    Put(out_, central_);
    Put(out_, end);
}

} // namespace sorvelin
