// Playback pacing: a song of about 30 seconds (16th notes at 120 beats per
// minute, 150 from the middle on) played into the capture output by
//   1. the playback engine (song clock),
//   2. the original relative pacing (truncated microseconds per tick, whole
//      milliseconds, each delay measured from the previous group),
// and, as the floor any timer on this machine can reach, 3. a plain
// std::this_thread::sleep_until at the same due times, running alongside the
// engine so both meet the same machine noise. Every group's send time is
// compared with its exact due time. Then the engine plays the song as a loop
// for a number of passes, each pass starting on the previous one's last
// note-off, with a raw sleeper again alongside: the same figures across the
// seams, and the seam groups alone. All run in one process.
//
// Usage: output_pacing [sixteenths-at-120] [loop passes]
//        (defaults 120: about 30 s a pass, and 3 passes)
#include "base/Timer.h"
#include "midi/Mididata.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiOutCapture.h"

#include <sys/prctl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

using namespace sorvelin;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSixteenth = 30;
constexpr int kSlowTempo = 500000; // 120 beats per minute
constexpr int kFastTempo = 400000; // 150

struct Song {
    // `slow` 16ths at 120, then as many at 150 as fill the same time.
    explicit Song(int slow) : tempoTick(slow * kSixteenth) {
        song.RebuildBarTable();
        conductor = song.tracks.Add(std::make_unique<midiTrack>(&song, 0, "Tempo"));
        play = std::make_shared<midiTrack>(&song, 0, "");
        for (midiTrack* track : {conductor, play.get()}) {
            auto slow = std::make_unique<TempoEvent>(0);
            slow->SetTempo(kSlowTempo);
            track->AddEvent(std::move(slow), true, false);
            auto fast = std::make_unique<TempoEvent>(tempoTick);
            fast->SetTempo(kFastTempo);
            track->AddEvent(std::move(fast), true, false);
        }
        for (int i = 0; i < slow + slow * 5 / 4; ++i) {
            play->AddEvent(std::make_unique<NoteOnEvent>(kSixteenth * i, 0x90,
                                                         static_cast<std::uint8_t>(60 + i % 12),
                                                         100, kSixteenth),
                           true, false);
        }
        // Groups: their tick and how many messages they send (meta sends
        // none), read from the expanded track. Each player expands it again.
        for (const anyEvent* event : Expanded()) {
            if (groups.empty() || groups.back().ticks != event->time) {
                groups.push_back({event->time, 0});
            }
            groups.back().messages += event->status == 0xFF ? 0 : 1;
        }
        play->CollapseNoteOffs();
    }
    // The track as playback sees it: note-offs added, sorted.
    std::vector<const anyEvent*> Expanded() {
        play->CollapseNoteOffs();
        play->ExpandNoteOffs();
        std::vector<const anyEvent*> events;
        for (int i = 0; i < play->Count(); ++i) {
            events.push_back(play->EventAt(i));
        }
        return events;
    }
    // Exact due time of a tick from the start, in milliseconds.
    double DueMs(int ticks) const {
        const double slowPart = std::min(ticks, tempoTick) * double(kSlowTempo) / 120.0;
        const double fastPart = std::max(0, ticks - tempoTick) * double(kFastTempo) / 120.0;
        return (slowPart + fastPart) / 1000.0;
    }
    struct Group {
        int ticks;
        int messages;
    };
    int tempoTick;
    midiSong song;
    midiTrack* conductor = nullptr;
    std::shared_ptr<midiTrack> play;
    std::vector<Group> groups;
};

struct Figures {
    double mean = 0, median = 0, p99 = 0, max = 0, endDrift = 0;
};

Figures Summarise(std::vector<double> lateness) {
    Figures f;
    f.endDrift = lateness.back();
    for (double l : lateness) {
        f.mean += l;
    }
    f.mean /= double(lateness.size());
    std::sort(lateness.begin(), lateness.end());
    f.median = lateness[lateness.size() / 2];
    f.p99 = lateness[std::min(lateness.size() - 1, lateness.size() * 99 / 100)];
    f.max = lateness.back();
    return f;
}

// Every group the capture should see, in order: its exact due time from the
// first group in milliseconds and how many messages it sends. Played as a
// loop, pass k starts on tick 0 at the moment pass k - 1 ends on its last
// tick; the groups on either side of that moment are the seam.
struct Due {
    double ms;
    int messages;
    bool seam;
};

