#include "base/Errors.h"
#include "midi/Mididata.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace sorvelin {
namespace {

std::vector<const anyEvent*> Entries(const midiTrack& track) {
    std::vector<const anyEvent*> list;
    for (int i = 0; i < track.Count(); ++i) {
        list.push_back(track.EventAt(i));
    }
    return list;
}

TEST(Track, NameAndStartState) {
    midiSong song;
    const midiTrack unnamed(&song, 3, "");
    const midiTrack named(&song, 3, "Lead");
    EXPECT_EQ(unnamed.name, "Track3");
    EXPECT_EQ(named.name, "Lead");
    EXPECT_TRUE(unnamed.collapsed);
    EXPECT_EQ(unnamed.lastTime, 0);
    EXPECT_EQ(unnamed.Count(), 0);
    EXPECT_TRUE(unnamed.endEvent.IsTrackEnd());
    EXPECT_EQ(unnamed.endEvent.time, 0);
}

TEST(Track, AddEventGoesAfterEveryEventOfItsTime) {
    midiSong song;
    midiTrack track(&song, 1, "");
    // (time, expected index returned)
    const std::pair<int, int> adds[] = {{100, 0}, {50, 0}, {100, 2}, {0, 0},
                                        {100, 4}, {50, 2}, {200, 6}, {75, 3}};
    std::vector<anyEvent*> made;
    for (const auto& [time, index] : adds) {
        auto* event = new ControlChangeEvent(time, 0xB0);
        made.push_back(event);
        EXPECT_EQ(track.AddEvent(event, true, false), index) << "time " << time;
    }
    const std::vector<const anyEvent*> expected = {made[3], made[1], made[5], made[7],
                                                   made[0], made[2], made[4], made[6]};
    EXPECT_EQ(Entries(track), expected);
    EXPECT_EQ(track.AddEvent(std::make_unique<TempoEvent>(10), false, false), 0);
    EXPECT_EQ(track.EventAt(8)->time, 10); // appended as it came
}

TEST(Track, AddEventFillsPositionLogAndLastTime) {
    midiSong song;
    midiTrack track(&song, 1, "");
    auto* note = new NoteOnEvent(300, 0x90, 60, 100, 500);
    track.AddEvent(note, true, true);
    track.AddEvent(std::make_unique<NoteOnEvent>(500, 0x90, 62, 100, 100), true, false);
    track.AddEvent(std::make_unique<NoteOnEvent>(900, 0x90, 62, 0, 5000), true, true);
    EXPECT_EQ(note->bar, 0);
    EXPECT_EQ(note->beat, 2);
    EXPECT_EQ(note->tick, 60);
    EXPECT_EQ(track.EventAt(1)->bar, 2);
    EXPECT_EQ(track.EventAt(1)->beat, 0);
    EXPECT_EQ(track.EventAt(1)->tick, 20);
    // A note-off does not count towards the latest note end.
    EXPECT_EQ(track.lastTime, 800);
    ASSERT_EQ(track.changeLog.size(), 2u);
    EXPECT_EQ(track.changeLog[0], "+," + std::to_string(reinterpret_cast<std::uintptr_t>(note)));
    EXPECT_EQ(track.changeLog.Lines()[1],
              "+," + std::to_string(reinterpret_cast<std::uintptr_t>(track.EventAt(2))));
    EXPECT_THROW(track.changeLog[2], IndexError);
}

// The placement of AddEvent must be that of a scan from the first entry for
// the first later event, event for event and index for index, whatever the
// order of arrival: runs in time order (merging tracks), random times, and
// lists taken out of time order by Insert.
class NaiveTrack {
public:
    int Add(const anyEvent* event) {
        std::size_t at = 0;
        while (at < list.size() && list[at]->time <= event->time) {
            ++at;
        }
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), event);
        return static_cast<int>(at);
    }
    std::vector<const anyEvent*> list;
};

