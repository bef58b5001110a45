#pragma once
// A private JACK server on the dummy driver, started and ended by the test
// or bench that needs it, and a JACK client that records every MIDI message
// reaching it with its frame time. The server gets the suite's one name
// (JACK_DEFAULT_SERVER), so no other server on the machine is touched: JACK
// keeps only a few server names per user, and a name used again takes over
// the entry a server killed hard left behind. One server of that name runs
// at a time: a lock file held for its life makes other tests wait. It
// runs synchronous: on a loaded machine a late period waits for every
// client instead of skipping one, so no message is lost between clients.
#include "sound/MidiOutJack.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace sorvelin::testing {

inline constexpr unsigned kJackRate = 48000;
inline constexpr unsigned kJackPeriod = 256;
inline constexpr const char* kJackServerName = "sorvelin-test";

// Every JACK client of this process, a listing's probe included, finds only
// the suite's own server.
inline void UseTestServer() {
    setenv("JACK_DEFAULT_SERVER", kJackServerName, 1);
}

// Where jackd is on PATH; empty when it is not installed.
inline std::string FindJackd() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::filesystem::path candidate = std::filesystem::path(dir) / "jackd";
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

// The main of a GoogleTest program against the suite's server: skipped
// (77) where jackd is not installed. `run` is RUN_ALL_TESTS after init.
template <typename Run> int RunWithJackd(Run run) {
    if (FindJackd().empty()) {
        std::printf("skipped: jackd is not installed (Debian package jackd2)\n");
        return 77;
    }
    UseTestServer();
    return run();
}

class JackServer {
public:
    // Starts jackd and waits until it takes clients; Running() says whether
    // it came up.
    JackServer() {
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        const std::filesystem::path lock =
            std::filesystem::temp_directory_path() / (std::string(kJackServerName) + ".lock");
        lock_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (lock_ >= 0) {
            flock(lock_, LOCK_EX); // released by close, also when the process dies
        }
        name_ = kJackServerName;
        UseTestServer();
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        Start();
    }
    // A server killed hard leaves its entry in JACK's table of servers,
    // which has room for a few only: a server started again under the same
    // name takes the entry over, and ending it cleanly frees it.
    ~JackServer() {
        if (killedHard_) {
            Start();
        }
        Kill(SIGTERM);
        if (lock_ >= 0) {
            close(lock_);
        }
    }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool Running() const { return running_; }

