// Keeping in time with a studio over JACK, against a real server on the
// dummy driver: MIDI clock out to the frame, following the transport's
// start, relocate, stop and its timebase master's tempo, and leading that
// tempo. A "studio" client records what reaches it and reads, starts and
// moves the transport as a DAW would.
#include "support/JackStudio.h"

#include "output/ClockFollow.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "output/TransportFollow.h"
#include "support/PlaybackTestSupport.h"

#include <jack/transport.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <set>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

// Frames the steady-clock-to-frame mapping may be off by (about 0.7 ms).
constexpr std::int32_t kMappingSlack = 32;

// The frames of `ticks` at `bpm` from the song's start.
jack_nframes_t FramesOfTicks(double ticks, double bpm) {
    return static_cast<jack_nframes_t>(std::llround(ticks / 120.0 * 60.0 / bpm * kJackRate));
}

// Polls the follower as the window's timer would, for `span`, calling
// `during` with the time passed on each look.
void Follow(TransportFollower& follower, std::chrono::milliseconds span,
            const std::function<void(std::chrono::milliseconds)>& during = {}) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const auto passed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        if (passed >= span) {
            return;
        }
        if (during) {
            during(passed);
        }
        follower.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

// Sorvelin's JACK output and its playback, the studio, and a recorder of
// what sorvelin:midi_out sends.
struct Rig {
    Rig() : output(service), engine(output, timer) {}
    bool Open() {
        return output.Service().NumDevs() == 1 && output.Open(0) == kMidiOk && studio.Ready() &&
               recorder.Connect("sorvelin:midi_out");
    }
    HandedOver service;
    OutputHandle output;
    ThreadTimer timer;
    PlaybackEngine engine;
    Studio studio;
    JackRecorder recorder;
};

// Waits until nothing more reaches the recorder: a server that fell behind
// on a loaded machine plays the last messages later.
void Settle(const JackRecorder& recorder) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::size_t count = recorder.Count();
    do {
        count = recorder.Count();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    } while (recorder.Count() != count && std::chrono::steady_clock::now() < limit);
}

std::vector<RecordedMessage> NoteOns(const std::vector<RecordedMessage>& messages) {
    std::vector<RecordedMessage> ons;
    for (const RecordedMessage& m : messages) {
        if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0) {
            ons.push_back(m);
        }
    }
    return ons;
}

} // namespace

