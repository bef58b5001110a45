#include "sound/MidiOutJack.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace sorvelin {
namespace {

constexpr const char* kClientName = "sorvelin";
constexpr const char* kPortName = "midi_out";
// Room for a few seconds of dense song and the longest system-exclusive
// message the program sends; a full ring refuses sends rather than wait.
constexpr std::size_t kRingBytes = 1 << 18;
// How long Close waits for the messages still in the ring (the silencing
// that comes just before it) to reach the port.
constexpr auto kDrainLimit = std::chrono::milliseconds(250);
// Lead wanted ahead of a due moment: the period of latency and one more,
// and no less than the timer's usual worst wake-up on a loaded desktop.
constexpr auto kMinLead = std::chrono::milliseconds(10);

void Quiet(const char*) {}

void InstallQuietHandlers() {
    static const bool installed = [] {
        jack_set_error_function(Quiet);
        jack_set_info_function(Quiet);
        return true;
    }();
    (void)installed;
}

std::string StatusText(jack_status_t status) {
    if ((status & JackServerFailed) != 0) {
        return "no JACK server is running";
    }
    if ((status & JackVersionError) != 0) {
        return "the JACK server speaks another protocol version";
    }
    if ((status & JackShmFailure) != 0) {
        return "JACK's shared memory cannot be reached";
    }
    if ((status & JackNameNotUnique) != 0) {
        return "the JACK client name is taken";
    }
    return "the JACK server refused the client";
}

jack_client_t* OpenClient(const char* name, std::string& why) {
    jack_status_t status{};
    jack_client_t* client = jack_client_open(name, JackNoStartServer, &status);
    if (client == nullptr) {
        why = StatusText(status);
    }
    return client;
}

// One record in the ring: the frame it is due at and its byte count, then
// the bytes.
struct RecordHeader {
    jack_nframes_t frame;
    std::uint32_t size;
};

class JackOutput : public MidiOutput {
public:
    JackOutput(jack_client_t* client, jack_port_t* port, jack_ringbuffer_t* ring,
               std::atomic<bool>* openFlag)
        : client_(client), port_(port), ring_(ring), openFlag_(openFlag) {
        period_.store(jack_get_buffer_size(client_));
        openFlag_->store(true);
        sem_init(&wake_, 0, 0);
        watcher_ = std::thread([this] { Watch(); });
    }
    ~JackOutput() override {
        Close();
        sem_destroy(&wake_);
    }
    JackOutput(const JackOutput&) = delete;
    JackOutput& operator=(const JackOutput&) = delete;

    // Registers the callbacks and activates the client; an error text on failure.
    std::string Start() {
        jack_set_process_callback(client_, &JackOutput::Process, this);
        jack_set_buffer_size_callback(client_, &JackOutput::BufferSize, this);
        jack_on_shutdown(client_, &JackOutput::Shutdown, this);
        if (jack_activate(client_) != 0) {
            return "the JACK server did not activate the client";
        }
        active_ = true;
        return {};
    }

    int ShortMsg(std::uint32_t packed) override {
        return ShortMsgAt(packed, std::chrono::steady_clock::now());
    }

    int ShortMsgAt(std::uint32_t packed, std::chrono::steady_clock::time_point due) override {
        const std::vector<std::uint8_t> bytes = UnpackShortMsg(packed);
        return Enqueue(bytes.data(), bytes.size(), due);
    }

    int LongMsg(const std::vector<std::uint8_t>& message) override {
        return Enqueue(message.data(), message.size(), std::chrono::steady_clock::now());
    }

    bool LongDone() override { return true; }

    std::chrono::nanoseconds Lead() const override {
        return std::max<std::chrono::nanoseconds>(2 * PeriodDuration(), kMinLead);
    }

    void SetFailureHandler(FailureFn failed) override { notice_.SetHandler(std::move(failed)); }

