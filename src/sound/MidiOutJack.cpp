#include "sound/MidiOutJack.h"

#include "sound/MidiTransport.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <jack/transport.h>
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
// The input a studio's MIDI clock comes in by, and room for a few seconds of it.
constexpr const char* kInPortName = "midi_in";
constexpr std::size_t kInRingBytes = 1 << 14;
// Room for a few seconds of dense song and the longest system-exclusive
// message the program sends; a full ring refuses sends rather than wait.
constexpr std::size_t kRingBytes = 1 << 18;
// How long Close waits for the messages still in the ring (the silencing
// that comes just before it) to reach the port.
constexpr auto kDrainLimit = std::chrono::milliseconds(250);
// Lead wanted ahead of a due moment: the period of latency and one more,
// and no less than the timer's usual worst wake-up on a loaded desktop.
constexpr auto kMinLead = std::chrono::milliseconds(10);
// The clock line (see LineFrame): how far the server's own reading of its
// clock may be from it. Beyond a millisecond ahead of the line (a clock
// would come late) or 100 ms behind (a server that keeps falling behind),
// the line moves one frame towards the server with each clock; beyond 20 ms
// ahead or a second behind (a stall, a server started again) it is drawn
// again where the server is.
constexpr std::int64_t kAheadNudgeMicros = 1000;
constexpr std::int64_t kBehindNudgeMicros = 100000;
constexpr std::int64_t kAheadRedrawMicros = 20000;
constexpr std::int64_t kBehindRedrawMicros = 1000000;

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

