// The built-in synthesizer through a real PulseAudio server, side by side
// with FluidSynth's own command-line player on the same server in the same
// run: a 30-second song (two seconds of lead-in, then a piano note every
// 250 ms panned left over a held organ panned right) played
//   1. by Sorvelin's playback engine into the built-in synthesizer, and
//   2. by `fluidsynth -a pulseaudio` from the file Save MIDI writes,
// at idle, with one core kept busy and with both (a load of about two
// beside the players themselves and whatever else the machine runs). The null sink's monitor is
// recorded (both at the same synthesizer gain); from it come the latency from Play to the first
// sound (beyond the lead-in), the onset jitter of the piano notes around their median latency
// (p50/p99/max) and the dropped-audio gaps (runs of digital silence inside the held organ).
//
// Usage: synth_pulse [seconds]   (default 30)
#include "base/Timer.h"
#include "compose/SongRender.h"
#include "midi/Mididata.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/FluidSynthCore.h"
#include "sound/MidiOutFluid.h"

#include "support/PulseServer.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

using namespace sorvelin;
using namespace std::chrono_literals;
using sorvelin::test::MonitorRecorder;
using sorvelin::test::PulseServer;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDivision = 120;                  // ticks per quarter, 120 beats per minute
constexpr int kLeadInTicks = 2 * 2 * kDivision; // two seconds
constexpr int kNoteTicks = kDivision / 2;       // a note every 250 ms
constexpr int kOnsetLevel = 2000;
constexpr int kGapFrames = 24;   // half a millisecond of digital silence
constexpr int kGapContext = 480; // with sound 10 ms either side

struct BenchSong {
    explicit BenchSong(int seconds) {
        song.division = kDivision;
        song.songLength = seconds * 2 * kDivision;
        song.RebuildBarTable();
        auto* conductor = song.tracks.Add(std::make_unique<midiTrack>(&song, 0, "Tempo"));
        auto tempo = std::make_unique<TempoEvent>(0);
        tempo->SetTempo(500000);
        conductor->AddEvent(std::move(tempo), true, false);
        // Piano, left: the notes whose onsets are timed.
        auto* piano = song.tracks.Add(std::make_unique<midiTrack>(&song, 1, "Piano"));
        piano->AddEvent(std::make_unique<ProgramChangeEvent>(0, 0xC0, 0), true, false);
        piano->AddEvent(std::make_unique<ControlChangeEvent>(0, 0xB0, 10, 0), true, false);
        for (int tick = kLeadInTicks; tick < song.songLength; tick += kNoteTicks) {
            piano->AddEvent(std::make_unique<NoteOnEvent>(tick, 0x90, 72, 110, kNoteTicks * 2 / 5),
                            true, false);
            dueSeconds.push_back(tick / (2.0 * kDivision));
        }
        // Organ, right: always sounding, so a dropped buffer shows as silence.
        auto* organ = song.tracks.Add(std::make_unique<midiTrack>(&song, 2, "Organ"));
        organ->AddEvent(std::make_unique<ProgramChangeEvent>(0, 0xC1, 19), true, false);
        organ->AddEvent(std::make_unique<ControlChangeEvent>(0, 0xB1, 10, 127), true, false);
        for (int tick = kLeadInTicks; tick < song.songLength; tick += 8 * kDivision) {
            organ->AddEvent(std::make_unique<NoteOnEvent>(tick, 0x91, 48, 70, 8 * kDivision - 2),
                            true, false);
        }
        play = std::shared_ptr<midiTrack>(MergePlayTrack(song));
    }
    midiSong song;
    std::shared_ptr<midiTrack> play;
    std::vector<double> dueSeconds; // of the piano notes, from the song's start
};

struct Figures {
    double firstSoundMs = 0; // beyond the lead-in
    double p50 = 0, p99 = 0, max = 0;
    int heard = 0, notes = 0, gaps = 0;
};

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index =
        static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// A player started as a process makes its first sound after its own
// start-up: its song's start is put where its first note is heard, less the
// lead-in, and the first-sound figure says how late that was.
Clock::time_point StartOfFirstNote(const MonitorRecorder& recorder, Clock::time_point start,
                                   double firstDue, double& startUpMs) {
    const auto left = recorder.Peaks(0);
    const auto lead =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(firstDue));
    for (std::size_t i = recorder.FrameAt(start + lead - 60ms); i < left.size(); ++i) {
        if (left[i] >= kOnsetLevel) {
            startUpMs = std::chrono::duration<double, std::milli>(recorder.TimeOf(i) - start - lead)
                            .count();
            return recorder.TimeOf(i) - lead;
        }
    }
    return start;
}

