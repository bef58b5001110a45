// The built-in synthesizer against a real sound server: a private PulseAudio
// server with a null sink, whose monitor is recorded while a song plays.
#include "sound/FluidSynthCore.h"
#include "sound/MidiOutFluid.h"
#include "support/PlaybackTestSupport.h"

#include "support/PulseServer.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

using namespace sorvelin;
using namespace sorvelin::testing;
using namespace std::chrono_literals;
using sorvelin::test::MonitorRecorder;
using sorvelin::test::PulseServer;

namespace {

constexpr int kSilent = 33;     // -60 dBFS of 16-bit full scale
constexpr int kSounding = 2000; // well above the previous note's tail

// The first frame from `from` on whose magnitude reaches `level`.
std::size_t FirstAbove(const std::vector<int>& peaks, std::size_t from, int level) {
    const auto it =
        std::find_if(peaks.begin() + static_cast<std::ptrdiff_t>(std::min(from, peaks.size())),
                     peaks.end(), [level](int peak) { return peak >= level; });
    return static_cast<std::size_t>(it - peaks.begin());
}

} // namespace

// Opens without any message, plays each note at its time with one constant
// latency, and falls silent once the sound buffered at Stop has played.
TEST(PulsePlayback, NotesSoundAtTheirTimesAndStopIsSilentAtOnce) {
    if (!PulseServer::Available()) {
        GTEST_SKIP() << "pulseaudio or parec is not installed";
    }
    if (FindSoundFont(SoundFontFolders()).empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    PulseServer server;
    ASSERT_TRUE(server.Ready()) << "the PulseAudio server did not start; see " << server.Log();
    FluidMidiOut synth;
    OutputHandle output(synth);
    const int opened = output.Open(-1);
    ASSERT_EQ(opened, kMidiOk) << synth.ErrorText(opened);
    ASSERT_GT(output.Lead(), 0ns) << "the synthesizer does not take messages ahead";

    MonitorRecorder recorder(server);
    ASSERT_TRUE(recorder.WaitUntilRecording()) << "parec records nothing; see " << server.Log();
    // Eight short notes half a second apart (120 beats per minute, 120 ticks
    // a quarter), then a long one that Stop cuts.
    TestSong song;
    song.Control(0, 0, 7, 100); // the song starts half a second before its first note
    constexpr int kNotes = 8;
    for (int i = 0; i < kNotes; ++i) {
        song.Note(120 + 120 * i, 0, 72, 24, 110);
    }
    song.Note(120 + 120 * kNotes, 0, 72, 2400, 110);
    ThreadTimer timer;
    PlaybackEngine engine(output, timer);
    const auto play = timer.Now();
    engine.StartPlayback(song.play);
    std::this_thread::sleep_for(500ms * (kNotes + 1) + 400ms);
    const auto stop = timer.Now();
    engine.StopPlayback();
    std::this_thread::sleep_for(400ms);
    recorder.Stop();

    const auto peaks = recorder.Peaks();
    std::vector<double> latencies;
    for (int i = 0; i <= kNotes; ++i) {
        const auto due = play + 500ms * (i + 1);
        const std::size_t onset = FirstAbove(peaks, recorder.FrameAt(due - 60ms), kSounding);
        ASSERT_LT(onset, peaks.size()) << "note " << i << " was not heard";
        latencies.push_back(
            std::chrono::duration<double, std::milli>(recorder.TimeOf(onset) - due).count());
    }
    const auto [low, high] = std::minmax_element(latencies.begin(), latencies.end());
    std::printf("onset after due: %.1f .. %.1f ms\n", *low, *high);
    EXPECT_GT(*low, -5.0);
    EXPECT_LT(*high, 60.0);
    EXPECT_LT(*high - *low, 10.0);

    // What was rendered before Stop still plays out: at most the sound
    // buffer, which the synthesizer's lead covers, and the server's latency.
    const std::size_t quiet = recorder.FrameAt(stop + output.Lead() + 30ms);
    ASSERT_LT(quiet, peaks.size());
    EXPECT_GE(*std::max_element(
                  peaks.begin() + static_cast<std::ptrdiff_t>(recorder.FrameAt(stop - 200ms)),
                  peaks.begin() + static_cast<std::ptrdiff_t>(recorder.FrameAt(stop))),
              kSilent * 10)
        << "the long note was not sounding at Stop";
    EXPECT_LT(*std::max_element(peaks.begin() + static_cast<std::ptrdiff_t>(quiet), peaks.end()),
              kSilent);
}

// A run whose only test skipped tells ctest so with its skip code.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    const auto& run = *::testing::UnitTest::GetInstance();
    return result == 0 && run.skipped_test_count() > 0 && run.successful_test_count() == 0 ? 77
                                                                                           : result;
}
