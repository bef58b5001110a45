#include "base/Errors.h"
#include "base/TextFile.h"
#include "sound/AlsaEncoder.h"
#include "sound/FluidSynthCore.h"
#include "sound/MidiOutAlsa.h"
#include "sound/MidiOutFluid.h"
#include "sound/WavFile.h"
#include "sound/WavRender.h"

#include "support/TempDir.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace sorvelin;
using sorvelin::test::TempDir;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Root mean square of the samples between two times, 0..1 of full scale.
double Level(const std::vector<std::int16_t>& stereo, int rate, double from, double to) {
    const auto first = static_cast<std::size_t>(from * rate) * 2;
    const auto last = std::min(stereo.size(), static_cast<std::size_t>(to * rate) * 2);
    double sum = 0;
    for (std::size_t i = first; i < last; ++i) {
        sum += double(stereo[i]) * stereo[i];
    }
    return last > first ? std::sqrt(sum / double(last - first)) / 32768.0 : 0.0;
}

} // namespace

TEST(FluidSynth, SoundFontIsFoundByContentNotByName) {
    const fs::path installed = FindSoundFont(SoundFontFolders());
    if (installed.empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    TempDir dir;
    fs::copy_file(installed, dir.path / "renamed.sf3");
    std::ofstream(dir.path / "empty.sf2") << "not a soundfont";
    EXPECT_EQ(FindSoundFont({dir.path}), dir.path / "renamed.sf3");
    fs::remove(dir.path / "renamed.sf3");
    EXPECT_TRUE(FindSoundFont({dir.path}).empty());
}

TEST(FluidSynth, OpeningWithoutASoundFontSaysWhereItLooked) {
    TempDir dir;
    FluidMidiOut synth({dir.path});
    std::unique_ptr<MidiOutput> out;
    const int code = synth.Open(-1, out);
    EXPECT_EQ(code, kMidiErrNoSoundFont);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(synth.ErrorText(code), "no SoundFont found in " + dir.path.string());
}

TEST(FluidSynth, OpeningWithoutASoundDeviceSaysWhichDriversFailed) {
    if (FindSoundFont(SoundFontFolders()).empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    FluidMidiOut synth({}, {"no-such-driver"});
    std::unique_ptr<MidiOutput> out;
    const int code = synth.Open(-1, out);
    ASSERT_EQ(code, kMidiErrNoAudio);
    EXPECT_EQ(synth.ErrorText(code).rfind("no audio output: no-such-driver", 0), 0u)
        << synth.ErrorText(code);

    // With the real drivers either a sound device opens or the text says why.
    FluidMidiOut real;
    const int result = real.Open(-1, out);
    if (result == kMidiOk) {
        out->ShortMsg(PackShortMsg(0x90, 60, 1));
        EXPECT_EQ(out->Close(), kMidiOk);
    } else {
        EXPECT_EQ(result, kMidiErrNoAudio);
        EXPECT_EQ(real.ErrorText(result).rfind("no audio output: ", 0), 0u);
    }
}

TEST(WavRender, NotesSoundWhileHeldAndFadeAfterTheirRelease) {
    if (FindSoundFont(SoundFontFolders()).empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    const int rate = 22050;
    const std::vector<TimedMidiMessage> song = {
        {0ms, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {0ms, {0xC0, 0}},
        {500ms, {0x90, 60, 110}},
        {500ms, {0x90, 64, 110}},
        {1500ms, {0x90, 60, 0}},
        {1500ms, {0x80, 64, 0}},
    };
    WavRenderOptions options;
    options.sampleRate = rate;
    options.tail = 2000ms;
    const auto samples = RenderMessages(song, options);
    ASSERT_EQ(samples.size(), std::size_t(3.5 * rate) * 2);
    const double before = Level(samples, rate, 0.0, 0.45);
    const double held = Level(samples, rate, 0.6, 1.4);
    const double after = Level(samples, rate, 3.0, 3.5);
    EXPECT_LT(before, 1e-4);
    EXPECT_GT(held, 0.01);
    EXPECT_LT(after, held / 20);

    // Streamed block by block, the file is byte for byte the in-memory
    // encoding of the same render, its length known before the render.
    EXPECT_EQ(RenderedFrames(song, options) * 2, static_cast<std::int64_t>(samples.size()));
    TempDir dir;
    RenderMessagesToWav(song, dir.path / "song.wav", options);
    EXPECT_EQ(ReadFileBytes(dir.path / "song.wav"), EncodeWav(samples, rate));
}

// Level of one channel (0 left, 1 right) between two times.
double ChannelLevel(const std::vector<std::int16_t>& stereo, int rate, int channel, double from,
                    double to) {
    double sum = 0;
    std::size_t count = 0;
    for (auto i = static_cast<std::size_t>(from * rate) * 2 + static_cast<std::size_t>(channel);
         i < std::min(stereo.size(), static_cast<std::size_t>(to * rate) * 2); i += 2) {
        sum += double(stereo[i]) * stereo[i];
        ++count;
    }
    return count > 0 ? std::sqrt(sum / double(count)) / 32768.0 : 0.0;
}

TEST(WavRender, ControllersTakeEffectInTheSynthesizer) {
    if (FindSoundFont(SoundFontFolders()).empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    const int rate = 22050;
    WavRenderOptions options;
    options.sampleRate = rate;
    options.tail = 0ms;
    // A held organ note (program 19) panned hard to one side: the sound moves
    // to that side. Fonts place their samples off centre by their own amount,
    // so the two pans are compared with each other, not with silence.
    auto panned = [&](std::uint8_t pan) {
        return RenderMessages({{0ms, {0xC0, 19}},
                               {0ms, {0xB0, 10, pan}},
                               {0ms, {0x90, 60, 120}},
                               {1000ms, {0xB0, 120, 0}},
                               {1000ms, {0xB0, 121, 0}},
                               {1500ms, {0x80, 60, 0}}},
                              options);
    };
    const auto left = panned(0);
    const auto right = panned(127);
    EXPECT_GT(ChannelLevel(left, rate, 0, 0.2, 0.9), 3 * ChannelLevel(right, rate, 0, 0.2, 0.9));
    EXPECT_GT(ChannelLevel(right, rate, 1, 0.2, 0.9), 3 * ChannelLevel(left, rate, 1, 0.2, 0.9));
    // All Sound Off at 1 s cuts it without the release a note-off would leave.
    EXPECT_LT(ChannelLevel(left, rate, 0, 1.1, 1.5), ChannelLevel(left, rate, 0, 0.2, 0.9) / 30);

    // A pitch bend after an RPN pitch-bend range of 12 semitones changes
    // what sounds; the same bend is undone by Reset All Controllers.
    auto render = [&](std::vector<TimedMidiMessage> extra) {
        std::vector<TimedMidiMessage> song = {{0ms, {0xC0, 19}}, {0ms, {0x90, 69, 120}}};
        song.insert(song.end(), extra.begin(), extra.end());
        song.push_back({600ms, {0x80, 69, 0}});
        return RenderMessages(song, options);
    };
    const std::vector<TimedMidiMessage> range = {
        {0ms, {0xB0, 101, 0}}, {0ms, {0xB0, 100, 0}}, {0ms, {0xB0, 6, 12}}, {0ms, {0xB0, 38, 0}}};
    auto bent = range;
    bent.push_back({0ms, {0xE0, 0x7F, 0x7F}});
    auto reset = bent;
    reset.push_back({0ms, {0xB0, 121, 0}});
    const auto plain = render({});
    EXPECT_NE(render(bent), plain);
    EXPECT_EQ(render(reset), plain);
}

TEST(WavRender, AMissingSoundFontIsAUserError) {
    WavRenderOptions options;
    options.soundFont = "/nonexistent/none.sf2";
    EXPECT_THROW(RenderMessages({}, options), UserError);
}

TEST(AlsaMidiOut, AMissingSequencerGivesAnEmptyListNotAFailure) {
    AlsaMidiOut alsa;
    const int count = alsa.NumDevs();
    ASSERT_GE(count, 0);
    std::unique_ptr<MidiOutput> out;
    EXPECT_EQ(alsa.Open(count, out), kMidiErrBadDeviceId);
    MidiOutCaps caps;
    for (int id = 0; id < count; ++id) {
        ASSERT_EQ(alsa.DevCaps(id, caps), kMidiOk);
        EXPECT_LE(caps.productName.size(), kMaxProductName);
    }
}

TEST(AlsaMidiOut, EachShortMessageBecomesItsSequencerEvent) {
    // Type, channel, note or controller (0 where none), velocity or value.
    using Fields = std::array<int, 4>;
    const std::pair<std::uint32_t, Fields> rows[] = {
        {PackShortMsg(0x93, 60, 100), {SND_SEQ_EVENT_NOTEON, 3, 60, 100}},
        {PackShortMsg(0x90, 62, 0), {SND_SEQ_EVENT_NOTEON, 0, 62, 0}}, // the song's note-off
        {PackShortMsg(0x85, 61, 64), {SND_SEQ_EVENT_NOTEOFF, 5, 61, 64}},
        {PackShortMsg(0xA2, 40, 30), {SND_SEQ_EVENT_KEYPRESS, 2, 40, 30}},
        {PackShortMsg(0xBF, 7, 90), {SND_SEQ_EVENT_CONTROLLER, 15, 7, 90}},
        {PackShortMsg(0xC4, 12, 99), {SND_SEQ_EVENT_PGMCHANGE, 4, 0, 12}},
        {PackShortMsg(0xD1, 99), {SND_SEQ_EVENT_CHANPRESS, 1, 0, 99}},
        {PackShortMsg(0xE0, 0x00, 0x40), {SND_SEQ_EVENT_PITCHBEND, 0, 0, 0}},
        {PackShortMsg(0xE6, 0x7F, 0x7F), {SND_SEQ_EVENT_PITCHBEND, 6, 0, 8191}},
        {PackShortMsg(0xE9, 0x00, 0x00), {SND_SEQ_EVENT_PITCHBEND, 9, 0, -8192}},
        // The clock and song position, as a sequencer's other clients follow them.
        {PackShortMsg(kMidiClock), {SND_SEQ_EVENT_CLOCK, 0, 0, 0}},
        {PackShortMsg(kMidiStart), {SND_SEQ_EVENT_START, 0, 0, 0}},
        {PackShortMsg(kMidiContinue), {SND_SEQ_EVENT_CONTINUE, 0, 0, 0}},
        {PackShortMsg(kMidiStop), {SND_SEQ_EVENT_STOP, 0, 0, 0}},
        {PackSongPosition(0), {SND_SEQ_EVENT_SONGPOS, 0, 0, 0}},
        {PackSongPosition(300), {SND_SEQ_EVENT_SONGPOS, 0, 0, 300}},
    };
    AlsaEncoder encoder;
    snd_seq_event_t e;
    for (const auto& [message, expected] : rows) {
        ASSERT_TRUE(encoder.Encode(message, e)) << message;
        const bool note = e.type <= SND_SEQ_EVENT_KEYPRESS;
        const Fields got =
            note ? Fields{e.type, e.data.note.channel, e.data.note.note, e.data.note.velocity}
                 : Fields{e.type, e.data.control.channel, static_cast<int>(e.data.control.param),
                          e.data.control.value};
        EXPECT_EQ(got, expected) << message;
    }
    // A data byte without a status is no message at all.
    EXPECT_FALSE(encoder.Encode(PackShortMsg(0x3C, 1, 2), e));
}

// A destination that never reads: the sends fill the sequencer's buffer,
// then are refused at once instead of blocking the sender.
TEST(AlsaMidiOut, AStalledDestinationRefusesSendsInsteadOfBlocking) {
    snd_seq_t* reader = nullptr;
    if (snd_seq_open(&reader, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) {
        GTEST_SKIP() << "no ALSA sequencer on this machine (no /dev/snd/seq)";
    }
    snd_seq_set_client_name(reader, "Stalled reader");
    ASSERT_GE(snd_seq_create_simple_port(reader, "never read",
                                         SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC),
              0);
    AlsaMidiOut alsa;
    int id = alsa.NumDevs() - 1;
    for (MidiOutCaps caps; id >= 0 && alsa.DevCaps(id, caps) == kMidiOk; --id) {
        if (caps.productName == "never read") {
            break;
        }
    }
    ASSERT_GE(id, 0);
    std::unique_ptr<MidiOutput> out;
    ASSERT_EQ(alsa.Open(id, out), kMidiOk);
    int full = 0;
    for (int i = 0; i < 100000 && full == 0; ++i) {
        full += out->ShortMsg(PackShortMsg(0x90, static_cast<std::uint8_t>(i % 128), 1)) ==
                kMidiErrOutputFull;
    }
    EXPECT_EQ(full, 1);
    EXPECT_EQ(out->Close(), kMidiOk);
    snd_seq_close(reader);
}

namespace {

// Every General MIDI SoundFont installed here that the program may choose:
// sound tests hold for each of them, not just for the one found first.
std::vector<fs::path> InstalledSoundFonts() {
    std::vector<fs::path> fonts;
    for (const char* name : {"FluidR3_GM.sf2", "TimGM6mb.sf2"}) {
        for (const auto& folder : SoundFontFolders()) {
            if (FindSoundFont({folder}).empty()) {
                continue;
            }
            const fs::path candidate = folder / name;
            if (fs::is_regular_file(candidate)) {
                fonts.push_back(candidate);
            }
        }
    }
    if (fonts.empty() && !FindSoundFont(SoundFontFolders()).empty()) {
        fonts.push_back(FindSoundFont(SoundFontFolders()));
    }
    return fonts;
}

int Peak(const std::vector<std::int16_t>& stereo, int rate, double from, double to) {
    int peak = 0;
    const auto last = std::min(stereo.size(), static_cast<std::size_t>(to * rate) * 2);
    for (auto i = static_cast<std::size_t>(from * rate) * 2; i < last; ++i) {
        peak = std::max(peak, std::abs(int{stereo[i]}));
    }
    return peak;
}

double Dbfs(int peak) {
    return 20 * std::log10(std::max(peak, 1) / 32768.0);
}

} // namespace

TEST(WavRender, OnePartIsClearlyHeardAndSixteenNeverClip) {
    const int rate = 44100;
    WavRenderOptions options;
    options.sampleRate = rate;
    options.tail = 500ms;
    // A piano melody at velocity 100 on one channel; then every channel
    // playing a four-note chord at full velocity.
    std::vector<TimedMidiMessage> one = {{0ms, {0xC0, 0}}};
    for (std::uint8_t i = 0; i < 8; ++i) {
        const auto at = std::chrono::milliseconds(250 * i);
        one.push_back({at, {0x90, static_cast<std::uint8_t>(60 + i), 100}});
        one.push_back({at + 240ms, {0x80, static_cast<std::uint8_t>(60 + i), 0}});
    }
    std::vector<TimedMidiMessage> sixteen;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        sixteen.push_back(
            {0ms,
             {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(7 * channel)}});
        for (std::uint8_t key : {48, 52, 55, 60}) {
            sixteen.push_back({10ms, {static_cast<std::uint8_t>(0x90 | channel), key, 127}});
            sixteen.push_back({1500ms, {static_cast<std::uint8_t>(0x80 | channel), key, 0}});
        }
    }
    const auto fonts = InstalledSoundFonts();
    if (fonts.empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    for (const auto& font : fonts) {
        options.soundFont = font;
        EXPECT_GT(Dbfs(Peak(RenderMessages(one, options), rate, 0, 2.5)), -18.0) << font;
        EXPECT_LT(Peak(RenderMessages(sixteen, options), rate, 0, 2.0), 32767) << font;
    }
}

TEST(WavRender, AllSoundOffCutsTheEffectsTailUntilTheNextNote) {
    const int rate = 44100;
    WavRenderOptions options;
    options.sampleRate = rate;
    options.tail = 1000ms;
    // A note with the reverb and chorus sends full up, cut by All Sound Off.
    const std::vector<TimedMidiMessage> song = {
        {0ms, {0xC0, 19}},       {0ms, {0xB0, 91, 127}},   {0ms, {0xB0, 93, 127}},
        {0ms, {0x90, 60, 120}},  {1000ms, {0xB0, 120, 0}}, {1000ms, {0xB0, 121, 0}},
        {2000ms, {0x80, 60, 0}},
    };
    // The same song after an earlier stop: the first note brings the
    // effects back, so it sounds exactly as it does after a fresh start.
    auto afterStop = song;
    afterStop.insert(afterStop.begin(), {0ms, {0xB0, 120, 0}});
    const auto fonts = InstalledSoundFonts();
    if (fonts.empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    for (const auto& font : fonts) {
        options.soundFont = font;
        const auto samples = RenderMessages(song, options);
        ASSERT_GT(Dbfs(Peak(samples, rate, 0.2, 0.9)), -30.0) << font;
        EXPECT_LT(Dbfs(Peak(samples, rate, 1.05, 2.0)), -60.0) << font;
        EXPECT_EQ(RenderMessages(afterStop, options), samples) << font;
    }
}

TEST(WavRender, EachNoteStartsWithinHalfASynthBlockOfItsDueFrame) {
    if (FindSoundFont(SoundFontFolders()).empty()) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    const int rate = 48000;
    WavRenderOptions options;
    options.sampleRate = rate;
    options.tail = 200ms;
    // The first frame that is not silent, for a note due at `frame`.
    auto onset = [&](std::int64_t frame) {
        const auto at = std::chrono::nanoseconds(frame * 1000000000 / rate + 1);
        const auto samples = RenderMessages({{0ms, {0xC0, 80}}, {at, {0x90, 72, 127}}}, options);
        const auto first = std::find_if(samples.begin(), samples.end(),
                                        [](std::int16_t sample) { return sample != 0; });
        return static_cast<std::int64_t>(first - samples.begin()) / 2;
    };
    const std::int64_t attack = onset(0); // the voice's own delay before its first sample
    const int half = FluidSynthCore::kBlockFrames / 2;
    for (const std::int64_t due : {6400, 6401, 6420, 6431, 6433, 6450, 6463}) {
        EXPECT_LE(std::abs(onset(due) - attack - due), half) << due;
    }
}