std::vector<Due> Schedule(const Song& song, int passes) {
    const int last = song.groups.back().ticks;
    const double pass = song.DueMs(last);
    std::vector<Due> due;
    for (int k = 0; k < passes; ++k) {
        for (const Song::Group& g : song.groups) {
            const bool seam = (k > 0 && g.ticks == 0) || (k + 1 < passes && g.ticks == last);
            due.push_back({k * pass + song.DueMs(g.ticks), g.messages, seam});
        }
    }
    return due;
}

// Lateness of every group after the first, measured from the first group's
// send time, in milliseconds; with `seams`, those of the seam groups too.
std::vector<double> GroupLateness(const std::vector<Due>& due,
                                  const std::vector<CapturedMessage>& sent,
                                  std::vector<double>* seams = nullptr) {
    std::vector<double> lateness;
    std::size_t at = 0;
    Clock::time_point origin;
    for (std::size_t g = 0; g < due.size(); ++g) {
        if (at >= sent.size()) {
            break;
        }
        const auto when = sent[at].time;
        if (g == 0) {
            origin = when;
        } else {
            const double ms = std::chrono::duration<double, std::milli>(when - origin).count();
            lateness.push_back(ms - due[g].ms);
            if (seams != nullptr && due[g].seam) {
                seams->push_back(lateness.back());
            }
        }
        at += static_cast<std::size_t>(due[g].messages);
    }
    return lateness;
}

// A plain sleep_until at every due time from `origin`, on a thread with the
// same timer slack as the timer service's; lateness in milliseconds.
std::thread RawSleeper(const std::vector<Due>& due, Clock::time_point origin,
                       std::vector<double>& lateness) {
    return std::thread([&due, origin, &lateness] {
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        for (std::size_t g = 1; g < due.size(); ++g) {
            const auto at = origin + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double, std::milli>(due[g].ms));
            std::this_thread::sleep_until(at);
            lateness.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - at).count());
        }
    });
}

// The engine, with a raw sleeper waking at the same due times alongside it,
// so both meet the same machine noise at the same moments.
struct EngineRun {
    std::vector<double> engine;
    std::vector<double> raw;
    std::vector<double> seams;
};

// One pass, or `passes` of a loop over the whole song (stopped once the last
// of them is sent).
EngineRun PlayWithEngine(Song& song, int passes = 1) {
    const std::vector<Due> due = Schedule(song, passes);
    std::size_t messages = 0;
    for (const Due& d : due) {
        messages += static_cast<std::size_t>(d.messages);
    }
    ThreadTimer timer;
    CaptureMidiOut capture;
    OutputHandle output(capture);
    output.Open(-1);
    PlaybackEngine engine(output, timer);
    std::atomic<bool> ended{false};
    engine.SetPlayEndHandler([&](void*) { ended = true; }, nullptr);
    EngineRun run;
    std::thread sleeper = RawSleeper(due, Clock::now(), run.raw);
    std::optional<PlaybackLoop> loop;
    if (passes > 1) {
        loop = PlaybackLoop{0, song.groups.back().ticks};
    }
    engine.StartPlayback(song.play, loop);
    while (!ended && capture.MessageCount() < messages) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    engine.StopPlayback();
    sleeper.join();
    song.play->CollapseNoteOffs();
    run.engine = GroupLateness(due, capture.Messages(), &run.seams);
    return run;
}

// The relative pacing as first designed, on the same timer service.
class RelativePacer {
public:
    RelativePacer(Song& song, OutputHandle& output, TimerService& timer)
        : song_(song), output_(output), timer_(timer), engine_(output, timer) {}

