#include "midi/Mididata.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace sorvelin {
namespace {

struct Shape {
    int kind;
    int time;
    int key; // key for notes, control for control changes
    int channel;
    int duration;
    bool operator==(const Shape&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Shape& s) {
    return out << "{kind " << s.kind << " t " << s.time << " key " << s.key << " ch " << s.channel
               << " dur " << s.duration << "}";
}

Shape ShapeOf(const anyEvent* event) {
    Shape shape{event->Kind(), event->time, 0, event->status & 0x0F, 0};
    if (const auto* note = dynamic_cast<const NoteOnEvent*>(event)) {
        shape.key = note->key;
        shape.duration = note->duration;
    } else if (const auto* control = dynamic_cast<const ControlChangeEvent*>(event)) {
        shape.key = control->control;
    }
    return shape;
}

std::vector<Shape> Shapes(const midiTrack& track) {
    std::vector<Shape> shapes;
    for (int i = 0; i < track.Count(); ++i) {
        shapes.push_back(ShapeOf(track.EventAt(i)));
    }
    return shapes;
}

TEST(NoteForms, ExpandAddsEachNoteOffOnceInEventOrder) {
    midiSong song;
    midiTrack track(&song, 1, "");
    track.AddEvent(new NoteOnEvent(480, 0x93, 60, 100, 432), true, true);
    track.AddEvent(new NoteOnEvent(600, 0x93, 64, 90, 60), true, true);
    track.AddEvent(new ControlChangeEvent(660, 0xB3, 7, 100), true, true);
    track.AddEvent(new NoteOnEvent(700, 0x93, 67, 90, -50), true, true);
    track.ExpandNoteOffs();
    track.ExpandNoteOffs();
    // The note-off of the negative duration falls before its note; the one at
    // 660 was made after the control change at 660 and follows it.
    const std::vector<Shape> expanded = {
        {6, 480, 60, 3, 432}, {6, 600, 64, 3, 60},  {7, 650, 67, 3, 0}, {5, 660, 7, 3, 0},
        {7, 660, 64, 3, 0},   {6, 700, 67, 3, -50}, {7, 912, 60, 3, 0},
    };
    EXPECT_EQ(Shapes(track), expanded);
    EXPECT_FALSE(track.collapsed);
    EXPECT_EQ(track.lastTime, 912);
    EXPECT_EQ(static_cast<const NoteOnEvent*>(track.EventAt(6))->status, 0x93);
}

// Whatever order the list was in, the expanded list is in the event order and
// holds one note-off per sounding note, at the note's end.
TEST(NoteForms, ExpandedListIsInEventOrder) {
    std::mt19937 random(5);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        midiSong song;
        midiTrack track(&song, 1, "");
        int notes = 0;
        for (int i = 0; i < 100; ++i) {
            const int time = static_cast<int>(random() % 60);
            const bool keepOrder = round % 3 != 0;
            if (random() % 2 == 0) {
                track.AddEvent(new NoteOnEvent(time, 0x90, 60, 100, static_cast<int>(random() % 9)),
                               keepOrder, false);
                ++notes;
            } else {
                track.AddEvent(new ControlChangeEvent(time, 0xB0, 7, 1), keepOrder, false);
            }
        }
        track.ExpandNoteOffs();
        ASSERT_EQ(track.Count(), 100 + notes);
        for (int i = 1; i < track.Count(); ++i) {
            ASSERT_TRUE(EventOrder(track.EventAt(i - 1), track.EventAt(i))) << i;
        }
        track.CollapseNoteOffs();
        EXPECT_EQ(track.Count(), 100);
    }
}

TEST(NoteForms, ExpandThenCollapseRestoresDurations) {
    midiSong song;
    midiTrack track(&song, 1, "");
    const std::vector<Shape> notes = {
        {6, 0, 60, 0, 27},  {6, 0, 64, 0, 0},   {6, 30, 60, 1, 120},
        {6, 30, 62, 0, 57}, {6, 90, 60, 0, 27}, {6, 91, 72, 15, 1000},
    };
    for (const Shape& n : notes) {
        track.AddEvent(new NoteOnEvent(n.time, static_cast<std::uint8_t>(0x90 | n.channel),
                                       static_cast<std::uint8_t>(n.key), 100, n.duration),
                       true, true);
    }
    track.CollapseNoteOffs(); // already collapsed: nothing changes
    EXPECT_EQ(Shapes(track), notes);
    track.ExpandNoteOffs();
    EXPECT_EQ(track.Count(), 12);
    track.CollapseNoteOffs();
    EXPECT_TRUE(track.collapsed);
    EXPECT_EQ(Shapes(track), notes);
}

TEST(NoteForms, CollapseWithoutMatchingNoteOff) {
    midiSong song;
    midiTrack track(&song, 1, "");
    track.collapsed = false;
    track.lastTime = 5000;
    const auto add = [&track](anyEvent* event) { track.Add(event); };
    add(new NoteOnEvent(0, 0x90, 60, 0));          // note-off before any note: deleted
    add(new NoteOnEvent(10, 0x90, 59, 100));       // ends at the All Notes Off of channel 0
    add(new NoteOnEvent(20, 0x91, 61, 100));       // no mute on channel 1: lastTime
    add(new ControlChangeEvent(30, 0xB1, 7, 0));   // not a mute
    add(new NoteOnEvent(40, 0x92, 62, 100));       // ends at All Sound Off of channel 2
    add(new ControlChangeEvent(50, 0xB2, 120, 0)); // All Sound Off
    add(new ControlChangeEvent(60, 0xB0, 123, 0)); // All Notes Off
    add(new NoteOnEvent(70, 0x90, 60, 100));       // takes the note-off below
    add(new NoteOnEvent(75, 0x91, 60, 0));         // other channel: deleted
    add(new NoteOnEvent(80, 0x90, 60, 0));
    track.CollapseNoteOffs();
    const std::vector<Shape> expected = {
        {6, 10, 59, 0, 50}, {6, 20, 61, 1, 4980}, {5, 30, 7, 1, 0},   {6, 40, 62, 2, 10},
        {5, 50, 120, 2, 0}, {5, 60, 123, 0, 0},   {6, 70, 60, 0, 10},
    };
    EXPECT_EQ(Shapes(track), expected);
}

// The collapse rule as a scan per note, straight from its definition.
void NaiveCollapse(std::vector<std::unique_ptr<anyEvent>>& list, int lastTime) {
    const auto findOff = [&list](std::size_t from, const NoteOnEvent& note) {
        for (std::size_t j = from; j < list.size(); ++j) {
            const auto* e = list[j].get();
            if (e && e->Kind() == 7 && e->EventChannel() == note.EventChannel() &&
                static_cast<const NoteOnEvent*>(e)->key == note.key) {
                return static_cast<long>(j);
            }
        }
        return -1L;
    };
    const auto findMute = [&list](std::size_t from, int channel) {
        for (std::size_t j = from; j < list.size(); ++j) {
            const auto* e = dynamic_cast<const ControlChangeEvent*>(list[j].get());
            if (e && (e->status & 0x0F) == channel && (e->control == 120 || e->control == 123)) {
                return static_cast<long>(j);
            }
        }
        return -1L;
    };
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!list[i] || list[i]->Kind() != 6) {
            continue;
        }
        auto* note = static_cast<NoteOnEvent*>(list[i].get());
        if (const long j = findOff(i + 1, *note); j >= 0) {
            note->duration = list[j]->time - note->time;
            list[j].reset();
        } else if (const long k = findMute(i + 1, note->status & 0x0F); k >= 0) {
            note->duration = list[k]->time - note->time;
        } else {
            note->duration = lastTime - note->time;
        }
    }
    std::erase_if(list, [](const auto& e) { return !e || e->Kind() == 7; });
}

