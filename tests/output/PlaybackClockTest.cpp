// MIDI clock with the song, and entering a song at a position, against the
// capture output on a hand-driven timer: every time is exact.
#include "support/PlaybackTestSupport.h"

#include <gtest/gtest.h>

#include "output/ClockFollow.h"

#include <optional>
#include <random>

using namespace sorvelin;
using namespace sorvelin::testing;
using namespace std::chrono_literals;

namespace {

bool IsSync(const Bytes& m) {
    return m[0] == kMidiClock || m[0] == kMidiStart || m[0] == kMidiStop || m[0] == kMidiContinue ||
           m[0] == kSongPosition;
}

} // namespace

// Clock on: SPP 0 and Start before anything of the song, a clock every
// 1/24 quarter note at the song's tempo from its first tick (the lead-in
// bar) to its last moment, running on across a loop's seam, and Stop at the
// end or at Stop. Clock off: not one of these bytes.
TEST(PlaybackClock, FollowsTheSongsTempoFromItsFirstTickToItsEnd) {
    struct Case {
        const char* name;
        bool clock;
        int tempo;
        std::optional<PlaybackLoop> loop;
        std::size_t clocks; // clocks sent before Stop
    };
    const Case cases[] = {
        {"off", false, 500000, std::nullopt, 0},
        // The last moment is the note-off at 960: clocks 0..192 (960 / 5).
        {"120 bpm", true, 500000, std::nullopt, 193},
        {"90 bpm", true, 666667, std::nullopt, 193},
        // Stopped before 6 s at 150 bpm: clocks 0..359 (16.667 ms apart),
        // through three seams of a pass 421 ticks long.
        {"a loop at 150 bpm", true, 400000, PlaybackLoop{479, 900}, 360},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSong s;
        s.Tempo(0, c.tempo);
        s.Control(0, 0, 7, 90);
        for (int k = 0; k < 4; ++k) {
            s.Note(480 + k * 120, 0, 60 + k, 120);
        }
        Bench b;
        b.engine.SetSendClock(c.clock);
        ASSERT_EQ(b.output.Open(0), kMidiOk);
        b.engine.StartPlayback(s.play, c.loop);
        while (b.timer.NextDue() - b.start < 5990ms && b.timer.RunNext()) {
        }
        EXPECT_EQ(b.engine.IsPlaying(), c.loop.has_value());
        b.engine.StopPlayback();

        const auto messages = b.capture.Messages();
        std::vector<double> clocks;
        std::vector<Bytes> others;
        for (const CapturedMessage& m : messages) {
            if (m.bytes[0] == kMidiClock) {
                clocks.push_back(b.At(m));
            } else if (IsSync(m.bytes)) {
                others.push_back(m.bytes);
            }
        }
        ASSERT_EQ(clocks.size(), c.clocks);
        if (!c.clock) {
            EXPECT_TRUE(others.empty());
            continue;
        }
        const Bytes start = {kSongPosition, 0, 0};
        ASSERT_GE(messages.size(), 3u);
        EXPECT_EQ(messages[0].bytes, start);
        EXPECT_EQ(messages[1].bytes, Bytes{kMidiStart});
        EXPECT_EQ(others, (std::vector<Bytes>{start, {kMidiStart}, {kMidiStop}}));
        const double period = c.tempo / 24.0 / 1000.0;
        for (std::size_t k = 0; k < clocks.size(); ++k) {
            ASSERT_NEAR(clocks[k], k * period, 1e-3) << "clock " << k;
        }
    }
}

