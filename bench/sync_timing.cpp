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
// 3. The same clock in through JACK: a studio client sends it to
//    sorvelin:midi_in at chosen frames (1200 frames a clock at 48 kHz, each
//    up to 48 frames, 1 ms, off at random; 120 bpm after 4 s), the follower
//    polled every 3 ms as the window does; the notes' frames at
//    sorvelin:midi_out about their median distance from the exact beats, and
//    that median (the clock's frame to its note's), against the clocks' own
//    jitter; tempo error after 2 s; follow latency after the step.
// 4. MIDI clock out through the built-in synthesizer's path: the synthesizer
//    on a PulseAudio null sink of the bench's own, a 4 s song at 120 bpm with
//    the clock on. Each clock's due moment, as the engine hands it to the
//    synthesizer to be placed on its sample, against the exact schedule (the
//    first clock's moment + k x a 24th of a quarter), and how much earlier
//    than due it was handed over: the synthesizer places a message on its
//    sample when it comes at least its lead early, so the smallest margin
//    says whether any clock missed its place. Baseline in the same run: the
//    same song on an output without a clock of its own, where a clock goes
//    out when the timer thread wakes for it.
#include "output/ClockFollow.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiOutFluid.h"
#include "sound/MidiOutJack.h"
#include "support/JackStudio.h"
#include "support/PlaybackTestSupport.h"
#include "support/PulseServer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

using namespace sorvelin;
using namespace sorvelin::testing;
using sorvelin::test::PulseServer;

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
        const auto at = b.Moment(exact + j);
        b.RunUntil(at);
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

