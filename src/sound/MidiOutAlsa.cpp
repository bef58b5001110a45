#include "sound/MidiOutAlsa.h"

#include "sound/AlsaEncoder.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdarg>

namespace sorvelin {
namespace {

// libasound prints its own complaints to stderr; the program reports
// failures itself.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

void InstallQuietHandler() {
    static const bool installed = [] {
        snd_lib_error_set_handler(QuietAlsa);
        return true;
    }();
    (void)installed;
}

int TechnologyOf(unsigned int type) {
    constexpr unsigned int kSynthBits = SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_SYNTHESIZER |
                                        SND_SEQ_PORT_TYPE_DIRECT_SAMPLE | SND_SEQ_PORT_TYPE_SAMPLE;
    if ((type & kSynthBits) != 0) {
        return kMidiTechSynth;
    }
    if ((type & (SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT |
                 SND_SEQ_PORT_TYPE_MIDI_GENERIC)) != 0) {
        return kMidiTechPort;
    }
    return kMidiTechNone;
}

// One open output. The sequencer is open non-blocking, so a send never waits
// (playback sends with its lock held, and Stop must always get that lock): a
// destination that stops reading fills the kernel's buffer, and the sends
// that find it full are refused like any other failed send.
class AlsaOutput : public MidiOutput {
public:
    AlsaOutput(snd_seq_t* seq, int ownPort, AlsaDestination destination)
        : seq_(seq), ownPort_(ownPort), destination_(destination) {}
    ~AlsaOutput() override { Close(); }

    int ShortMsg(std::uint32_t packed) override {
        if (seq_ == nullptr) {
            return kMidiErrInvalidHandle;
        }
        snd_seq_event_t event;
        if (!encoder_.Encode(packed, event)) {
            return kMidiOk; // nothing this program sends
        }
        return Deliver(event);
    }

    int LongMsg(const std::vector<std::uint8_t>& message) override {
        if (seq_ == nullptr) {
            return kMidiErrInvalidHandle;
        }
        buffer_ = message;
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_sysex(&event, static_cast<unsigned int>(buffer_.size()), buffer_.data());
        return Deliver(event);
    }

    // Direct output hands the whole event to the sequencer before it returns.
    bool LongDone() override { return true; }

    int Close() override {
        if (seq_ == nullptr) {
            return kMidiOk;
        }
        snd_seq_drain_output(seq_); // gives up at once when the buffer is full
        const int result = snd_seq_close(seq_);
        seq_ = nullptr;
        return result < 0 ? kMidiErrClose : kMidiOk;
    }

private:
    int Deliver(snd_seq_event_t& event) {
        AddressAlsaEvent(event, ownPort_, destination_);
        const int result = snd_seq_event_output_direct(seq_, &event);
        if (result == -EAGAIN) {
            return kMidiErrOutputFull;
        }
        return result < 0 ? kMidiErrNoSequencer : kMidiOk;
    }

    snd_seq_t* seq_;
    int ownPort_;
    AlsaDestination destination_;
    AlsaEncoder encoder_;
    std::vector<std::uint8_t> buffer_;
};

constexpr const char* kOwnPortName = "out";

// The program's own client "Sorvelin" with the port its events come from
// ("Sorvelin:out", readable and open to subscriptions, so patchbays list it),
// opened non-blocking. Negative: the library's error, and nothing stays open.
int OpenSendingClient(snd_seq_t*& seq, int& ownPort) {
    if (const int error = snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK);
        error < 0) {
        return error;
    }
    snd_seq_set_client_name(seq, "Sorvelin");
    ownPort = snd_seq_create_simple_port(
        seq, kOwnPortName, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (ownPort < 0) {
        snd_seq_close(seq);
        seq = nullptr;
        return ownPort;
    }
    return 0;
}

} // namespace

MidiOutCaps AlsaMidiOut::OwnPortCaps() {
    return {"Sorvelin MIDI out", kMidiTechPort, "Sorvelin MIDI out (connect in your patchbay)"};
}

AlsaMidiOut::AlsaMidiOut() {
    InstallQuietHandler();
}

int AlsaMidiOut::NumDevs() {
    std::lock_guard lock(mutex_);
    ports_.clear();
    snd_seq_t* seq = nullptr;
    ownRow_ = -1;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) {
        return 0;
    }
    const int self = snd_seq_client_id(seq);
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        const int clientId = snd_seq_client_info_get_client(client);
        if (clientId == self || clientId == SND_SEQ_CLIENT_SYSTEM) {
            continue;
        }
        snd_seq_port_info_set_client(port, clientId);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0) {
            const unsigned int caps = snd_seq_port_info_get_capability(port);
            constexpr unsigned int kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
            if ((caps & kWritable) != kWritable || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) {
                continue;
            }
            std::string name = snd_seq_port_info_get_name(port);
            if (name.size() > kMaxProductName) {
                name.resize(kMaxProductName);
            }
            ports_.push_back({clientId,
                              snd_seq_port_info_get_port(port),
                              {name, TechnologyOf(snd_seq_port_info_get_type(port))}});
        }
    }
    snd_seq_close(seq);
    // With a sequencer there, Sorvelin's own port is a row of its own, after
    // the others' ports.
    ownRow_ = static_cast<int>(ports_.size());
    return ownRow_ + 1;
}

int AlsaMidiOut::DevCaps(int id, MidiOutCaps& caps) {
    std::lock_guard lock(mutex_);
    if (id >= 0 && id == ownRow_) {
        caps = OwnPortCaps();
        return kMidiOk;
    }
    if (id < 0 || id >= static_cast<int>(ports_.size())) {
        return kMidiErrBadDeviceId;
    }
    caps = ports_[static_cast<std::size_t>(id)].caps;
    return kMidiOk;
}

int AlsaMidiOut::Open(int id, std::unique_ptr<MidiOutput>& out) {
    std::lock_guard lock(mutex_);
    auto fail = [this](int code, std::string detail) {
        lastCode_ = code;
        lastDetail_ = std::move(detail);
        return code;
    };
    const bool own = id >= 0 && id == ownRow_;
    if (!own && (id < 0 || id >= static_cast<int>(ports_.size()))) {
        return fail(kMidiErrBadDeviceId, {});
    }
    snd_seq_t* seq = nullptr;
    int ownPort = 0;
    if (const int error = OpenSendingClient(seq, ownPort); error < 0) {
        return fail(kMidiErrNoSequencer, snd_strerror(error));
    }
    if (own) {
        // Whoever subscribes to Sorvelin:out, now or later, gets the song.
        out = std::make_unique<AlsaOutput>(seq, ownPort, AlsaDestination{0, 0, true});
        return kMidiOk;
    }
    const Port target = ports_[static_cast<std::size_t>(id)];
    // The connection makes the route visible to patchbays; the events are
    // addressed to the port directly either way.
    snd_seq_connect_to(seq, ownPort, target.client, target.port);
    out = std::make_unique<AlsaOutput>(seq, ownPort,
                                       AlsaDestination{target.client, target.port, false});
    return kMidiOk;
}

std::string AlsaMidiOut::ErrorText(int code) {
    std::lock_guard lock(mutex_);
    return StandardMidiErrorText(code, code == lastCode_ ? lastDetail_ : std::string());
}

} // namespace sorvelin
