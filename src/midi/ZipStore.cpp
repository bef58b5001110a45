#include "midi/ZipStore.h"

#include "base/Errors.h"

#include <array>
#include <limits>
#include <string>

namespace sorvelin {
namespace {

constexpr std::uint32_t LocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t CentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::uint16_t VersionNeeded = 10; // stored entries only
constexpr std::uint16_t DosDate1980 = (0 << 9) | (1 << 5) | 1;

std::array<std::uint32_t, 256> CrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

void LE16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void LE32(std::string& out, std::uint32_t v) {
    LE16(out, v & 0xFFFF);
    LE16(out, v >> 16);
}

std::uint32_t Fit32(std::size_t size) {
    if (size >= std::numeric_limits<std::uint32_t>::max()) {
        throw UserError("The score is too large for a compressed MusicXML file (4 GiB); "
                        "save it as .musicxml.");
    }
    return static_cast<std::uint32_t>(size);
}

// The fields a local header and its central directory entry share.
void CommonFields(std::string& out, std::uint32_t crc, std::uint32_t size, std::size_t nameSize) {
    LE16(out, VersionNeeded);
    LE16(out, 0); // flags
    LE16(out, 0); // stored
    LE16(out, 0); // time
    LE16(out, DosDate1980);
    LE32(out, crc);
    LE32(out, size); // compressed
    LE32(out, size); // uncompressed
    LE16(out, static_cast<std::uint32_t>(nameSize));
    LE16(out, 0); // extra field
}

} // namespace

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
    static const std::array<std::uint32_t, 256> table = CrcTable();
    crc = ~crc;
    for (char ch : data) {
        crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

void WriteStoredZip(std::ostream& out, std::span<const ZipEntry> entries) {
    std::string central;
    std::size_t offset = 0;
    for (const ZipEntry& entry : entries) {
        const std::uint32_t crc = Crc32(entry.data);
        const std::uint32_t size = Fit32(entry.data.size());
        std::string local;
        LE32(local, LocalHeaderSignature);
        CommonFields(local, crc, size, entry.name.size());
        local += entry.name;
        out.write(local.data(), static_cast<std::streamsize>(local.size()));
        out.write(entry.data.data(), static_cast<std::streamsize>(entry.data.size()));

        LE32(central, CentralHeaderSignature);
        LE16(central, VersionNeeded); // made by
        CommonFields(central, crc, size, entry.name.size());
        LE16(central, 0); // comment
        LE16(central, 0); // disk
        LE16(central, 0); // internal attributes
        LE32(central, 0); // external attributes
        LE32(central, Fit32(offset));
        central += entry.name;
        offset += local.size() + entry.data.size();
    }
    std::string end;
    LE32(end, EndSignature);
    LE16(end, 0);
    LE16(end, 0);
    LE16(end, static_cast<std::uint32_t>(entries.size()));
    LE16(end, static_cast<std::uint32_t>(entries.size()));
    LE32(end, Fit32(central.size()));
    LE32(end, Fit32(offset));
    LE16(end, 0); // comment
    out.write(central.data(), static_cast<std::streamsize>(central.size()));
    out.write(end.data(), static_cast<std::streamsize>(end.size()));
    if (!out) {
        throw FileError("The score could not be written completely");
    }
}

} // namespace sorvelin
