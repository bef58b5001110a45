#pragma once
// Short MIDI messages as ALSA sequencer events, through libasound's own
// encoder, so each message kind becomes the event the sequencer's other
// clients expect (a pitch wheel centred on 0, a one-byte program change).
// It needs no sequencer: every output that sends through one encodes alike.
#include <alsa/asoundlib.h>

#include <cstdint>

namespace sorvelin {

class AlsaEncoder {
public:
    AlsaEncoder();
    ~AlsaEncoder();
    AlsaEncoder(const AlsaEncoder&) = delete;
    AlsaEncoder& operator=(const AlsaEncoder&) = delete;

    // Fills `event` (cleared first, with no source or destination) from a
    // message in PackShortMsg's form. False when the message makes no event:
    // a status without its data bytes, or a lone data byte.
    bool Encode(std::uint32_t packed, snd_seq_event_t& event);

private:
    snd_midi_event_t* encoder_ = nullptr;
};

// Where an output's events go: one port of another client, or everyone
// subscribed to Sorvelin's own port (whatever a patchbay connected to it).
struct AlsaDestination {
    int client = 0;
    int port = 0;
    bool subscribers = false;
};

// Names the sending port and the destination, and sends the event at once
// (no queue): playback has already timed it.
void AddressAlsaEvent(snd_seq_event_t& event, int ownPort, const AlsaDestination& destination);

} // namespace sorvelin
