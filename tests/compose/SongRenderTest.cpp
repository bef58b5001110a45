#include "compose/SongRender.h"

#include "base/Errors.h"
#include "midi/Mididata.h"

#include <gtest/gtest.h>

using namespace sorvelin;

namespace {

constexpr int Limit = 200;

// "<time> <kind> <data>" for every event of a track.
std::vector<std::string> Layout(const midiTrack& track) {
    std::vector<std::string> texts;
    for (int i = 0; i < track.Count(); ++i) {
        const anyEvent* e = track.EventAt(i);
        std::string text = std::to_string(e->time) + " ";
        if (const auto* cc = dynamic_cast<const ControlChangeEvent*>(e)) {
            text += "cc" + std::to_string(e->status & 15) + " " + std::to_string(cc->control) +
                    "=" + std::to_string(cc->value);
        } else if (const auto* pc = dynamic_cast<const ProgramChangeEvent*>(e)) {
            text += "pc" + std::to_string(e->status & 15) + " " + std::to_string(pc->program);
        } else if (const auto* name = dynamic_cast<const trackNameEvent*>(e)) {
            text += "name " + name->DataText();
        } else if (const auto* bend = dynamic_cast<const PitchBendEvent*>(e)) {
            text += "bend" + std::to_string(e->status & 15) + " " + std::to_string(bend->bend);
        } else if (const auto* note = dynamic_cast<const NoteOnEvent*>(e)) {
            text += "note" + std::to_string(e->status & 15) + " " + std::to_string(note->key);
        } else {
            text += "kind " + std::to_string(e->Kind());
        }
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::int32_t> Series(int perPart, std::int32_t value) {
    return std::vector<std::int32_t>(static_cast<std::size_t>(16 * perPart), value);
}

} // namespace

TEST(SongRender, DefaultPartsGiveConductorAndTwoPartTracks) {
    ComposeModel compose;
    const std::vector<std::int32_t> series = Series(200, 7);
    const auto song = RenderSong(compose, DefaultPartSettings(), series, Limit);
    ASSERT_EQ(song->tracks.Count(), 3);
    const std::vector<std::string> conductor = Layout(*song->tracks.TrackAt(0));
    EXPECT_EQ(conductor, std::vector<std::string>{"0 kind 14"});

    const std::vector<std::string> part1 = Layout(*song->tracks.TrackAt(1));
    const std::vector<std::string> head1(part1.begin(), part1.begin() + 10);
    EXPECT_EQ(head1,
              (std::vector<std::string>{"0 name Part 1", "8 cc0 0=0", "9 cc0 32=0", "10 pc0 0",
                                        "15 cc0 10=64", "50 cc0 100=0", "65 cc0 101=0",
                                        "80 cc0 6=2", "479 bend0 8192", "480 note0 60"}));
    // 200 equal values: one note lengthened to the length limit, then divided.
    EXPECT_EQ(part1.back(), "6600 bend0 8192");

    const std::vector<std::string> part2 = Layout(*song->tracks.TrackAt(2));
    const std::vector<std::string> head2(part2.begin(), part2.begin() + 8);
    EXPECT_EQ(head2, (std::vector<std::string>{"0 name Part 2", "10 cc1 0=0", "11 cc1 32=0",
                                               "12 pc1 5", "17 cc1 10=97", "52 cc1 100=0",
                                               "67 cc1 101=0", "82 cc1 6=2"}));
}

TEST(SongRender, TracksKeepTheirPartNumbersAndChannels) {
    ComposeModel compose;
    PartSettingsTable parts = DefaultPartSettings();
    parts[1].UsePart = false;
    parts[4].UsePart = true;
    parts[4].Channel = 9;
    parts[4].Octave = 1;
    const std::vector<std::int32_t> series = Series(4, 0);
    const auto song = RenderSong(compose, parts, series, Limit);
    ASSERT_EQ(song->tracks.Count(), 3);
    const std::vector<std::string> part5 = Layout(*song->tracks.TrackAt(2));
    EXPECT_EQ(part5[0], "0 name Part 5");
    EXPECT_EQ(part5[1], "16 cc9 0=0");
    EXPECT_EQ(part5[9], "480 note9 60"); // 48 an octave up
}

TEST(SongRender, NoPartUsedLeavesOnlyTheConductor) {
    ComposeModel compose;
    PartSettingsTable parts = DefaultPartSettings();
    for (PartSettings& part : parts) {
        part.UsePart = false;
    }
    const auto song = RenderSong(compose, parts, Series(10, 3), Limit);
    EXPECT_EQ(song->tracks.Count(), 1);
    EXPECT_EQ(MergePlayTrack(*song)->Count(), 1);
}

TEST(SongRender, PlayTrackMergesInTimeOrderWithTiesInTrackOrder) {
    ComposeModel compose;
    const auto song = RenderSong(compose, DefaultPartSettings(), Series(5, 7), Limit);
    const auto play = MergePlayTrack(*song);
    int total = 0;
    for (int t = 0; t < song->tracks.Count(); ++t) {
        total += song->tracks.TrackAt(t)->Count();
    }
    ASSERT_EQ(play->Count(), total);
    const std::vector<std::string> merged = Layout(*play);
    EXPECT_EQ((std::vector<std::string>(merged.begin(), merged.begin() + 6)),
              (std::vector<std::string>{"0 kind 14", "0 name Part 1", "0 name Part 2", "8 cc0 0=0",
                                        "9 cc0 32=0", "10 pc0 0"}));
    for (int i = 1; i < play->Count(); ++i) {
        EXPECT_LE(play->EventAt(i - 1)->time, play->EventAt(i)->time);
    }
    // Both parts strike their first note at 480: part 1 first.
    const auto first = std::find(merged.begin(), merged.end(), "480 note0 60");
    ASSERT_NE(first, merged.end());
    EXPECT_EQ(*(first + 1), "480 note1 60");
}

TEST(SongRender, TwoRendersOfOneStateGiveTheSameFile) {
    ComposeModel compose;
    std::vector<std::int32_t> series = Series(50, 0);
    for (std::size_t i = 0; i < series.size(); ++i) {
        series[i] = static_cast<std::int32_t>((i * 7919) % 201);
    }
    RenderedSong first;
    RenderedSong second;
    first.Render(compose, DefaultPartSettings(), series, Limit);
    second.Render(compose, DefaultPartSettings(), series, Limit);
    const std::string bytes = first.MidiFileBytes();
    EXPECT_EQ(bytes, second.MidiFileBytes());
    second.Render(compose, DefaultPartSettings(), series, Limit);
    EXPECT_EQ(bytes, second.MidiFileBytes());
    EXPECT_EQ(bytes, first.MidiFileBytes()); // a second save writes the same
}

TEST(SongRender, ConductorTempoFollowsTheBeatsPerMinute) {
    struct Case {
        int bpm;
        std::string tempo; // the three data bytes of the tempo meta event
    };
    const Case cases[] = {
        {120, "\x07\xA1\x20"}, {90, "\x0A\x2C\x2A"}, {20, "\x2D\xC6\xC0"}, {300, "\x03\x0D\x40"}};
    const std::vector<std::int32_t> series = Series(20, 7);
    for (const Case& c : cases) {
        ComposeModel compose;
        compose.TempoBpm = c.bpm;
        RenderedSong song;
        song.Render(compose, DefaultPartSettings(), series, Limit);
        const std::string bytes = song.MidiFileBytes();
        // One tempo meta event (0x51, three data bytes), in the conductor track.
        const std::string meta("\xFF\x51\x03", 3);
        const std::size_t at = bytes.find(meta);
        ASSERT_NE(at, std::string::npos) << c.bpm;
        EXPECT_LT(at, bytes.find("MTrk", bytes.find("MTrk") + 4)) << c.bpm;
        EXPECT_EQ(bytes.substr(at + meta.size(), 3), c.tempo) << c.bpm;
        EXPECT_EQ(bytes.find(meta, at + 1), std::string::npos) << c.bpm;
    }
}

TEST(SongRender, FailedRenderKeepsThePreviousSong) {
    ComposeModel compose;
    RenderedSong rendered;
    EXPECT_THROW(rendered.MidiFileBytes(), UserError);

    const std::vector<std::int32_t> series = Series(4, 9);
    rendered.Render(compose, DefaultPartSettings(), series, Limit);
    const std::string before = rendered.MidiFileBytes();
    midiSong* song = rendered.Song();

    compose.Controls.LongLimit = "48O";
    EXPECT_THROW(rendered.Render(compose, DefaultPartSettings(), series, Limit), ConvertError);
    EXPECT_EQ(rendered.Song(), song);
    EXPECT_EQ(rendered.MidiFileBytes(), before);

    PartSettingsTable parts = DefaultPartSettings();
    parts[1].Channel = 16;
    compose.Controls.LongLimit = "480";
    EXPECT_THROW(rendered.Render(compose, parts, series, Limit), UserError);
    EXPECT_EQ(rendered.MidiFileBytes(), before);
}

// The timeline names the first used part, the tick each of its series values
// was taken at, and the end one step after the song's last note; the play
// position and the loop read it.
TEST(SongRender, TimelineTellsWhichSeriesValueIsUnderWay) {
    struct Case {
        const char* name;
        int iterationLimit; // over the limit: rest or skip
        bool firstPartUsed;
        int part;
        std::vector<int> steps; // start of each value, in steps after tick 480
    };
    const Case cases[] = {
        {"a rest takes its step", LimitRest, true, 0, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"a skipped value takes no time", LimitSkip, true, 0, {0, 1, 2, 3, 3, 4, 5, 6}},
        {"the first used part", LimitRest, false, 1, {0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComposeModel compose;
        compose.Controls.IterationLimit = c.iterationLimit;
        compose.Rhythm.RhythmTicks = {60};
        PartSettingsTable parts = DefaultPartSettings();
        parts[0].UsePart = c.firstPartUsed;
        parts[1].UsePart = true;
        std::vector<std::int32_t> series = Series(8, 0);
        const std::vector<std::int32_t> row{5, 9, 9, Limit, 3, 7, 7, 7};
        std::copy(row.begin(), row.end(), series.begin() + 8 * c.part);
        RenderedSong song;
        song.Render(compose, parts, series, Limit);
        const SongTimeline& timeline = song.Timeline();
        EXPECT_EQ(timeline.part, c.part);
        std::vector<std::int32_t> times;
        for (const int step : c.steps) {
            times.push_back(480 + 60 * step);
        }
        EXPECT_EQ(timeline.stepTimes, times);
        // Part 2's eight values of 0 end at 960 unless part 1 runs longer.
        EXPECT_EQ(timeline.end, std::max(960, 480 + 60 * (c.steps.back() + 1)));
        const SongLoop loop = LoopOf(timeline);
        EXPECT_EQ(loop.from, 479);
        EXPECT_EQ(loop.to, timeline.end - 1);
        EXPECT_EQ(StepAt(timeline, 479), -1);
        for (int i = 0; i < 8; ++i) {
            // A value that took no time gives way to the next.
            const bool skipped = i + 1 < 8 && c.steps[i + 1] == c.steps[i];
            EXPECT_EQ(StepAt(timeline, times[i] + 30), skipped ? i + 1 : i) << i;
        }
    }
    EXPECT_EQ(LoopOf(SongTimeline{}).to, LoopOf(SongTimeline{}).from);
}
