#pragma once
// The one open MIDI output, shared by the window thread (opening, closing,
// immediate messages) and the timer thread (playback). Every use takes the
// same lock, so an output is never closed while a message is on its way to
// it, and a message sent while no output is open is simply refused.
#include "sound/MidiOut.h"
#include "sound/MidiTransport.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sorvelin {

// All Sound Off then Reset All Controllers, channel 0 to 15: 32 messages.
std::array<std::uint32_t, 32> SilenceMessages();

class OutputHandle {
public:
    explicit OutputHandle(MidiOutService& service) : service_(service) {}
    ~OutputHandle();
    OutputHandle(const OutputHandle&) = delete;
    OutputHandle& operator=(const OutputHandle&) = delete;

    MidiOutService& Service() { return service_; }
    bool IsOpen() const;

    // Opens output `id` when none is open; 0 or the service's error code.
    int Open(int id);
    // Silences every channel of the open output, so no note keeps sounding
    // on it, then closes it. 0 also when none is open; on failure the
    // service's code, and the output stays open.
    int Close();

    // kMidiErrInvalidHandle when no output is open.
    int ShortMsg(std::uint32_t packed);
    // How far ahead of its due moment the open output wants a message (0
    // with none open), and a message handed over with that moment.
    std::chrono::nanoseconds Lead() const;
    int ShortMsgAt(std::uint32_t packed, std::chrono::steady_clock::time_point due);
    // Sends a whole system-exclusive message and waits until the output has
    // taken it, calling `pause` between checks (at most kLongMsgPolls times).
    int LongMsg(const std::vector<std::uint8_t>& message, const std::function<void()>& pause);
    static constexpr int kLongMsgPolls = 200;

    std::string ErrorText(int code) { return service_.ErrorText(code); }

    // Why the open output failed for good (its server went away), or 0
    // while it works or none is open. Opening an output clears it.
    int Failure() const { return failure_.load(); }
    // Told when the open output fails, on the output's own thread; must not
    // wait for the window or for this handle. Empty: nobody is told.
    void SetFailureHandler(MidiOutput::FailureFn handler);
    // Calls `use` with the open output's shared transport, under the lock
    // (so the output stays open meanwhile); false when there is none.
    bool WithTransport(const std::function<void(MidiTransport&)>& use);

private:
    void Failed(int code);

    MidiOutService& service_;
    mutable std::mutex mutex_;
    std::unique_ptr<MidiOutput> output_;
    std::atomic<int> failure_{0};
    // Apart from mutex_: a failure may come in while a close holds that.
    std::mutex failureMutex_;
    MidiOutput::FailureFn failureHandler_;
};

} // namespace sorvelin
