// Time to write the score of a large song as "Save Score" does, against
// writing the same song as a Standard MIDI File as "Save MIDI" does, in the
// same run: 16 parts of 20,000 notes each, a new note on every 16th step
// (notes of 27 ticks, so every note is a tie chain in a quintuplet group and
// every gap a rest: the most the score writer has to say per note). Both
// write into a stream that only counts the bytes, so neither memory nor the
// disk is measured; then Save Score itself into a temporary file (with the
// system's write of the file). The median of five runs of each, in turns, in
// CPU time of this thread.
#include "compose/ComposeModel.h"
#include "compose/SongRender.h"
#include "midi/Mididata.h"
#include "midi/MusicXml.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <vector>

namespace sorvelin {
namespace {

constexpr int NotesPerPart = 20000;
constexpr int Limit = 1000;

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Counts what is written and keeps nothing; seeks within what was written.
class CountingBuffer : public std::streambuf {
public:
    std::size_t Size() const { return size_; }

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        at_ += static_cast<std::size_t>(n);
        size_ = std::max(size_, at_);
        return n;
    }
    int_type overflow(int_type c) override {
        xsputn(nullptr, 1);
        return traits_type::not_eof(c);
    }
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        const auto base = static_cast<off_type>(dir == std::ios_base::beg   ? 0
                                                : dir == std::ios_base::end ? size_
                                                                            : at_);
        at_ = static_cast<std::size_t>(base + off);
        return pos_type(static_cast<off_type>(at_));
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }

private:
    std::size_t at_ = 0;
    std::size_t size_ = 0;
};

template <typename Write> std::size_t Count(Write write) {
    CountingBuffer buffer;
    std::ostream out(&buffer);
    write(out);
    return buffer.Size();
}

template <typename Work> double Seconds(Work work, std::size_t& bytes) {
    const double start = CpuSeconds();
    bytes = work();
    return CpuSeconds() - start;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace
} // namespace sorvelin

int main() {
    using namespace sorvelin;
    ComposeModel compose; // the built-in scale and rhythm: 16th notes
    PartSettingsTable parts = DefaultPartSettings();
    for (PartSettings& part : parts) {
        part.UsePart = true;
    }
    std::vector<std::int32_t> series(16 * NotesPerPart);
    for (std::size_t i = 0; i < series.size(); ++i) {
        series[i] = static_cast<std::int32_t>(i % 13); // never two equal neighbours
    }
    compose.BuildAssignLists(series);
    RenderedSong song;
    song.Render(compose, parts, series, Limit);

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "sorvelin-score-bench.musicxml";
    std::vector<double> smf, xml, mxl, saved;
    std::size_t smfBytes = 0, xmlBytes = 0, mxlBytes = 0, savedBytes = 0;
    for (int round = 0; round < 5; ++round) {
        smf.push_back(Seconds(
            [&] { return Count([&](std::ostream& out) { song.WriteMidi(out); }); }, smfBytes));
        xml.push_back(Seconds(
            [&] {
                return Count([&](std::ostream& out) { song.WriteScore(out, false, "bench.svl"); });
            },
            xmlBytes));
        mxl.push_back(Seconds(
            [&] {
                return Count([&](std::ostream& out) { song.WriteScore(out, true, "bench.svl"); });
            },
            mxlBytes));
        saved.push_back(Seconds(
            [&] {
                song.SaveScore(file, "bench.svl");
                return static_cast<std::size_t>(std::filesystem::file_size(file));
            },
            savedBytes));
    }
    std::filesystem::remove(file);
    const double s = Median(smf), x = Median(xml), m = Median(mxl), f = Median(saved);
    std::printf("16 parts x %d notes, median of 5 runs, CPU seconds\n", NotesPerPart);
    std::printf("  Standard MIDI File (baseline) %8.3f s %11zu bytes\n", s, smfBytes);
    std::printf("  MusicXML                      %8.3f s %11zu bytes  %.1f x the baseline\n", x,
                xmlBytes, x / s);
    std::printf("  MusicXML, .mxl container      %8.3f s %11zu bytes  %.1f x the baseline\n", m,
                mxlBytes, m / s);
    std::printf("  Save Score into a file         %8.3f s %11zu bytes  %.1f x the baseline\n", f,
                savedBytes, f / s);
    return x < 1.0 ? 0 : 1;
}
