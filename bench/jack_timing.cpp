// Message timing through the JACK output: a song of 16th notes at 120 beats
// per minute played into sorvelin:midi_out on a private JACK server (dummy
// driver, 48 kHz, 256-frame periods), with a recording client taking every
// message's frame. Each message's frame is compared with its due frame plus
// the output's one period of latency, for
//   1. the playback engine, which hands each message over at its due moment
//      (ShortMsg), so its own wake-up lateness shows through;
//   2. a sender that keeps the output's lead: it wakes Lead() before each
//      due moment and hands the message over with it (ShortMsgAt);
// and, as the baseline, 3. the engine's hand-over lateness itself (when it
// sent against when the message was due), measured in the same run 1.
//
// The server runs synchronous (--sync), so a period it misses on a loaded
// machine delays the clients instead of skipping the recorder.
//
// Usage: jack_timing [notes]   (default 160: 20 s per run)
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiOutJack.h"
#include "support/JackTestSupport.h"
#include "support/PlaybackTestSupport.h"

#include <sys/prctl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

using namespace sorvelin;
using namespace sorvelin::testing;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kStep = 30;
constexpr int kTempo = 500000;

struct Figures {
    double p50 = 0, p99 = 0, max = 0;
};

Figures Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty()) {
        return {};
    }
    return {values[values.size() / 2],
            values[std::min(values.size() - 1, values.size() * 99 / 100)], values.back()};
}

// Due moment of every note message, in the order a monophonic song sends
// them: note-on k at k steps, its note-off one step later.
std::vector<Clock::time_point> DueMoments(const std::vector<RecordedMessage>& got,
                                          Clock::time_point start, int division) {
    const auto tick = std::chrono::nanoseconds(std::int64_t{kTempo} * 1000 / division);
    std::vector<Clock::time_point> due;
    int ons = 0;
    int offs = 0;
    for (const RecordedMessage& m : got) {
        const bool on = (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0;
        due.push_back(start + (on ? ons++ : ++offs) * kStep * tick);
    }
    return due;
}

void Report(const char* what, const std::vector<double>& frames) {
    if (frames.empty()) {
        std::printf("%-44s no messages arrived\n", what);
        return;
    }
    const Figures f = Summarise(frames);
    const double us = 1e6 / kJackRate;
    std::printf("%-44s p50 %6.1f  p99 %6.1f  max %6.1f frames  (%7.1f / %7.1f / %7.1f us)\n", what,
                f.p50, f.p99, f.max, f.p50 * us, f.p99 * us, f.max * us);
}

// Offsets in frames of each recorded note message from its due frame plus
// one period.
std::vector<double> Offsets(const std::vector<RecordedMessage>& got,
                            const std::vector<Clock::time_point>& due, HandedOver& handOvers) {
    std::vector<double> offsets;
    for (std::size_t i = 0; i < got.size() && i < due.size(); ++i) {
        const jack_nframes_t expected = handOvers.FrameOf(due[i]) + kJackPeriod;
        offsets.push_back(static_cast<std::int32_t>(got[i].frame - expected));
    }
    return offsets;
}

} // namespace

int main(int argc, char** argv) {
    const int notes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 160;
    if (FindJackd().empty()) {
        std::printf("jackd is not installed (Debian package jackd2): nothing to measure\n");
        return 0;
    }
    JackServer server;
    if (!server.Running()) {
        std::printf("the JACK server did not start\n");
        return 1;
    }
    HandedOver service;
    OutputHandle output(service);
    service.NumDevs();
    if (output.Open(0) != kMidiOk) {
        std::printf("the JACK output did not open\n");
        return 1;
    }
    TestSong song;
    song.Tempo(0, kTempo);
    for (int k = 0; k < notes; ++k) {
        song.Note(k * kStep, 0, 60 + k % 12, kStep);
    }
    const int division = song.song.division;

    // Messages that arrived, handed over, and the periods the server missed.
    struct Arrival {
        std::size_t arrived = 0, handed = 0, xruns = 0;
    } arrivals[2];

    // 1. The engine, handing over at each due moment.
    std::vector<double> engineOffsets;
    std::vector<double> handOverLateness;
    {
        JackRecorder recorder;
        recorder.Connect("sorvelin:midi_out");
        service.SetClock(
            [&recorder](Clock::time_point moment) { return recorder.FrameAt(moment); });
        ThreadTimer timer;
        PlaybackEngine engine(output, timer);
        std::atomic<bool> ended{false};
        engine.SetPlayEndHandler([&ended](void*) { ended = true; }, nullptr);
        const auto start = Clock::now();
        engine.StartPlayback(song.play);
        while (!ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto got = recorder.Messages();
        const auto due = DueMoments(got, start, division);
        engineOffsets = Offsets(got, due, service);
        arrivals[0] = {got.size(), service.HandOverCount(), recorder.Xruns()};
        for (std::size_t i = 0; i < service.HandOverCount() && i < due.size(); ++i) {
            handOverLateness.push_back(
                std::chrono::duration<double>(service.HandOver(i).moment - due[i]).count() *
                kJackRate);
        }
        output.Close();
        service.SetClock(nullptr);
        service.Clear();
    }

    // 2. A sender that keeps the output's lead.
    std::vector<double> leadOffsets;
    {
        std::unique_ptr<MidiOutput> out;
        if (service.Open(0, out) != kMidiOk) {
            std::printf("the JACK output did not open again\n");
            return 1;
        }
        JackRecorder recorder;
        recorder.Connect("sorvelin:midi_out");
        service.SetClock(
            [&recorder](Clock::time_point moment) { return recorder.FrameAt(moment); });
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        song.play->CollapseNoteOffs();
        song.play->ExpandNoteOffs();
        std::vector<const anyEvent*> events;
        for (int i = 0; i < song.play->Count(); ++i) {
            events.push_back(song.play->EventAt(i));
        }
        const auto tick = std::chrono::nanoseconds(std::int64_t{kTempo} * 1000 / division);
        const auto start = Clock::now() + std::chrono::milliseconds(50);
        const std::chrono::nanoseconds lead = out->Lead();
        for (const anyEvent* event : events) {
            const auto* note = dynamic_cast<const NoteOnEvent*>(event);
            if (note == nullptr) {
                continue;
            }
            const auto due = start + event->time * tick;
            std::this_thread::sleep_until(due - lead);
            out->ShortMsgAt(PackShortMsg(note->status, note->key, note->velocity), due);
        }
        std::this_thread::sleep_for(lead + std::chrono::milliseconds(50));
        const auto got = recorder.Messages();
        leadOffsets = Offsets(got, DueMoments(got, start, division), service);
        arrivals[1] = {got.size(), service.HandOverCount(), recorder.Xruns()};
        out->Close();
        service.SetClock(nullptr);
    }

    std::printf("JACK MIDI timing, %d notes (%zu messages per run), 48000 Hz, %u-frame periods\n",
                notes, engineOffsets.size(), kJackPeriod);
    std::printf("frame of arrival minus (due frame + one period of latency):\n");
    Report("1. engine, handing over when due", engineOffsets);
    Report("2. sender keeping the output's lead", leadOffsets);
    Report("3. baseline: engine's hand-over lateness", handOverLateness);
    for (int run = 0; run < 2; ++run) {
        std::printf("run %d: %zu of %zu messages arrived; the server missed %zu periods\n", run + 1,
                    arrivals[run].arrived, arrivals[run].handed, arrivals[run].xruns);
    }
    return 0;
}
