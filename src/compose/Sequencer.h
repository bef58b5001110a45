#pragma once
// The step sequencer: walks one series, cycles through the rhythm and adds a
// part's pitch bends and notes to its track.
#include "base/Errors.h"
#include "compose/NoteGen.h"

#include <cstdint>
#include <span>
#include <vector>

namespace sorvelin {

class midiTrack;

// First tick of every part's first note: four quarter notes in.
constexpr int SequencerStartTime = 480;
// Latest tick a song may reach: beyond it a delta time no longer fits a MIDI
// file's variable-length quantity.
constexpr std::int64_t MaxSongTime = 0x0FFFFFFF - 1000;

// A part that runs past MaxSongTime. Play's rendering names the song and the
// rhythm in what it shows.
class SongTooLongError : public UserError {
public:
    using UserError::UserError;
};

// The velocity of a note struck by `value`: FixedVelocity under "Fixed";
// under "From series" MinSeriesVelocity at 0 rising linearly to 127 at the
// iteration limit (truncated), the value held within 0 .. limit.
constexpr int FixedVelocity = 100;
constexpr int MinSeriesVelocity = 40;
constexpr int MaxSeriesVelocity = 127;
int NoteVelocity(int mode, std::int32_t value, int limit);

// Runs the step sequencer over one row and adds the part's pitch bends and
// notes to `track` on `channel`, shifted by `octave` octaves. Returns the
// final running time. The LongLimit text is converted at each step that would
// lengthen a note (ConvertError when it is not an integer); SongTooLongError
// when the part runs past MaxSongTime. With `stepTimes`, the running time at
// which each value of the row was taken is appended to it.
int RunSequencer(midiTrack& track, std::span<const std::int32_t> row, int channel, int octave,
                 const NoteMapper& mapper, const std::vector<int>& rhythmTicks,
                 std::vector<std::int32_t>* stepTimes = nullptr);

} // namespace sorvelin
