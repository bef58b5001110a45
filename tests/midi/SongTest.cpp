#include "base/Errors.h"
#include "midi/Mididata.h"

#include <gtest/gtest.h>

#include <memory>

namespace sorvelin {
namespace {

TEST(Song, StartState) {
    const midiSong song;
    EXPECT_EQ(song.division, 120);
    EXPECT_EQ(song.songLength, 0);
    EXPECT_EQ(song.tracks.Count(), 0);
    EXPECT_EQ(song.gmSystemOn->time, 0);
    EXPECT_EQ(song.gmSystemOn->status, 0xF0);
    EXPECT_EQ(song.gmSystemOn->bytes, (std::vector<std::uint8_t>{0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(song.barStarts, (std::vector<std::int32_t>{0, 480, 480}));
    EXPECT_THROW(song.tracks.TrackAt(0), IndexError);
}

TEST(Song, BarTableFollowsSongLength) {
    midiSong song;
    song.songLength = 960;
    song.RebuildBarTable();
    EXPECT_EQ(song.barStarts, (std::vector<std::int32_t>{0, 480, 960, 1440, 1440}));
    song.songLength = 959;
    song.RebuildBarTable();
    EXPECT_EQ(song.barStarts, (std::vector<std::int32_t>{0, 480, 960, 960}));
}

TEST(Song, TimeToPosition) {
    midiSong song;
    struct Case {
        int length, time, bar, beat, tick;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0},        {0, 300, 0, 2, 60},    {0, 479, 0, 3, 119}, {0, 480, 2, 0, 0},
        {0, 500, 2, 0, 20},     {0, 5000, 2, 37, 80},  {960, 480, 1, 0, 0}, {960, 1000, 2, 0, 40},
        {960, 1439, 2, 3, 119}, {960, 2000, 4, 4, 80},
    };
    for (const Case& c : cases) {
        song.songLength = c.length;
        song.RebuildBarTable();
        std::int32_t bar = -1, beat = -1, tick = -1;
        song.TimeToPosition(c.time, bar, beat, tick);
        EXPECT_EQ(bar, c.bar) << c.length << " " << c.time;
        EXPECT_EQ(beat, c.beat) << c.length << " " << c.time;
        EXPECT_EQ(tick, c.tick) << c.length << " " << c.time;
    }
}

TEST(Song, TempoAtReadsTheConductorTrack) {
    midiSong song;
    EXPECT_EQ(song.TempoAt(0), 500000); // nothing rendered yet
    auto* conductor = song.tracks.Add(std::make_unique<midiTrack>(&song, 0, ""));
    EXPECT_EQ(song.TempoAt(100), 500000);
    auto tempo = std::make_unique<TempoEvent>(0);
    tempo->SetData({0x07, 0xA1, 0x20});
    conductor->AddEvent(std::move(tempo), true, true);
    auto slower = std::make_unique<TempoEvent>(960);
    slower->SetTempo(1000000);
    conductor->AddEvent(std::move(slower), true, true);
    auto late = std::make_unique<TempoEvent>(960);
    late->SetTempo(250000);
    conductor->AddEvent(std::move(late), true, true);
    EXPECT_EQ(song.TempoAt(0), 500000);
    EXPECT_EQ(song.TempoAt(959), 500000);
    EXPECT_EQ(song.TempoAt(960), 250000); // the last one of its time wins
    EXPECT_EQ(song.tempo, 250000);
    // Tempo events of other tracks do not count.
    auto* part = song.tracks.Add(std::make_unique<midiTrack>(&song, 1, ""));
    part->AddEvent(std::make_unique<TempoEvent>(0), true, true);
    EXPECT_EQ(song.TempoAt(10), 500000);
}

// The playback track as "Play" builds it: every event of every track in time
// order, equal times in track order; the note-off expansion then orders equal
// times by creation.
TEST(Song, MergedPlaybackTrack) {
    midiSong song;
    midiTrack play(&song, 0, "", EventOwnership::Borrowed);
    EXPECT_EQ(play.name, "Track0");
    std::vector<midiTrack*> parts;
    for (int n = 0; n < 3; ++n) {
        parts.push_back(song.tracks.Add(std::make_unique<midiTrack>(&song, n, "")));
    }
    // (track, time), in creation order
    const std::pair<int, int> made[] = {{2, 10}, {0, 10}, {1, 0}, {1, 10}, {0, 0}, {2, 0}, {2, 5}};
    std::vector<const anyEvent*> events;
    for (const auto& [track, time] : made) {
        auto* event = new ControlChangeEvent(time, 0xB0);
        events.push_back(event);
        parts[static_cast<std::size_t>(track)]->AddEvent(event, true, true);
    }
    for (int t = 0; t < song.tracks.Count(); ++t) {
        const midiTrack* track = song.tracks.TrackAt(t);
        for (int i = 0; i < track->Count(); ++i) {
            play.AddEvent(track->EventAt(i), true, true);
        }
    }
    const auto order = [&play] {
        std::vector<const anyEvent*> list;
        for (int i = 0; i < play.Count(); ++i) {
            list.push_back(play.EventAt(i));
        }
        return list;
    };
    EXPECT_EQ(order(), (std::vector<const anyEvent*>{events[4], events[2], events[5], events[6],
                                                     events[1], events[3], events[0]}));
    play.collapsed = true;
    play.ExpandNoteOffs();
    EXPECT_EQ(order(), (std::vector<const anyEvent*>{events[2], events[4], events[5], events[6],
                                                     events[0], events[1], events[3]}));
    EXPECT_EQ(play.changeLog.size(), 7u);
}

TEST(Song, TracksOwnTheirEvents) {
    midiSong song;
    for (int n = 0; n < 3; ++n) {
        auto* track = song.tracks.Add(std::make_unique<midiTrack>(&song, n, ""));
        track->AddEvent(new NoteOnEvent(n, 0x90, 60, 100, 10), true, true);
        track->AddEvent(std::make_unique<trackNameEvent>(0), true, true);
    }
    EXPECT_EQ(song.tracks.TrackAt(2)->name, "Track2");
    song.tracks.TrackAt(0)->ClearEvents();
    EXPECT_EQ(song.tracks.TrackAt(0)->Count(), 0);
    song.tracks.Clear(); // the sanitizer run checks the rest is released
    EXPECT_EQ(song.tracks.Count(), 0);
}

} // namespace
} // namespace sorvelin
