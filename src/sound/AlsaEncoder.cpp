#include "sound/AlsaEncoder.h"

#include "sound/MidiOut.h"

#include <new>

namespace sorvelin {
namespace {

// A short message has at most three bytes; the encoder keeps them while a
// message is incomplete.
constexpr std::size_t kShortMessageBytes = 3;

} // namespace

AlsaEncoder::AlsaEncoder() {
    if (snd_midi_event_new(kShortMessageBytes, &encoder_) < 0) {
        throw std::bad_alloc();
    }
}

AlsaEncoder::~AlsaEncoder() {
    snd_midi_event_free(encoder_);
}

bool AlsaEncoder::Encode(std::uint32_t packed, snd_seq_event_t& event) {
    const std::vector<std::uint8_t> bytes = UnpackShortMsg(packed);
    snd_seq_ev_clear(&event);
    // Every message carries its own status: nothing runs on from the last.
    snd_midi_event_reset_encode(encoder_);
    const long used =
        snd_midi_event_encode(encoder_, bytes.data(), static_cast<long>(bytes.size()), &event);
    return used > 0 && event.type != SND_SEQ_EVENT_NONE;
}

void AddressAlsaEvent(snd_seq_event_t& event, int ownPort, const AlsaDestination& destination) {
    snd_seq_ev_set_source(&event, ownPort);
    if (destination.subscribers) {
        snd_seq_ev_set_subs(&event);
    } else {
        snd_seq_ev_set_dest(&event, destination.client, destination.port);
    }
    snd_seq_ev_set_direct(&event);
}

} // namespace sorvelin