void ClockInOnJack() {
    if (FindJackd().empty()) {
        std::printf("clock in on JACK: skipped, jackd is not installed\n");
        return;
    }
    JackServer server;
    JackMidiOut jack;
    OutputHandle output(jack);
    if (!server.Running() || output.Open(0) != kMidiOk) {
        std::printf("clock in on JACK: skipped, the server did not start\n");
        return;
    }
    Studio studio;
    JackRecorder recorder;
    if (!studio.Ready() || !recorder.Connect("sorvelin:midi_out") ||
        jack_connect(studio.Client(), "studio:out", "sorvelin:midi_in") != 0) {
        std::printf("clock in on JACK: skipped, the clients did not connect\n");
        return;
    }
    ThreadTimer timer;
    PlaybackEngine engine(output, timer);
    TestSong song;
    song.Tempo(0, 500000);
    for (int k = 0; k < 80; ++k) {
        song.Note(480 + k * 30, 0, 40 + k % 40, 30);
    }
    ClockFollower follower(engine);
    follower.SetTrackSource([&song] { return song.play; });
    output.WithTransport([](MidiTransport& transport) { transport.KeepToTransport(true); });
    std::mt19937 random(11);
    std::uniform_real_distribution<double> jitter(-48.0, 48.0);
    constexpr int kStep = 160; // clocks at 100 bpm, then 120 bpm
    const jack_nframes_t base = jack_frame_time(studio.Client()) + kJackRate / 5;
    std::vector<Studio::Timed> clocks = {{base, {kMidiStart}}};
    std::vector<double> exact; // each clock's frame without jitter, from `base`
    std::vector<double> inJitter;
    double at = 48;
    for (int k = 0; k < 2 * kStep; ++k) {
        const double j = jitter(random);
        exact.push_back(at);
        inJitter.push_back(std::abs(j) / kJackRate * 1000);
        clocks.push_back({base + static_cast<jack_nframes_t>(std::lround(at + j)), {kMidiClock}});
        at += k + 1 < kStep ? 1200.0 : 1000.0;
    }
    studio.Send(std::move(clocks));
    int taken = -1; // clocks taken
    double tempoError = -1;
    double latency = -1;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(12);
    while (std::chrono::steady_clock::now() < limit &&
           !(studio.SendDone() && taken + 1 >= 2 * kStep)) {
        std::vector<SyncMessage> in;
        output.WithTransport([&in](MidiTransport& transport) { transport.ReadSync(in); });
        for (const SyncMessage& m : in) {
            follower.Take(m);
            if (m.status != kMidiClock) {
                continue;
            }
            ++taken;
            const int tempo = follower.Estimate().Tempo();
            if (taken == 80) {
                tempoError = std::abs(tempo - 600000) / 6000.0;
            }
            if (taken >= kStep && latency < 0 && std::abs(tempo - 500000) < 2500) {
                latency =
                    (exact[static_cast<std::size_t>(taken)] - exact[kStep]) / kJackRate * 1000;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    follower.Take({kMidiStop, 0, std::chrono::steady_clock::now()});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    output.Close();
    // Note k sits on clock 96 + 6k (the lead-in bar, then sixteenths); the
    // notes after 2 s and before the step.
    std::vector<double> offsets;
    std::size_t k = 0;
    for (const RecordedMessage& m : recorder.Messages()) {
        if (m.bytes[0] != 0x90 || m.bytes[2] == 0) {
            continue;
        }
        const std::size_t clock = 96 + 6 * k++;
        if (clock < static_cast<std::size_t>(kStep) && exact[clock] > 2.0 * kJackRate) {
            offsets.push_back(static_cast<double>(static_cast<std::int32_t>(m.frame - base)) -
                              exact[clock]);
        }
    }
    if (offsets.empty()) {
        std::printf("clock in on JACK: no notes were recorded\n");
        return;
    }
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (double& o : offsets) {
        o = std::abs(o - median) / kJackRate * 1000;
    }
    const Spread in = SpreadOf(inJitter);
    const Spread out = SpreadOf(offsets);
    std::printf("clock in on JACK at 100 bpm, jitter of the incoming clocks (ms): p50 %.3f  p99 "
                "%.3f  max %.3f\n",
                in.p50, in.p99, in.max);
    std::printf("  the notes about their median distance from the exact beats after 2 s (%zu "
                "notes, ms): p50 %.3f  p99 %.3f  max %.3f; that median %.1f ms\n",
                offsets.size(), out.p50, out.p99, out.max, median / kJackRate * 1000);
    std::printf("  tempo error after 2 s: %.3f %%; follow latency, 100 to 120 bpm until within 0.5 "
                "%%: %.0f ms\n",
                tempoError, latency);
}

// Every clock handed to an output: the moment it is due and the moment it
// was handed over.
struct HandedClock {
    std::chrono::steady_clock::time_point due, handed;
};

// Hands everything on to the output inside it and notes each clock; with
// `timed` off it stands for an output without a clock of its own.
class WatchedOutput : public MidiOutput {
public:
    WatchedOutput(std::unique_ptr<MidiOutput> inner, bool timed, std::vector<HandedClock>& log)
        : inner_(std::move(inner)), timed_(timed), log_(log) {}
    int ShortMsg(std::uint32_t packed) override {
        Note(packed, std::chrono::steady_clock::now());
        return inner_->ShortMsg(packed);
    }
    int ShortMsgAt(std::uint32_t packed, std::chrono::steady_clock::time_point due) override {
        if (!timed_) {
            return ShortMsg(packed);
        }
        Note(packed, due);
        return inner_->ShortMsgAt(packed, due);
    }
    std::chrono::nanoseconds Lead() const override {
        return timed_ ? inner_->Lead() : std::chrono::nanoseconds{0};
    }
    int LongMsg(const std::vector<std::uint8_t>& message) override {
        return inner_->LongMsg(message);
    }
    bool LongDone() override { return inner_->LongDone(); }
    int Close() override { return inner_->Close(); }

private:
    void Note(std::uint32_t packed, std::chrono::steady_clock::time_point due) {
        if ((packed & 0xFF) == kMidiClock) {
            log_.push_back({due, std::chrono::steady_clock::now()});
        }
    }
    std::unique_ptr<MidiOutput> inner_;
    bool timed_;
    std::vector<HandedClock>& log_;
};

class WatchedService : public MidiOutService {
public:
    WatchedService(MidiOutService& inner, bool timed) : inner_(inner), timed_(timed) {}
    int NumDevs() override { return inner_.NumDevs(); }
    int DevCaps(int id, MidiOutCaps& caps) override { return inner_.DevCaps(id, caps); }
    int Open(int id, std::unique_ptr<MidiOutput>& out) override {
        std::unique_ptr<MidiOutput> inner;
        const int result = inner_.Open(id, inner);
        if (result == kMidiOk) {
            out = std::make_unique<WatchedOutput>(std::move(inner), timed_, clocks);
        }
        return result;
    }
    std::string ErrorText(int code) override { return inner_.ErrorText(code); }
    std::vector<HandedClock> clocks;

private:
    MidiOutService& inner_;
    bool timed_;
};

// The clocks of a 4 s song at 120 bpm played on the synthesizer; `lead`
// gets the synthesizer's lead.
std::vector<HandedClock> PlayOnSynth(FluidMidiOut& synth, bool timed,
                                     std::chrono::nanoseconds& lead) {
    WatchedService watched(synth, timed);
    OutputHandle output(watched);
    if (output.Open(-1) != kMidiOk) {
        return {};
    }
    lead = output.Lead();
    ThreadTimer timer;
    PlaybackEngine engine(output, timer);
    TestSong song;
    song.Tempo(0, 500000);
    song.Note(480, 0, 60, 1440);
    engine.SetSendClock(true);
    engine.StartPlayback(song.play);
    while (engine.IsPlaying()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    output.Close();
    return watched.clocks;
}

// Microseconds from the exact schedule, and `margins`: how much earlier
// than due each clock was handed over.
Spread ScheduleSpread(const std::vector<HandedClock>& clocks, bool byDue,
                      std::vector<double>& margins) {
    std::vector<double> off;
    const double period = 500000.0 / kClocksPerQuarter;
    for (std::size_t k = 0; k < clocks.size(); ++k) {
        const auto at = byDue ? clocks[k].due : clocks[k].handed;
        const double us = std::chrono::duration<double, std::micro>(at - clocks[0].due).count();
        off.push_back(std::abs(us - static_cast<double>(k) * period));
        margins.push_back(
            std::chrono::duration<double, std::milli>(clocks[k].due - clocks[k].handed).count());
    }
    return SpreadOf(off);
}

void ClockOutOnSynth() {
    if (!PulseServer::Available()) {
        std::printf("clock out through the synthesizer: skipped, pulseaudio is not installed\n");
        return;
    }
    PulseServer server;
    FluidMidiOut synth({}, {"pulseaudio"});
    std::chrono::nanoseconds lead{0};
    const std::vector<HandedClock> timed = PlayOnSynth(synth, true, lead);
    std::chrono::nanoseconds none{0};
    const std::vector<HandedClock> atOnce = PlayOnSynth(synth, false, none);
    if (!server.Ready() || timed.empty() || atOnce.empty()) {
        std::printf("clock out through the synthesizer: skipped, it did not open: %s\n",
                    synth.ErrorText(kMidiErrNoAudio).c_str());
        return;
    }
    std::vector<double> margins;
    const Spread t = ScheduleSpread(timed, true, margins);
    std::vector<double> unused;
    const Spread a = ScheduleSpread(atOnce, false, unused);
    // The clocks due within one lead of Play are handed over with Play
    // itself; the margins of the others.
    std::size_t withPlay = 0;
    while (withPlay < timed.size() && timed[withPlay].due - timed[0].due < lead) {
        ++withPlay;
    }
    margins.erase(margins.begin(), margins.begin() + static_cast<std::ptrdiff_t>(withPlay));
    std::sort(margins.begin(), margins.end());
    // The synthesizer's lead holds 10 ms for a late timer: a clock handed
    // over later than that may sound up to one of its periods late.
    const double sure = std::chrono::duration<double, std::milli>(lead).count() - 10.0;
    const auto unsure = std::count_if(margins.begin(), margins.end(),
                                      [sure](double margin) { return margin < sure; });
    std::printf("clock out through the synthesizer, due moments from the exact schedule (%zu "
                "clocks, us): p50 %.2f  p99 %.2f  max %.2f\n",
                timed.size(), t.p50, t.p99, t.max);
    std::printf(
        "  handed over before due (ms), after the %zu that go with Play: min %.2f  p1 %.2f  "
        "p50 %.2f (the synthesizer's lead: %.2f ms); later than its timer margin: %ld\n",
        withPlay, margins.front(), margins[margins.size() / 100], margins[margins.size() / 2],
        std::chrono::duration<double, std::milli>(lead).count(), static_cast<long>(unsure));
    std::printf("  baseline, the same clocks sent when the timer wakes (%zu, us): p50 %.1f  p99 "
                "%.1f  max %.1f\n",
                atOnce.size(), a.p50, a.p99, a.max);
}

} // namespace

int main() {
    if (!FindJackd().empty()) {
        UseTestServer();
    }
    ClockIn();
    ClockOut();
    ClockInOnJack();
    ClockOutOnSynth();
    return 0;
}
