#include "output/TransportFollow.h"

#include <cmath>

namespace sorvelin {
namespace {

// A position further than this from where the rolling transport should be
// is a relocate (a transport that rolls keeps to the server's frames exactly).
constexpr std::int64_t kMoveMicros = 2000;
// A master's tempo this far from the one playing (as a fraction) retimes the song.
constexpr double kTempoChange = 0.0005;

int SongTempoOf(const std::shared_ptr<midiTrack>& track) {
    return track && track->song != nullptr ? track->song->TempoAt(0) : DefaultTempo;
}

int DivisionOf(const std::shared_ptr<midiTrack>& track) {
    return track && track->song != nullptr && track->song->division != 0 ? track->song->division
                                                                         : 120;
}

} // namespace

std::int32_t TransportTicks(const TransportState& state, int division, int songTempo) {
    if (state.hasBbt) {
        // Quarter notes per beat of the master's beat type.
        const double quarter = state.beatType > 0 ? 4.0 / state.beatType : 1.0;
        const double beats = (state.bar - 1) * state.beatsPerBar + (state.beat - 1) +
                             state.tick / state.ticksPerBeat;
        return static_cast<std::int32_t>(std::llround(beats * quarter * division));
    }
    const std::int64_t rate = state.frameRate != 0 ? state.frameRate : 48000;
    const std::int64_t micros = std::int64_t{state.frame} * 1'000'000 / rate;
    return static_cast<std::int32_t>(micros * division / std::max(songTempo, 1));
}

int TransportTempo(const TransportState& state) {
    return state.hasBbt ? static_cast<int>(std::lround(60e6 / state.beatsPerMinute)) : 0;
}

PlaybackEntry TransportFollower::EntryAt(const TransportState& state) const {
    return {TransportTicks(state, DivisionOf(track_), SongTempoOf(track_)), state.at,
            TransportTempo(state)};
}

void TransportFollower::Reset() {
    if (wasRolling_) {
        KeepToTransport(false);
    }
    wasRolling_ = false;
    track_.reset();
}

void TransportFollower::KeepToTransport(bool on) {
    output_.WithTransport([on](MidiTransport& transport) { transport.KeepToTransport(on); });
}

TransportFollower::Change TransportFollower::Poll() {
    TransportState state;
    bool read = false;
    output_.WithTransport([&](MidiTransport& transport) { read = transport.Query(state); });
    if (!read || state.starting) {
        return Change::None; // a relocate under way: the look after it tells
    }
    const TransportState before = last_;
    last_ = state;
    if (!state.rolling) {
        const bool was = std::exchange(wasRolling_, false);
        if (was) {
            KeepToTransport(false);
        }
        if (was && engine_.IsPlaying()) {
            engine_.StopPlayback();
            return Change::Stopped;
        }
        return Change::None;
    }
    if (!wasRolling_) {
        wasRolling_ = true;
        track_ = source_ ? source_() : nullptr;
        if (!track_) {
            return Change::None;
        }
        const PlaybackEntry entry = EntryAt(state);
        tempo_ = entry.tempo;
        KeepToTransport(true);
        engine_.StartPlaybackAt(track_, entry);
        return Change::Started;
    }
    if (!track_) {
        return Change::None;
    }
    // Where the transport should be by now, had it rolled on from the last
    // look as the server's frames did.
    const std::int64_t rate = state.frameRate != 0 ? state.frameRate : 48000;
    const auto moved = static_cast<std::int32_t>((state.frame - before.frame) -
                                                 (state.serverFrame - before.serverFrame));
    const std::int64_t off = std::int64_t{moved} * 1'000'000 / rate;
    const PlaybackEntry entry = EntryAt(state);
    if (off > kMoveMicros || off < -kMoveMicros) {
        tempo_ = entry.tempo;
        engine_.StartPlaybackAt(track_, entry);
        return Change::Moved;
    }
    if (entry.tempo != 0 &&
        (tempo_ == 0 || std::abs(entry.tempo - tempo_) > kTempoChange * tempo_)) {
        tempo_ = entry.tempo;
        engine_.Retime(entry);
        return Change::Retimed;
    }
    return Change::None;
}

} // namespace sorvelin
