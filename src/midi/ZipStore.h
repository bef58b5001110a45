#pragma once
// A zip archive of stored (uncompressed) entries, as the compressed MusicXML
// container asks for it: local headers, the data, the central directory.
// Times are the format's earliest (1980-01-01), so the same entries give
// the same bytes.
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace sorvelin {

// CRC-32 as zip (and PNG, and Ethernet) compute it, continued from `crc`.
std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

// Writes the archive into `out` entry by entry. UserError when an entry or
// the archive outgrows the format's 4 GiB; FileError when the stream fails.
class StoredZip {
public:
    explicit StoredZip(std::ostream& out);
    void Add(std::string_view name, std::string_view data);
    // An entry whose bytes `write` puts into the stream it is given, passed
    // on as they come; its header is completed afterwards, so `out` must be
    // able to seek back.
    void AddStreamed(std::string_view name, const std::function<void(std::ostream&)>& write);
    // The central directory and the end record.
    void Finish();

private:
    std::uint64_t WriteLocalHeader(std::string_view name, std::uint32_t crc, std::uint64_t size);
    void Listed(std::string_view name, std::uint32_t crc, std::uint64_t size, std::uint64_t offset);

    std::ostream& out_;
    std::uint64_t written_ = 0;
    std::string central_;
    std::uint32_t entries_ = 0;
};

} // namespace sorvelin
