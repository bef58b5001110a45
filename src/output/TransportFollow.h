#pragma once
// Following a studio's shared transport: the song plays while the transport
// rolls and stops when it stops, enters at the transport's position when it
// starts or is moved (a relocate, each turn of a DAW's loop), and takes the
// timebase master's tempo when there is one, else keeps the song's own.
// Runs on the window thread, which looks at the transport every few
// milliseconds; the song is timed from the transport's own frame, not from
// the moment of the look.
#include "midi/Mididata.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiTransport.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace sorvelin {

// The song's ticks at the transport's position: from the master's bar, beat
// and tick when it gives them (beats counted in its beat type, the song's
// beat a quarter note), else from the frame at the song's tempo.
std::int32_t TransportTicks(const TransportState& state, int division, int songTempo);
// Microseconds per quarter note to play at: the master's, or 0 for the song's.
int TransportTempo(const TransportState& state);

class TransportFollower {
public:
    // The song to play when the transport starts rolling (rendered then,
    // so that it is the composition as it stands); null: none.
    using TrackSource = std::function<std::shared_ptr<midiTrack>()>;
    enum class Change { None, Started, Moved, Retimed, Stopped };

    TransportFollower(PlaybackEngine& engine, OutputHandle& output)
        : engine_(engine), output_(output) {}

    void SetTrackSource(TrackSource source) { source_ = std::move(source); }
    // One look at the transport, and what it made the song do.
    Change Poll();
    // Forgets the last look: the next rolling transport starts the song.
    void Reset();

private:
    PlaybackEntry EntryAt(const TransportState& state) const;
    void KeepToTransport(bool on);

    PlaybackEngine& engine_;
    OutputHandle& output_;
    TrackSource source_;
    std::shared_ptr<midiTrack> track_;
    bool wasRolling_ = false;
    TransportState last_{};
    int tempo_ = 0; // the tempo playing, 0 for the song's
};

} // namespace sorvelin
