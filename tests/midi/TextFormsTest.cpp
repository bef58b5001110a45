#include "midi/Mididata.h"

#include <gtest/gtest.h>

#include <memory>

namespace sorvelin {
namespace {

TEST(TextForms, Describe) {
    midiSong song;
    midiTrack track(&song, 1, "", EventOwnership::Borrowed);
    NoteOnEvent note(0, 0x90, 60, 100, 432);
    NoteOnEvent off(0, 0x90, 60, 0);
    NoteOnEvent low(0, 0x9A, 1, 7, 12345);
    PitchBendEvent centre(0, 0xEF, 8192);
    PitchBendEvent down(0, 0xE0, 0);
    ProgramChangeEvent program(0, 0xC1, 5);
    ControlChangeEvent volume(0, 0xB0, 7, 100);
    ControlChangeEvent reset(0, 0xB3, 121, 0);
    MIDIEvent plain(0, 0xA2);
    TempoEvent tempo(0);
    tempo.SetTempo(500000);
    TempoEvent fast(0);
    fast.SetTempo(999);
    metaEvent meta(0, 0x01);
    meta.SetText("ab");
    trackNameEvent name(0);
    name.SetText("Part 1");
    trackEndEvent end(480);
    track.AddEvent(&end, true, false);
    sysexEvent sysex(1000);
    sysex.bytes = {0x41, 0x10, 0xF7};
    song.songLength = 2000;
    song.RebuildBarTable();
    track.AddEvent(&sysex, true, false);

    const std::pair<const anyEvent*, std::string> cases[] = {
        {&note, "Chn = 01 Note ON:Key 060[ C 4] Vel = 100 Dur = 0432"},
        {&off, "Chn = 01 Note OFF(Vel = 0):Key 060[ C 4]"},
        {&low, "Chn = 11 Note ON:Key 001[C#-1] Vel = 007 Dur = 12345"},
        {&centre, "Chn = 16 PitchBend:Value     0 "},
        {&down, "Chn = 01 PitchBend:Value -8192 "},
        {&program, "Chn = 02 Prog Chg:Prog No   5 Electric Piano2"},
        {&volume, "Chn = 01 Ctrl Chg:Data 100 Main Volume(7)"},
        {&reset, "Chn = 04 Ctrl Chg:Data   0 Rset All Controller(121)"},
        {&plain, "Chn = 03 "},
        {song.gmSystemOn.get(), "00000000 001:01:000 Sysex:Length     5= 7E 7F 09 01 F7 "},
        {&tempo, "00000000 001:01:000 Tempo = 500000 usec/beat"},
        {&fast, "00000000 001:01:000 Tempo =  999 usec/beat"},
        {&meta, "00000000 001:01:000 Meta Event:Type = 1 61 62 "},
        {&name, "00000000 001:01:000 Part 1"},
        // With no song length the bar grid ends at 480: time 480 is in bar 3.
        {&end, "000001E0 003:01:000 Track end: "},
        {&sysex, "000003E8 003:01:040 Sysex:Length     3= 41 10 F7 "},
    };
    for (const auto& [event, text] : cases) {
        EXPECT_EQ(event->Describe(), text);
    }
}

TEST(TextForms, DataText) {
    TempoEvent tempo(0);
    tempo.SetData({0x07, 0xA1, 0x20});
    trackNameEvent name(0);
    name.SetText("Part 16");
    metaEvent empty(0, 0x7F);
    EXPECT_EQ(tempo.DataText(), "7 161 32 ");
    EXPECT_EQ(name.DataText(), "Part 16");
    EXPECT_EQ(empty.DataText(), "");
    EXPECT_EQ(trackEndEvent(0).DataText(), "");
    EXPECT_EQ(NoteOnEvent(0, 0x90).DataText(), "");
}

} // namespace
} // namespace sorvelin
