#include "output/DeviceModel.h"
#include "support/PlaybackTestSupport.h"

#include <atomic>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <thread>

using namespace sorvelin;
using namespace sorvelin::testing;
using namespace std::chrono_literals;

namespace {

// Sixteen notes half a millisecond apart: a song that often ends by itself
// within a cycle and is often stopped in the middle.
void FastSong(TestSong& s) {
    s.Tempo(0, 2000);
    for (int i = 0; i < 16; ++i) {
        s.Note(30 * i, i % 4, 60 + i, 30);
    }
}

bool EndsWithSilencing(const std::vector<CapturedMessage>& messages) {
    if (messages.size() < 32) {
        return false;
    }
    const std::size_t first = messages.size() - 32;
    for (std::size_t i = 0; i < 32; ++i) {
        const auto& bytes = messages[first + i].bytes;
        if (bytes.size() != 3 || bytes[0] != (0xB0 | (i / 2)) || bytes[1] != (i % 2 ? 121 : 120)) {
            return false;
        }
    }
    return true;
}

struct Rig {
    Rig()
        : capture({{"Port A", kMidiTechPort}, {"Port B", kMidiTechSynth}}), output(capture),
          model(output), engine(output, timer) {
        engine.SetPlayEndHandler([this](void*) { ++ends; }, nullptr);
    }
    ThreadTimer timer;
    CaptureMidiOut capture;
    OutputHandle output;
    DeviceModel model;
    PlaybackEngine engine;
    std::atomic<int> ends{0};
};

} // namespace

TEST(PlaybackStress, AThousandStartStopSwitchCyclesLeaveNothingBehind) {
    Rig rig;
    ASSERT_EQ(rig.model.OpenDevice(0), 0);
    std::mt19937 random(12345);
    int failures = 0;
    for (int cycle = 0; cycle < 1000 && failures < 5; ++cycle) {
        // As Play does, every cycle plays a freshly built track; the one of
        // the previous cycle is gone by then.
        TestSong song;
        FastSong(song);
        rig.capture.ClearMessages();
        // Every other cycle loops over the whole song, round after round
        // until the stop; the song time is read meanwhile, as the window does.
        std::optional<PlaybackLoop> loop;
        if (cycle % 2 == 1) {
            loop = PlaybackLoop{0, 480};
        }
        rig.engine.StartPlayback(song.play, loop);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        EXPECT_LE(rig.engine.SongTicks(), 480);
        if (cycle % 3 == 0) {
            ASSERT_EQ(rig.model.OpenDevice((cycle / 3) % 2), 0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
        rig.engine.StopPlayback();
        const auto messages = rig.capture.Messages();
        if (!EndsWithSilencing(messages)) {
            ++failures;
            ADD_FAILURE() << "cycle " << cycle << ": a message came in after the stop began";
        }
        EXPECT_FALSE(rig.engine.IsPlaying());
        std::this_thread::sleep_for(200us);
        if (rig.capture.MessageCount() != messages.size()) {
            ++failures;
            ADD_FAILURE() << "cycle " << cycle << ": a message came after the stop";
        }
    }
    // Each cycle ends at least once (its stop), some twice (a natural end first).
    EXPECT_GE(rig.ends.load(), 1000);
    EXPECT_EQ(rig.capture.SendsAfterClose(), 0);
}

TEST(PlaybackStress, ImmediateMessagesFromTheWindowMixWithPlayback) {
    Rig rig;
    ASSERT_EQ(rig.model.OpenDevice(1), 0);
    std::atomic<bool> done{false};
    std::thread window([&] {
        ControlChangeEvent pan(0, 0xB3, 10, 64);
        while (!done) {
            rig.engine.SendEvent(pan);
            rig.engine.SendProgramChange(3, 0, 0, 5); // and a 3 ms pause
        }
    });
    for (int cycle = 0; cycle < 200; ++cycle) {
        TestSong song;
        FastSong(song);
        rig.engine.StartPlayback(song.play);
        std::this_thread::sleep_for(std::chrono::microseconds(cycle % 7 * 300));
        if (cycle % 5 == 0) {
            rig.model.OpenDevice(cycle % 2);
        }
        rig.engine.StopPlayback();
    }
    done = true;
    window.join();
    rig.model.CloseDevice();
    EXPECT_EQ(rig.capture.OpenOutputs(), 0);
}
