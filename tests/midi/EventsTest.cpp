#include "base/Errors.h"
#include "midi/Mididata.h"

#include "midi/MidiTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

namespace sorvelin {
namespace {

using test::Hex;

std::string Payload(const anyEvent& event) {
    std::ostringstream out;
    event.Write(out);
    return Hex(out.str());
}

TEST(Events, NegativeTimeIsStoredAsZero) {
    NoteOnEvent note(-5, 0x90);
    sysexEvent sysex(-1);
    TempoEvent tempo(-480);
    EXPECT_EQ(note.time, 0);
    EXPECT_EQ(sysex.time, 0);
    EXPECT_EQ(tempo.time, 0);
    EXPECT_EQ(NoteOnEvent(7, 0x90).time, 7);
}

TEST(Events, EachNewEventTakesTheNextId) {
    const std::int32_t before = NextEventId;
    ControlChangeEvent a(0, 0xB0);
    trackEndEvent b(0);
    sysexEvent c(0);
    EXPECT_EQ(a.id, before);
    EXPECT_EQ(b.id, before + 1);
    EXPECT_EQ(c.id, before + 2);
    EXPECT_EQ(NextEventId, before + 3);
}

TEST(Events, EqualTimesKeepCreationOrderAfterSort) {
    std::vector<std::unique_ptr<anyEvent>> made;
    for (const int time : {30, 0, 30, 10, 0, 30}) {
        made.push_back(std::make_unique<NoteOnEvent>(time, 0x90));
    }
    std::vector<const anyEvent*> order;
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        order.push_back(it->get());
    }
    std::sort(order.begin(), order.end(), EventOrder);
    const std::vector<const anyEvent*> expected = {made[1].get(), made[4].get(), made[3].get(),
                                                   made[0].get(), made[2].get(), made[5].get()};
    EXPECT_EQ(order, expected);
}

TEST(Events, KindCodesAndChannels) {
    NoteOnEvent sounding(0, 0x93, 60, 100);
    NoteOnEvent off(0, 0x93, 60, 0);
    struct Case {
        const anyEvent* event;
        int kind;
        int channel;
        bool trackEnd;
    };
    MIDIEvent plain(0, 0xA2);
    ControlChangeEvent control(0, 0xBF);
    ProgramChangeEvent program(0, 0xC1);
    PitchBendEvent bend(0, 0xE4);
    metaEvent meta(0, 0x01);
    TempoEvent tempo(0);
    trackEndEvent end(0);
    trackNameEvent name(0);
    sysexEvent sysex(0);
    const Case cases[] = {
        {&plain, 1, 2, false},    {&sounding, 6, 3, false}, {&off, 7, 3, false},
        {&control, 5, 15, false}, {&program, 10, 1, false}, {&bend, 9, 4, false},
        {&meta, 2, -1, false},    {&tempo, 14, -1, false},  {&end, 2, -1, true},
        {&name, 13, -1, false},   {&sysex, 3, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event->Describe());
        EXPECT_EQ(c.event->Kind(), c.kind);
        EXPECT_EQ(c.event->EventChannel(), c.channel);
        EXPECT_EQ(c.event->IsTrackEnd(), c.trackEnd);
    }
    EXPECT_EQ(meta.status, 0xFF);
    EXPECT_EQ(tempo.type, 0x51);
    EXPECT_EQ(end.type, 0x2F);
    EXPECT_EQ(name.type, 0x03);
    EXPECT_EQ(sysex.status, 0xF0);
}

TEST(Events, PayloadsAsWritten) {
    TempoEvent tempo(0);
    tempo.SetTempo(500000);
    sysexEvent sysex(0);
    sysex.bytes = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
    metaEvent empty(0, 0x7F);
    const std::pair<std::unique_ptr<anyEvent>, std::string> cases[] = {
        {std::make_unique<NoteOnEvent>(0, 0x90, 60, 100), "3C 64"},
        {std::make_unique<ControlChangeEvent>(0, 0xB0, 10, 64), "0A 40"},
        {std::make_unique<ProgramChangeEvent>(0, 0xC0, 5), "05"},
        {std::make_unique<PitchBendEvent>(0, 0xE0, 8192), "00 40"},
        {std::make_unique<PitchBendEvent>(0, 0xE0, 16383), "7F 7F"},
        {std::make_unique<PitchBendEvent>(0, 0xE0, 4096 + 3), "03 20"},
        {std::make_unique<MIDIEvent>(0, 0xA0), ""},
    };
    for (const auto& [event, bytes] : cases) {
        EXPECT_EQ(Payload(*event), bytes) << event->Describe();
    }
    EXPECT_EQ(Payload(tempo), "51 03 07 A1 20");
    EXPECT_EQ(Payload(sysex), "05 7E 7F 09 01 F7");
    EXPECT_EQ(Payload(empty), "7F 00");
}

TEST(Events, MetaTextAndValue) {
    trackNameEvent name(0);
    EXPECT_EQ(name.SetText("Part1"), 5);
    EXPECT_EQ(name.length(), 5);
    EXPECT_EQ(std::string(name.data.begin(), name.data.end()), "Part1");
    EXPECT_EQ(name.SetText(""), 0);
    EXPECT_TRUE(name.data.empty());

    TempoEvent tempo(0);
    tempo.SetData({0x07, 0xA1, 0x20});
    EXPECT_EQ(tempo.DataValue(), 500000);
    tempo.SetTempo(1000000);
    EXPECT_EQ(Hex(std::string(tempo.data.begin(), tempo.data.end())), "0F 42 40");
    EXPECT_EQ(metaEvent(0, 1).DataValue(), 0);
}

// What Write produces, Parse reads back; a note-on of velocity 0 becomes a
// note-off (0x9n -> 0x8n).
TEST(Events, ParseReadsWhatWriteWrote) {
    NoteOnEvent note(0, 0x92, 64, 0);
    PitchBendEvent bend(0, 0xE0, 1234);
    metaEvent meta(0, 0x05);
    meta.SetText("lyric");
    sysexEvent sysex(0);
    sysex.bytes = {1, 2, 3, 0xF7};
    std::ostringstream out;
    note.Write(out);
    bend.Write(out);
    meta.Write(out);
    sysex.Write(out);
    const std::string text = out.str();
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());

    NoteOnEvent note2(0, 0x92);
    PitchBendEvent bend2(0, 0xE0);
    metaEvent meta2(0, 0);
    sysexEvent sysex2(0);
    std::size_t at = note2.Parse(bytes, 0);
    at = bend2.Parse(bytes, at);
    at = meta2.Parse(bytes, at);
    at = sysex2.Parse(bytes, at);
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(note2.key, 64);
    EXPECT_EQ(note2.status, 0x82);
    EXPECT_EQ(bend2.bend, 1234);
    EXPECT_EQ(meta2.type, 0x05);
    EXPECT_EQ(meta2.data, meta.data);
    EXPECT_EQ(sysex2.bytes, sysex.bytes);
}

TEST(Events, ParseRefusesATruncatedPayload) {
    const std::vector<std::uint8_t> shortNote = {60};
    NoteOnEvent note(0, 0x90);
    EXPECT_THROW(note.Parse(shortNote, 0), IndexError);
    const std::vector<std::uint8_t> shortMeta = {0x03, 0x05, 'a', 'b'};
    metaEvent meta(0, 0);
    EXPECT_THROW(meta.Parse(shortMeta, 0), IndexError);
    const std::vector<std::uint8_t> shortSysex = {0x83};
    sysexEvent sysex(0);
    EXPECT_THROW(sysex.Parse(shortSysex, 0), IndexError);
}

} // namespace
} // namespace sorvelin
