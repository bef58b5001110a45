#include "sound/AlsaSyncIn.h"

#include "sound/MidiOut.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace sorvelin {
namespace {

constexpr const char* kInPortName = "in";
// A window that stops reading (it is closing) must not make the list grow
// without end: about a minute of clock at 240 bpm.
constexpr std::size_t kMostPending = 8192;

} // namespace

bool SyncFromAlsaEvent(const snd_seq_event_t& event, std::chrono::steady_clock::time_point at,
                       SyncMessage& message) {
    message = {0, 0, at};
    switch (event.type) {
    case SND_SEQ_EVENT_CLOCK:
        message.status = kMidiClock;
        return true;
    case SND_SEQ_EVENT_START:
        message.status = kMidiStart;
        return true;
    case SND_SEQ_EVENT_CONTINUE:
        message.status = kMidiContinue;
        return true;
    case SND_SEQ_EVENT_STOP:
        message.status = kMidiStop;
        return true;
    case SND_SEQ_EVENT_SONGPOS:
        message.status = kSongPosition;
        message.sixteenths = event.data.control.value & 0x3FFF;
        return true;
    default:
        return false;
    }
}

std::unique_ptr<AlsaSyncIn> AlsaSyncIn::Open(std::string& why) {
    snd_seq_t* seq = nullptr;
    if (const int error = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
        error < 0) {
        why = std::string("the ALSA sequencer cannot be opened: ") + snd_strerror(error);
        return nullptr;
    }
    snd_seq_set_client_name(seq, "Sorvelin");
    const int port = snd_seq_create_simple_port(
        seq, kInPortName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    const int wake = port < 0 ? -1 : eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (port < 0 || wake < 0) {
        why = std::string("Sorvelin's ALSA input cannot be made: ") +
              (port < 0 ? snd_strerror(port) : "no event descriptor");
        snd_seq_close(seq);
        return nullptr;
    }
    return std::unique_ptr<AlsaSyncIn>(new AlsaSyncIn(seq, wake));
}

AlsaSyncIn::AlsaSyncIn(snd_seq_t* seq, int wake) : seq_(seq), wake_(wake) {
    thread_ = std::thread([this] { Run(); });
}

AlsaSyncIn::~AlsaSyncIn() {
    quit_.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
    thread_.join();
    close(wake_);
    snd_seq_close(seq_);
}

void AlsaSyncIn::ReadSync(std::vector<SyncMessage>& into) {
    std::lock_guard lock(mutex_);
    into.insert(into.end(), pending_.begin(), pending_.end());
    pending_.clear();
}

void AlsaSyncIn::Run() {
    const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned int>(count), POLLIN);
    fds.back() = {wake_, POLLIN, 0};
    while (!quit_.load()) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            continue; // a signal; the wait goes on
        }
        snd_seq_event_t* event = nullptr;
        while (snd_seq_event_input(seq_, &event) >= 0 && event != nullptr) {
            SyncMessage message;
            if (SyncFromAlsaEvent(*event, std::chrono::steady_clock::now(), message)) {
                std::lock_guard lock(mutex_);
                if (pending_.size() < kMostPending) {
                    pending_.push_back(message);
                }
            }
        }
    }
}

} // namespace sorvelin
