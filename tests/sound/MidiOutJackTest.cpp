// The JACK MIDI output against a real JACK server on the dummy driver, which
// the test starts under a name of its own; a recording client connected to
// sorvelin:midi_out sees what a DAW or soft synth would.
#include "support/JackTestSupport.h"

#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiOutJack.h"
#include "support/PlaybackTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

constexpr int kStep = 30; // ticks from one note to the next
constexpr int kTempo = 500000;
// Frames the steady-clock-to-frame mapping may be off by (about 0.7 ms):
// far less than the half period an output writing every message at the
// period's start would show on average.
constexpr std::int32_t kMappingSlack = 32;

// A monophonic run of `notes` sixteenths at 120 beats per minute.
void FillSong(TestSong& song, int notes) {
    song.Tempo(0, kTempo);
    for (int k = 0; k < notes; ++k) {
        song.Note(k * kStep, 0, 60 + k % 12, kStep);
    }
}

// Plays the track to its end (or `limit`); true when the end handler came.
bool PlayToEnd(PlaybackEngine& engine, TestSong& song, std::chrono::milliseconds limit) {
    std::atomic<bool> ended{false};
    engine.SetPlayEndHandler([&ended](void*) { ended = true; }, nullptr);
    engine.StartPlayback(song.play);
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!ended && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    engine.ClearPlayEndHandler();
    return ended;
}

std::int32_t FramesBetween(jack_nframes_t from, jack_nframes_t to) {
    return static_cast<std::int32_t>(to - from);
}

} // namespace

TEST(JackMidiOut, IsOneRowOfTheListOnlyWhileAServerRuns) {
    JackMidiOut jack;
    EXPECT_EQ(jack.NumDevs(), 0) << "no server yet";
    std::unique_ptr<MidiOutput> out;
    const int refused = jack.Open(0, out);
    EXPECT_EQ(refused, kMidiErrNoServer);
    EXPECT_NE(jack.ErrorText(refused).find("no JACK server is running"), std::string::npos)
        << jack.ErrorText(refused);

    JackServer server;
    ASSERT_TRUE(server.Running());
    ASSERT_EQ(jack.NumDevs(), 1);
    MidiOutCaps caps;
    ASSERT_EQ(jack.DevCaps(0, caps), kMidiOk);
    EXPECT_EQ(caps.listText, "JACK MIDI out (sorvelin:midi_out)");
    ASSERT_EQ(jack.Open(0, out), kMidiOk);
    EXPECT_EQ(jack.NumDevs(), 1) << "while open, listing must not lose the row";
    EXPECT_EQ(out->Close(), kMidiOk);
    server.Kill(SIGTERM);
    EXPECT_EQ(jack.NumDevs(), 0) << "the server is gone";
}

// Every message of a song, a system-exclusive message and the silencing at
// the close reach the port in order; the song's messages each lie within one
// period of their due frame.
TEST(JackMidiOut, EveryMessageArrivesInOrderWithinOnePeriodOfItsDueTime) {
    JackServer server;
    ASSERT_TRUE(server.Running());
    HandedOver service;
    OutputHandle output(service);
    ASSERT_EQ(output.Service().NumDevs(), 1);
    ASSERT_EQ(output.Open(0), kMidiOk);
    JackRecorder recorder;
    ASSERT_TRUE(recorder.Connect("sorvelin:midi_out"));
    service.SetClock([&recorder](auto moment) { return recorder.FrameAt(moment); });

    const Bytes sysex = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    ASSERT_EQ(output.LongMsg(sysex, [] {}), kMidiOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    constexpr int kNotes = 32;
    TestSong song;
    FillSong(song, kNotes);
    ThreadTimer timer;
    PlaybackEngine engine(output, timer);
    std::vector<std::string> shown;
    engine.SetMessageCallback([&shown](const std::string& text) { shown.push_back(text); });
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(PlayToEnd(engine, song, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(output.Close(), kMidiOk);
    EXPECT_TRUE(shown.empty()) << shown.front();

    const std::vector<RecordedMessage> got = recorder.Messages();
    std::vector<Bytes> gotBytes;
    for (const RecordedMessage& m : got) {
        gotBytes.push_back(m.Bytes());
    }
    ASSERT_EQ(gotBytes, service.Messages())
        << "the server missed " << recorder.Xruns() << " periods";
    EXPECT_EQ(recorder.Dropped(), 0u);

    // The song's notes: note-on k is due k steps after the start, its
    // note-off one step later. Each plays one period (the output's latency)
    // after its due frame, or, when the sender handed it over late (a timer
    // waking late on a loaded machine), one period after the hand-over.
    const auto tick = std::chrono::nanoseconds(std::int64_t{kTempo} * 1000 / song.song.division);
    int ons = 0;
    int offs = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const RecordedMessage& m = got[i];
        if ((m.bytes[0] & 0xF0) != 0x90 && (m.bytes[0] & 0xF0) != 0x80) {
            continue;
        }
        const bool on = (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0;
        const int step = on ? ons++ : ++offs;
        const jack_nframes_t songDue = service.FrameOf(start + step * kStep * tick);
        const jack_nframes_t handed = service.HandOver(i).frame;
        const jack_nframes_t due =
            (FramesBetween(songDue, handed) > 0 ? handed : songDue) + kJackPeriod;
        const std::int32_t offset = FramesBetween(due, m.frame);
        // Never early (beyond the clock mapping's few frames), and late by no
        // more than a period.
        EXPECT_GE(offset, -kMappingSlack) << (on ? "note-on " : "note-off ") << step;
        EXPECT_LE(offset, static_cast<std::int32_t>(kJackPeriod))
            << (on ? "note-on " : "note-off ") << step << " is " << offset << " frames late";
    }
    EXPECT_EQ(ons, kNotes);
    EXPECT_EQ(offs, kNotes);
}

// The server killed mid-song: the song (of 25 s) stops within a second, Play
// comes back, and the output's text says why, once; a new start is refused.
TEST(JackMidiOut, AServerGoingAwayMidSongStopsTheSongAtOnce) {
    JackServer server;
    ASSERT_TRUE(server.Running());
    JackMidiOut jack;
    OutputHandle output(jack);
    ASSERT_EQ(output.Service().NumDevs(), 1);
    ASSERT_EQ(output.Open(0), kMidiOk);
    TestSong song;
    FillSong(song, 400);
    ThreadTimer timer;
    PlaybackEngine engine(output, timer);
    std::mutex shownMutex;
    std::vector<std::string> shown;
    engine.SetMessageCallback([&](const std::string& text) {
        std::lock_guard lock(shownMutex);
        shown.push_back(text);
    });
    std::thread killer([&server] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        server.Kill(SIGKILL);
    });
    const bool ended = PlayToEnd(engine, song, std::chrono::milliseconds(1300));
    killer.join();
    EXPECT_TRUE(ended);
    engine.StartPlayback(song.play);
    EXPECT_FALSE(engine.IsPlaying());
    {
        std::lock_guard lock(shownMutex);
        const std::string gone = StandardMidiErrorText(kMidiErrServerGone);
        EXPECT_EQ(shown, (std::vector<std::string>{gone, gone}));
    }
    const int code = output.ShortMsg(PackShortMsg(0x90, 60, 100));
    EXPECT_EQ(code, kMidiErrServerGone);
    EXPECT_NE(output.ErrorText(code).find("JACK server went away"), std::string::npos)
        << output.ErrorText(code);
    EXPECT_EQ(output.Close(), kMidiOk);
}

int main(int argc, char** argv) {
    return RunWithJackd([&] {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    });
}
