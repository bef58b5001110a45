// The plugin's audio-thread cost: run() per 256-frame block at 48 kHz while
// the song plays in time with a host at 120 bpm, as a share of the block's
// duration (the real-time budget) and against an instance with no song (the
// least any run costs). And the worker's side: a render of the song with a
// control changed, and one with a shift slider moved (which samples the
// series again). Two songs: the suite's song of three parts, and a heavy one
// of all sixteen parts with 4,000 notes each.
#include "base/TextFile.h"
#include "compose/SongFile.h"
#include "plugin/PluginHost.h"
#include "plugin/ScoreMaker.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace sorvelin::testing {
thread_local bool CountAllocations = false;
std::atomic<long> Allocations{0};
} // namespace sorvelin::testing

namespace {

using namespace sorvelin;
using namespace sorvelin::testing;

constexpr std::uint32_t Block = 256;
constexpr double Rate = 48000;
constexpr double BlockSeconds = Block / Rate;

struct RunCost {
    double mean = 0, worst = 0;
    long blocks = 0;
};

// Plays `blocks` blocks (or until the song's end) with the host's time.
RunCost Play(PluginHost& host, long blocks) {
    RunCost cost;
    std::vector<double> times;
    for (long i = 0; i < blocks; ++i) {
        host.SetTime(120, 1, static_cast<double>(host.now) * 120 / 60 / Rate);
        host.Run(Block, false);
        host.played.clear();
        times.push_back(host.lastRunSeconds);
    }
    host.Drain();
    std::sort(times.begin(), times.end());
    for (const double t : times) {
        cost.mean += t / static_cast<double>(times.size());
    }
    cost.worst = times[times.size() * 999 / 1000]; // the 99.9th percentile
    cost.blocks = blocks;
    return cost;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Measure(const char* name, const std::filesystem::path& song, long blocks) {
    PluginHost empty(SORVELIN_LV2_DIR);
    const RunCost none = Play(empty, blocks);

    PluginHost host(SORVELIN_LV2_DIR);
    host.SetSong(song.string());
    host.SetTime(120, 0, 0);
    host.Run(Block);
    const RunCost cost = Play(host, blocks);
    std::printf("%-8s run() per %u frames: mean %.2f us, 99.9%% %.2f us = %.3f %% / %.3f %% of the "
                "block's %.2f ms (no song: %.2f us, ratio %.1f) over %ld blocks\n",
                name, Block, cost.mean * 1e6, cost.worst * 1e6, 100 * cost.mean / BlockSeconds,
                100 * cost.worst / BlockSeconds, BlockSeconds * 1e3, none.mean * 1e6,
                cost.mean / none.mean, cost.blocks);

    plugin::ScoreMaker maker;
    std::vector<std::string> messages;
    double load = Seconds([&] { maker.Load(song, messages); });
    plugin::ScoreControls controls;
    std::size_t events = 0;
    double render = 1e9, shifted = 1e9;
    for (int round = 0; round < 3; ++round) {
        controls.noteAssign = round % 2;
        render = std::min(
            render, Seconds([&] { events = maker.Render(controls, messages)->events.size(); }));
        controls.dx = 10 + round;
        shifted = std::min(shifted, Seconds([&] { maker.Render(controls, messages); }));
        controls.dx = plugin::AsInSong;
    }
    std::printf("%-8s worker: load %.1f ms, render with a control changed %.2f ms, with a shift "
                "slider moved %.2f ms (%zu events)\n",
                name, load * 1e3, render * 1e3, shifted * 1e3, events);
}

} // namespace

int main() {
    test::TempDir dir("sorvelin-plugin-bench");
    for (const char* file : {"scale.cfg", "rhythm.cfg"}) {
        std::filesystem::copy_file(std::filesystem::path(SORVELIN_TEST_DATA) / file,
                                   dir.path / file);
    }
    std::vector<std::string> messages;
    const std::vector<std::string> lines =
        ReadLines(std::filesystem::path(SORVELIN_TEST_DATA) / "song.svl");
    WriteLinesAtomic(dir.path / "light.svl", lines);
    SongFileData heavy = ParseSongFile(lines, messages);
    heavy.NotesPerPart = 4000;
    heavy.ContinuousNumberAssgn = ContinuousNewNote;
    heavy.RhythmName = "16th note";
    for (PartSettings& part : heavy.Parts) {
        part.UsePart = true;
    }
    WriteLinesAtomic(dir.path / "heavy.svl", FormatSongFile(heavy));
    Measure("light", dir.path / "light.svl", 4000);
    Measure("heavy", dir.path / "heavy.svl", 20000);
    return 0;
}
