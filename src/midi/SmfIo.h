#pragma once
// The byte-level pieces of a Standard MIDI File: big-endian integers and the
// variable-length quantity (7 bits a byte, most significant group first, the
// high bit set on every byte but the last).
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>

namespace sorvelin {

// The largest value a variable-length quantity of a MIDI file can hold.
inline constexpr std::uint32_t maxVarLen = 0x0FFFFFFF;

// The low 8 bits of `value`.
void WriteByte(std::ostream& out, unsigned value);
// 0 -> 00, 127 -> 7F, 128 -> 81 00, 16383 -> FF 7F, 16384 -> 81 80 00.
// A value above maxVarLen cannot be stored in a file: FileError.
void WriteVarLen(std::ostream& out, std::uint32_t value);
void WriteBE16(std::ostream& out, std::uint16_t value);
void WriteBE32(std::ostream& out, std::uint32_t value);

// Reads a variable-length quantity at `position`; returns the position after
// it. IndexError when the buffer ends before the quantity does.
std::size_t ReadVarLen(std::span<const std::uint8_t> buffer, std::size_t position,
                       std::uint32_t& value);

} // namespace sorvelin