// Entered at a position: what was set up before it is sent at once, no note
// that began before it, and the song goes on from there at the entry's
// tempo; with clock on, the pointer says where and Continue follows.
TEST(PlaybackClock, ASongEnteredMidwayStartsAtTheNoteDueThere) {
    TestSong s;
    s.Tempo(0, 500000);
    s.Control(0, 0, 7, 90);
    for (int k = 0; k < 8; ++k) {
        s.Note(480 + k * 60, 0, 60 + k, 90); // overlapping notes
    }
    Bench b;
    b.engine.SetSendClock(true);
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    // Tick 600 due 100 ms after the bench's start, at 90 beats per minute.
    b.engine.StartPlaybackAt(s.play, {600, b.start + 100ms, 666667});
    b.timer.RunAll();
    EXPECT_FALSE(b.engine.IsPlaying());
    std::vector<Bytes> before;
    std::vector<std::pair<int, double>> ons;
    for (const CapturedMessage& m : b.capture.Messages()) {
        if (m.bytes[0] == 0x90 && m.bytes[2] != 0) {
            ons.emplace_back(m.bytes[1], b.At(m));
        } else if (ons.empty() && m.bytes[0] != kMidiClock) {
            before.push_back(m.bytes);
        }
    }
    // The note at 600 is the third; the one at 540 still sounding is left out.
    EXPECT_EQ(before, (std::vector<Bytes>{{0xB0, 7, 90}, {kSongPosition, 20, 0}, {kMidiContinue}}));
    ASSERT_EQ(ons.size(), 6u);
    const double perTick = 666.667 / 120.0;
    for (std::size_t k = 0; k < ons.size(); ++k) {
        EXPECT_EQ(ons[k].first, 62 + static_cast<int>(k));
        EXPECT_NEAR(ons[k].second, 100 + k * 60 * perTick, 1e-2) << "note " << k;
    }
}

// An incoming clock at 100 bpm, each clock off by up to 1 ms at random:
// Start enters the song on the first clock, the notes keep the clock's
// tempo with far less than its jitter, the tempo is within 0.5 % after 2 s,
// and a clock silent for half a second stops the song.
TEST(ClockFollow, AJitteredClockGivesSteadyNotesAtItsTempo) {
    TestSong s;
    s.Tempo(0, 500000); // the song's own 120 bpm gives way to the clock's
    for (int k = 0; k < 64; ++k) {
        s.Note(480 + k * 30, 0, 40 + k % 40, 30);
    }
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    ClockFollower follower(b.engine);
    follower.SetTrackSource([&s] { return s.play; });
    std::mt19937 random(30);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    const double period = 60.0 / 100 / 24 * 1000; // ms
    follower.Take({kMidiStart, 0, b.start});
    int tempoAfter2s = 0;
    const int clocks = 6 * 40; // 6 s
    for (int k = 0; k < clocks; ++k) {
        const auto at = b.Moment(10 + k * period + jitter(random));
        b.RunUntil(at);
        follower.Take({kMidiClock, 0, at});
        if (k == 80) {
            tempoAfter2s = follower.Estimate().Tempo();
        }
    }
    EXPECT_NEAR(tempoAfter2s, 600000, 600000 * 0.005);
    // Silence: the song stops half a second after the last clock, not before.
    const auto last = b.Moment(10 + (clocks - 1) * period);
    b.RunUntil(last + std::chrono::milliseconds(400));
    EXPECT_EQ(follower.Idle(b.timer.Now()), ClockFollower::Change::None);
    EXPECT_TRUE(b.engine.IsPlaying());
    b.RunUntil(last + std::chrono::milliseconds(600));
    EXPECT_EQ(follower.Idle(b.timer.Now()), ClockFollower::Change::Stopped);
    EXPECT_FALSE(b.engine.IsPlaying());

    // Note k is due 4 beats + k sixteenths after the first clock at 100 bpm.
    std::vector<double> ons;
    for (const CapturedMessage& m : b.capture.Messages()) {
        if (m.bytes[0] == 0x90 && m.bytes[2] != 0) {
            ons.push_back(b.At(m));
        }
    }
    ASSERT_GE(ons.size(), 20u);
    double worst = 0;
    for (std::size_t k = 0; k < ons.size(); ++k) {
        const double due = 10 + (96 + 6 * static_cast<double>(k)) * period;
        if (due > 2000) { // the estimate has settled
            worst = std::max(worst, std::abs(ons[k] - due));
        }
    }
    EXPECT_LT(worst, 0.3) << "ms from the clock's exact beat";
}
