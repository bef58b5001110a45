#pragma once
// The song: its tracks (track 0 is the conductor track with the tempo), the
// tick resolution, the 4/4 bar grid, the tempo lookup and the General MIDI
// System On message that starts every file and every playback.
#include "midi/Events.h"
#include "midi/Track.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

namespace sorvelin {

// The song's list of tracks. It owns them: Clear and destruction destroy
// every track it holds.
class midiTracks {
public:
    int Count() const { return static_cast<int>(tracks_.size()); }
    // IndexError outside 0..Count-1.
    midiTrack* Get(int index) const;
    midiTrack* TrackAt(int index) const { return Get(index); }
    // Appends the track; returns it.
    midiTrack* Add(std::unique_ptr<midiTrack> track);
    void Insert(int index, std::unique_ptr<midiTrack> track);
    void Clear() { tracks_.clear(); }

private:
    std::vector<std::unique_ptr<midiTrack>> tracks_;
};

class midiSong {
public:
    midiSong();
    virtual ~midiSong();
    midiSong(const midiSong&) = delete;
    midiSong& operator=(const midiSong&) = delete;

    // Bar start times: 0, then every 4 x division up to the first beyond
    // songLength, then that one again.
    void RebuildBarTable();
    // 0-based bar and beat of `time`, and its tick within the beat.
    void TimeToPosition(std::int32_t time, std::int32_t& bar, std::int32_t& beat,
                        std::int32_t& tick) const;
    // Microseconds per quarter note at `time`: the last tempo event of track 0
    // at or before it, DefaultTempo without one. Also stored in `tempo`.
    int TempoAt(std::int32_t time);

    // The whole song as a format 1 Standard MIDI File, written from the
    // stream's current position. UserError "nothing has been rendered yet"
    // when the song has no track; FileError when the stream fails.
    virtual void WriteSmf(std::ostream& out);
    // The MThd chunk.
    void WriteHeader(std::ostream& out) const;

    std::int32_t songLength = 0;  // extent of the bar grid in ticks
    std::uint16_t division = 120; // ticks per quarter note
    midiTracks tracks;
    // F0 7E 7F 09 01 F7 at time 0; owned by the song even while track 0
    // lists it after a file write.
    std::unique_ptr<sysexEvent> gmSystemOn;
    std::int32_t tempo = DefaultTempo; // found by the last TempoAt
    std::vector<std::int32_t> barStarts;
};

} // namespace sorvelin
