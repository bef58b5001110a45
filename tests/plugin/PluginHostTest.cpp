// The plugin in a host of our own: its MIDI out against the file
// sorvelin-render writes for the same song, through host tempos, block
// sizes, jumps, stops, control changes and a saved session.
#include "plugin/PluginHost.h"
#include "plugin/PluginTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <set>

#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
// Every allocation passes through malloc: counted on a thread that counts.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* malloc(std::size_t size) {
    sorvelin::testing::Allocations += sorvelin::testing::CountAllocations ? 1 : 0;
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
    sorvelin::testing::Allocations += sorvelin::testing::CountAllocations ? 1 : 0;
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* old, std::size_t size) {
    sorvelin::testing::Allocations += sorvelin::testing::CountAllocations ? 1 : 0;
    return __libc_realloc(old, size);
}
constexpr bool AllocationsCounted = true;
#else
constexpr bool AllocationsCounted = false; // the sanitizer owns malloc
#endif

namespace sorvelin::testing {

thread_local bool CountAllocations = false;
std::atomic<long> Allocations{0};

namespace {

// Every test here ends with the plugin's audio thread having allocated
// nothing.
class PluginAudioThreadTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        Allocations = 0;
    }
    void TearDown() override {
        if (AllocationsCounted) {
            EXPECT_EQ(Allocations.load(), 0) << "run() or work_response() allocated";
        }
    }
};

// The frames from `from` to `to`, played in blocks of 64 to 1024 frames.
template <typename Block>
void RunFor(PluginHost& host, std::uint64_t to, std::mt19937& random, const Block& beforeBlock) {
    std::uniform_int_distribution<std::uint32_t> size(64, 1024);
    while (host.now < to) {
        beforeBlock();
        host.Run(size(random));
    }
}

// What is still sounding after the events before `frame` and the note-offs
// at it.
std::set<std::pair<int, int>> SoundingAt(const std::vector<Played>& played, std::uint64_t frame) {
    std::map<std::pair<int, int>, int> on;
    for (const Played& p : played) {
        if (p.frame > frame || p.bytes.size() < 3) {
            continue;
        }
        const auto key = std::make_pair(p.bytes[0] & 0x0F, int{p.bytes[1]});
        const bool noteOn = (p.bytes[0] & 0xF0) == 0x90 && p.bytes[2] != 0;
        const bool noteOff =
            (p.bytes[0] & 0xF0) == 0x80 || ((p.bytes[0] & 0xF0) == 0x90 && !noteOn);
        if (noteOn && p.frame < frame) {
            ++on[key];
        } else if (noteOff && on[key] > 0) {
            --on[key];
        }
    }
    std::set<std::pair<int, int>> sounding;
    for (const auto& [key, count] : on) {
        if (count > 0) {
            sounding.insert(key);
        }
    }
    return sounding;
}

TEST_F(PluginAudioThreadTest, PlaysTheRenderedSongInTimeAtEveryTempoAndBlockSize) {
    // The counter counts: what the plugin must not do, done here.
    static void* volatile allocated = nullptr;
    CountAllocations = true;
    allocated = std::malloc(16);
    CountAllocations = false;
    std::free(allocated);
    ASSERT_TRUE(!AllocationsCounted || Allocations > 0);
    Allocations = 0;

    struct Case {
        double bpm; // 0: no host time, the song's own tempo
        unsigned seed;
    };
    for (const Case c : {Case{90, 1}, Case{120, 2}, Case{150, 3}, Case{0, 4}}) {
        SCOPED_TRACE("bpm " + std::to_string(c.bpm));
        std::mt19937 random(c.seed);
        std::unique_ptr<PluginHost> host;
        double bpm = c.bpm;
        if (c.bpm > 0) {
            host = Rolling(c.bpm);
        } else {
            host = std::make_unique<PluginHost>(SORVELIN_LV2_DIR);
            host->SetSong(song.string());
            host->Run(300); // plays from the block after the song came
            bpm = 60e6 / expected.tempo;
        }
        const std::uint64_t start = host->now;
        RunFor(*host, start + SongFrames(bpm), random, [&] {
            if (c.bpm > 0) {
                host->SetTime(c.bpm, 1, (host->now - start) / FramesPerTick(c.bpm) / 120.0);
            }
        });
        ExpectSameEvents(host->played, expected, FramesPerTick(bpm), start, 0, ~0ull);
    }
}

