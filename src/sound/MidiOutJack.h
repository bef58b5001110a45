#pragma once
// The JACK MIDI output: a JACK client "sorvelin" with one MIDI output port
// "midi_out", listed as one row when a JACK server (jack2, or PipeWire's
// JACK service) answers. It never starts a server itself.
//
// Messages are timed on the server's own frame clock: each is handed to the
// server's process thread through a lock-free ring with the frame it is due
// at, and the process callback writes it at its offset inside the period.
// The output's latency is one period: a message plays exactly one period
// after its due moment (for ShortMsg, the moment it is handed over), so a
// sender that keeps within the lead gets every message frame-accurate
// whatever its own wake-up jitter. When the server goes away, every later
// send fails with kMidiErrServerGone.
#include "sound/MidiOut.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace sorvelin {

class JackMidiOut : public MidiOutService {
public:
    JackMidiOut();

    // 1 when a JACK server answers (or this service's output is open), else 0.
    int NumDevs() override;
    int DevCaps(int id, MidiOutCaps& caps) override;
    int Open(int id, std::unique_ptr<MidiOutput>& out) override;
    std::string ErrorText(int code) override;

    static MidiOutCaps Caps();

private:
    std::mutex mutex_;
    bool listed_ = false;
    std::string lastDetail_;
    int lastCode_ = kMidiOk;
};

// The parts of the timing that need no server, for the tests: the frame
// offset inside a period of `frames` frames starting at `periodStart` for a
// message due at `due`, never before `floor` (the offset of the message
// before it); -1 when it is due in a later period. Frame times wrap around.
long JackOffsetInPeriod(std::uint32_t due, std::uint32_t periodStart, std::uint32_t frames,
                        std::uint32_t floor);

} // namespace sorvelin
