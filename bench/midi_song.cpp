// Time to turn a composition into MIDI data as "Play" and "Save MIDI" do:
// build 16 part tracks (set-up events, pitch bends and notes, each placed with
// AddEvent), merge every event into the playback track in time order, add the
// note-offs, and write the Standard MIDI File. Run at 1,000 and 10,000 notes
// per part: with linear growth the second takes about ten times the first.
// The baseline places every event by scanning the list from its first entry,
// as the track did before; it runs at the small size only (it grows with the
// square of the event count) and must give the same bytes.
#include "midi/Mididata.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace sorvelin {
namespace {

// CPU time of this thread: the machine is shared, and a busy neighbour
// should not show up as our cost. (Wall time on a quiet machine is close.)
struct Clock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<Clock, duration>;
    static time_point now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec));
    }
};

enum class Placement { Indexed, Scan };

// AddEvent with keep-order as a scan from the first entry: position, change
// log, latest note end, then the insert before the first later entry.
void ScanPlace(midiTrack& track, anyEvent* event) {
    track.song->TimeToPosition(event->time, event->bar, event->beat, event->tick);
    track.changeLog.Add(event);
    if (event->Kind() == kindNoteOn) {
        const auto* note = static_cast<const NoteOnEvent*>(event);
        track.lastTime = std::max(track.lastTime, note->time + note->duration);
    }
    int at = 0;
    while (at < track.Count() && track.EventAt(at)->time <= event->time) {
        ++at;
    }
    track.Insert(at, event);
}

void Place(midiTrack& track, anyEvent* event, Placement placement) {
    if (placement == Placement::Indexed) {
        track.AddEvent(event, true, true);
    } else {
        ScanPlace(track, event);
    }
}

struct Times {
    double build = 0, merge = 0, expand = 0, write = 0;
    double wall = 0; // the four phases by the wall clock
    double Total() const { return build + merge + expand + write; }
};

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// One Play and one Save MIDI; returns the file.
std::string RunOnce(int notesPerPart, Placement placement, Times& times) {
    auto song = std::make_unique<midiSong>();
    midiTrack play(song.get(), 0, "", EventOwnership::Borrowed);
    const auto wallStart = std::chrono::steady_clock::now();
    const auto t0 = Clock::now();
    song->RebuildBarTable();
    auto* conductor = song->tracks.Add(std::make_unique<midiTrack>(song.get(), 0, ""));
    auto* tempo = new TempoEvent(0);
    tempo->SetTempo(500000);
    Place(*conductor, tempo, placement);
    for (int part = 0; part < 16; ++part) {
        const auto ch = static_cast<std::uint8_t>(part);
        auto* track = song->tracks.Add(std::make_unique<midiTrack>(song.get(), part + 1, ""));
        const int d = 2 * part;
        auto* name = new trackNameEvent(0);
        name->SetText("Part " + std::to_string(part + 1));
        // Created in the order of the renderer: name, pan, bank MSB and LSB,
        // parameter LSB and MSB, data entry, program.
        anyEvent* setup[] = {name,
                             new ControlChangeEvent(d + 15, 0xB0 | ch, 10, 64),
                             new ControlChangeEvent(d + 8, 0xB0 | ch, 0, 0),
                             new ControlChangeEvent(d + 9, 0xB0 | ch, 32, 0),
                             new ControlChangeEvent(d + 50, 0xB0 | ch, 100, 0),
                             new ControlChangeEvent(d + 65, 0xB0 | ch, 101, 0),
                             new ControlChangeEvent(d + 80, 0xB0 | ch, 6, 2),
                             new ProgramChangeEvent(d + 10, 0xC0 | ch, 0)};
        for (anyEvent* event : setup) {
            Place(*track, event, placement);
        }
        int time = 480;
        for (int j = 0; j < notesPerPart; ++j) {
            const int step = j % 4 == 3 ? 60 : 30;
            if (j % 8 == 0) {
                Place(*track, new PitchBendEvent(time - 1, 0xE0 | ch, 8192 + (j % 16) * 256),
                      placement);
            }
            const auto key = static_cast<std::uint8_t>(48 + (j * 7 + part) % 36);
            Place(*track, new NoteOnEvent(time, 0x90 | ch, key, 100, step * 90 / 100), placement);
            time += step;
        }
        Place(*track, new PitchBendEvent(time + 120, 0xE0 | ch, 8192), placement);
    }
    song->RebuildBarTable();
    const auto t1 = Clock::now();
    play.Clear();
    for (int t = 0; t < song->tracks.Count(); ++t) {
        midiTrack* track = song->tracks.TrackAt(t);
        for (int i = 0; i < track->Count(); ++i) {
            if (!track->EventAt(i)->IsTrackEnd()) {
                Place(play, track->EventAt(i), placement);
            }
        }
    }
    const auto t2 = Clock::now();
    play.collapsed = true;
    play.ExpandNoteOffs();
    song->TempoAt(play.EventAt(0)->time);
    const auto t3 = Clock::now();
    std::ostringstream file;
    song->WriteSmf(file);
    const auto t4 = Clock::now();
    const auto wallEnd = std::chrono::steady_clock::now();
    times = {Ms(t0, t1), Ms(t1, t2), Ms(t2, t3), Ms(t3, t4),
             std::chrono::duration<double, std::milli>(wallEnd - wallStart).count()};
    play.Clear();
    return file.str();
}

// The run with the median total of `runs`.
Times Measure(int notesPerPart, Placement placement, int runs, std::string& file) {
    std::vector<Times> all(static_cast<std::size_t>(runs));
    for (Times& times : all) {
        file = RunOnce(notesPerPart, placement, times);
    }
    std::sort(all.begin(), all.end(),
              [](const Times& a, const Times& b) { return a.Total() < b.Total(); });
    return all[all.size() / 2];
}

void Print(const char* what, const Times& t) {
    std::printf("%-34s %9.2f %9.2f %9.2f %9.2f %10.2f %10.2f\n", what, t.build, t.merge, t.expand,
                t.write, t.Total(), t.wall);
}

} // namespace
} // namespace sorvelin

int main(int argc, char** argv) {
    using namespace sorvelin;
    // --profile: the large song only, for a profiler.
    if (argc > 1 && std::string(argv[1]) == "--profile") {
        std::string file;
        Print("16 parts x 10,000 notes", Measure(10000, Placement::Indexed, 9, file));
        return 0;
    }
    std::string smallFile, largeFile, scanFile;
    const Times small = Measure(1000, Placement::Indexed, 7, smallFile);
    const Times large = Measure(10000, Placement::Indexed, 7, largeFile);
    const Times scan = Measure(1000, Placement::Scan, 3, scanFile);
    std::printf("median of runs, CPU ms              build     merge    expand     write      "
                "total       wall\n");
    Print("16 parts x 1,000 notes", small);
    Print("16 parts x 10,000 notes", large);
    Print("baseline scan, 16 x 1,000 notes", scan);
    std::printf("file sizes: %zu and %zu bytes\n", smallFile.size(), largeFile.size());
    std::printf("growth 10,000 / 1,000 notes: %.2f (linear: 10)\n", large.Total() / small.Total());
    std::printf("baseline scan / indexed at 1,000 notes: %.2f\n", scan.Total() / small.Total());
    if (scanFile != smallFile) {
        std::printf("MISMATCH: the baseline wrote a different file\n");
        return 1;
    }
    std::printf("baseline and indexed placement wrote the same file\n");
    return 0;
}
