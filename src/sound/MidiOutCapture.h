#pragma once
// A MIDI output service that plays nothing and records everything: each
// short and long message with the output it went to and the time it was
// sent. Tests and benchmarks use it in place of a sound device; its outputs
// can be told to fail opening or closing.
#include "sound/MidiOut.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sorvelin {

struct CapturedMessage {
    int device = 0; // the id the output was opened with
    std::chrono::steady_clock::time_point time;
    std::vector<std::uint8_t> bytes; // a short message's 1-3 bytes or a whole long message
    bool isLong = false;
};

class CaptureMidiOut : public MidiOutService {
public:
    using Clock = std::chrono::steady_clock;

    // `devices` are the outputs 0..n-1; `builtin` describes output -1.
    explicit CaptureMidiOut(std::vector<MidiOutCaps> devices = {},
                            MidiOutCaps builtin = {"Capture Synth", kMidiTechSynth});

    int NumDevs() override;
    int DevCaps(int id, MidiOutCaps& caps) override;
    int Open(int id, std::unique_ptr<MidiOutput>& out) override;
    std::string ErrorText(int code) override;

    // The time stamp source (steady_clock::now by default), e.g. a manual
    // timer's clock.
    void SetClock(std::function<Clock::time_point()> clock);
    // Opening `id` fails with `code` (0 lets it open again).
    void FailOpen(int id, int code);
    // Closing any output fails with `code` (0 lets them close again).
    void FailClose(int code);
    // A long message reports done only after this many LongDone polls.
    void SetLongDonePolls(int polls);
    // Long messages are refused with this code (0 accepts them).
    void FailLong(int code);

    std::vector<CapturedMessage> Messages() const;
    std::size_t MessageCount() const;
    void ClearMessages();
    // Outputs open right now, and messages offered to an output after it closed.
    int OpenOutputs() const;
    int SendsAfterClose() const;

private:
    class Output;
    struct State {
        mutable std::mutex mutex;
        std::function<Clock::time_point()> clock = [] { return Clock::now(); };
        std::vector<CapturedMessage> messages;
        std::map<int, int> openFailures;
        int closeFailure = 0;
        int longFailure = 0;
        int longDonePolls = 0;
        int openOutputs = 0;
        int sendsAfterClose = 0;
    };
    std::vector<MidiOutCaps> devices_;
    MidiOutCaps builtin_;
    std::shared_ptr<State> state_;
};

} // namespace sorvelin
