#pragma once
// A DAW on the suite's JACK server, for the sync tests and the bench: it
// sends MIDI (a clock) at chosen frames, reads, starts and moves the
// transport, may lead its tempo, and notes each period's frame and
// transport position.
#include "support/JackTestSupport.h"
#include "support/PlaybackTestSupport.h"

#include <jack/transport.h>

#include <algorithm>
#include <optional>

namespace sorvelin::testing {

// The studio: a MIDI output, and for every period the frame it starts at
// and where the transport was.
class Studio {
public:
    struct Cycle {
        jack_nframes_t frame = 0;
        jack_nframes_t transport = 0;
        bool rolling = false;
        double bpm = 0; // the timebase master's, 0 without one
    };

    Studio() : cycles_(1 << 14) {
        jack_status_t status{};
        client_ = jack_client_open("studio", JackNoStartServer, &status);
        if (client_ == nullptr) {
            return;
        }
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &Studio::Process, this);
        jack_activate(client_);
    }
    // Sends each message at its server frame, from the process thread.
    struct Timed {
        jack_nframes_t frame;
        Bytes bytes;
    };
    void Send(std::vector<Timed> messages) {
        sending_ = std::move(messages);
        sent_.store(0);
        sendOn_.store(true);
    }
    bool SendDone() const { return sent_.load() >= sending_.size(); }
    ~Studio() {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }
    bool Ready() const { return client_ != nullptr; }
    jack_client_t* Client() const { return client_; }

    // Leads the transport's tempo at `bpm`, 4/4, 1920 ticks per beat.
    bool LeadTempo(double bpm) {
        bpm_ = bpm;
        return jack_set_timebase_callback(client_, 0, &Studio::Timebase, this) == 0;
    }
    void StopLeading() { jack_release_timebase(client_); }

    // Stopped at `frame`, once the transport says so.
    void Rewind(jack_nframes_t frame = 0) {
        jack_transport_stop(client_);
        jack_transport_locate(client_, frame);
        jack_position_t position{};
        for (int i = 0; i < 200; ++i) {
            if (jack_transport_query(client_, &position) == JackTransportStopped &&
                position.frame == frame) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        count_.store(0);
    }

    std::vector<Cycle> Cycles() const {
        return {cycles_.begin(), cycles_.begin() + static_cast<std::ptrdiff_t>(count_.load())};
    }
    // The server frame at which the rolling transport read `transport`.
    std::optional<jack_nframes_t> FrameOfTransport(jack_nframes_t transport) const {
        for (const Cycle& c : Cycles()) {
            if (c.rolling && transport >= c.transport && transport < c.transport + kJackPeriod) {
                return c.frame + (transport - c.transport);
            }
        }
        return std::nullopt;
    }

private:
    static int Process(jack_nframes_t frames, void* self) {
        auto* studio = static_cast<Studio*>(self);
        void* out = jack_port_get_buffer(studio->out_, frames);
        jack_midi_clear_buffer(out);
        if (studio->sendOn_.load()) {
            const jack_nframes_t start = jack_last_frame_time(studio->client_);
            std::size_t i = studio->sent_.load();
            while (i < studio->sending_.size()) {
                const Timed& m = studio->sending_[i];
                const auto ahead = static_cast<std::int32_t>(m.frame - start);
                if (ahead >= static_cast<std::int32_t>(frames)) {
                    break;
                }
                jack_midi_event_write(out, static_cast<jack_nframes_t>(std::max(ahead, 0)),
                                      m.bytes.data(), m.bytes.size());
                ++i;
            }
            studio->sent_.store(i);
        }
        jack_position_t position{};
        const bool rolling =
            jack_transport_query(studio->client_, &position) == JackTransportRolling;
        const std::size_t at = studio->count_.load(std::memory_order_relaxed);
        if (at < studio->cycles_.size()) {
            studio->cycles_[at] = {
                jack_last_frame_time(studio->client_), position.frame, rolling,
                (position.valid & JackPositionBBT) != 0 ? position.beats_per_minute : 0.0};
            studio->count_.store(at + 1, std::memory_order_release);
        }
        return 0;
    }
    static void Timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* position, int,
                         void* self) {
        const double bpm = static_cast<Studio*>(self)->bpm_;
        const double beats = position->frame / static_cast<double>(kJackRate) * bpm / 60.0;
        const auto ticks = static_cast<std::int64_t>(beats * 1920.0);
        position->valid = JackPositionBBT;
        position->bar = static_cast<std::int32_t>(ticks / (4 * 1920)) + 1;
        position->beat = static_cast<std::int32_t>((ticks / 1920) % 4) + 1;
        position->tick = static_cast<std::int32_t>(ticks % 1920);
        position->beats_per_bar = 4;
        position->beat_type = 4;
        position->ticks_per_beat = 1920;
        position->beats_per_minute = bpm;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::vector<Timed> sending_;
    std::atomic<std::size_t> sent_{0};
    std::atomic<bool> sendOn_{false};
    std::vector<Cycle> cycles_;
    std::atomic<std::size_t> count_{0};
    double bpm_ = 120;
};

} // namespace sorvelin::testing