// Each clock lands on its own frame, the first at the song's first frame
// and clock k exactly k x (24ths of a quarter) later, to the frame; the song's
// first note falls on the clock of its beat; SPP 0 and Start come first and
// Stop after the last clock. A clock the timer handed over later than the
// output's latency allows cannot be on time; those are counted, and few.
TEST(JackSync, ClockOutIsFrameExactAtTheSongsTempo) {
    JackServer server;
    ASSERT_TRUE(server.Running());
    for (const int tempo : {500000, 666667}) {
        SCOPED_TRACE(tempo);
        Rig rig;
        ASSERT_TRUE(rig.Open());
        TestSong song;
        song.Tempo(0, tempo);
        song.Note(480, 0, 60, 60);
        song.Note(540, 0, 62, 60);
        rig.engine.SetSendClock(true);
        rig.engine.StartPlayback(song.play);
        while (rig.engine.IsPlaying()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // A server that fell behind on a loaded machine plays the last
        // clocks later: wait for the Stop.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        const auto stopped = [&rig] {
            const auto messages = rig.recorder.Messages();
            return !messages.empty() && messages.back().bytes[0] == kMidiStop;
        };
        while (!stopped() && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(rig.output.Close(), kMidiOk);

        const std::vector<RecordedMessage> got = rig.recorder.Messages();
        ASSERT_GE(got.size(), 3u);
        EXPECT_EQ(got[0].Bytes(), (Bytes{kSongPosition, 0, 0}));
        EXPECT_EQ(got[1].Bytes(), Bytes{kMidiStart});
        EXPECT_EQ(got[2].Bytes(), Bytes{kMidiClock});
        std::vector<std::size_t> clocks;
        std::size_t stopAt = 0;
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (got[i].bytes[0] == kMidiClock) {
                clocks.push_back(i);
            } else if (got[i].bytes[0] == kMidiStop) {
                stopAt = i;
            }
        }
        ASSERT_EQ(clocks.size(), 600u / 5 + 1) << "clocks from tick 0 to the end at 600";
        EXPECT_GT(stopAt, clocks.back());
        // Clock k - 1 to clock k: k x the frames of a clock, rounded, less
        // (k - 1) x them, to the frame. A clock the timer handed over too late
        // on a loaded machine, or the server's clock stalling, breaks the
        // grid; that may happen a few times, never often.
        const double framesPerClock = tempo / 1e6 / 24.0 * kJackRate;
        int off = 0;
        for (std::size_t k = 1; k < clocks.size(); ++k) {
            const auto due =
                std::llround(k * framesPerClock) - std::llround((k - 1) * framesPerClock);
            const auto gap =
                static_cast<std::int32_t>(got[clocks[k]].frame - got[clocks[k - 1]].frame);
            off += std::abs(gap - due) > 1 ? 1 : 0;
        }
        EXPECT_LE(off, 6) << "clock gaps off the grid among " << clocks.size();
        // The notes ride the clock's line: the first (tick 480) on clock 96's
        // frame, the second (540) on clock 108's.
        const std::vector<RecordedMessage> ons = NoteOns(got);
        ASSERT_EQ(ons.size(), 2u);
        for (const auto& [on, clock] : {std::pair{0, 96}, std::pair{1, 108}}) {
            const auto apart = static_cast<std::int32_t>(ons[on].frame - got[clocks[clock]].frame);
            EXPECT_LE(std::abs(apart), 1) << "note " << on;
        }
    }
}

// The transport drives Play: its start plays the first note within one
// period of the transport frame it is due at; a relocate mid-song silences
// what sounded and enters at the note due at the new position; a DAW's
// loop, relocating back each turn, re-enters each time; its stop ends
// the song.
TEST(JackSync, FollowsTheTransportsStartRelocateAndStop) {
    JackServer server;
    ASSERT_TRUE(server.Running());
    Rig rig;
    ASSERT_TRUE(rig.Open());
    rig.studio.Rewind();
    TestSong song;
    song.Tempo(0, 500000);
    song.Control(0, 0, 7, 90);
    for (int k = 0; k < 64; ++k) {
        song.Note(480 + k * 60, 0, 40 + k, 90); // each still sounding when the next starts
    }
    TransportFollower follower(rig.engine, rig.output);
    follower.SetTrackSource([&song] { return song.play; });
    std::atomic<int> ends{0};
    rig.engine.SetPlayEndHandler([&ends](void*) { ++ends; }, nullptr);

    // Rolls from 0; at 2.6 s moved to between the notes at 1500 and 1560; at
    // 3.3 s and 4.0 s back to it again (a loop); stopped at 4.6 s.
    const jack_nframes_t moveTo = FramesOfTicks(1530, 120);
    std::vector<std::chrono::milliseconds> moves = {std::chrono::milliseconds(2600),
                                                    std::chrono::milliseconds(3300),
                                                    std::chrono::milliseconds(4000)};
    jack_transport_start(rig.studio.Client());
    Follow(follower, std::chrono::milliseconds(4600), [&](std::chrono::milliseconds passed) {
        if (!moves.empty() && passed >= moves.front()) {
            moves.erase(moves.begin());
            jack_transport_locate(rig.studio.Client(), moveTo);
        }
    });
    jack_transport_stop(rig.studio.Client());
    Follow(follower, std::chrono::milliseconds(100));
    EXPECT_FALSE(rig.engine.IsPlaying());
    EXPECT_EQ(ends.load(), 1);
    rig.engine.ClearPlayEndHandler();
    Settle(rig.recorder);
    const std::vector<RecordedMessage> got = rig.recorder.Messages();
    ASSERT_EQ(rig.output.Close(), kMidiOk);

    // The first note, tick 480, within one period of its transport frame.
    const std::vector<RecordedMessage> ons = NoteOns(got);
    ASSERT_FALSE(ons.empty());
    EXPECT_EQ(ons[0].bytes[1], 40);
    const std::optional<jack_nframes_t> due = rig.studio.FrameOfTransport(FramesOfTicks(480, 120));
    ASSERT_TRUE(due.has_value());
    const auto late = static_cast<std::int32_t>(ons[0].frame - *due);
    EXPECT_GE(late, -kMappingSlack);
    EXPECT_LE(late, static_cast<std::int32_t>(kJackPeriod));

    // Each entry: a silencing of all 16 channels, then the note at 1560
    // (key 58) first; the notes that sounded at the move never come back.
    int entries = 0;
    std::set<int> sounding;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const Bytes m = got[i].Bytes();
        if ((m[0] & 0xF0) == 0x90 && m[2] != 0) {
            sounding.insert(m[1]);
        } else if ((m[0] & 0xF0) == 0x80 || ((m[0] & 0xF0) == 0x90 && m[2] == 0)) {
            sounding.erase(m[1]);
        } else if (m == Bytes{0xB0, 120, 0}) {
            ++entries;
            sounding.clear();
            std::size_t next = i;
            while (next < got.size() &&
                   !((got[next].bytes[0] & 0xF0) == 0x90 && got[next].bytes[2] != 0)) {
                ++next;
            }
            if (entries <= 3) {
                ASSERT_LT(next, got.size());
                EXPECT_EQ(got[next].bytes[1], 58) << "entry " << entries;
            }
        }
    }
    EXPECT_EQ(entries, 4) << "three entries and the stop";
    EXPECT_TRUE(sounding.empty());
}

