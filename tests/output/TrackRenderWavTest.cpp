#include "base/Errors.h"
#include "base/TextFile.h"
#include "output/TrackRender.h"
#include "sound/FluidSynthCore.h"
#include "support/PlaybackTestSupport.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
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

// The 16-bit samples of a WAV file's bytes, and of any sound file as
// libsndfile decodes it.
std::vector<std::int16_t> WavSamples(const std::string& wav) {
    std::vector<std::int16_t> samples((wav.size() - 44) / 2);
    std::memcpy(samples.data(), wav.data() + 44, samples.size() * 2);
    return samples;
}

std::vector<std::int16_t> DecodedSamples(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
    std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(
        sf_read_short(file, samples.data(), static_cast<sf_count_t>(samples.size()))));
    sf_close(file);
    return samples;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
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

// Save Audio's file: the WAV is the same file sorvelin-render writes, the
// FLAC holds the same samples; a cancelled or refused export leaves the old
// file and nothing beside it.
TEST(TrackRender, SoundFilesHoldTheRenderOrNothing) {
    if (FindSoundFont(SoundFontFolders()).empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    TestSong s;
    for (int i = 0; i < 4; ++i) {
        s.Note(60 * i, 0, 60 + 2 * i, 60);
    }
    std::string tmpl = (fs::temp_directory_path() / "sorvelin-audio-XXXXXX").string();
    const fs::path dir = ::mkdtemp(tmpl.data());
    WavRenderOptions options;
    options.sampleRate = 22050;
    RenderTrackToWav(*s.play, dir / "reference.wav", options);
    const std::string reference = ReadFileBytes(dir / "reference.wav");
    fs::remove(dir / "reference.wav");

    struct Case {
        const char* name;
        bool cancel;
        bool written;
    };
    const Case cases[] = {
        {"song.wav", false, true},  {"song.FLAC", false, true}, {"song.wav", true, false},
        {"song.flac", true, false}, {"song.ogg", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.cancel ? " cancelled" : ""));
        const fs::path path = dir / c.name;
        WriteBytes(path, "old");
        WorkProgress progress;
        if (c.cancel) {
            progress.Cancel();
        }
        try {
            RenderTrackToSoundFile(*s.play, path, progress, options);
            EXPECT_TRUE(c.written);
        } catch (const WorkCancelled&) {
            EXPECT_TRUE(c.cancel);
        } catch (const UserError&) {
            EXPECT_FALSE(c.cancel || c.written);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
        const std::string bytes = ReadFileBytes(path);
        if (!c.written) {
            EXPECT_EQ(bytes, "old");
        } else if (path.extension() == ".wav") {
            EXPECT_EQ(bytes, reference);
            EXPECT_EQ(progress.Fraction(), 1.0);
        } else {
            EXPECT_EQ(bytes.substr(0, 4), "fLaC");
            EXPECT_LT(bytes.size(), reference.size());
            EXPECT_EQ(DecodedSamples(path), WavSamples(reference));
        }
        fs::remove(path);
    }
    fs::remove_all(dir);
}
