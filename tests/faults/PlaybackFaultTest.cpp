// Playback under faults: the output closed or switched in the middle of a
// song, sends that fail, Stop during the first group, Play again right after
// the end. Nothing crashes or hangs, and every output that sounded a note
// also heard its end.
#include "output/DeviceModel.h"
#include "support/PlaybackTestSupport.h"
#include "support/SoundCheck.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace sorvelin;
using namespace sorvelin::testing;
using namespace std::chrono_literals;

namespace {

// Four channels of overlapping notes with a tempo change: groups at many
// times, notes sounding across every group boundary.
void Song(TestSong& s, int notes = 24) {
    s.Tempo(0, 400000);
    s.Tempo(240, 250000);
    for (int i = 0; i < notes; ++i) {
        s.Note(30 * i, i % 4, 48 + (7 * i) % 36, 90);
        s.Control(30 * i + 5, i % 4, 10, (13 * i) % 128);
    }
}

// Drives a hand-timed song to its end; false if it would not end.
bool RunToEnd(Bench& bench) {
    return bench.timer.RunAll(10000) < 10000 && !bench.engine.IsPlaying();
}

// Refuses the short messages numbered from `first` to `last` (counted over
// all outputs); the other messages reach the capture service.
struct FlakyService {
    FlakyService(CaptureMidiOut& capture, int first, int last)
        : service(capture, [this, first, last](std::uint32_t) {
              const int number = sent++;
              if (number >= first && number <= last) {
                  ++refused;
                  return static_cast<int>(kMidiErrUnspecified);
              }
              return static_cast<int>(kMidiOk);
          }) {}
    int Refused() const { return refused; }
    std::atomic<int> sent{0};
    std::atomic<int> refused{0};
    InterceptService service;
};

} // namespace

TEST(PlaybackFaults, TheOutputClosedMidSongSilencesItAndHearsNothingMore) {
    for (const int groups : {0, 1, 5, 20}) {
        SCOPED_TRACE(groups);
        Bench bench;
        ASSERT_EQ(bench.output.Open(0), 0);
        TestSong s;
        Song(s);
        bench.engine.StartPlayback(s.play);
        for (int i = 0; i < groups; ++i) {
            bench.timer.RunNext();
        }
        ASSERT_EQ(bench.output.Close(), 0);
        EXPECT_TRUE(RunToEnd(bench));
        bench.engine.StopPlayback();
        EXPECT_EQ(bench.capture.SendsAfterClose(), 0);
        EXPECT_EQ(bench.capture.OpenOutputs(), 0);
        EXPECT_EQ(faults::CheckHeard(bench.capture.Messages()), "");
    }
}

TEST(PlaybackFaults, SwitchingTheOutputMidSongEndsEveryNoteOnBothOutputs) {
    for (const int groups : {1, 7, 30}) {
        SCOPED_TRACE(groups);
        Bench bench({{"Port A", kMidiTechPort}, {"Port B", kMidiTechSynth}});
        DeviceModel model(bench.output);
        ASSERT_EQ(model.OpenDevice(0), 0);
        TestSong s;
        Song(s);
        bench.engine.StartPlayback(s.play);
        for (int i = 0; i < groups; ++i) {
            bench.timer.RunNext();
        }
        ASSERT_EQ(model.OpenDevice(1), 0);
        EXPECT_TRUE(RunToEnd(bench));
        EXPECT_EQ(bench.capture.SendsAfterClose(), 0);
        EXPECT_EQ(faults::CheckHeard(bench.capture.Messages()), "");
    }
}