TEST_F(PluginAudioThreadTest, JumpsAndStopsLeaveNoNoteSounding) {
    struct Step {
        double atBeat; // where the playhead is when the host moves it
        double toBeat;
        double speed;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"relocate forward", {{3.3, 20.3, 1}}},
        {"relocate back", {{9.1, 2.2, 1}}},
        {"loop over bars 2 and 3", {{12, 4, 1}, {12, 4, 1}, {12, 4, 1}}},
        {"stop in a note and start again", {{5.1, 5.1, 0}, {5.1, 5.1, 1}}},
        {"stop, relocate while stopped, start", {{6.4, 6.4, 0}, {6.4, 1.7, 0}, {1.7, 1.7, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<PluginHost> host = Rolling(120);
        const double perBeat = FramesPerTick(120) * 120; // frames
        double beat = 0;
        double speed = 1;
        std::vector<std::uint64_t> jumps;
        auto block = [&] {
            host->SetTime(120, speed, beat);
            host->Run(256);
            beat += speed * 256 / perBeat;
        };
        for (const Step& step : c.steps) {
            for (int i = 0; i < 20 || (speed > 0 && beat < step.atBeat); ++i) {
                block();
            }
            jumps.push_back(host->now);
            beat = step.toBeat;
            speed = step.speed;
            block();
        }
        for (int i = 0; i < 400; ++i) { // two seconds more, then stop
            block();
        }
        host->SetTime(120, 0, beat);
        host->Run(256);
        for (const std::uint64_t jump : jumps) {
            EXPECT_TRUE(SoundingAt(host->played, jump).empty()) << "at frame " << jump;
            EXPECT_TRUE(std::any_of(host->played.begin(), host->played.end(),
                                    [&](const Played& p) {
                                        return p.frame > jump && p.frame < jump + 2 * perBeat * 4;
                                    }))
                << "nothing played after frame " << jump;
        }
        EXPECT_TRUE(SoundingAt(host->played, host->now).empty());
    }
}

TEST_F(PluginAudioThreadTest, AControlChangeTakesOverAtTheNextBarLine) {
    struct Case {
        const char* control;
        float value;
        std::function<void(SongFileData&)> edit;
    };
    const std::vector<Case> cases = {
        {"part1", 0, [](SongFileData& s) { s.Parts[0].UsePart = false; }},
        {"note_assign", 1, [](SongFileData& s) { s.OoR = 1; }},
        {"velocity", 1, [](SongFileData& s) { s.Velocity = 1; }},
        {"octave", 1,
         [](SongFileData& s) {
             for (PartSettings& part : s.Parts) {
                 part.Octave = std::min(part.Octave + 1, 2);
             }
         }},
        {"rhythm", 1, [](SongFileData& s) { s.RhythmName = "16th note"; }},
        {"dx", 60, [](SongFileData& s) { s.XShift = 60; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        const Smf changed = Render(WriteSong("changed.svl", c.edit));
        ASSERT_FALSE(changed.events == expected.events) << "the control changes nothing here";
        std::unique_ptr<PluginHost> host = Rolling(120);
        const double perTick = FramesPerTick(120);
        std::mt19937 random(7);
        auto tell = [&] { host->SetTime(120, 1, host->now / perTick / 120.0); };
        RunFor(*host, static_cast<std::uint64_t>(1.3 * BarTicks * perTick), random, tell);
        host->SetControl(c.control, c.value);
        tell();
        host->Run(256); // the new render reaches the plugin after this block
        const double bar = std::ceil(host->now / perTick / BarTicks) * BarTicks;
        const auto barFrame = static_cast<std::uint64_t>(std::ceil(bar * perTick));
        RunFor(*host, SongFrames(120), random, tell);
        ExpectSameEvents(host->played, expected, perTick, 0, 0, barFrame);
        ExpectSameEvents(host->played, changed, perTick, 0, barFrame + 2, ~0ull);
    }
}

TEST_F(PluginAudioThreadTest, ASessionKeepsTheSongWhenItsFileIsGone) {
    PluginHost host(SORVELIN_LV2_DIR);
    host.SetSong(song.string());
    host.Run(256);
    const std::string session = host.SaveState(dir.path.string());
    EXPECT_NE(session.find("z1=z0^2-c"), std::string::npos) << session;
    std::filesystem::remove(song);

    host.Restart(session); // a new instance, restored before it runs
    std::mt19937 random(9);
    const double bpm = 60e6 / expected.tempo;
    RunFor(host, SongFrames(bpm), random, [] {});
    ExpectSameEvents(host.played, expected, FramesPerTick(bpm), 0, 0, ~0ull);
}

} // namespace
} // namespace sorvelin::testing
