// Play's rendering as the composition does it: the song (conductor, 16 part
// tracks with set-up events, the step sequencer's bends and notes), the merge
// into the playback track, the playback engine's note-off expansion, and the
// Standard MIDI File that Save MIDI writes. Run at 200, 2,000 and 20,000
// notes per part; with linear growth each size takes ten times the one
// before. The baseline, measured in the same run, maps the same values to
// notes and encodes them straight into note-on and note-off bytes without
// any event objects: the least work any renderer must do.
#include "compose/SongRender.h"
#include "midi/Mididata.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace sorvelin {
namespace {

constexpr int Limit = 200;

// CPU time of this thread, so a busy neighbour on the shared machine does not
// count as our cost.
double NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Series with runs of equal values (slurs), rests at the limit and jumps.
std::vector<std::int32_t> MakeSeries(int perPart) {
    std::vector<std::int32_t> series(static_cast<std::size_t>(16 * perPart));
    std::uint32_t state = 12345;
    std::int32_t value = 0;
    for (std::size_t i = 0; i < series.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        if ((state >> 28) < 11) { // keep the value about a third of the time
            value = static_cast<std::int32_t>((state >> 8) % (Limit + 1));
        }
        series[i] = value;
    }
    return series;
}

PartSettingsTable AllParts() {
    PartSettingsTable parts = DefaultPartSettings();
    for (PartSettings& part : parts) {
        part.UsePart = true;
    }
    return parts;
}

struct Times {
    double render = 0, merge = 0, expand = 0, write = 0;
    double Total() const { return render + merge + expand + write; }
};

Times RunOnce(const ComposeModel& compose, const std::vector<std::int32_t>& series,
              std::size_t& bytes) {
    Times t;
    const double t0 = NowMs();
    std::unique_ptr<midiSong> song = RenderSong(compose, AllParts(), series, Limit);
    const double t1 = NowMs();
    std::unique_ptr<midiTrack> play = MergePlayTrack(*song);
    const double t2 = NowMs();
    play->collapsed = true;
    play->ExpandNoteOffs();
    const double t3 = NowMs();
    std::ostringstream out;
    song->WriteSmf(out);
    const double t4 = NowMs();
    bytes = out.str().size();
    play.reset();
    return {t1 - t0, t2 - t1, t3 - t2, t4 - t3};
}

// The same values as notes, written as delta, status, key, velocity bytes.
double Baseline(const ComposeModel& compose, const std::vector<std::int32_t>& series) {
    const double t0 = NowMs();
    const NoteMapper mapper = compose.Mapper(Limit);
    std::string bytes;
    bytes.reserve(series.size() * 8);
    for (std::int32_t value : series) {
        const int note = mapper.AssignNote(value);
        if (note < 0) {
            continue;
        }
        const char on[] = {27, char(0x90), char(note), 100, 3, char(0x90), char(note), 0};
        bytes.append(on, sizeof on);
    }
    const double t1 = NowMs();
    if (bytes.size() == 1) {
        std::printf("?");
    }
    return t1 - t0;
}

template <typename F> double Median(int runs, F f) {
    std::vector<double> all;
    for (int i = 0; i < runs; ++i) {
        all.push_back(f());
    }
    std::sort(all.begin(), all.end());
    return all[all.size() / 2];
}

} // namespace
} // namespace sorvelin

int main() {
    using namespace sorvelin;
    ComposeModel compose;
    const int sizes[] = {200, 2000, 20000};
    const int runs[] = {15, 9, 5};
    std::printf("median of runs, CPU ms       render     merge    expand     write      total"
                "   baseline   ratio\n");
    double totals[3] = {};
    for (int s = 0; s < 3; ++s) {
        const std::vector<std::int32_t> series = MakeSeries(sizes[s]);
        std::vector<Times> all;
        std::size_t bytes = 0;
        for (int r = 0; r < runs[s]; ++r) {
            all.push_back(RunOnce(compose, series, bytes));
        }
        std::sort(all.begin(), all.end(),
                  [](const Times& a, const Times& b) { return a.Total() < b.Total(); });
        const Times t = all[all.size() / 2];
        const double base = Median(runs[s], [&] { return Baseline(compose, series); });
        totals[s] = t.Total();
        std::printf(
            "16 parts x %6d notes %9.2f %9.2f %9.2f %9.2f %10.2f %10.3f %7.1f   (%zu bytes)\n",
            sizes[s], t.render, t.merge, t.expand, t.write, t.Total(), base, t.Total() / base,
            bytes);
    }
    std::printf("growth 2,000 / 200 notes: %.2f, 20,000 / 2,000 notes: %.2f (linear: 10)\n",
                totals[1] / totals[0], totals[2] / totals[1]);
    return 0;
}
