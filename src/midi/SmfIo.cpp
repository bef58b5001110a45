#include "midi/SmfIo.h"

#include "base/Errors.h"

#include <string>

namespace sorvelin {

namespace {

// Straight to the stream's buffer: a file is written a byte at a time, and
// the stream's own checks per call cost more than the byte. A byte the device
// refuses marks the stream bad, as the stream's own put would.
void PutBytes(std::ostream& out, const char* bytes, std::streamsize count) {
    std::streambuf* buffer = out.rdbuf();
    if (!out.good() || buffer == nullptr || buffer->sputn(bytes, count) != count) {
        out.setstate(std::ios_base::badbit);
    }
}

} // namespace

void WriteByte(std::ostream& out, unsigned value) {
    std::streambuf* buffer = out.rdbuf();
    if (!out.good() || buffer == nullptr ||
        std::streambuf::traits_type::eq_int_type(buffer->sputc(static_cast<char>(value & 0xFF)),
                                                 std::streambuf::traits_type::eof())) {
        out.setstate(std::ios_base::badbit);
    }
}

void WriteVarLen(std::ostream& out, std::uint32_t value) {
    if (value > maxVarLen) {
        throw FileError("A MIDI file cannot hold the time " + std::to_string(value));
    }
    std::uint32_t buffer = value & 0x7F;
    while ((value >>= 7) > 0) {
        buffer <<= 8;
        buffer |= 0x80 | (value & 0x7F);
    }
    for (;;) {
        WriteByte(out, buffer);
        if ((buffer & 0x80) == 0) {
            break;
        }
        buffer >>= 8;
    }
}

void WriteBE16(std::ostream& out, std::uint16_t value) {
    const char bytes[2] = {static_cast<char>(value >> 8), static_cast<char>(value)};
    PutBytes(out, bytes, 2);
}

void WriteBE32(std::ostream& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    PutBytes(out, bytes, 4);
}

std::size_t ReadVarLen(std::span<const std::uint8_t> buffer, std::size_t position,
                       std::uint32_t& value) {
    std::uint32_t result = 0;
    for (;;) {
        if (position >= buffer.size()) {
            throw IndexError(static_cast<long long>(position),
                             static_cast<long long>(buffer.size()));
        }
        const std::uint8_t byte = buffer[position++];
        result = (result << 7) | (byte & 0x7Fu);
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    value = result;
    return position;
}

} // namespace sorvelin
