#pragma once
// The MIDI output service the program opens: output -1 comes from one
// backend (the built-in synthesizer), outputs 0..n-1 from another (the
// sequencer's ports). Either may be missing; then output -1 still exists but
// cannot be opened, and the port list is empty.
#include "platform/MidiOut.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace sorvelin {

class MidiOutRouter : public MidiOutService {
public:
    // `builtin` answers for id -1, `ports` for ids 0..n-1; either may be null.
    MidiOutRouter(std::unique_ptr<MidiOutService> builtin, std::unique_ptr<MidiOutService> ports);

    int NumDevs() override;
    int DevCaps(int id, MidiOutCaps& caps) override;
    int Open(int id, std::unique_ptr<MidiOutput>& out) override;
    // The text the failing backend gave for its last failure with this code.
    std::string ErrorText(int code) override;

private:
    std::unique_ptr<MidiOutService> builtin_;
    std::unique_ptr<MidiOutService> ports_;
    std::mutex mutex_;
    std::map<int, std::string> lastTexts_;
};

} // namespace sorvelin
