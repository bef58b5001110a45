#include "sound/MidiOutCapture.h"
#include "base/Errors.h"
#include "sound/MidiOutRouter.h"
#include "sound/WavFile.h"

#include <gtest/gtest.h>

using namespace sorvelin;
using Bytes = std::vector<std::uint8_t>;

TEST(MidiOut, ErrorTextsNameWhatIsMissing) {
    EXPECT_EQ(StandardMidiErrorText(kMidiErrNoSoundFont, "/a, /b"), "no SoundFont found in /a, /b");
    EXPECT_EQ(StandardMidiErrorText(kMidiErrNoAudio, "alsa: no card"),
              "no audio output: alsa: no card");
    EXPECT_NE(StandardMidiErrorText(kMidiErrBadDeviceId), StandardMidiErrorText(kMidiErrClose));
    EXPECT_NE(StandardMidiErrorText(1234).find("1234"), std::string::npos);
}

// Each message puts exactly its own bytes on the wire: a backend sending
// three bytes of a clock or one of a song position corrupts the stream.
TEST(MidiOut, ShortMessagesCarryTheirOwnNumberOfDataBytes) {
    const std::pair<std::uint32_t, Bytes> rows[] = {
        {PackShortMsg(0x91, 60, 100), {0x91, 60, 100}},
        {PackShortMsg(0xC2, 5, 9), {0xC2, 5}},
        {PackShortMsg(0xD3, 7, 9), {0xD3, 7}},
        {PackSongPosition(0), {kSongPosition, 0, 0}},
        {PackSongPosition(0x3FFF), {kSongPosition, 0x7F, 0x7F}},
        {PackSongPosition(200), {kSongPosition, 200 & 0x7F, 200 >> 7}},
        {PackShortMsg(0xF3, 4, 9), {0xF3, 4}},
        {PackShortMsg(kMidiClock, 1, 2), {kMidiClock}},
        {PackShortMsg(kMidiStart), {kMidiStart}},
        {PackShortMsg(kMidiContinue), {kMidiContinue}},
        {PackShortMsg(kMidiStop), {kMidiStop}},
    };
    for (const auto& [packed, bytes] : rows) {
        EXPECT_EQ(UnpackShortMsg(packed), bytes) << packed;
    }
}

