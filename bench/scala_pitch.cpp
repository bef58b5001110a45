// How true a Scala tuning sounds: a song on the installed 19-tone equal scale
// is rendered offline through the built-in synthesizer, and the pitch of each
// note is measured from the samples (the peak of a Hann-windowed spectrum near
// the fundamental, searched to a hundredth of a cent). Each is compared with
// the 19-tone pitch the Scale list gives that note, and with the pitch the
// synthesizer gives the same key alone (its SoundFont's samples are tuned a few
// cents off on their own). Prints one row per note and the largest deviations;
// exits 1 when a note is more than 3 cents off beyond the synthesizer's own
// error.
//
//   scala_pitch [PROGRAM]   General MIDI program of the part, 0-based (default 19)
#include "base/TextFile.h"
#include "compose/ScalaFile.h"
#include "compose/SongActions.h"
#include "output/TrackRender.h"
#include "sound/WavRender.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numbers>

using namespace sorvelin;

namespace {

constexpr int Degrees = 19;
constexpr double SampleRate = 44100;
// A whole note lasts 2 s at 120 beats per minute and sounds for 70 % of it;
// the window leaves out the attack and the release.
constexpr double WindowStart = 0.2;
constexpr double WindowLength = 1.1;

double Magnitude(const std::vector<double>& x, double hertz) {
    std::complex<double> sum = 0;
    std::complex<double> phasor = 1;
    const std::complex<double> turn = std::polar(1.0, -2 * std::numbers::pi * hertz / SampleRate);
    for (const double sample : x) {
        sum += sample * phasor;
        phasor *= turn;
    }
    return std::abs(sum);
}

// The samples of one note from `start` on, both channels summed, Hann-windowed.
std::vector<double> Window(const std::vector<std::int16_t>& stereo, double start) {
    const auto first = static_cast<std::size_t>((start + WindowStart) * SampleRate);
    const auto count = static_cast<std::size_t>(WindowLength * SampleRate);
    if (2 * (first + count) > stereo.size()) {
        return {};
    }
    std::vector<double> x(count);
    const double n = static_cast<double>(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / n);
        x[i] = hann * (stereo[2 * (first + i)] + stereo[2 * (first + i) + 1]);
    }
    return x;
}

// The spectral peak within 60 cents of `cents`: a one-cent grid, then golden
// section to 0.01 cent.
double PeakCents(const std::vector<double>& x, double cents) {
    const auto at = [&](double c) { return Magnitude(x, 440 * std::exp2((c - 6900) / 1200)); };
    double best = cents;
    double bestValue = -1;
    for (double c = cents - 60; c <= cents + 60; c += 1) {
        if (const double v = at(c); v > bestValue) {
            best = c;
            bestValue = v;
        }
    }
    double lo = best - 1;
    double hi = best + 1;
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    while (hi - lo > 0.01) {
        const double a = hi - ratio * (hi - lo);
        const double b = lo + ratio * (hi - lo);
        if (at(a) < at(b)) {
            lo = a;
        } else {
            hi = b;
        }
    }
    return (lo + hi) / 2;
}

// The synthesizer's own pitch of `key` with the wheel at the centre: what
// its SoundFont's sample for that key gives, before any tuning of ours.
double PlainKeyCents(int program, int key) {
    const auto ms = [](int t) { return std::chrono::nanoseconds(std::chrono::milliseconds(t)); };
    const std::vector<TimedMidiMessage> messages{
        {ms(0), {0xC0, static_cast<std::uint8_t>(program)}},
        {ms(0), {0xE0, 0x00, 0x40}},
        {ms(10), {0x90, static_cast<std::uint8_t>(key), 100}},
        {ms(1500), {0x80, static_cast<std::uint8_t>(key), 0}}};
    return PeakCents(Window(RenderMessages(messages), 0.01), 100.0 * key);
}

} // namespace