Figures Analyse(const MonitorRecorder& recorder, Clock::time_point start,
                const std::vector<double>& dueSeconds, bool ownStartUp = false) {
    Figures figures;
    double startUpMs = 0;
    if (ownStartUp) {
        start = StartOfFirstNote(recorder, start, dueSeconds.front(), startUpMs);
    }
    const auto left = recorder.Peaks(0);
    const auto right = recorder.Peaks(1);
    std::vector<double> latencies;
    for (const double due : dueSeconds) {
        const auto dueTime =
            start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due));
        const std::size_t from = recorder.FrameAt(dueTime - 60ms);
        const std::size_t to = std::min(left.size(), recorder.FrameAt(dueTime + 180ms));
        ++figures.notes;
        for (std::size_t i = from; i < to; ++i) {
            if (left[i] >= kOnsetLevel) {
                latencies.push_back(
                    std::chrono::duration<double, std::milli>(recorder.TimeOf(i) - dueTime)
                        .count());
                break;
            }
        }
    }
    figures.heard = static_cast<int>(latencies.size());
    if (!latencies.empty()) {
        figures.firstSoundMs = latencies.front() + startUpMs;
        const double median = Percentile(latencies, 0.5);
        std::vector<double> jitter;
        for (const double latency : latencies) {
            jitter.push_back(std::abs(latency - median));
        }
        figures.p50 = Percentile(jitter, 0.5);
        figures.p99 = Percentile(jitter, 0.99);
        figures.max = *std::max_element(jitter.begin(), jitter.end());
    }
    // Gaps: runs of digital silence in the organ while it sounds on both sides.
    const std::size_t first = recorder.FrameAt(
        start + std::chrono::milliseconds(static_cast<int>(dueSeconds.front() * 1000) + 100));
    const std::size_t last =
        std::min(right.size(), recorder.FrameAt(start + std::chrono::milliseconds(static_cast<int>(
                                                            dueSeconds.back() * 1000))));
    auto sounding = [&](std::size_t from, std::size_t to) {
        int peak = 0;
        for (std::size_t i = from; i < std::min(to, right.size()); ++i) {
            peak = std::max(peak, right[i]);
        }
        return peak > 100;
    };
    for (std::size_t i = first; i < last;) {
        if (right[i] > 1) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < last && right[end] <= 1) {
            ++end;
        }
        if (end - i >= kGapFrames && i >= kGapContext && sounding(i - kGapContext, i) &&
            sounding(end, end + kGapContext)) {
            ++figures.gaps;
        }
        i = end;
    }
    return figures;
}

// Keeps `cores` cores busy while it lives.
class Load {
public:
    explicit Load(int cores) {
        for (int i = 0; i < cores; ++i) {
            workers_.emplace_back([this] {
                volatile std::uint64_t spin = 0;
                while (!stop_.load(std::memory_order_relaxed)) {
                    spin = spin + 1;
                }
            });
        }
    }
    ~Load() {
        stop_ = true;
        for (auto& worker : workers_) {
            worker.join();
        }
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> workers_;
};

Figures PlaySorvelin(const PulseServer& server, const BenchSong& song, int seconds) {
    FluidMidiOut synth;
    OutputHandle output(synth);
    if (const int result = output.Open(-1); result != kMidiOk) {
        std::fprintf(stderr, "the built-in synthesizer did not open: %s\n",
                     synth.ErrorText(result).c_str());
        return {};
    }
    MonitorRecorder recorder(server);
    recorder.WaitUntilRecording();
    ThreadTimer timer;
    PlaybackEngine engine(output, timer);
    const auto start = timer.Now();
    engine.StartPlayback(song.play);
    std::this_thread::sleep_for(std::chrono::seconds(seconds) + 500ms);
    engine.StopPlayback();
    recorder.Stop();
    return Analyse(recorder, start, song.dueSeconds);
}

Figures PlayFluidSynth(const PulseServer& server, const BenchSong& song, int seconds,
                       const std::filesystem::path& midiFile) {
    MonitorRecorder recorder(server);
    recorder.WaitUntilRecording();
    const auto start = Clock::now();
    const pid_t player =
        sorvelin::test::Spawn({"fluidsynth", "-a", "pulseaudio", "-i", "-q", "-g", "0.8",
                               FindSoundFont(SoundFontFolders()).string(), midiFile.string()},
                              server.Log());
    std::this_thread::sleep_for(std::chrono::seconds(seconds) + 4s); // its start-up too
    sorvelin::test::EndProcess(player);
    recorder.Stop();
    return Analyse(recorder, start, song.dueSeconds, true);
}

void Print(const char* who, const char* load, const Figures& f) {
    std::printf("%-22s %-6s first sound %+7.1f ms  jitter p50 %5.2f p99 %6.2f max %6.2f ms  "
                "heard %d/%d  gaps %d\n",
                who, load, f.firstSoundMs, f.p50, f.p99, f.max, f.heard, f.notes, f.gaps);
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
    if (!PulseServer::Available() || !sorvelin::test::OnPath("fluidsynth")) {
        std::fprintf(stderr, "needs pulseaudio, parec and fluidsynth\n");
        return 77;
    }
    PulseServer server;
    if (!server.Ready()) {
        std::fprintf(stderr, "the PulseAudio server did not start; see %s\n", server.Log().c_str());
        return 1;
    }
    BenchSong song(seconds);
    const auto midiFile = server.Folder() / "song.mid";
    {
        std::ofstream out(midiFile, std::ios::binary);
        song.song.WriteSmf(out);
    }
    std::printf("%d s song, %zu timed notes; fluidsynth's first sound counts from its start-up\n",
                seconds, song.dueSeconds.size());
    for (const int busy : {0, 1, 2}) {
        const char* label = busy == 0 ? "idle" : busy == 1 ? "1 busy" : "2 busy";
        {
            Load load(busy);
            Print("Sorvelin (engine+synth)", label, PlaySorvelin(server, song, seconds));
        }
        {
            Load load(busy);
            Print("fluidsynth -a pulse", label, PlayFluidSynth(server, song, seconds, midiFile));
        }
        std::fflush(stdout);
    }
    return 0;
}
