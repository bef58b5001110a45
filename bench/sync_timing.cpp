// Keeping in time, measured.
//
// 1. MIDI clock out on JACK: a 4 s song at 120 bpm with the clock on, on a
//    private server on the dummy driver; each clock's frame against the exact
//    grid (k x 1000 frames at 48 kHz), as p50 / p99 / max of the distance in
//    frames. Baseline in the same run: notes on the same grid (every 5 ticks)
//    placed by the server's clock alone, as every other message is.
// 2. MIDI clock in (the follower on a hand-driven timer, so only the
//    smoothing is measured): 100 bpm with uniform random jitter of +-1 ms;
//    the notes' distance from the clock's exact beats after 2 s, against the
//    clocks' own jitter; the tempo error after 2 s; and the follow latency:
//    the time from a step to 120 bpm until the tempo is within 0.5 %.
#include "output/ClockFollow.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiOutJack.h"
#include "support/JackTestSupport.h"
#include "support/PlaybackTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

struct Spread {
    double p50 = 0, p99 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> values) {
    if (values.empty()) {
        return {};
    }
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) {
        return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
    };
    return {at(0.5), at(0.99), values.back()};
}

// Distances from the grid of `step` frames, about their median.
Spread GridSpread(const std::vector<jack_nframes_t>& frames, double step) {
    std::vector<double> offsets;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        offsets.push_back(static_cast<double>(static_cast<std::int32_t>(frames[k] - frames[0])) -
                          std::round(static_cast<double>(k) * step));
    }
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (double& o : offsets) {
        o = std::abs(o - median);
    }
    return SpreadOf(offsets);
}

std::vector<jack_nframes_t> PlayOnJack(bool clock) {
    JackMidiOut jack;
    OutputHandle output(jack);
    if (output.Open(0) != kMidiOk) {
        return {};
    }
    JackRecorder recorder;
    recorder.Connect("sorvelin:midi_out");
    ThreadTimer timer;
    PlaybackEngine engine(output, timer);
    TestSong song;
    song.Tempo(0, 500000);
    if (!clock) {
        for (int t = 0; t <= 960; t += 5) {
            song.Note(t, 0, 60, 5);
        }
    } else {
        song.Note(480, 0, 60, 480);
    }
    engine.SetSendClock(clock);
    engine.StartPlayback(song.play);
    while (engine.IsPlaying()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    output.Close();
    std::vector<jack_nframes_t> frames;
    for (const RecordedMessage& m : recorder.Messages()) {
        const bool wanted =
            clock ? m.bytes[0] == kMidiClock : (m.bytes[0] == 0x90 && m.bytes[2] != 0);
        if (wanted) {
            frames.push_back(m.frame);
        }
    }
    return frames;
}

void ClockOut() {
    if (FindJackd().empty()) {
        std::printf("clock out on JACK: skipped, jackd is not installed\n");
        return;
    }
    JackServer server;
    if (!server.Running()) {
        std::printf("clock out on JACK: skipped, the server did not start\n");
        return;
    }
    const std::vector<jack_nframes_t> clocks = PlayOnJack(true);
    const std::vector<jack_nframes_t> notes = PlayOnJack(false);
    const Spread c = GridSpread(clocks, 1000.0);
    const Spread n = GridSpread(notes, 1000.0);
    std::printf("clock out on JACK, frames from the exact grid (%zu clocks): p50 %.0f  p99 %.0f  "
                "max %.0f\n",
                clocks.size(), c.p50, c.p99, c.max);
    std::printf("  baseline, notes on the same grid by the server's clock (%zu): p50 %.0f  p99 "
                "%.0f  max %.0f\n",
                notes.size(), n.p50, n.p99, n.max);
}

void ClockIn() {
    TestSong s;
    s.Tempo(0, 500000);
    for (int k = 0; k < 120; ++k) {
        s.Note(480 + k * 30, 0, 40 + k % 40, 30);
    }
    Bench b;
    b.output.Open(0);
    ClockFollower follower(b.engine);
    follower.SetTrackSource([&s] { return s.play; });
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    const auto moment = [&](double ms) {
        return b.start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double, std::milli>(ms));
    };
    const auto runUntil = [&](std::chrono::steady_clock::time_point until) {
        while (b.timer.PendingCount() > 0 && b.timer.NextDue() <= until) {
            b.timer.RunNext();
        }
        if (b.timer.Now() < until) {
            b.timer.Advance(until - b.timer.Now());
        }
    };
    follower.Take({kMidiStart, 0, b.start});
    const double slow = 25.0; // ms per clock at 100 bpm
    const double fast = 60.0 / 120 / 24 * 1000;
    const int stepAt = 160; // 4 s at 100 bpm
    std::vector<double> inJitter;
    std::vector<double> beats; // exact moment of each clock
    double tempoError = 0;
    double latency = -1;
    double exact = 10;
    for (int k = 0; k < 320; ++k) {
        const double j = jitter(random);
        inJitter.push_back(std::abs(j));
        beats.push_back(exact);
        const auto at = moment(exact + j);
        runUntil(at);
        follower.Take({kMidiClock, 0, at});
        const int tempo = follower.Estimate().Tempo();
        if (k == 80) {
            tempoError = std::abs(tempo - 600000) / 6000.0;
        }
        if (k >= stepAt && latency < 0 && std::abs(tempo - 500000) < 2500) {
            latency = exact - beats[stepAt];
        }
        exact += k + 1 < stepAt ? slow : fast;
    }
    follower.Take({kMidiStop, 0, b.timer.Now()});
    std::vector<double> noteError;
    std::size_t k = 0;
    for (const CapturedMessage& m : b.capture.Messages()) {
        if (m.bytes[0] != 0x90 || m.bytes[2] == 0) {
            continue;
        }
        const std::size_t clock = 96 + 6 * k++;
        if (clock < beats.size() && beats[clock] > 2000 &&
            clock < static_cast<std::size_t>(stepAt)) {
            noteError.push_back(std::abs(b.At(m) - beats[clock]));
        }
    }
    const Spread in = SpreadOf(inJitter);
    const Spread out = SpreadOf(noteError);
    std::printf("clock in at 100 bpm, jitter of the incoming clocks (ms): p50 %.3f  p99 %.3f  max "
                "%.3f\n",
                in.p50, in.p99, in.max);
    std::printf("  the notes from the exact beats after 2 s (%zu notes, ms): p50 %.3f  p99 %.3f  "
                "max %.3f\n",
                noteError.size(), out.p50, out.p99, out.max);
    std::printf("  tempo error after 2 s: %.3f %%\n", tempoError);
    std::printf("  follow latency, 100 to 120 bpm until within 0.5 %%: %.0f ms\n", latency);
}

} // namespace

int main() {
    if (!FindJackd().empty()) {
        setenv("JACK_DEFAULT_SERVER", ("sorvelin-test-" + std::to_string(getpid())).c_str(), 1);
    }
    ClockIn();
    ClockOut();
    return 0;
}
