#pragma once
// A rendered song as the plugin plays it: every channel message of Play's
// playback track with its tick, in the track's order, note-offs included.
// The worker makes one whole and hands it to the audio thread, which only
// reads it; the worker also frees it once the audio thread lets it go.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sorvelin::plugin {

// The song's ticks per quarter note and per 4/4 bar.
inline constexpr int TicksPerQuarter = 120;
inline constexpr int TicksPerBar = 4 * TicksPerQuarter;

struct ScoreEvent {
    std::int32_t tick = 0;
    // A sounding note's note-off tick; the event's own tick otherwise.
    std::int32_t end = 0;
    std::uint32_t size = 0;
    // A channel message's bytes; a system exclusive message's are in the
    // Score's longData from longAt on.
    std::array<std::uint8_t, 3> bytes{};
    std::uint32_t longAt = 0;

    bool IsNoteOn() const { return (bytes[0] & 0xF0) == 0x90 && bytes[2] != 0; }
    bool IsNoteOff() const {
        return (bytes[0] & 0xF0) == 0x80 || ((bytes[0] & 0xF0) == 0x90 && bytes[2] == 0);
    }
};

// What the host's controls ask of the song. -1 (and an octave shift of 0)
// leaves the song's own choice, so the default controls play the song as
// the program renders it.
inline constexpr int AsInSong = -1;
inline constexpr int ShiftMax = 100;
inline constexpr int ScorePartCount = 16;

struct ScoreControls {
    int scale = AsInSong;      // item of the Scale list
    int rhythm = AsInSong;     // item of the Rhythm list
    int noteAssign = AsInSong; // Wrap Around, Compress
    int continuous = AsInSong; // Slur, Skip, New Note
    int overLength = AsInSong; // Shorten, Divide, Don't care
    int velocity = AsInSong;   // Fixed, from the series
    int dx = AsInSong;         // the shift sliders, 0 .. 100
    int dy = AsInSong;
    int octave = 0; // added to every part's octave, -2 .. 2
    std::array<int, ScorePartCount> parts = [] {
        std::array<int, ScorePartCount> all{};
        all.fill(AsInSong);
        return all;
    }(); // 0 off, 1 on

    bool operator==(const ScoreControls&) const = default;
};

struct Score {
    std::vector<ScoreEvent> events;
    std::vector<std::uint8_t> longData;
    // Events before this index come before the first note: the parts'
    // programs, pans and wheel set-up, sent again after a jump past them.
    std::size_t setupEnd = 0;
    // The longest note, so that the notes sounding at a tick are found by
    // looking back no further.
    std::int32_t longestNote = 0;
    std::int32_t end = 0; // tick of the last event
    int tempoBpm = 120;
    ScoreControls controls;
    std::string songPath; // the file the song came from, empty for none

    // The first event at or after `tick`.
    std::size_t IndexAt(double tick) const;
    const std::uint8_t* Data(const ScoreEvent& event) const {
        return event.size <= event.bytes.size() ? event.bytes.data() : &longData[event.longAt];
    }
};

} // namespace sorvelin::plugin