    int Close() override {
        if (client_ == nullptr) {
            return kMidiOk;
        }
        const auto limit = std::chrono::steady_clock::now() + kDrainLimit;
        while (active_ && !gone_.load() && jack_ringbuffer_read_space(ring_) > 0 &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (active_ && !gone_.load()) {
            jack_deactivate(client_);
        }
        const int result = jack_client_close(client_);
        client_ = nullptr;
        // The client's threads are gone: no shutdown can come any more.
        StopWatching();
        jack_ringbuffer_free(ring_);
        ring_ = nullptr;
        openFlag_->store(false);
        // A server that is gone cannot refuse: the client is closed either way.
        return result != 0 && !gone_.load() ? kMidiErrClose : kMidiOk;
    }

private:
    std::chrono::nanoseconds PeriodDuration() const {
        const jack_nframes_t rate = sampleRate_;
        return std::chrono::nanoseconds(std::int64_t{period_.load()} * 1'000'000'000 /
                                        std::max<jack_nframes_t>(rate, 1));
    }

    // The server's frame for a moment on the steady clock: both clocks are
    // read together, and the difference is carried over into JACK's time.
    jack_nframes_t FrameAt(std::chrono::steady_clock::time_point due) const {
        const jack_time_t jackNow = jack_get_time();
        const auto ahead = std::chrono::duration_cast<std::chrono::microseconds>(
                               due - std::chrono::steady_clock::now())
                               .count();
        const jack_time_t jackDue =
            ahead >= 0 ? jackNow + static_cast<jack_time_t>(ahead)
                       : jackNow - std::min<jack_time_t>(jackNow, static_cast<jack_time_t>(-ahead));
        return jack_time_to_frames(client_, jackDue);
    }

    int Enqueue(const std::uint8_t* bytes, std::size_t size,
                std::chrono::steady_clock::time_point due) {
        if (client_ == nullptr) {
            return kMidiErrInvalidHandle;
        }
        if (gone_.load()) {
            return kMidiErrServerGone;
        }
        if (size == 0) {
            return kMidiOk;
        }
        // One period of latency: a message due now falls into the next
        // period, the first one not yet written, at its own offset there.
        const RecordHeader header{FrameAt(due) + period_.load(), static_cast<std::uint32_t>(size)};
        // One write of header and bytes together: the process thread never
        // sees a header without its bytes.
        staging_.resize(sizeof header + size);
        std::memcpy(staging_.data(), &header, sizeof header);
        std::memcpy(staging_.data() + sizeof header, bytes, size);
        if (jack_ringbuffer_write_space(ring_) < staging_.size()) {
            return kMidiErrOutputFull;
        }
        jack_ringbuffer_write(ring_, staging_.data(), staging_.size());
        return kMidiOk;
    }

    // The server's process thread: moves every record due in this period
    // to the port at its offset. Lock-free and allocation-free.
    static int Process(jack_nframes_t frames, void* self) {
        auto* out = static_cast<JackOutput*>(self);
        void* buffer = jack_port_get_buffer(out->port_, frames);
        jack_midi_clear_buffer(buffer);
        const jack_nframes_t start = jack_last_frame_time(out->client_);
        std::uint32_t floor = 0;
        RecordHeader header{};
        while (jack_ringbuffer_read_space(out->ring_) >= sizeof header) {
            jack_ringbuffer_peek(out->ring_, reinterpret_cast<char*>(&header), sizeof header);
            const long offset = JackOffsetInPeriod(header.frame, start, frames, floor);
            if (offset < 0) {
                break;
            }
            jack_ringbuffer_read_advance(out->ring_, sizeof header);
            floor = static_cast<std::uint32_t>(offset);
            jack_midi_data_t* target =
                jack_midi_event_reserve(buffer, static_cast<jack_nframes_t>(offset), header.size);
            if (target != nullptr) {
                jack_ringbuffer_read(out->ring_, reinterpret_cast<char*>(target), header.size);
            } else {
                jack_ringbuffer_read_advance(out->ring_, header.size);
            }
        }
        return 0;
    }

    static int BufferSize(jack_nframes_t frames, void* self) {
        static_cast<JackOutput*>(self)->period_.store(frames);
        return 0;
    }

    // JACK calls this on a thread of its own when the server quits or dies
    // (also when it is killed outright): every later send is refused, and
    // the owner is told at once so that a song stops now rather than play
    // on into nothing. JACK wants this written like a signal handler, so it only sets the
    // flag and wakes the watcher, which tells the owner.
    static void Shutdown(void* self) {
        auto* out = static_cast<JackOutput*>(self);
        out->gone_.store(true);
        sem_post(&out->wake_);
    }

    void Watch() {
        while (sem_wait(&wake_) != 0) {
        }
        if (gone_.load()) {
            notice_.Notify(kMidiErrServerGone);
        }
    }

    void StopWatching() {
        if (watcher_.joinable()) {
            sem_post(&wake_);
            watcher_.join();
        }
    }

    jack_client_t* client_;
    jack_port_t* port_;
    jack_ringbuffer_t* ring_;
    std::atomic<bool>* openFlag_;
    jack_nframes_t sampleRate_ = jack_get_sample_rate(client_);
    std::atomic<jack_nframes_t> period_{0};
    std::atomic<bool> gone_{false};
    bool active_ = false;
    std::vector<char> staging_;
    FailureNotice notice_;
    sem_t wake_{};
    std::thread watcher_;
};

// Whether this process has its JACK output open: listing must then not
// probe with a second client.
std::atomic<bool> outputOpen{false};

} // namespace

long JackOffsetInPeriod(std::uint32_t due, std::uint32_t periodStart, std::uint32_t frames,
                        std::uint32_t floor) {
    // Differences of wrapping frame counters, read as signed.
    const auto ahead = static_cast<std::int32_t>(due - periodStart);
    if (ahead >= static_cast<std::int64_t>(frames)) {
        return -1;
    }
    const std::int64_t inPeriod = std::clamp<std::int64_t>(ahead, 0, std::int64_t{frames} - 1);
    return static_cast<long>(std::max<std::int64_t>(inPeriod, floor));
}

JackMidiOut::JackMidiOut() {
    InstallQuietHandlers();
}

MidiOutCaps JackMidiOut::Caps() {
    return {"JACK MIDI out", kMidiTechPort, "JACK MIDI out (sorvelin:midi_out)"};
}

int JackMidiOut::NumDevs() {
    std::lock_guard lock(mutex_);
    if (outputOpen.load()) {
        listed_ = true;
        return 1;
    }
    std::string why;
    jack_client_t* probe = OpenClient("sorvelin-list", why);
    listed_ = probe != nullptr;
    if (probe != nullptr) {
        jack_client_close(probe);
    }
    return listed_ ? 1 : 0;
}

int JackMidiOut::DevCaps(int id, MidiOutCaps& caps) {
    if (id != 0) {
        return kMidiErrBadDeviceId;
    }
    caps = Caps();
    return kMidiOk;
}

int JackMidiOut::Open(int id, std::unique_ptr<MidiOutput>& out) {
    std::lock_guard lock(mutex_);
    auto fail = [this](int code, std::string detail) {
        lastCode_ = code;
        lastDetail_ = std::move(detail);
        return code;
    };
    if (id != 0) {
        return fail(kMidiErrBadDeviceId, {});
    }
    std::string why;
    jack_client_t* client = OpenClient(kClientName, why);
    if (client == nullptr) {
        return fail(kMidiErrNoServer, why);
    }
    jack_port_t* port =
        jack_port_register(client, kPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_ringbuffer_t* ring = port != nullptr ? jack_ringbuffer_create(kRingBytes) : nullptr;
    if (ring == nullptr) {
        jack_client_close(client);
        return fail(kMidiErrNoServer, "the JACK server refused the MIDI port");
    }
    jack_ringbuffer_mlock(ring);
    auto output = std::make_unique<JackOutput>(client, port, ring, &outputOpen);
    if (const std::string failed = output->Start(); !failed.empty()) {
        output->Close();
        return fail(kMidiErrNoServer, failed);
    }
    out = std::move(output);
    return kMidiOk;
}

std::string JackMidiOut::ErrorText(int code) {
    std::lock_guard lock(mutex_);
    return StandardMidiErrorText(code, code == lastCode_ ? lastDetail_ : std::string());
}

} // namespace sorvelin