class JackOutput : public MidiOutput, public MidiTransport {
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
        OpenInput();
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
        // The clock and its Start, Stop and song position keep to the
        // line, and so does every note while the clock runs, so that a
        // receiver hears each note on its clock; without a clock, messages
        // are placed where the server's clock says, unless the song follows
        // the transport.
        const std::uint8_t status = bytes.empty() ? 0 : bytes[0];
        if (status == kMidiStart || status == kMidiContinue) {
            clockRunning_ = true;
        }
        const bool clockLine = (packed & 0xF0) == 0xF0 || clockRunning_;
        if (status == kMidiStop) {
            clockRunning_ = false;
        }
        return Enqueue(bytes.data(), bytes.size(), due, clockLine);
    }

    int LongMsg(const std::vector<std::uint8_t>& message) override {
        return Enqueue(message.data(), message.size(), std::chrono::steady_clock::now(), false);
    }

    bool LongDone() override { return true; }

    std::chrono::nanoseconds Lead() const override {
        return std::max<std::chrono::nanoseconds>(2 * PeriodDuration(), kMinLead);
    }

    void SetFailureHandler(FailureFn failed) override { notice_.SetHandler(std::move(failed)); }
    MidiTransport* Transport() override { return client_ != nullptr ? this : nullptr; }

    // ---- the transport ----

    bool Query(TransportState& state) override {
        if (client_ == nullptr || gone_.load()) {
            return false;
        }
        jack_position_t position{};
        const jack_transport_state_t rolling = jack_transport_query(client_, &position);
        state = {};
        state.rolling = rolling == JackTransportRolling;
        state.starting = rolling == JackTransportStarting;
        state.frame = position.frame;
        state.frameRate = position.frame_rate != 0 ? position.frame_rate : sampleRate_;
        // The server frame at which the transport reads `frame`, from the
        // last period's pair (the transport rolls on frame by frame with
        // the server), on the same line as the messages, less the period of
        // latency a message takes.
        const std::uint64_t cycle = cycle_.load(std::memory_order_acquire);
        if (state.rolling && cycle == kNoRollingCycle) {
            // Rolling, but the process thread has not seen it roll yet.
            state.starting = true;
        }
        const auto cycleFrame = static_cast<jack_nframes_t>(cycle >> 32);
        const auto cycleTransport = static_cast<jack_nframes_t>(cycle & 0xFFFFFFFFU);
        const jack_nframes_t serverFrame = state.rolling
                                               ? cycleFrame + (position.frame - cycleTransport)
                                               : FrameAt(std::chrono::steady_clock::now());
        state.serverFrame = serverFrame;
        state.at = LineMoment(serverFrame) - PeriodDuration();
        // A pair from before a relocate that the process thread has not
        // caught up with yet says nothing about where the transport is now:
        // the look is taken as one while the transport gets ready.
        const auto rolledOn = static_cast<std::int32_t>(position.frame - cycleTransport);
        if (state.rolling &&
            (rolledOn < 0 || rolledOn > 2 * static_cast<std::int32_t>(period_.load()))) {
            state.starting = true;
        }
        if ((position.valid & JackPositionBBT) != 0 && position.ticks_per_beat > 0 &&
            position.beats_per_minute > 0) {
            state.hasBbt = true;
            state.bar = position.bar;
            state.beat = position.beat;
            state.tick = position.tick;
            state.ticksPerBeat = position.ticks_per_beat;
            state.beatsPerBar = position.beats_per_bar;
            state.beatType = position.beat_type;
            state.beatsPerMinute = position.beats_per_minute;
        }
        return true;
    }

    void StartRolling() override {
        if (client_ != nullptr && !gone_.load()) {
            jack_transport_start(client_);
        }
    }

    void StopRolling() override {
        if (client_ != nullptr && !gone_.load()) {
            jack_transport_stop(client_);
        }
    }

    void Locate(std::uint32_t frame) override {
        if (client_ != nullptr && !gone_.load()) {
            jack_transport_locate(client_, frame);
        }
    }

    bool BecomeTimebaseMaster(const TimebaseSource& source) override {
        if (client_ == nullptr || gone_.load()) {
            return false;
        }
        timebaseTempo_.store(std::max(source.tempo, 1));
        timebaseDivision_.store(std::max(source.division, 1));
        timebaseBeats_.store(std::max(source.beatsPerBar, 1));
        if (master_.load()) {
            return true;
        }
        // Conditional: a DAW that already leads keeps the role.
        if (jack_set_timebase_callback(client_, 1, &JackOutput::Timebase, this) != 0) {
            return false;
        }
        master_.store(true);
        return true;
    }

    void ReleaseTimebase() override {
        if (master_.exchange(false) && client_ != nullptr && !gone_.load()) {
            jack_release_timebase(client_);
        }
    }

    bool IsTimebaseMaster() const override { return master_.load(); }

    void KeepToTransport(bool on) override { keepToTransport_ = on; }

    void ReadSync(std::vector<SyncMessage>& into) override {
        InputRecord record{};
        while (inRing_ != nullptr && jack_ringbuffer_read_space(inRing_) >= sizeof record) {
            jack_ringbuffer_read(inRing_, reinterpret_cast<char*>(&record), sizeof record);
            into.push_back(
                {record.status, record.data1 | (record.data2 << 7), LineMoment(record.frame)});
        }
    }

    int Close() override {
        if (client_ == nullptr) {
            return kMidiOk;
        }
        ReleaseTimebase();
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
        if (inRing_ != nullptr) {
            jack_ringbuffer_free(inRing_);
            inRing_ = nullptr;
        }
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

    // The frame of a clock's due moment on one straight line from the steady
    // clock to the server's frames, so that the 24 clocks per quarter note
    // stay regular to the frame, where each reading of the server's clock
    // alone would scatter them by some frames (and a loaded server's lag
    // bunch them up).
    jack_nframes_t LineFrame(std::chrono::steady_clock::time_point due) {
        const jack_nframes_t live = FrameAt(due);
        const std::int64_t rate = std::max<jack_nframes_t>(sampleRate_, 1);
        if (lineSet_) {
            const std::int64_t nanos =
                std::chrono::duration_cast<std::chrono::nanoseconds>(due - lineMoment_).count();
            // Rounded to the nearest frame, also before the line's anchor.
            const std::int64_t scaled = nanos * rate;
            const std::int64_t half = 500'000'000;
            const std::int64_t frames =
                scaled >= 0 ? (scaled + half) / 1'000'000'000 : -((-scaled + half) / 1'000'000'000);
            const jack_nframes_t onLine = lineFrame_ + static_cast<jack_nframes_t>(frames);
            const auto off = static_cast<std::int32_t>(live - onLine); // > 0: the server is ahead
            const std::int64_t offMicros = std::int64_t{off} * 1'000'000 / rate;
            if (offMicros <= kAheadRedrawMicros && offMicros >= -kBehindRedrawMicros) {
                if (offMicros > kAheadNudgeMicros || offMicros < -kBehindNudgeMicros) {
                    const jack_nframes_t step = off > 0 ? 1U : ~0U;
                    lineFrame_ += step;
                    return onLine + step;
                }
                return onLine;
            }
        }
        lineSet_ = true;
        lineMoment_ = due;
        lineFrame_ = live;
        return live;
    }

    // The steady-clock moment the line gives for a server frame.
    std::chrono::steady_clock::time_point LineMoment(jack_nframes_t frame) {
        if (!lineSet_) {
            LineFrame(std::chrono::steady_clock::now());
        }
        const auto frames = static_cast<std::int32_t>(frame - lineFrame_);
        const std::int64_t rate = std::max<jack_nframes_t>(sampleRate_, 1);
        return lineMoment_ + std::chrono::nanoseconds(std::int64_t{frames} * 1'000'000'000 / rate);
    }

    int Enqueue(const std::uint8_t* bytes, std::size_t size,
                std::chrono::steady_clock::time_point due, bool clockLine) {
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
        const RecordHeader header{(clockLine || keepToTransport_ ? LineFrame(due) : FrameAt(due)) +
                                      period_.load(),
                                  static_cast<std::uint32_t>(size)};
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
        out->NoteCycle(start);
        out->ReadInput(frames, start);
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

    // One message of the input ring: its frame and bytes.
    struct InputRecord {
        jack_nframes_t frame;
        std::uint8_t status;
        std::uint8_t data1;
        std::uint8_t data2;
        std::uint8_t unused;
    };

    // The port "midi_in" and its ring; without them only the input is missing.
    void OpenInput() {
        inPort_ =
            jack_port_register(client_, kInPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        inRing_ = inPort_ != nullptr ? jack_ringbuffer_create(kInRingBytes) : nullptr;
    }

    // The process thread: the clock and song position messages of this
    // period, into the input ring with their frames. Lock-free.
    void ReadInput(jack_nframes_t frames, jack_nframes_t start) {
        if (inPort_ == nullptr || inRing_ == nullptr) {
            return;
        }
        void* buffer = jack_port_get_buffer(inPort_, frames);
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) {
                continue;
            }
            const std::uint8_t status = event.buffer[0];
            const bool sync = status == 0xF8 || status == 0xFA || status == 0xFB ||
                              status == 0xFC || (status == 0xF2 && event.size >= 3);
            if (!sync || jack_ringbuffer_write_space(inRing_) < sizeof(InputRecord)) {
                continue;
            }
            const InputRecord record{
                start + event.time, status,
                static_cast<std::uint8_t>(status == 0xF2 ? event.buffer[1] & 0x7F : 0),
                static_cast<std::uint8_t>(status == 0xF2 ? event.buffer[2] & 0x7F : 0), 0};
            jack_ringbuffer_write(inRing_, reinterpret_cast<const char*>(&record), sizeof record);
        }
    }

    // The process thread: the server frame this period starts at and the
    // transport's position there, read together by Query. Only a rolling
    // period's pair: while the transport gets ready after a relocate, the
    // server's frames go on but its position stays, and a look that took
    // that pair would see the transport move again when it rolls.
    void NoteCycle(jack_nframes_t start) {
        jack_position_t position{};
        if (jack_transport_query(client_, &position) != JackTransportRolling) {
            cycle_.store(kNoRollingCycle, std::memory_order_release);
            return;
        }
        const jack_nframes_t transport = position.frame;
        cycle_.store((std::uint64_t{start} << 32) | transport, std::memory_order_release);
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

    // The server's process thread, while this client is the timebase
    // master: bar, beat and tick of the transport's frame at the song's
    // tempo, counted from frame 0.
    static void Timebase(jack_transport_state_t /*state*/, jack_nframes_t /*frames*/,
                         jack_position_t* position, int /*newPosition*/, void* self) {
        auto* out = static_cast<JackOutput*>(self);
        const int tempo = out->timebaseTempo_.load();
        const int division = out->timebaseDivision_.load();
        const int beats = out->timebaseBeats_.load();
        const double rate = position->frame_rate != 0 ? position->frame_rate : 48000.0;
        const double quarters = static_cast<double>(position->frame) / rate * 1e6 / tempo;
        const auto ticks = static_cast<std::int64_t>(quarters * division);
        const std::int64_t perBar = std::int64_t{division} * beats;
        position->valid = static_cast<jack_position_bits_t>(position->valid | JackPositionBBT);
        position->bar = static_cast<std::int32_t>(ticks / perBar) + 1;
        position->beat = static_cast<std::int32_t>((ticks % perBar) / division) + 1;
        position->tick = static_cast<std::int32_t>(ticks % division);
        position->bar_start_tick = static_cast<double>((ticks / perBar) * perBar);
        position->beats_per_bar = static_cast<float>(beats);
        position->beat_type = 4.0F;
        position->ticks_per_beat = division;
        position->beats_per_minute = 60e6 / tempo;
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
    // LineFrame's line: a moment and its frame.
    bool lineSet_ = false;
    std::chrono::steady_clock::time_point lineMoment_{};
    jack_nframes_t lineFrame_ = 0;
    bool keepToTransport_ = false; // every message on the line, not only clocks
    bool clockRunning_ = false;    // between a clock's Start (or Continue) and Stop
    jack_port_t* inPort_ = nullptr;
    jack_ringbuffer_t* inRing_ = nullptr;
    // What the timebase callback offers, and whether it is installed.
    std::atomic<int> timebaseTempo_{500000};
    std::atomic<int> timebaseDivision_{120};
    std::atomic<int> timebaseBeats_{4};
    std::atomic<bool> master_{false};
    // NoteCycle's last period: its server frame (high half) and the
    // transport's frame there (low half).
    // No rolling period since the transport last stopped or got ready.
    static constexpr std::uint64_t kNoRollingCycle = ~std::uint64_t{0};
    std::atomic<std::uint64_t> cycle_{kNoRollingCycle};
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