TEST(NoteForms, CollapseMatchesTheScanPerNote) {
    std::mt19937 random(11);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        midiSong song;
        midiTrack track(&song, 1, "");
        track.collapsed = false;
        track.lastTime = 10000;
        std::vector<std::unique_ptr<anyEvent>> naive;
        const int count = static_cast<int>(random() % 80);
        int time = 0;
        for (int i = 0; i < count; ++i) {
            time += static_cast<int>(random() % 5);
            const auto channel = static_cast<std::uint8_t>(random() % 3);
            const auto key = static_cast<std::uint8_t>(60 + random() % 3);
            const unsigned what = random() % 10;
            const std::uint8_t mute = random() % 2 ? 120 : 123;
            const auto make = [&]() -> std::unique_ptr<anyEvent> {
                if (what < 4) {
                    return std::make_unique<NoteOnEvent>(time, 0x90 | channel, key, 100, 7);
                }
                if (what < 8) {
                    return std::make_unique<NoteOnEvent>(time, 0x90 | channel, key, 0);
                }
                if (what < 9) {
                    return std::make_unique<ControlChangeEvent>(time, 0xB0 | channel, mute);
                }
                return std::make_unique<ControlChangeEvent>(time, 0xB0 | channel, 7, 90);
            };
            track.Add(make());
            naive.push_back(make());
        }
        track.CollapseNoteOffs();
        NaiveCollapse(naive, 10000);
        std::vector<Shape> expected;
        for (const auto& e : naive) {
            expected.push_back(ShapeOf(e.get()));
        }
        ASSERT_EQ(Shapes(track), expected);
    }
}

} // namespace
} // namespace sorvelin
