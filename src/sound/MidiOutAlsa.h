#pragma once
// Outputs 0..n-1: the writable ports of the other clients of the ALSA
// sequencer (hardware MIDI ports, software synthesizers, a DAW). Messages go
// out as direct events to the chosen port, without ever waiting: when the
// port's reader stalls and the sequencer's buffer is full, a send fails with
// kMidiErrOutputFull. After them comes one more row: Sorvelin's own port
// "Sorvelin:out", which sends to every port subscribed to it (a DAW or soft
// synth connected in a patchbay). Without a sequencer (no /dev/snd/seq) the
// list is simply empty.
#include "sound/MidiOut.h"

#include <mutex>
#include <string>
#include <vector>

namespace sorvelin {

class AlsaMidiOut : public MidiOutService {
public:
    AlsaMidiOut();

    // Lists the ports afresh; later DevCaps and Open calls use this list.
    int NumDevs() override;
    int DevCaps(int id, MidiOutCaps& caps) override;
    int Open(int id, std::unique_ptr<MidiOutput>& out) override;
    std::string ErrorText(int code) override;

    // The row of Sorvelin's own port.
    static MidiOutCaps OwnPortCaps();

private:
    struct Port {
        int client = 0;
        int port = 0;
        MidiOutCaps caps;
    };
    std::mutex mutex_;
    std::vector<Port> ports_;
    int ownRow_ = -1; // the row of Sorvelin's own port; -1 without a sequencer
    std::string lastDetail_;
    int lastCode_ = kMidiOk;
};

} // namespace sorvelin
