#include "base/Errors.h"
#include "midi/Mididata.h"

#include "midi/MidiTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace sorvelin {
namespace {

using test::Hex;

const char* const header1 = "4D 54 68 64 00 00 00 06 00 01 00 01 00 78";
const char* const conductorChunk =
    "4D 54 72 6B 00 00 00 13 00 F0 05 7E 7F 09 01 F7 00 FF 51 03 07 A1 20 00 FF 2F 00";

// The conductor track as a rendered song has it: one tempo of 500000 at 0.
midiTrack* AddConductor(midiSong& song) {
    auto* conductor = song.tracks.Add(std::make_unique<midiTrack>(&song, 0, ""));
    auto tempo = std::make_unique<TempoEvent>(0);
    tempo->SetTempo(500000);
    conductor->AddEvent(std::move(tempo), true, true);
    return conductor;
}

std::string Written(midiSong& song) {
    std::ostringstream out;
    song.WriteSmf(out);
    return out.str();
}

TEST(SmfWriter, ConductorOnlySongIs41Bytes) {
    midiSong song;
    AddConductor(song);
    const std::string file = Written(song);
    EXPECT_EQ(file.size(), 41u);
    EXPECT_EQ(Hex(file), std::string(header1) + " " + conductorChunk);
}

// However often the song is saved, its files are equal and carry General
// MIDI System On once, at the start of the first track.
TEST(SmfWriter, RepeatedSavesGiveTheSameFile) {
    midiSong song;
    AddConductor(song);
    auto* part = song.tracks.Add(std::make_unique<midiTrack>(&song, 1, ""));
    part->AddEvent(new NoteOnEvent(480, 0x90, 60, 100, 432), true, true);
    const std::string first = Written(song);
    const std::string second = Written(song);
    const std::string third = Written(song);
    EXPECT_EQ(second, first);
    EXPECT_EQ(third, first);
    EXPECT_EQ(Hex(first).find("F0 05 7E 7F 09 01 F7"), Hex(first).rfind("F0 05 7E 7F 09 01 F7"));
    EXPECT_EQ(song.tracks.TrackAt(0)->EventAt(0), song.gmSystemOn.get());
    // After a write every track is collapsed again with an empty change log.
    for (int i = 0; i < song.tracks.Count(); ++i) {
        EXPECT_TRUE(song.tracks.TrackAt(i)->collapsed);
        EXPECT_TRUE(song.tracks.TrackAt(i)->changeLog.empty());
    }
    EXPECT_EQ(part->Count(), 1);
    EXPECT_EQ(static_cast<const NoteOnEvent*>(part->EventAt(0))->duration, 432);
    // Emptying the conductor track leaves the song's message alive.
    song.tracks.TrackAt(0)->ClearEvents();
    EXPECT_EQ(song.gmSystemOn->bytes.size(), 5u);
    EXPECT_EQ(Hex(Written(song)).substr(42, 59),
              "4D 54 72 6B 00 00 00 0C 00 F0 05 7E 7F 09 01 F7 00 FF 2F 00");
}

TEST(SmfWriter, TrackChunks) {
    struct Case {
        const char* what;
        void (*fill)(midiTrack&);
        const char* chunk;
    };
    const Case cases[] = {
        {"no events", [](midiTrack&) {}, "4D 54 72 6B 00 00 00 04 00 FF 2F 00"},
        {"overlapping notes share one status, note-offs included",
         [](midiTrack& t) {
             t.AddEvent(new NoteOnEvent(0, 0x90, 60, 100, 60), true, true);
             t.AddEvent(new NoteOnEvent(30, 0x90, 62, 100, 60), true, true);
         },
         "4D 54 72 6B 00 00 00 11 00 90 3C 64 1E 3E 64 1E 3C 00 1E 3E 00 00 FF 2F 00"},
        {"a note at 480 for 432 ticks",
         [](midiTrack& t) { t.AddEvent(new NoteOnEvent(480, 0x95, 60, 100, 432), true, true); },
         "4D 54 72 6B 00 00 00 0D 83 60 95 3C 64 83 30 3C 00 00 FF 2F 00"},
        {"a channel event after a meta or system exclusive event carries its status",
         [](midiTrack& t) {
             t.AddEvent(new ControlChangeEvent(0, 0xB0, 7, 100), true, true);
             auto* text = new metaEvent(10, 0x01);
             text->SetText("x");
             t.AddEvent(text, true, true);
             t.AddEvent(new ControlChangeEvent(20, 0xB0, 7, 80), true, true);
             auto* sysex = new sysexEvent(20);
             sysex->bytes = {0x01, 0xF7};
             t.AddEvent(sysex, true, true);
             t.AddEvent(new ControlChangeEvent(20, 0xB0, 10, 64), true, true);
             t.AddEvent(new ControlChangeEvent(20, 0xB1, 10, 64), true, true);
             t.AddEvent(new PitchBendEvent(21, 0xE1, 8192), true, true);
             t.AddEvent(new ProgramChangeEvent(21, 0xC1, 5), true, true);
             t.AddEvent(new ProgramChangeEvent(22, 0xC1, 6), true, true);
         },
         "4D 54 72 6B 00 00 00 27 00 B0 07 64 0A FF 01 01 78 0A B0 07 50 00 F0 02 01 F7 "
         "00 B0 0A 40 00 B1 0A 40 01 E1 00 40 00 C1 05 01 06 00 FF 2F 00"},
        {"events of status 0 are left out and the end follows the last event",
         [](midiTrack& t) {
             t.AddEvent(new MIDIEvent(5, 0), true, true);
             t.AddEvent(new ControlChangeEvent(9, 0xB0, 1, 2), true, true);
             t.endEvent.time = 5000;
         },
         "4D 54 72 6B 00 00 00 08 09 B0 01 02 00 FF 2F 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        midiSong song;
        AddConductor(song);
        auto* part = song.tracks.Add(std::make_unique<midiTrack>(&song, 1, ""));
        c.fill(*part);
        const std::string file = Hex(Written(song));
        const std::string head = "4D 54 68 64 00 00 00 06 00 01 00 02 00 78 ";
        ASSERT_EQ(file.substr(0, head.size()), head);
        EXPECT_EQ(file.substr(head.size()), std::string(conductorChunk) + " " + c.chunk);
    }
}

TEST(SmfWriter, NothingRenderedIsRefusedBeforeWriting) {
    midiSong song;
    std::ostringstream out;
    try {
        song.WriteSmf(out);
        FAIL() << "an empty song was written";
    } catch (const UserError& error) {
        EXPECT_STREQ(error.what(), "nothing has been rendered yet");
    }
    EXPECT_TRUE(out.str().empty());
}

// A device that takes fewer bytes than the file has, or cannot go back to
// fill in a track length, makes the write fail instead of reporting success.
TEST(SmfWriter, AStreamThatFailsIsAnError) {
    for (const std::size_t limit : {0, 1, 13, 14, 20, 22, 40}) {
        SCOPED_TRACE(limit);
        midiSong song;
        AddConductor(song);
        test::LimitedBuffer device(limit, true);
        std::ostream out(&device);
        EXPECT_THROW(song.WriteSmf(out), FileError);
        EXPECT_TRUE(song.tracks.TrackAt(0)->collapsed);
    }
    midiSong song;
    AddConductor(song);
    test::LimitedBuffer exact(41, true);
    std::ostream out(&exact);
    song.WriteSmf(out);
    EXPECT_EQ(Hex(exact.Bytes()), std::string(header1) + " " + conductorChunk);

    test::LimitedBuffer pipe(1000, false);
    std::ostream toPipe(&pipe);
    EXPECT_THROW(song.WriteSmf(toPipe), FileError);
}

} // namespace
} // namespace sorvelin
