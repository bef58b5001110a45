#pragma once
// The sixteen per-part settings: whether a part is rendered, its MIDI
// channel, General MIDI program, pan position and octave shift. Rendering
// reads them, the song file saves and restores them, the track settings
// window edits them.
#include <array>
#include <cstdint>
#include <string>

namespace sorvelin {

constexpr int PartSettingsCount = 16;

// Ranges a value must keep before it may reach a MIDI byte or the sequencer.
constexpr int MinChannel = 0;
constexpr int MaxChannel = 15;
constexpr int MinDataByte = 0;
constexpr int MaxDataByte = 127;
constexpr int MinOctave = -2;
constexpr int MaxOctave = 2;

struct PartSettings {
    bool UsePart = false;
    std::int16_t Channel = 0; // 0-based; shown as 1..16
    std::int32_t Program = 0;
    std::int32_t Pan = 64;
    std::int32_t Reserved1 = 100; // kept for the song file only
    std::int32_t Reserved2 = 127; // kept for the song file only
    std::int32_t Octave = 0;

    bool operator==(const PartSettings&) const = default;
};

using PartSettingsTable = std::array<PartSettings, PartSettingsCount>;

// The start-up settings: part i on channel i with program 5 i and pan
// (33 i + 64) mod 128; parts 1 and 2 used; part 10 (the drum channel) with
// program 0 and centre pan.
PartSettingsTable DefaultPartSettings();

// "Part 1" .. "Part 16" for the 0-based index.
std::string PartName(int part);

// True when the part's channel, program and pan fit their MIDI bytes.
bool FitsMidiBytes(const PartSettings& part);

} // namespace sorvelin
