#pragma once
// A private PulseAudio server with one null sink, started for a test or a
// benchmark and stopped at the end, and a recorder of that sink's monitor.
// Everything the server keeps lives in a scratch folder: its socket, its
// cookie, its home. The process's environment points libpulse at it.
#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sorvelin::test {

inline bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const auto candidate = std::filesystem::path(folders.substr(start, end - start)) / program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// Starts `argv` with its output sent to `logFile`; returns the process id.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& logFile,
                   int* stdoutPipe = nullptr) {
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    if (stdoutPipe != nullptr) {
        if (::pipe(pipeFds) != 0) {
            throw std::runtime_error("cannot make a pipe");
        }
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (stdoutPipe != nullptr) {
        ::close(pipeFds[1]);
        *stdoutPipe = pipeFds[0];
    }
    if (result != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    return pid;
}

inline void EndProcess(pid_t pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
}

class PulseServer {
public:
    static constexpr const char* kSink = "sorvelin_null";
    static bool Available() { return OnPath("pulseaudio") && OnPath("parec"); }

    PulseServer() : dir_("sorvelin-pulse") {
        std::filesystem::create_directories(dir_.path / "home");
        ::setenv("XDG_RUNTIME_DIR", dir_.path.c_str(), 1);
        ::setenv("HOME", (dir_.path / "home").c_str(), 1);
        const auto socket = dir_.path / "pulse" / "native";
        ::setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
        pid_ =
            Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm",
                   "--use-pid-file=no", "--log-target=stderr", "-L", "module-native-protocol-unix",
                   "-L", std::string("module-null-sink rate=48000 sink_name=") + kSink},
                  Log());
        for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ready_ = std::filesystem::exists(socket);
        if (ready_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the sink loads
        }
    }
    ~PulseServer() { EndProcess(pid_); }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    bool Ready() const { return ready_; }
    // Ends the server the way a crash would: its clients are not told.
    void Kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }
    std::string Log() const { return (dir_.path / "server.log").string(); }
    const std::filesystem::path& Folder() const { return dir_.path; }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Records the null sink's monitor as 48 kHz stereo through parec, and knows
// when each sample was heard on the steady clock: a frame cannot be read
// before it was played, so the earliest read bounds every frame's moment.
// Measured moments are never early, and late by the shortest recording
// delay only: a silence measured in time was silent in time.
class MonitorRecorder {
public:
    static constexpr int kRate = 48000;
    explicit MonitorRecorder(const PulseServer& server) {
        pid_ = Spawn({"parec", std::string("--device=") + PulseServer::kSink + ".monitor",
                      "--format=s16le", "--rate=48000", "--channels=2", "--latency-msec=5"},
                     server.Log(), &fd_);
        reader_ = std::thread([this] { Read(); });
    }
    ~MonitorRecorder() { Stop(); }
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    void Stop() {
        if (pid_ > 0) {
            EndProcess(pid_);
            pid_ = -1;
        }
        if (reader_.joinable()) {
            reader_.join();
        }
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // parec takes a while to connect: true once sound comes in.
    bool WaitUntilRecording(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard lock(mutex_);
                if (samples_.size() >= 2 * kRate / 2) {
                    // On connecting, parec hands over what the monitor
                    // held before: times count from what follows.
                    anchorFrame_ = static_cast<std::int64_t>(samples_.size() / 2);
                    started_ = false;
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // The larger channel's magnitude frame by frame, or one channel's
    // (0 left, 1 right).
    std::vector<int> Peaks(int channel = -1) const {
        std::lock_guard lock(mutex_);
        std::vector<int> peaks(samples_.size() / 2);
        for (std::size_t i = 0; i < peaks.size(); ++i) {
            const int left = std::abs(int{samples_[2 * i]});
            const int right = std::abs(int{samples_[2 * i + 1]});
            peaks[i] = channel == 0 ? left : channel == 1 ? right : std::max(left, right);
        }
        return peaks;
    }
    std::chrono::steady_clock::time_point TimeOf(std::size_t frame) const {
        std::lock_guard lock(mutex_);
        return first_ + std::chrono::nanoseconds((static_cast<std::int64_t>(frame) - anchorFrame_) *
                                                 1000000000 / kRate);
    }
    // The first frame heard at or after `time`.
    std::size_t FrameAt(std::chrono::steady_clock::time_point time) const {
        std::lock_guard lock(mutex_);
        const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(time - first_);
        const std::int64_t frame = anchorFrame_ + since.count() * kRate / 1000000000;
        return frame <= 0 ? 0 : static_cast<std::size_t>(frame);
    }

private:
    void Read() {
        std::vector<char> buffer(4096);
        std::size_t pending = 0;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer.data() + pending, buffer.size() - pending);
            if (got <= 0) {
                return;
            }
            const auto now = std::chrono::steady_clock::now();
            pending += static_cast<std::size_t>(got);
            const std::size_t whole = pending / 4 * 4;
            std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i < whole; i += 2) {
                samples_.push_back(
                    static_cast<std::int16_t>(static_cast<std::uint8_t>(buffer[i]) |
                                              (static_cast<std::uint8_t>(buffer[i + 1]) << 8)));
            }
            std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(whole),
                      buffer.begin() + static_cast<std::ptrdiff_t>(pending), buffer.begin());
            pending -= whole;
            const auto frames = static_cast<std::int64_t>(samples_.size() / 2) - anchorFrame_;
            const auto start = now - std::chrono::nanoseconds(frames * 1000000000 / kRate);
            if (!started_ || start < first_) {
                first_ = start;
                started_ = true;
            }
        }
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::int16_t> samples_;
    std::chrono::steady_clock::time_point first_{};
    bool started_ = false;
    std::int64_t anchorFrame_ = 0; // the frame that first_ is the moment of
};

} // namespace sorvelin::test
