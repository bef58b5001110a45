#include "PlaybackTestSupport.h"
#include "output/TrackRender.h"
#include "platform/FluidSynthCore.h"
#include "platform/TextFile.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace sorvelin;
using namespace sorvelin::testing;
namespace fs = std::filesystem;

namespace {

// Root mean square level, 0..1 of full scale, of the 16-bit stereo samples
// of a WAV file between two times in seconds.
double Level(const std::string& wav, int rate, double from, double to) {
    const std::size_t first = 44 + static_cast<std::size_t>(from * rate) * 4;
    const std::size_t last = std::min(wav.size(), 44 + static_cast<std::size_t>(to * rate) * 4);
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = first; i + 1 < last; i += 2) {
        const auto sample = static_cast<std::int16_t>(static_cast<std::uint8_t>(wav[i]) |
                                                      (static_cast<std::uint8_t>(wav[i + 1]) << 8));
        sum += double(sample) * sample;
        ++count;
    }
    return count > 0 ? std::sqrt(sum / double(count)) / 32768.0 : 0.0;
}

} // namespace

TEST(TrackRender, ARenderedSongSoundsWhileNotesPlayAndFallsBackAfterTheLast) {
    if (FindSoundFont(SoundFontFolders()).empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    TestSong s;
    for (int i = 0; i < 8; ++i) { // eight 8th notes: 2 s at 120 beats per minute
        s.Note(60 * i, 0, 60 + 2 * i, 60);
    }
    std::string tmpl = (fs::temp_directory_path() / "sorvelin-render-XXXXXX").string();
    const fs::path dir = ::mkdtemp(tmpl.data());
    WavRenderOptions options;
    options.sampleRate = 22050;
    RenderTrackToWav(*s.play, dir / "song.wav", options);
    const std::string wav = ReadFileBytes(dir / "song.wav");
    fs::remove_all(dir);

    // 2 s of song and the 1.5 s release tail.
    EXPECT_EQ(wav.size(), 44u + std::size_t(3.5 * 22050) * 4);
    const double playing = Level(wav, 22050, 0.1, 1.9);
    const double tailEnd = Level(wav, 22050, 3.0, 3.5);
    EXPECT_GT(playing, 0.01);
    EXPECT_LT(tailEnd, playing / 20);
}