TEST(Track, PlacementMatchesAScanFromTheStart) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        midiSong song;
        midiTrack track(&song, 0, "", EventOwnership::Borrowed);
        NaiveTrack naive;
        std::vector<std::unique_ptr<anyEvent>> events;
        const int runs = 1 + static_cast<int>(random() % 6);
        for (int run = 0; run < runs; ++run) {
            int time = static_cast<int>(random() % 50);
            const int length = static_cast<int>(random() % 60);
            const bool sorted = random() % 3 != 0;
            for (int i = 0; i < length; ++i) {
                time = sorted ? time + static_cast<int>(random() % 4)
                              : static_cast<int>(random() % 200);
                events.push_back(std::make_unique<ControlChangeEvent>(time, 0xB0));
                const int expected = naive.Add(events.back().get());
                ASSERT_EQ(track.AddEvent(events.back().get(), true, false), expected);
                if (random() % 17 == 0) {
                    ASSERT_EQ(Entries(track), naive.list); // a read in between
                }
            }
            if (round % 5 == 4 && run == 0) {
                // An entry out of time order: later placements scan.
                events.push_back(std::make_unique<ControlChangeEvent>(1000, 0xB0));
                track.Insert(0, events.back().get());
                naive.list.insert(naive.list.begin(), events.back().get());
            }
        }
        EXPECT_EQ(Entries(track), naive.list);
    }
}

TEST(Track, ListOperations) {
    midiSong song;
    midiTrack track(&song, 1, "");
    for (const int time : {0, 10, 20, 30}) {
        track.Add(new ControlChangeEvent(time, 0xB0));
    }
    EXPECT_THROW(track.Get(4), IndexError);
    EXPECT_THROW(track.EventAt(-1), IndexError);
    EXPECT_THROW(track.Insert(6, new ControlChangeEvent(0, 0xB0)), IndexError);

    track.Put(1, nullptr); // destroys the owned event
    EXPECT_EQ(track.Count(), 4);
    EXPECT_EQ(track.EventAt(1), nullptr);
    EXPECT_EQ(track.FindKind(0, kindControlChange), 0);
    EXPECT_EQ(track.FindKind(1, kindControlChange), 2);
    // While a null entry is present placement scans past it.
    EXPECT_EQ(track.AddEvent(new ControlChangeEvent(15, 0xB0), true, false), 2);
    track.Pack();
    ASSERT_EQ(track.Count(), 4);
    std::vector<int> times;
    for (int i = 0; i < track.Count(); ++i) {
        times.push_back(track.EventAt(i)->time);
    }
    EXPECT_EQ(times, (std::vector<int>{0, 15, 20, 30}));

    track.Sort([](const anyEvent* a, const anyEvent* b) { return a->time > b->time; });
    EXPECT_EQ(track.EventAt(0)->time, 30);
    EXPECT_EQ(track.AddEvent(new ControlChangeEvent(25, 0xB0), true, false), 0);

    track.Clear();
    EXPECT_EQ(track.Count(), 0);
}

// A borrowing track never destroys the events it points at; the note-offs it
// makes are its own and go when it is emptied. The sanitizer run checks that
// nothing leaks and nothing is destroyed twice.
TEST(Track, BorrowingTrackKeepsOnlyItsOwnNoteOffs) {
    midiSong song;
    auto* part = song.tracks.Add(std::make_unique<midiTrack>(&song, 1, ""));
    part->AddEvent(new NoteOnEvent(0, 0x90, 60, 100, 30), true, true);
    part->AddEvent(new NoteOnEvent(0, 0x90, 0, 0), true, true); // a stored note-off
    midiTrack play(&song, 0, "", EventOwnership::Borrowed);
    for (int round = 0; round < 2; ++round) {
        play.Clear();
        for (int i = 0; i < part->Count(); ++i) {
            play.AddEvent(part->EventAt(i), true, true);
        }
        play.collapsed = true;
        play.ExpandNoteOffs();
        ASSERT_EQ(play.Count(), 3);
        EXPECT_FALSE(play.Owns(0));
        EXPECT_TRUE(play.Owns(2));
    }
    play.CollapseNoteOffs(); // drops the borrowed note-off without destroying it
    EXPECT_EQ(play.Count(), 1);
    EXPECT_EQ(part->Count(), 2);
    EXPECT_EQ(part->EventAt(1)->Kind(), kindNoteOff);
    play.ClearEvents();
    EXPECT_EQ(part->EventAt(0)->Kind(), kindNoteOn);
}

} // namespace
} // namespace sorvelin