int main(int argc, char** argv) {
    const int program = argc > 1 ? std::atoi(argv[1]) : 19;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "sorvelin-pitch";
    std::filesystem::create_directories(dir);
    WriteLinesAtomic(dir / "rhythm.cfg", {"header", "\"Whole\",480"});

    ExplorerModel explorer;
    explorer.ZoomIn();
    explorer.PressPicture(10, 200);
    explorer.DragOnPicture(230, 40);
    explorer.ReleasePicture(230, 40);
    ComposeModel compose;
    for (const std::string& message : compose.LoadTableFiles({dir}, {SORVELIN_EXAMPLE_SCALES})) {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
    if (!compose.SelectScaleByName("19-TET")) {
        std::fprintf(stderr, "no 19-TET scale\n");
        return 2;
    }
    compose.ScaleComboBox1Change();
    compose.Controls.NoteCount = "40";
    compose.NoteCountChange();
    PartSettingsTable parts = DefaultPartSettings();
    parts[1].UsePart = false; // one voice: each note alone in its window
    parts[0].Program = program;
    ComposeSeries(explorer, compose);
    RenderedSong song;
    RenderPlaySong(song, explorer, compose, parts);
    const std::vector<TimedMidiMessage> messages = PlayedMessages(*song.PlayTrack());
    const std::vector<std::int16_t> stereo = RenderMessages(messages);

    const ScaleData& scale = compose.Scale;
    double worst = 0;
    int notes = 0;
    double worstOwn = 0;
    std::map<int, double> plainOffset; // key -> the synthesizer's own error there
    std::printf("  time  note  wheel  tuned cents  measured  deviation  key alone  ours\n");
    for (const TimedMidiMessage& m : messages) {
        if (m.bytes.size() != 3 || (m.bytes[0] & 0xF0) != 0x90 || m.bytes[2] == 0) {
            continue;
        }
        const int key = m.bytes[1];
        // The Scale list's first entry for the key gives its pitch: degree i.
        std::size_t degree = 0;
        while (scale.ScaleNotes[degree] != key) {
            ++degree;
        }
        const double tuned = 6000 + 1200.0 * static_cast<double>(degree) / Degrees;
        const double seconds = std::chrono::duration<double>(m.at).count();
        const std::vector<double> mono = Window(stereo, seconds);
        if (mono.empty()) {
            break;
        }
        const double measured = PeakCents(mono, tuned);
        const double deviation = measured - tuned;
        if (plainOffset.count(key) == 0) {
            plainOffset[key] = PlainKeyCents(program, key) - 100.0 * key;
        }
        const double own = deviation - plainOffset[key];
        worst = std::max(worst, std::fabs(deviation));
        worstOwn = std::max(worstOwn, std::fabs(own));
        ++notes;
        std::printf("%6.1f  %4d  %5d  %11.3f  %8.3f  %+9.3f  %+9.3f  %+6.3f\n", seconds, key,
                    8192 + scale.ScaleBends[degree], tuned, measured, deviation, plainOffset[key],
                    own);
    }
    std::printf("%d notes, program %d, %.1f s of audio: largest deviation %.3f cents; less the "
                "synthesizer's own error at each key (the key alone, wheel centred) %.3f cents\n",
                notes, program, static_cast<double>(stereo.size()) / 2 / SampleRate, worst,
                worstOwn);
    std::filesystem::remove_all(dir);
    int shared = 0;
    for (std::size_t i = 0; i < scale.ScaleNotes.size(); ++i) {
        const auto begin = scale.ScaleNotes.begin();
        shared += std::find(begin, begin + static_cast<long>(i), scale.ScaleNotes[i]) !=
                  begin + static_cast<long>(i);
    }
    std::printf("%d of the scale's %zu values share a note with an earlier value and sound at its "
                "pitch\n",
                shared, scale.ScaleNotes.size());
    return notes > 0 && worstOwn <= 3 ? 0 : 1;
}
