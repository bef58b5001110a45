// The song as a format 1 Standard MIDI File: one MTrk chunk per track, delta
// times, running status, the General MIDI System On at the start of the first
// track and an end of track closing every chunk.
#include "base/Errors.h"
#include "midi/SmfIo.h"
#include "midi/Song.h"
#include "midi/Track.h"

namespace sorvelin {
namespace {

void CheckStream(const std::ostream& out) {
    if (!out) {
        throw FileError("The MIDI file could not be written completely");
    }
}

} // namespace

void midiSong::WriteHeader(std::ostream& out) const {
    out.write("MThd", 4);
    WriteBE32(out, 6);
    WriteBE16(out, 1); // format 1 whatever the number of tracks
    WriteBE16(out, static_cast<std::uint16_t>(tracks.Count()));
    WriteBE16(out, division);
}

void midiSong::WriteSmf(std::ostream& out) {
    if (tracks.Count() == 0) {
        throw UserError("nothing has been rendered yet");
    }
    CheckStream(out);
    WriteHeader(out);
    // The message stays in track 0 after the write; one that an earlier
    // write left there is not added again, so every file carries it once.
    midiTrack* first = tracks.Get(0);
    bool present = false;
    for (int i = 0; i < first->Count() && !present; ++i) {
        present = first->EventAt(i) == gmSystemOn.get();
    }
    if (!present) {
        first->AddBorrowed(gmSystemOn.get());
    }
    for (int i = 0; i < tracks.Count(); ++i) {
        tracks.Get(i)->WriteTrack(out);
    }
    out.flush();
    CheckStream(out);
}

void midiTrack::WriteTrack(std::ostream& out) {
    ExpandNoteOffs();
    try {
        out.write("MTrk", 4);
        CheckStream(out);
        const std::streamoff lengthAt = out.tellp();
        if (lengthAt < 0) {
            throw FileError("The MIDI file could not be written: its stream cannot go back "
                            "to fill in a track length");
        }
        WriteBE32(out, 0); // the length, filled in below
        std::uint8_t running = 0;
        std::int32_t previous = 0;
        for (const EventSlot& slot : entries_) {
            const anyEvent* event = slot.get();
            if (event == nullptr || event->status == 0) {
                continue;
            }
            WriteVarLen(out, static_cast<std::uint32_t>(event->time - previous));
            // System exclusive and meta events always carry their status and
            // end the running status of channel messages.
            if (event->status != running || (event->status & 0xF0) == 0xF0) {
                WriteByte(out, event->status);
                running = event->status;
            }
            event->Write(out);
            previous = event->time;
        }
        // The end of track follows the last event at once, whatever its time.
        WriteVarLen(out, 0);
        WriteByte(out, endEvent.status);
        endEvent.Write(out);
        CheckStream(out);
        const std::streamoff endAt = out.tellp();
        out.seekp(lengthAt);
        WriteBE32(out, static_cast<std::uint32_t>(endAt - lengthAt - 4));
        out.seekp(endAt);
        CheckStream(out);
    } catch (...) {
        CollapseNoteOffs();
        throw;
    }
    CollapseNoteOffs();
    changeLog.clear();
}

} // namespace sorvelin
