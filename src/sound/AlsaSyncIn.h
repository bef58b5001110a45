#pragma once
// Sorvelin's own ALSA input "Sorvelin:in", for following a MIDI clock when
// the output is not JACK: whatever a patchbay connects to it (a DAW, a drum
// machine, a MIDI interface) sends of clock, Start, Continue, Stop and song
// position reaches the program with the moment it arrived; everything else
// is dropped. A thread of its own waits on the sequencer, so the moment is
// the arrival's and not the window's next look.
#include "sound/MidiTransport.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sorvelin {

// The sync message an ALSA event carries; false for every other event.
bool SyncFromAlsaEvent(const snd_seq_event_t& event, std::chrono::steady_clock::time_point at,
                       SyncMessage& message);

class AlsaSyncIn : public SyncInput {
public:
    // Null without a sequencer (no /dev/snd/seq), `why` says what failed.
    static std::unique_ptr<AlsaSyncIn> Open(std::string& why);
    ~AlsaSyncIn() override;
    AlsaSyncIn(const AlsaSyncIn&) = delete;
    AlsaSyncIn& operator=(const AlsaSyncIn&) = delete;

    void ReadSync(std::vector<SyncMessage>& into) override;

private:
    AlsaSyncIn(snd_seq_t* seq, int wake);
    void Run();

    snd_seq_t* seq_;
    int wake_; // an eventfd that ends the thread's wait
    std::atomic<bool> quit_{false};
    std::mutex mutex_;
    std::vector<SyncMessage> pending_;
    std::thread thread_;
};

} // namespace sorvelin
