#pragma once
// A zip archive of stored (uncompressed) entries, as the compressed MusicXML
// container asks for it: local headers, the data, the central directory.
// Times are the format's earliest (1980-01-01), so the same entries give
// the same bytes.
#include <cstdint>
#include <ostream>
#include <span>
#include <string_view>

namespace sorvelin {

struct ZipEntry {
    std::string_view name;
    std::string_view data;
};

// CRC-32 as zip (and PNG, and Ethernet) compute it.
std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

// The entries in order. UserError when an entry or the archive outgrows the
// format's 4 GiB; FileError when the stream fails.
void WriteStoredZip(std::ostream& out, std::span<const ZipEntry> entries);

} // namespace sorvelin