// The same tempo, both ways: with a DAW leading at 90 or 150 beats per
// minute the song plays at its tempo, not its own 120; with Sorvelin
// leading, the DAW reads that tempo in the transport, and the role goes back
// when released.
TEST(JackSync, TheTimebaseMastersTempoIsFollowedAt90And150) {
    JackServer server;
    ASSERT_TRUE(server.Running());
    for (const double bpm : {90.0, 150.0}) {
        SCOPED_TRACE(bpm);
        Rig rig;
        ASSERT_TRUE(rig.Open());
        rig.studio.Rewind();
        ASSERT_TRUE(rig.studio.LeadTempo(bpm));
        TestSong song;
        song.Tempo(0, 500000);
        for (int k = 0; k < 16; ++k) {
            song.Note(480 + k * 30, 0, 60 + k, 30);
        }
        TransportFollower follower(rig.engine, rig.output);
        follower.SetTrackSource([&song] { return song.play; });
        jack_transport_start(rig.studio.Client());
        Follow(follower, std::chrono::milliseconds(static_cast<int>(4 * 60000 / bpm) + 1400));
        jack_transport_stop(rig.studio.Client());
        Follow(follower, std::chrono::milliseconds(50));
        rig.studio.StopLeading();
        Settle(rig.recorder);
        const std::vector<RecordedMessage> ons = NoteOns(rig.recorder.Messages());
        ASSERT_GE(ons.size(), 8u);
        // A sixteenth at the master's tempo, from one note to the next.
        const double step = 60.0 / bpm / 4.0 * kJackRate;
        for (std::size_t k = 1; k < 8; ++k) {
            EXPECT_NEAR(static_cast<double>(ons[k].frame - ons[k - 1].frame), step, 2.0)
                << "note " << k;
        }
        const std::optional<jack_nframes_t> due =
            rig.studio.FrameOfTransport(FramesOfTicks(480, bpm));
        ASSERT_TRUE(due.has_value());
        const auto late = static_cast<std::int32_t>(ons[0].frame - *due);
        EXPECT_GE(late, -kMappingSlack);
        EXPECT_LE(late, static_cast<std::int32_t>(kJackPeriod));

        // Now Sorvelin leads at that tempo.
        rig.studio.Rewind();
        bool master = false;
        const int tempo = static_cast<int>(std::lround(60e6 / bpm));
        rig.output.WithTransport([&](MidiTransport& transport) {
            master = transport.BecomeTimebaseMaster({tempo, 120, 4});
            transport.StartRolling();
        });
        ASSERT_TRUE(master);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        rig.output.WithTransport([](MidiTransport& transport) { transport.ReleaseTimebase(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        jack_transport_stop(rig.studio.Client());
        const std::vector<Studio::Cycle> cycles = rig.studio.Cycles();
        int led = 0;
        for (const Studio::Cycle& c : cycles) {
            if (c.rolling && c.bpm > 0) {
                EXPECT_NEAR(c.bpm, 60e6 / tempo, 1e-9);
                ++led;
            }
        }
        EXPECT_GT(led, 20) << "the DAW read Sorvelin's tempo while it rolled";
        EXPECT_EQ(cycles.back().bpm, 0.0) << "the role was given back";
        ASSERT_EQ(rig.output.Close(), kMidiOk);
    }
}

// A DAW's clock at 100 bpm into sorvelin:midi_in, each clock up to 1 ms off
// at random: Start enters the song, its notes come a sixteenth of 100 bpm
// apart with far less than the clock's jitter, and the clock falling
// silent for half a second stops the song.
TEST(JackSync, FollowsAJitteredClockIn) {
    JackServer server;
    ASSERT_TRUE(server.Running());
    Rig rig;
    ASSERT_TRUE(rig.Open());
    ASSERT_EQ(jack_connect(rig.studio.Client(), "studio:out", "sorvelin:midi_in"), 0);
    TestSong song;
    song.Tempo(0, 500000);
    for (int k = 0; k < 48; ++k) { // longer than the clock runs
        song.Note(480 + k * 30, 0, 40 + k, 30);
    }
    ClockFollower follower(rig.engine);
    follower.SetTrackSource([&song] { return song.play; });
    rig.output.WithTransport([](MidiTransport& transport) { transport.KeepToTransport(true); });
    std::mt19937 random(100);
    std::uniform_real_distribution<double> jitter(-48.0, 48.0); // 1 ms
    const jack_nframes_t base = jack_frame_time(rig.studio.Client()) + kJackRate / 5;
    std::vector<Studio::Timed> clocks = {{base, {kMidiStart}}};
    constexpr int kClocks = 24 * 10; // ten beats, 6 s
    for (int k = 0; k < kClocks; ++k) {
        clocks.push_back(
            {base + static_cast<jack_nframes_t>(std::lround(k * 1200.0 + 48 + jitter(random))),
             {kMidiClock}});
    }
    rig.studio.Send(std::move(clocks));
    bool stopped = false;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(12);
    while (!stopped && std::chrono::steady_clock::now() < limit) {
        std::vector<SyncMessage> in;
        rig.output.WithTransport([&in](MidiTransport& transport) { transport.ReadSync(in); });
        for (const SyncMessage& m : in) {
            follower.Take(m);
        }
        stopped = rig.studio.SendDone() &&
                  follower.Idle(std::chrono::steady_clock::now()) == ClockFollower::Change::Stopped;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    EXPECT_TRUE(stopped) << "half a second without a clock stops the song";
    EXPECT_FALSE(rig.engine.IsPlaying());
    EXPECT_NEAR(follower.Estimate().Tempo(), 600000, 3000);
    Settle(rig.recorder);
    const std::vector<RecordedMessage> ons = NoteOns(rig.recorder.Messages());
    // Ten beats of clock: the lead-in bar, then 24 sixteenths, and the song
    // carries on at its pace through the half second of silence (100 ticks,
    // three or four sixteenths more), no longer.
    ASSERT_GE(ons.size(), 24u);
    ASSERT_LE(ons.size(), 29u);
    // After the first 2 s: notes a sixteenth (7200 frames) apart, within 0.3 ms.
    for (std::size_t k = 8; k < ons.size(); ++k) {
        EXPECT_NEAR(static_cast<double>(ons[k].frame - ons[k - 1].frame), 7200.0, 14.4)
            << "note " << k;
    }
}

int main(int argc, char** argv) {
    return RunWithJackd([&] {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    });
}