TEST(CaptureMidiOut, RecordsEveryMessageWithItsOutputAndTime) {
    CaptureMidiOut capture({{"Port A", kMidiTechPort}});
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::seconds(5);
    capture.SetClock([&] { return now; });
    std::unique_ptr<MidiOutput> out;
    ASSERT_EQ(capture.Open(0, out), kMidiOk);
    EXPECT_EQ(capture.OpenOutputs(), 1);
    out->ShortMsg(PackShortMsg(0x90, 60, 90));
    now += std::chrono::milliseconds(7);
    out->LongMsg({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    const auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].device, 0);
    EXPECT_EQ(messages[0].bytes, (Bytes{0x90, 60, 90}));
    EXPECT_FALSE(messages[0].isLong);
    EXPECT_EQ(messages[1].time - messages[0].time, std::chrono::milliseconds(7));
    EXPECT_EQ(messages[1].bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_TRUE(messages[1].isLong);

    EXPECT_EQ(out->Close(), kMidiOk);
    EXPECT_EQ(capture.OpenOutputs(), 0);
    out->ShortMsg(PackShortMsg(0x80, 60, 0));
    EXPECT_EQ(capture.MessageCount(), 2u);
    EXPECT_EQ(capture.SendsAfterClose(), 1);
}

TEST(MidiOutRouter, SendsIdMinusOneToTheSynthesizerAndTheRestToThePorts) {
    auto synth = std::make_unique<CaptureMidiOut>(std::vector<MidiOutCaps>{},
                                                  MidiOutCaps{"Synth X", kMidiTechSynth});
    auto ports = std::make_unique<CaptureMidiOut>(
        std::vector<MidiOutCaps>{{"Port A", kMidiTechPort}, {"Port B", 0}});
    auto* synthPtr = synth.get();
    auto* portsPtr = ports.get();
    MidiOutRouter router(std::move(synth), std::move(ports));
    EXPECT_EQ(router.NumDevs(), 2);
    MidiOutCaps caps;
    ASSERT_EQ(router.DevCaps(-1, caps), kMidiOk);
    EXPECT_EQ(caps.productName, "Synth X");
    ASSERT_EQ(router.DevCaps(1, caps), kMidiOk);
    EXPECT_EQ(caps.productName, "Port B");
    EXPECT_NE(router.DevCaps(2, caps), kMidiOk);

    std::unique_ptr<MidiOutput> out;
    ASSERT_EQ(router.Open(-1, out), kMidiOk);
    out->ShortMsg(PackShortMsg(0xC0, 5));
    EXPECT_EQ(synthPtr->MessageCount(), 1u);
    EXPECT_EQ(portsPtr->MessageCount(), 0u);
}

// Ids run through the lists in turn, and an open before any listing (a
// choice remembered from the last run) finds the same output.
TEST(MidiOutRouter, IdsRunThroughEveryListInTurn) {
    std::vector<CaptureMidiOut*> backends;
    std::vector<std::unique_ptr<MidiOutService>> lists;
    for (const std::vector<MidiOutCaps>& devices :
         {std::vector<MidiOutCaps>{{"A0", 1}, {"A1", 1}}, std::vector<MidiOutCaps>{},
          std::vector<MidiOutCaps>{{"C0", 2}}}) {
        auto backend = std::make_unique<CaptureMidiOut>(devices);
        backends.push_back(backend.get());
        lists.push_back(std::move(backend));
    }
    lists.push_back(nullptr);
    MidiOutRouter router(nullptr, std::move(lists));
    struct Case {
        int id;
        std::size_t backend;
        int localId;
    };
    for (const Case& c : {Case{2, 2, 0}, Case{0, 0, 0}, Case{1, 0, 1}}) {
        std::unique_ptr<MidiOutput> out;
        ASSERT_EQ(router.Open(c.id, out), kMidiOk) << c.id;
        out->ShortMsg(PackShortMsg(0x90, 60, 1));
        const std::vector<CapturedMessage> sent = backends[c.backend]->Messages();
        ASSERT_FALSE(sent.empty()) << c.id;
        EXPECT_EQ(sent.back().device, c.localId) << c.id;
    }
    EXPECT_EQ(router.NumDevs(), 3);
    MidiOutCaps caps;
    ASSERT_EQ(router.DevCaps(2, caps), kMidiOk);
    EXPECT_EQ(caps.productName, "C0");
    EXPECT_EQ(router.DevCaps(3, caps), kMidiErrBadDeviceId);
    std::unique_ptr<MidiOutput> out;
    EXPECT_EQ(router.Open(3, out), kMidiErrBadDeviceId);
}

TEST(MidiOutRouter, WithoutBackendsOnlyTheSynthesizerRowIsListedAndItCannotOpen) {
    MidiOutRouter router(nullptr, nullptr);
    EXPECT_EQ(router.NumDevs(), 0);
    MidiOutCaps caps;
    EXPECT_EQ(router.DevCaps(-1, caps), kMidiOk);
    EXPECT_FALSE(caps.productName.empty());
    std::unique_ptr<MidiOutput> out;
    const int code = router.Open(-1, out);
    EXPECT_NE(code, kMidiOk);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(router.ErrorText(code).rfind("no audio output: ", 0), 0u) << router.ErrorText(code);
}

// The RIFF and data sizes are 32-bit fields: a file that would need more is
// refused, never written with sizes that wrap to a small number.
TEST(WavFile, TheLargestFileTheSizesCanDescribeIsTheLimit) {
    struct Case {
        std::int64_t frames;
        bool fits;
    };
    const std::vector<Case> cases = {
        {0, true},
        {WavMaxFrames, true},
        {WavMaxFrames + 1, false},
        {std::int64_t{1} << 30, false},          // 4 GiB of data exactly, before the header
        {std::int64_t{7} * 3600 * 44100, false}, // seven hours at 44.1 kHz
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        if (!c.fits) {
            EXPECT_THROW(CheckWavFrames(c.frames, 44100), UserError);
            EXPECT_THROW(WavHeader(c.frames, 44100), UserError);
            continue;
        }
        EXPECT_NO_THROW(CheckWavFrames(c.frames, 44100));
        const std::string header = WavHeader(c.frames, 44100);
        ASSERT_EQ(header.size(), std::size_t(WavHeaderBytes));
        auto le32 = [&](std::size_t at) {
            std::uint64_t v = 0;
            for (int i = 3; i >= 0; --i) {
                v = (v << 8) | static_cast<std::uint8_t>(header[at + static_cast<std::size_t>(i)]);
            }
            return v;
        };
        const auto data = static_cast<std::uint64_t>(c.frames) * 4;
        EXPECT_EQ(le32(40), data);
        EXPECT_EQ(le32(4), data + 36);
    }
    try {
        CheckWavFrames(std::int64_t{7} * 3600 * 44100, 44100);
    } catch (const UserError& error) {
        EXPECT_NE(std::string(error.what()).find("7.0 hours"), std::string::npos) << error.what();
    }
}

TEST(WavFile, HeaderDescribes16BitStereoPcm) {
    const std::string wav = EncodeWav({1, -1, 256, -256}, 44100);
    ASSERT_EQ(wav.size(), 44u + 8u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    auto le = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) {
            v = (v << 8) | static_cast<std::uint8_t>(wav[at + static_cast<std::size_t>(i)]);
        }
        return v;
    };
    EXPECT_EQ(le(4, 4), 44u);      // RIFF size: the file less 8 bytes
    EXPECT_EQ(le(22, 2), 2u);      // channels
    EXPECT_EQ(le(24, 4), 44100u);  // rate
    EXPECT_EQ(le(28, 4), 176400u); // bytes per second
    EXPECT_EQ(le(34, 2), 16u);     // bits
    EXPECT_EQ(le(40, 4), 8u);      // data bytes
    EXPECT_EQ(le(44, 2), 1u);
    EXPECT_EQ(le(46, 2), 0xFFFFu);
    EXPECT_EQ(le(48, 2), 0x0100u);
}