    // Ends the server: SIGKILL the way a crash would, SIGTERM as a user's
    // quit does.
    void Kill(int signal) {
        if (pid_ > 0) {
            kill(pid_, signal);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
            killedHard_ = killedHard_ || signal == SIGKILL;
        }
        running_ = false;
    }

private:
    void Start() {
        const std::string jackd = FindJackd();
        const std::string rate = std::to_string(kJackRate);
        const std::string period = std::to_string(kJackPeriod);
        std::vector<std::string> args = {
            jackd, "--no-realtime", "--sync", "-n", name_, "-d", "dummy", "-r", rate, "-p", period};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, jackd.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (pid_ > 0 && !running_ && std::chrono::steady_clock::now() < limit) {
            jack_status_t status{};
            if (jack_client_t* probe = jack_client_open("probe", JackNoStartServer, &status)) {
                jack_client_close(probe);
                running_ = true;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }

    int lock_ = -1;
    std::string name_;
    pid_t pid_ = -1;
    bool running_ = false;
    bool killedHard_ = false;
};

// One MIDI message as the recorder received it.
struct RecordedMessage {
    jack_nframes_t frame = 0;
    std::uint8_t size = 0;
    std::array<std::uint8_t, 16> bytes{};
    std::vector<std::uint8_t> Bytes() const { return {bytes.begin(), bytes.begin() + size}; }
};

// A JACK client with one MIDI input, connected to `source`, that stores each
// message with its frame time. Its process callback only writes into room
// reserved beforehand.
class JackRecorder {
public:
    explicit JackRecorder(std::size_t capacity = 1 << 14) : messages_(capacity) {
        jack_status_t status{};
        client_ = jack_client_open("recorder", JackNoStartServer, &status);
        if (client_ == nullptr) {
            return;
        }
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &JackRecorder::Process, this);
        jack_set_xrun_callback(
            client_,
            [](void* self) {
                static_cast<JackRecorder*>(self)->xruns_.fetch_add(1);
                return 0;
            },
            this);
        jack_activate(client_);
    }
    ~JackRecorder() {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }
    JackRecorder(const JackRecorder&) = delete;
    JackRecorder& operator=(const JackRecorder&) = delete;

    bool Connect(const char* source) {
        return client_ != nullptr && jack_connect(client_, source, jack_port_name(port_)) == 0;
    }
    // The frame the server's clock gives for a moment on the steady clock.
    jack_nframes_t FrameAt(std::chrono::steady_clock::time_point moment) const {
        const jack_time_t now = jack_get_time();
        const auto ahead = std::chrono::duration_cast<std::chrono::microseconds>(
                               moment - std::chrono::steady_clock::now())
                               .count();
        return jack_time_to_frames(
            client_, static_cast<jack_time_t>(static_cast<std::int64_t>(now) + ahead));
    }
    std::vector<RecordedMessage> Messages() const {
        const std::size_t count = count_.load(std::memory_order_acquire);
        return {messages_.begin(), messages_.begin() + static_cast<std::ptrdiff_t>(count)};
    }
    std::size_t Count() const { return count_.load(std::memory_order_acquire); }
    std::size_t Dropped() const { return dropped_.load(); }
    // Periods the server reported as missed (a loaded machine, a server
    // without real-time scheduling).
    std::size_t Xruns() const { return xruns_.load(); }

private:
    static int Process(jack_nframes_t frames, void* self) {
        auto* recorder = static_cast<JackRecorder*>(self);
        void* buffer = jack_port_get_buffer(recorder->port_, frames);
        const jack_nframes_t start = jack_last_frame_time(recorder->client_);
        const std::uint32_t events = jack_midi_get_event_count(buffer);
        std::size_t count = recorder->count_.load(std::memory_order_relaxed);
        for (std::uint32_t i = 0; i < events; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) {
                continue;
            }
            if (count >= recorder->messages_.size() || event.size > 16) {
                recorder->dropped_.fetch_add(1);
                continue;
            }
            RecordedMessage& m = recorder->messages_[count++];
            m.frame = start + event.time;
            m.size = static_cast<std::uint8_t>(event.size);
            std::copy(event.buffer, event.buffer + event.size, m.bytes.begin());
        }
        recorder->count_.store(count, std::memory_order_release);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::vector<RecordedMessage> messages_;
    std::atomic<std::size_t> count_{0};
    std::atomic<std::size_t> dropped_{0};
    std::atomic<std::size_t> xruns_{0};
};

// Passes everything on to the JACK output and keeps the bytes of every
// message handed over, in order (what the port must carry), and the
// server's frame at each hand-over (to map due moments to frames).
class HandedOver : public MidiOutService {
public:
    struct ClockPair {
        std::chrono::steady_clock::time_point moment;
        jack_nframes_t frame;
    };
    using FrameClock = std::function<jack_nframes_t(std::chrono::steady_clock::time_point)>;
    void SetClock(FrameClock clock) { clock_ = std::move(clock); }
    int NumDevs() override { return jack_.NumDevs(); }
    int DevCaps(int id, MidiOutCaps& caps) override { return jack_.DevCaps(id, caps); }
    std::string ErrorText(int code) override { return jack_.ErrorText(code); }
    int Open(int id, std::unique_ptr<MidiOutput>& out) override {
        std::unique_ptr<MidiOutput> inner;
        const int result = jack_.Open(id, inner);
        if (result == kMidiOk) {
            out = std::make_unique<Output>(*this, std::move(inner));
        }
        return result;
    }
    std::vector<std::vector<std::uint8_t>> Messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // The moment and the server's frame when message `index` was handed
    // over (only those handed over with a clock set are counted).
    ClockPair HandOver(std::size_t index) {
        std::lock_guard lock(mutex_);
        return pairs_.at(index);
    }
    std::size_t HandOverCount() {
        std::lock_guard lock(mutex_);
        return pairs_.size();
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
        pairs_.clear();
    }
    // The frame of a moment, from the hand-over nearest to it, so the
    // dummy driver's own pace (not quite the nominal rate) is followed.
    jack_nframes_t FrameOf(std::chrono::steady_clock::time_point moment) {
        std::lock_guard lock(mutex_);
        const ClockPair* nearest = nullptr;
        for (const ClockPair& pair : pairs_) {
            if (nearest == nullptr || std::chrono::abs(pair.moment - moment) <
                                          std::chrono::abs(nearest->moment - moment)) {
                nearest = &pair;
            }
        }
        const double seconds = std::chrono::duration<double>(moment - nearest->moment).count();
        return nearest->frame + static_cast<jack_nframes_t>(std::lround(seconds * kJackRate));
    }

private:
    class Output : public MidiOutput {
    public:
        Output(HandedOver& owner, std::unique_ptr<MidiOutput> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        int ShortMsg(std::uint32_t packed) override {
            return owner_.Keep(UnpackShortMsg(packed), inner_->ShortMsg(packed));
        }
        int ShortMsgAt(std::uint32_t packed, std::chrono::steady_clock::time_point due) override {
            return owner_.Keep(UnpackShortMsg(packed), inner_->ShortMsgAt(packed, due));
        }
        std::chrono::nanoseconds Lead() const override { return inner_->Lead(); }
        int LongMsg(const std::vector<std::uint8_t>& message) override {
            return owner_.Keep(message, inner_->LongMsg(message));
        }
        bool LongDone() override { return inner_->LongDone(); }
        MidiTransport* Transport() override { return inner_->Transport(); }
        int Close() override { return inner_->Close(); }

    private:
        HandedOver& owner_;
        std::unique_ptr<MidiOutput> inner_;
    };
    int Keep(std::vector<std::uint8_t> bytes, int result) {
        if (result == kMidiOk) {
            const auto now = std::chrono::steady_clock::now();
            std::lock_guard lock(mutex_);
            messages_.push_back(std::move(bytes));
            if (clock_) {
                pairs_.push_back({now, clock_(now)});
            }
        }
        return result;
    }
    JackMidiOut jack_;
    FrameClock clock_;
    std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> messages_;
    std::vector<ClockPair> pairs_;
};

} // namespace sorvelin::testing