TEST(PlaybackFaults, SendsThatFailLeaveNoNoteSoundingAtTheEnd) {
    // Refusals at the start, in the middle and across the last groups.
    for (const auto& [first, last] : {std::pair{0, 3}, std::pair{10, 40}, std::pair{50, 60}}) {
        SCOPED_TRACE(first);
        Bench bench;
        FlakyService flaky(bench.capture, first, last);
        OutputHandle output(flaky.service);
        PlaybackEngine engine(output, bench.timer);
        std::vector<std::string> shown;
        engine.SetMessageCallback([&](const std::string& text) { shown.push_back(text); });
        int ends = 0;
        engine.SetPlayEndHandler([&](void*) { ++ends; }, nullptr);
        ASSERT_EQ(output.Open(0), 0);
        TestSong s;
        Song(s);
        engine.StartPlayback(s.play);
        EXPECT_LT(bench.timer.RunAll(10000), 10000);
        EXPECT_FALSE(engine.IsPlaying());
        EXPECT_GT(flaky.Refused(), 0);
        // The song ended by itself: its lost note-offs were made good by
        // silencing every channel, and the user is told why.
        EXPECT_EQ(ends, 1);
        EXPECT_EQ(faults::CheckHeard(bench.capture.Messages()), "");
        EXPECT_EQ(shown, std::vector<std::string>{kSendFailedMessage});
    }
}

TEST(PlaybackFaults, StopDuringTheFirstGroupSilencesAndLeavesNoTimer) {
    Bench bench;
    ASSERT_EQ(bench.output.Open(0), 0);
    TestSong s;
    Song(s);
    bench.engine.StartPlayback(s.play);
    ASSERT_TRUE(bench.engine.IsPlaying());
    bench.engine.StopPlayback();
    EXPECT_FALSE(bench.engine.IsPlaying());
    EXPECT_EQ(bench.timer.RunAll(), 0);
    EXPECT_EQ(bench.ends.size(), 1u);
    EXPECT_EQ(faults::CheckHeard(bench.capture.Messages()), "");
}

TEST(PlaybackFaults, PlayAgainRightAfterTheEndPlaysTheWholeSongAgain) {
    Bench bench;
    ASSERT_EQ(bench.output.Open(0), 0);
    // Play renders a new track every time.
    TestSong first;
    Song(first);
    bench.engine.StartPlayback(first.play);
    ASSERT_TRUE(RunToEnd(bench));
    const std::size_t once = bench.capture.MessageCount();
    TestSong second;
    Song(second);
    bench.engine.StartPlayback(second.play);
    ASSERT_TRUE(RunToEnd(bench));
    EXPECT_EQ(bench.capture.MessageCount(), 2 * once);
    EXPECT_EQ(bench.ends.size(), 2u);
    EXPECT_EQ(faults::CheckHeard(bench.capture.Messages()), "");
}

// The same on the real timer thread, Play pressed from the end handler's
// notification at once, a hundred times.
TEST(PlaybackFaults, PlayAgainFromTheEndNotificationOnTheTimerThreadNeverHangs) {
    ThreadTimer timer;
    CaptureMidiOut capture({{"Port A", kMidiTechPort}});
    OutputHandle output(capture);
    PlaybackEngine engine(output, timer);
    std::mutex mutex;
    std::condition_variable ended;
    int ends = 0;
    engine.SetPlayEndHandler(
        [&](void*) {
            const std::lock_guard lock(mutex);
            ++ends;
            ended.notify_all();
        },
        nullptr);
    ASSERT_EQ(output.Open(0), 0);
    std::vector<std::unique_ptr<TestSong>> songs;
    for (int round = 1; round <= 100; ++round) {
        TestSong& s = *songs.emplace_back(std::make_unique<TestSong>());
        s.Tempo(0, 2000); // a quarter note in 2 ms
        for (int i = 0; i < 6; ++i) {
            s.Note(20 * i, i % 2, 60 + i, 25);
        }
        engine.StartPlayback(s.play);
        std::unique_lock lock(mutex);
        ASSERT_TRUE(ended.wait_for(lock, 5s, [&] { return ends == round; })) << round;
    }
    engine.ClearPlayEndHandler();
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_EQ(faults::CheckHeard(capture.Messages()), "");
}
