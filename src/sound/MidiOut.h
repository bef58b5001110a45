#pragma once
// The MIDI output service: the outputs this machine offers, opening one, and
// sending short and system-exclusive messages to it. Output id -1 is the
// built-in synthesizer; ids 0..n-1 are the outputs of a backend's port list.
// Every operation reports failure as a result code, and ErrorText turns a
// code into the text the program shows the user.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace sorvelin {

class MidiTransport;

// Result codes of the service. 0 is success.
enum MidiOutResult : int {
    kMidiOk = 0,
    kMidiErrUnspecified = 1,
    kMidiErrBadDeviceId = 2,   // no output with that id
    kMidiErrInvalidHandle = 5, // no output is open
    kMidiErrNoSoundFont = 64,  // the built-in synthesizer found no SoundFont
    kMidiErrNoAudio = 65,      // the built-in synthesizer found no audio output
    kMidiErrNoSequencer = 66,  // the sequencer or its port cannot be reached
    kMidiErrStillPlaying = 67, // a long message is still being sent
    kMidiErrNotSupported = 68, // this build has no such backend
    kMidiErrClose = 69,        // the output refused to close
    kMidiErrOutputFull = 70,   // the output's buffer is full: its reader has stalled
    kMidiErrServerGone = 71,   // the sound server (JACK) went away while the output was open
    kMidiErrNoServer = 72,     // no JACK server answers
    kMidiErrAudioStopped = 73, // the sound server stopped taking the synthesizer's sound
};

// Technology codes reported with an output's description.
enum MidiTechnology : int {
    kMidiTechNone = 0,
    kMidiTechPort = 1,  // a hardware MIDI port
    kMidiTechSynth = 2, // a synthesizer (hardware or software)
    kMidiTechSqSynth = 3,
    kMidiTechFmSynth = 4,
    kMidiTechMapper = 5,
};

// What the service reports about one output.
struct MidiOutCaps {
    MidiOutCaps(std::string name = {}, int tech = kMidiTechNone, std::string text = {})
        : productName(std::move(name)), technology(tech), listText(std::move(text)) {}

    std::string productName; // at most kMaxProductName characters
    int technology = kMidiTechNone;
    // When set, the device list shows this line whole instead of the name and
    // the technology word: the outputs of Sorvelin's own ports describe
    // themselves in more than a product name's room.
    std::string listText;
};
inline constexpr std::size_t kMaxProductName = 31;

// One open output. Calls may come from several threads, but never at the same
// time: the owner of the open output serialises them.
class MidiOutput {
public:
    virtual ~MidiOutput() = default;
    // status in bits 0-7, first data byte in bits 8-15, second in bits 16-23.
    virtual int ShortMsg(std::uint32_t packed) = 0;
    // A whole system-exclusive message, status byte included. The bytes are
    // copied; LongDone tells when the output has taken them.
    virtual int LongMsg(const std::vector<std::uint8_t>& message) = 0;
    virtual bool LongDone() = 0;
    // Outputs with their own clock (a sound card's sample clock, a JACK
    // period) play a message exactly on time when they get it ahead of its
    // due moment. Lead() says how far ahead they want it; ShortMsgAt hands
    // one over with its due moment on the steady clock. Outputs without a
    // clock of their own want no lead and send at once.
    virtual std::chrono::nanoseconds Lead() const { return std::chrono::nanoseconds{0}; }
    virtual int ShortMsgAt(std::uint32_t packed, std::chrono::steady_clock::time_point /*due*/) {
        return ShortMsg(packed);
    }
    // The shared transport this output takes part in, or none. Owned by
    // the output and valid while it is open.
    virtual MidiTransport* Transport() { return nullptr; }
    // 0 on success; on failure the output stays open.
    virtual int Close() = 0;
    // Called once, on a thread of the output's own, when the server behind
    // the output goes away for good (kMidiErrServerGone, kMidiErrAudioStopped):
    // it must only note the fact and hand it on, never wait for the owner.
    // Set before the output is used; outputs that cannot fail so never call it.
    using FailureFn = std::function<void(int code)>;
    virtual void SetFailureHandler(FailureFn /*failed*/) {}
};

// An output's failure handed to its owner once, whichever comes first: the
// failure, or the owner setting its handler (then it is told at once).
class FailureNotice {
public:
    void SetHandler(MidiOutput::FailureFn failed);
    // From any thread; only the first failure is passed on.
    void Notify(int code);

private:
    std::mutex mutex_;
    MidiOutput::FailureFn failed_;
    int code_ = 0;
    bool told_ = false;
};

// The service: lists outputs and opens them.
class MidiOutService {
public:
    virtual ~MidiOutService() = default;
    // The number n of outputs with ids 0..n-1 (the built-in synthesizer, id -1,
    // is not counted).
    virtual int NumDevs() = 0;
    // Describes output `id` (-1..n-1); an error code for an unknown id.
    virtual int DevCaps(int id, MidiOutCaps& caps) = 0;
    // Opens output `id`; on success `out` holds it and the result is 0.
    virtual int Open(int id, std::unique_ptr<MidiOutput>& out) = 0;
    // A readable text for a result code, naming what failed where it can.
    virtual std::string ErrorText(int code) = 0;
};

// Packs a short message the way ShortMsg expects it.
constexpr std::uint32_t PackShortMsg(std::uint8_t status, std::uint8_t data1 = 0,
                                     std::uint8_t data2 = 0) {
    return std::uint32_t{status} | (std::uint32_t{data1} << 8) | (std::uint32_t{data2} << 16);
}

// The MIDI clock and song position messages.
inline constexpr std::uint8_t kMidiClock = 0xF8;
inline constexpr std::uint8_t kMidiStart = 0xFA;
inline constexpr std::uint8_t kMidiContinue = 0xFB;
inline constexpr std::uint8_t kMidiStop = 0xFC;
inline constexpr std::uint8_t kSongPosition = 0xF2;
// Clocks per quarter note.
inline constexpr int kClocksPerQuarter = 24;

// A song position pointer to `sixteenths` sixteenth notes from the start
// (14 bits, least significant seven first).
constexpr std::uint32_t PackSongPosition(int sixteenths) {
    return PackShortMsg(kSongPosition, static_cast<std::uint8_t>(sixteenths & 0x7F),
                        static_cast<std::uint8_t>((sixteenths >> 7) & 0x7F));
}

// The bytes a short message puts on the wire: 1 to 3 of them depending on
// the status (program change, channel pressure, the time code quarter frame
// and song select carry one data byte, the song position pointer two, the
// other system messages none).
std::vector<std::uint8_t> UnpackShortMsg(std::uint32_t packed);

// The service's own texts for the codes above; `detail`, when not empty, is
// appended after a colon (a file list, a driver's complaint).
std::string StandardMidiErrorText(int code, const std::string& detail = {});

} // namespace sorvelin
