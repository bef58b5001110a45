#pragma once
// The MIDI output service the program opens: output -1 comes from one
// backend (the built-in synthesizer), outputs 0..n-1 from the others in
// turn: first the sequencer's ports, then each further backend's rows after
// them (Sorvelin's own ports). Any may be missing; then output -1 still
// exists but cannot be opened, and the missing lists add no rows.
#include "sound/MidiOut.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sorvelin {

class MidiOutRouter : public MidiOutService {
public:
    // `builtin` answers for id -1, `ports` for ids 0..n-1; either may be null.
    MidiOutRouter(std::unique_ptr<MidiOutService> builtin, std::unique_ptr<MidiOutService> ports);
    // `lists` answer for ids 0..n-1 in their order; null entries list nothing.
    MidiOutRouter(std::unique_ptr<MidiOutService> builtin,
                  std::vector<std::unique_ptr<MidiOutService>> lists);

    // Lists every backend's outputs afresh.
    int NumDevs() override;
    int DevCaps(int id, MidiOutCaps& caps) override;
    // Opening before anything was listed (a choice remembered from the last
    // run) lists first, so the id means what it meant then.
    int Open(int id, std::unique_ptr<MidiOutput>& out) override;
    // The text the failing backend gave for its last failure with this code.
    std::string ErrorText(int code) override;

private:
    // The backend answering for `id` (0 and above) and the id it knows the
    // output by; null when no backend has that row.
    MidiOutService* Locate(int id, int& localId);

    std::unique_ptr<MidiOutService> builtin_;
    std::vector<std::unique_ptr<MidiOutService>> lists_;
    std::mutex mutex_;
    std::vector<int> counts_; // rows of each list at the last listing
    bool listed_ = false;
    std::map<int, std::string> lastTexts_;
};

} // namespace sorvelin