    void Start() {
        events_ = song_.Expanded();
        const auto& events = events_;
        tempo_ = song_.song.TempoAt(events[0]->time);
        const int t0 = events[0]->time;
        while (index_ < events.size() && events[index_]->time == t0) {
            Send(*events[index_++]);
        }
        int d = (events[index_]->time - t0) * (tempo_ / song_.song.division) / 1000;
        timer_.SetEvent(std::max(d, 1), 10, [this] { Tick(); });
    }
    void Tick() {
        const auto& events = events_;
        for (;;) {
            const int t0 = events[index_]->time;
            const std::uint32_t s = Millis();
            while (index_ < events.size() && events[index_]->time == t0) {
                Send(*events[index_++]);
            }
            if (index_ >= events.size()) {
                ended = true;
                return;
            }
            const int d = (events[index_]->time - t0) * (tempo_ / song_.song.division) / 1000 -
                          static_cast<int>(Millis() - s);
            if (d > 1) {
                timer_.SetEvent(d, 10, [this] { Tick(); });
                return;
            }
        }
    }
    std::atomic<bool> ended{false};

private:
    // The timer's clock in whole milliseconds, as the relative pacing counted.
    std::uint32_t Millis() const {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(timer_.Now().time_since_epoch())
                .count());
    }
    void Send(const anyEvent& event) {
        if (const auto* meta = dynamic_cast<const metaEvent*>(&event)) {
            if (meta->type == 0x51) {
                tempo_ = (meta->data[0] << 16) | (meta->data[1] << 8) | meta->data[2];
            }
            return;
        }
        engine_.SendEvent(event);
    }
    Song& song_;
    OutputHandle& output_;
    TimerService& timer_;
    PlaybackEngine engine_; // only for its SendEvent
    std::vector<const anyEvent*> events_;
    std::size_t index_ = 0;
    int tempo_ = kSlowTempo;
};

std::vector<double> PlayRelative(Song& song) {
    ThreadTimer timer;
    CaptureMidiOut capture;
    OutputHandle output(capture);
    output.Open(-1);
    RelativePacer pacer(song, output, timer);
    pacer.Start();
    while (!pacer.ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    song.play->CollapseNoteOffs();
    return GroupLateness(Schedule(song, 1), capture.Messages());
}

void Print(const char* name, const Figures& f) {
    std::printf("%-34s %8.3f %8.3f %8.3f %8.3f %10.3f\n", name, f.mean, f.median, f.p99, f.max,
                f.endDrift);
}

// The engine's figures, the raw sleeper's and their difference group by
// group; returns the raw sleeper's.
Figures PrintEngineRun(const EngineRun& run) {
    const Figures raw = Summarise(run.raw);
    std::vector<double> added;
    for (std::size_t g = 0; g < std::min(run.engine.size(), run.raw.size()); ++g) {
        added.push_back(run.engine[g] - run.raw[g]);
    }
    Print("engine, song clock", Summarise(run.engine));
    Print("raw sleep_until, same moments", raw);
    Print("engine minus raw, group by group", Summarise(added));
    return raw;
}

} // namespace

int main(int argc, char** argv) {
    const int slow = argc > 1 ? std::max(2, std::atoi(argv[1])) : 120;
    const int passes = argc > 2 ? std::max(2, std::atoi(argv[2])) : 3;
    Song song(slow);
    const double length = song.DueMs(song.groups.back().ticks) / 1000.0;
    std::printf("song: %zu groups, %.1f s (16ths at 120, then 150 from %.1f s)\n",
                song.groups.size(), length, song.DueMs(song.tempoTick) / 1000.0);
    std::printf("lateness of each group against its exact due time, ms\n");
    std::printf("%-34s %8s %8s %8s %8s %10s\n", "", "mean", "median", "p99", "max", "end drift");
    const EngineRun run = PlayWithEngine(song);
    const Figures ours = Summarise(run.engine);
    const Figures raw = PrintEngineRun(run);
    const Figures relative = Summarise(PlayRelative(song));
    Print("original relative pacing", relative);
    std::printf("median: engine %+.3f ms over raw; end drift: original %.1f ms, engine %.3f ms "
                "(%.0f times less)\n",
                ours.median - raw.median, relative.endDrift, ours.endDrift,
                std::abs(relative.endDrift) / std::max(std::abs(ours.endDrift), 1e-3));

    std::printf("\nlooping, %d passes (%zu seam groups), against the exact schedule, ms\n", passes,
                static_cast<std::size_t>(2 * (passes - 1)));
    const EngineRun looped = PlayWithEngine(song, passes);
    const Figures loopRaw = PrintEngineRun(looped);
    const Figures seams = Summarise(looped.seams);
    Print("engine, seam groups alone", seams);
    std::printf("median: looping engine %+.3f ms over raw; seam groups max %.3f ms; end drift "
                "after %d passes %.3f ms\n",
                Summarise(looped.engine).median - loopRaw.median, seams.max, passes,
                Summarise(looped.engine).endDrift);
    return 0;
}
