#pragma once
// Play's song: a conductor track with the tempo, one track per used part with
// its set-up events, its notes and a closing wheel event, and the playback
// track that lists every event of the song in time order. Save MIDI writes
// the last song rendered.
#include "compose/ComposeModel.h"
#include "compose/PartSettings.h"
#include "midi/Events.h"
#include "midi/MusicXml.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace sorvelin {

class midiSong;
class midiTrack;

// The conductor track's tempo (microseconds per quarter note) for `bpm`
// beats per minute; the default tempo gives DefaultTempo.
constexpr std::int32_t SongTempo(int bpm) {
    return static_cast<std::int32_t>(60000000 / bpm);
}
static_assert(SongTempo(DefaultTempoBpm) == DefaultTempo);
// Said by Save MIDI (and Save Audio) before any Play has rendered a song.
inline constexpr const char* NothingRenderedMessage =
    "Nothing has been rendered yet: press Play first.";

// Where a song's time came from: the first used part's running time at each
// of its series values, and the song's end, one step after its last note.
struct SongTimeline {
    int part = -1; // the first used part; -1 when none is used
    std::vector<std::int32_t> stepTimes;
    std::int32_t end = 0; // the latest end of any part
};

// The series index whose step is under way at `ticks`: the last one that
// started at or before it (steps that took no time give way to the one
// after them); -1 before the first.
int StepAt(const SongTimeline& timeline, std::int32_t ticks);

// The ticks a looping Play repeats: from the wheel event one tick before the
// first notes to one tick before the end, so that each pass's first notes
// fall one step after the last note of the pass before. Nothing to repeat
// (from == to) when no part made time.
struct SongLoop {
    std::int32_t from = 0;
    std::int32_t to = 0;
};
SongLoop LoopOf(const SongTimeline& timeline);

// Renders the song of the current composition. `series` is the whole table
// (16 rows); `limit` the iteration limit in force. Raises the error that
// stopped it (a LongLimit text that is not an integer, a part value that does
// not fit a MIDI byte); nothing is returned then.
// With `timeline`, also where its time came from.
std::unique_ptr<midiSong> RenderSong(const ComposeModel& compose, const PartSettingsTable& parts,
                                     std::span<const std::int32_t> series, int limit,
                                     SongTimeline* timeline = nullptr);

// Every event of every track in track order, except track ends, placed in
// time order (equal times keep track order). The track borrows the events.
std::unique_ptr<midiTrack> MergePlayTrack(midiSong& song);

// The composition window's song and playback track.
class RenderedSong {
public:
    RenderedSong();
    ~RenderedSong();
    RenderedSong(const RenderedSong&) = delete;
    RenderedSong& operator=(const RenderedSong&) = delete;

    // Play's rendering. Only a complete song replaces the previous one: when
    // rendering stops on an error, the previous song (or none) stays the one
    // that plays and that Save MIDI writes, and the error propagates.
    void Render(const ComposeModel& compose, const PartSettingsTable& parts,
                std::span<const std::int32_t> series, int limit);

    bool HasSong() const { return played_ != nullptr; }
    // The last complete song and its playback track; null before the first.
    // A holder of the track holds the song too, so playback may go on after
    // the next Render or this object's end.
    midiSong* Song() { return played_ ? played_->song.get() : nullptr; }
    std::shared_ptr<midiTrack> PlayTrack() {
        return played_ ? std::shared_ptr<midiTrack>(played_, played_->track.get()) : nullptr;
    }
    // The last complete song's timeline; empty before the first.
    const SongTimeline& Timeline() const { return played_ ? played_->timeline : noTimeline_; }

    // The Standard MIDI File of the last song, written into `out` (which
    // must be able to seek back to fill in track lengths). UserError when
    // nothing has been rendered yet.
    void WriteMidi(std::ostream& out);
    // The same bytes in memory.
    std::string MidiFileBytes();
    // Save MIDI: the same bytes, written through a temporary file.
    void SaveMidi(const std::filesystem::path& path);

    // The score of the last song, titled after `songFile` (the song file's
    // name without its extension; "Untitled" for none), with dynamics when
    // its velocities came from the series, as MusicXML or, with
    // `compressed`, as a .mxl container. UserError when nothing has been
    // rendered yet.
    void WriteScore(std::ostream& out, bool compressed, const std::string& songFile);
    // Save Score: compressed when the name ends in .mxl, written through a
    // temporary file.
    void SaveScore(const std::filesystem::path& path, const std::string& songFile);

private:
    midiSong& Rendered(); // UserError when nothing has been rendered yet

    struct Played {
        std::unique_ptr<midiSong> song;
        // Borrows the song's events; declared after the song, so it goes first.
        std::unique_ptr<midiTrack> track;
        SongTimeline timeline;
        bool dynamics = false; // velocities from the series
    };
    std::shared_ptr<Played> played_;
    SongTimeline noTimeline_;
};

} // namespace sorvelin
