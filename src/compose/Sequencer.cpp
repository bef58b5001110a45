#include "compose/Sequencer.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "compose/ComposeState.h"
#include "midi/Mididata.h"

#include <algorithm>
#include <memory>

namespace sorvelin {
namespace {

// Moves the key by whole octaves into 0..127, keeping its pitch class (the
// result of adding or subtracting 12 until it fits).
int FoldKey(long long key) {
    if (key < 0) {
        key += 12 * ((-key + 11) / 12);
    } else if (key > 127) {
        key -= 12 * ((key - 127 + 11) / 12);
    }
    return static_cast<int>(key);
}

class Sequencer {
public:
    Sequencer(midiTrack& track, int channel, int octave, const NoteMapper& mapper,
              const std::vector<int>& rhythm)
        : track_(track), channel_(channel), octave_(octave), mapper_(mapper),
          controls_(mapper.Controls()), rhythm_(rhythm) {}

    void Step(std::int32_t value) {
        const int note = mapper_.AssignNote(value);
        if (note == -1) {
            // A value at the iteration limit: a rest moves time on, a skip
            // drops the step.
            if (controls_.IterationLimit == LimitRest) {
                Advance();
            }
            return;
        }
        if (value != prev_ || current_ == nullptr) {
            NewNote(note, value);
            return;
        }
        switch (controls_.ContinuousNumberAssgn) {
        case ContinuousSlur:
            Slur(note, value);
            break;
        case ContinuousNewNote:
            NewNote(note, value);
            break;
        default: // "Skip": the step is dropped and time does not move
            break;
        }
    }

    std::int64_t Time() const { return time_; }

private:
    int Ticks() const { return rhythm_[r_]; }

    void Advance() {
        time_ += Ticks();
        if (time_ > MaxSongTime) {
            throw SongTooLongError("The song is too long for a MIDI file: a part runs past tick " +
                                   IntToStr(MaxSongTime) + ".");
        }
        r_ = (r_ + 1) % rhythm_.size();
    }

    void Slur(int note, std::int32_t value) {
        // Read at the step that would lengthen, as the user may have changed it.
        const int limit = StrToInt(controls_.LongLimit, LengthLimitCaption);
        if (static_cast<std::int64_t>(Ticks()) + current_->duration > limit) {
            if (controls_.Notesare == LengthShorten) {
                return;
            }
            if (controls_.Notesare == LengthDivide) {
                NewNote(note, value);
                return;
            }
        }
        current_->duration += Ticks();
        prev_ = value;
        Advance();
    }

    void NewNote(int note, std::int32_t value) {
        const auto time = static_cast<std::int32_t>(time_);
        const int bend = mapper_.FindPitchBend(note);
        if (!haveBend_ || bend != bend_) {
            track_.AddEvent(std::make_unique<PitchBendEvent>(
                                std::max(time - 1, 0), static_cast<std::uint8_t>(0xE0 | channel_),
                                static_cast<std::int16_t>(bend + PitchWheelCentre)),
                            true, true);
            bend_ = bend;
            haveBend_ = true;
        }
        const int key = FoldKey(static_cast<long long>(octave_) * 12 + note);
        const int percent = mapper_.Microtonal() ? 70 : 90;
        const auto duration =
            static_cast<std::int32_t>(static_cast<long long>(Ticks()) * percent / 100);
        auto event = std::make_unique<NoteOnEvent>(
            time, static_cast<std::uint8_t>(0x90 | channel_), static_cast<std::uint8_t>(key),
            static_cast<std::uint8_t>(NoteVelocity(controls_.Velocity, value, mapper_.Limit())),
            duration);
        current_ = event.get();
        track_.AddEvent(std::move(event), true, true);
        prev_ = value;
        Advance();
    }

    midiTrack& track_;
    const int channel_;
    const int octave_;
    const NoteMapper& mapper_;
    const ComposeControls& controls_;
    const std::vector<int>& rhythm_;

    std::int64_t time_ = SequencerStartTime;
    std::size_t r_ = 0;
    std::int64_t prev_ = -1; // the last value that started or lengthened a note
    bool haveBend_ = false;  // no wheel offset sent yet
    int bend_ = 0;
    NoteOnEvent* current_ = nullptr; // the last note made (owned by the track)
};

} // namespace

int NoteVelocity(int mode, std::int32_t value, int limit) {
    if (mode != VelocityFromSeries) {
        return FixedVelocity;
    }
    constexpr int Span = MaxSeriesVelocity - MinSeriesVelocity;
    if (limit <= 0) {
        return MaxSeriesVelocity; // every value is at (or past) a limit of nothing
    }
    const long long held = std::clamp<long long>(value, 0, limit);
    return MinSeriesVelocity + static_cast<int>(Span * held / limit);
}

int RunSequencer(midiTrack& track, std::span<const std::int32_t> row, int channel, int octave,
                 const NoteMapper& mapper, const std::vector<int>& rhythmTicks,
                 std::vector<std::int32_t>* stepTimes) {
    if (rhythmTicks.empty()) {
        throw UserError("The rhythm has no durations.");
    }
    Sequencer sequencer(track, channel, octave, mapper, rhythmTicks);
    for (std::int32_t value : row) {
        if (stepTimes != nullptr) {
            stepTimes->push_back(static_cast<std::int32_t>(sequencer.Time()));
        }
        sequencer.Step(value);
    }
    return static_cast<int>(sequencer.Time());
}

} // namespace sorvelin
