#pragma once
// Following an incoming MIDI clock: Start, Continue and Stop drive playback,
// a song position pointer says where Continue enters, and the song's pace
// follows the clock. The clock's own jitter must not reach the notes, so the
// pace is a straight line fitted through the last two beats of clocks: each
// clock moves the song to where that line puts it, not to where the clock
// happened to arrive. A clock silent for more than half a second stops the
// song. Runs on the window thread.
#include "midi/Mididata.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiTransport.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

namespace sorvelin {

// The straight line through the last clocks: clock index against arrival.
class ClockEstimate {
public:
    static constexpr std::size_t kClocks = 96; // four beats
    void Reset() { points_.clear(); }
    void Add(std::int64_t index, std::chrono::steady_clock::time_point at);
    bool Ready() const { return points_.size() >= 3; }
    // The moment the line gives to clock `index`.
    std::chrono::steady_clock::time_point MomentOf(std::int64_t index) const;
    // Microseconds per quarter note.
    int Tempo() const;

private:
    void Fit(double& intercept, double& slope) const;
    std::deque<std::pair<std::int64_t, std::chrono::steady_clock::time_point>> points_;
};

class ClockFollower {
public:
    using TrackSource = std::function<std::shared_ptr<midiTrack>()>;
    enum class Change { None, Started, Retimed, Stopped };
    static constexpr auto kSilence = std::chrono::milliseconds(500);

    explicit ClockFollower(PlaybackEngine& engine) : engine_(engine) {}
    void SetTrackSource(TrackSource source) { source_ = std::move(source); }

    Change Take(const SyncMessage& message);
    // Stops the song when the clock has been silent too long.
    Change Idle(std::chrono::steady_clock::time_point now);
    const ClockEstimate& Estimate() const { return estimate_; }

private:
    Change Clock(std::chrono::steady_clock::time_point at);
    Change Stop();

    PlaybackEngine& engine_;
    TrackSource source_;
    std::shared_ptr<midiTrack> track_;
    ClockEstimate estimate_;
    bool armed_ = false;   // Start or Continue came: the next clock starts the song
    bool running_ = false; // the song follows the clock
    std::int64_t index_ = 0;
    std::int32_t entryTicks_ = 0; // where Start or Continue enters
    std::int32_t pointer_ = 0;    // the last song position, in ticks
    int division_ = 120;
    std::chrono::steady_clock::time_point lastClock_{};
};

} // namespace sorvelin
