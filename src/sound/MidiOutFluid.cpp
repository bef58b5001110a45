#include "sound/MidiOutFluid.h"

#include "sound/FluidSynthCore.h"

#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <fluidsynth.h>
#include <thread>

namespace sorvelin {
namespace {

constexpr double kLiveSampleRate = 48000.0;
// The sound server's buffer: three periods of 1024 frames (64 ms) ride out
// a busy desktop without gaps. FluidSynth's default of 64 frames does not.
constexpr int kPeriodFrames = 1024;
constexpr int kPeriods = 3;
constexpr int kBufferMs = static_cast<int>(kPeriods * kPeriodFrames * 1000 / 48000);
// Messages the audio side holds for the future; a song hands over at most a
// lead's worth at a time.
constexpr std::size_t kQueueSize = 8192;
constexpr int kChannels = 16;
constexpr int kAllSoundOff = 120;
constexpr std::int64_t kNanosPerSecond = 1000000000;
// The audio callback's own timeline follows the steady clock slowly, so the
// uneven moments at which the server asks for audio do not move the notes;
// a jump larger than kResync (the server stalled) starts it afresh.
constexpr std::int64_t kClockSmoothing = 32;
constexpr auto kResync = std::chrono::milliseconds(120);
// How much earlier than its due moment a message is given to the audio side:
// the block the callback renders is heard when the buffer ahead of it has
// played, so it renders the sound due that much later; a message must be
// queued before that block starts, with room for a late timer.
constexpr auto kPeriodTime = std::chrono::nanoseconds(
    static_cast<std::int64_t>(kPeriodFrames * kNanosPerSecond / kLiveSampleRate));
// A few milliseconds less, so that no note ever sounds before its moment.
constexpr auto kAhead = (kPeriods - 1) * kPeriodTime - std::chrono::milliseconds(5);
constexpr auto kLateTimerMargin = std::chrono::milliseconds(10);
// The server asks for sound every period (about 21 ms). When it has not
// asked for this long, it has gone (killed, or its connection broken):
// FluidSynth's drivers only log that and end their thread. Long enough that
// a loaded desktop's hiccup is no alarm, short enough that the user hears of
// it within a second. A stream that starts may wait a second or two after
// its first periods (three of them fill its buffer) before the server asks
// for more: the watch begins once it runs.
constexpr auto kStallLimit = std::chrono::milliseconds(500);
constexpr int kWarmUpPeriods = 8;
constexpr auto kStallCheck = std::chrono::milliseconds(50);

std::int64_t NowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int ChannelOf(std::uint32_t packed) {
    return static_cast<int>(packed & 0x0F);
}

bool IsAllSoundOff(std::uint32_t packed) {
    return (packed & 0xF0) == 0xB0 && ((packed >> 8) & 0x7F) == kAllSoundOff;
}

class FluidOutput : public MidiOutput {
public:
    explicit FluidOutput(std::unique_ptr<FluidSynthCore> core)
        : core_(std::move(core)), scratch_(4 * kPeriodFrames) {}
    ~FluidOutput() override { Close(); }

    // Renders through our own callback, so that every message plays at its
    // own sample; false when the driver cannot be opened that way. The
    // callback's pace is watched from then on.
    bool OpenTimed() {
        lastCallback_.store(NowNanos());
        driver_ = new_fluid_audio_driver2(core_->Settings(), &FluidOutput::Callback, this);
        timed_ = driver_ != nullptr;
        if (timed_) {
            watchdog_ = std::thread([this] { WatchCallbacks(); });
        }
        return timed_;
    }

    void SetFailureHandler(FailureFn failed) override { notice_.SetHandler(std::move(failed)); }
    // FluidSynth's own rendering: messages take effect when they arrive.
    bool OpenPlain() {
        driver_ = new_fluid_audio_driver(core_->Settings(), core_->Synth());
        return driver_ != nullptr;
    }

    int ShortMsg(std::uint32_t packed) override {
        if (!core_) {
            return kMidiErrInvalidHandle;
        }
        std::lock_guard lock(synthMutex_);
        if (IsAllSoundOff(packed)) {
            // Silence is final: what was queued for this channel is dropped.
            epochs_[static_cast<std::size_t>(ChannelOf(packed))].fetch_add(1);
        }
        const auto bytes = UnpackShortMsg(packed);
        core_->Apply(bytes.data(), bytes.size());
        return kMidiOk;
    }

    std::chrono::nanoseconds Lead() const override {
        return timed_ ? kAhead + kPeriodTime + kLateTimerMargin : std::chrono::nanoseconds{0};
    }

    int ShortMsgAt(std::uint32_t packed, std::chrono::steady_clock::time_point due) override {
        if (!core_) {
            return kMidiErrInvalidHandle;
        }
        if (!timed_) {
            return ShortMsg(packed);
        }
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= kQueueSize) {
            return kMidiErrOutputFull;
        }
        ring_[tail % kQueueSize] = {
            packed,
            std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count(),
            epochs_[static_cast<std::size_t>(ChannelOf(packed))].load()};
        tail_.store(tail + 1, std::memory_order_release);
        return kMidiOk;
    }

    int LongMsg(const std::vector<std::uint8_t>& message) override {
        if (!core_) {
            return kMidiErrInvalidHandle;
        }
        std::lock_guard lock(synthMutex_);
        core_->Apply(message.data(), message.size());
        return kMidiOk;
    }

    // The synthesizer takes a system-exclusive message at once.
    bool LongDone() override { return true; }

    // The synthesizer back, after neither driver opened.
    std::unique_ptr<FluidSynthCore> TakeCore() { return std::move(core_); }

    int Close() override {
        if (watchdog_.joinable()) {
            {
                std::lock_guard lock(watchMutex_);
                watchQuit_ = true;
            }
            watchWake_.notify_all();
            watchdog_.join();
        }
        if (driver_ != nullptr) {
            delete_fluid_audio_driver(driver_); // stops the audio thread first
            driver_ = nullptr;
        }
        core_.reset();
        return kMidiOk;
    }

private:
    struct Timed {
        std::uint32_t packed = 0;
        std::int64_t due = 0; // steady clock, nanoseconds
        std::uint32_t epoch = 0;
    };

    // A stalled callback is a server gone: the synthesizer stays, but no
    // sound leaves it until it is opened again.
    void WatchCallbacks() {
        const std::int64_t limit = std::chrono::nanoseconds(kStallLimit).count();
        std::unique_lock lock(watchMutex_);
        while (!watchWake_.wait_for(lock, kStallCheck, [this] { return watchQuit_; })) {
            const bool running = callbacks_.load() >= kWarmUpPeriods;
            if (running && NowNanos() - lastCallback_.load() > limit) {
                notice_.Notify(kMidiErrAudioStopped);
                return;
            }
        }
    }

    static int Callback(void* data, int len, int /*nfx*/, float* /*fx*/[], int nout, float* out[]) {
        auto* self = static_cast<FluidOutput*>(data);
        self->lastCallback_.store(NowNanos());
        self->callbacks_.fetch_add(1);
        if (nout < 1 || len <= 0) {
            return FLUID_OK;
        }
        float* right = nout >= 2 ? out[1] : nullptr;
        if (right == nullptr) {
            if (static_cast<std::size_t>(len) > self->scratch_.size()) {
                return FLUID_FAILED;
            }
            right = self->scratch_.data();
        }
        self->RenderTimed(out[0], right, len);
        return FLUID_OK;
    }

    // The moment the block starting now is taken to begin on the callback's
    // smoothed timeline.
    std::int64_t BlockStart(int frames) {
        const std::int64_t now = NowNanos();
        const std::int64_t predicted = blockStart_ + lastFrames_ * kNanosPerSecond /
                                                         static_cast<std::int64_t>(kLiveSampleRate);
        const std::int64_t error = now - predicted;
        const std::int64_t resync = std::chrono::nanoseconds(kResync).count();
        blockStart_ = (!clockSet_ || error > resync || error < -resync)
                          ? now
                          : predicted + error / kClockSmoothing;
        clockSet_ = true;
        lastFrames_ = frames;
        return blockStart_;
    }

    // The frame inside this block at which a message due at `due` starts:
    // the synthesizer block boundary nearest its sample.
    std::int64_t FrameInBlock(std::int64_t due, std::int64_t start) const {
        const double offset = static_cast<double>(due - start - kAhead.count()) * kLiveSampleRate /
                              static_cast<double>(kNanosPerSecond);
        const std::int64_t block = FluidSynthCore::kBlockFrames;
        const auto absolute = static_cast<std::int64_t>(
            std::floor((static_cast<double>(rendered_) + offset) / block + 0.5));
        return absolute * block - rendered_;
    }

    void RenderTimed(float* left, float* right, int frames) {
        std::lock_guard lock(synthMutex_);
        const std::int64_t start = BlockStart(frames);
        int done = 0;
        while (done < frames) {
            int until = frames;
            for (;;) {
                const std::size_t head = head_.load(std::memory_order_relaxed);
                if (head == tail_.load(std::memory_order_acquire)) {
                    break;
                }
                const Timed& next = ring_[head % kQueueSize];
                const std::int64_t at = FrameInBlock(next.due, start);
                if (at > done) {
                    until = static_cast<int>(std::min<std::int64_t>(at, frames));
                    break;
                }
                if (next.epoch ==
                    epochs_[static_cast<std::size_t>(ChannelOf(next.packed))].load()) {
                    const auto bytes = UnpackShortMsg(next.packed);
                    core_->Apply(bytes.data(), bytes.size());
                }
                head_.store(head + 1, std::memory_order_release);
            }
            core_->RenderFloat(left + done, right + done, until - done);
            done = until;
        }
        rendered_ += frames;
    }

    std::unique_ptr<FluidSynthCore> core_;
    fluid_audio_driver_t* driver_ = nullptr;
    bool timed_ = false;
    // Held by the audio callback while it renders and by every message
    // applied at once, so a silence never lands inside a block.
    std::mutex synthMutex_;
    // Single producer (the owner serialises sends), single consumer (the
    // audio callback).
    std::array<Timed, kQueueSize> ring_{};
    std::atomic<std::size_t> head_{0};
    std::atomic<std::size_t> tail_{0};
    std::array<std::atomic<std::uint32_t>, kChannels> epochs_{};
    // The callback's own state.
    std::vector<float> scratch_;
    std::int64_t rendered_ = 0;
    std::int64_t blockStart_ = 0;
    std::int64_t lastFrames_ = 0;
    bool clockSet_ = false;
    // The watch over the callback's pace.
    std::atomic<std::int64_t> lastCallback_{0};
    std::atomic<int> callbacks_{0};
    std::thread watchdog_;
    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool watchQuit_ = false;
    FailureNotice notice_;
};

std::string JoinFolders(const std::vector<std::filesystem::path>& folders) {
    std::string text;
    for (const auto& folder : folders) {
        if (!text.empty()) {
            text += ", ";
        }
        text += folder.string();
    }
    return text;
}

} // namespace

FluidMidiOut::FluidMidiOut(std::vector<std::filesystem::path> soundFontFolders,
                           std::vector<std::string> audioDrivers)
    : folders_(soundFontFolders.empty() ? SoundFontFolders() : std::move(soundFontFolders)),
      drivers_(std::move(audioDrivers)) {}

int FluidMidiOut::DevCaps(int id, MidiOutCaps& caps) {
    if (id != -1) {
        return kMidiErrBadDeviceId;
    }
    caps = {"FluidSynth GM", kMidiTechSynth};
    return kMidiOk;
}

int FluidMidiOut::Open(int id, std::unique_ptr<MidiOutput>& out) {
    std::lock_guard lock(mutex_);
    auto fail = [this](int code, std::string detail) {
        lastCode_ = code;
        lastDetail_ = std::move(detail);
        return code;
    };
    if (id != -1) {
        return fail(kMidiErrBadDeviceId, {});
    }
    FluidLogCapture log;
    const auto soundFont = FindSoundFont(folders_);
    if (soundFont.empty()) {
        return fail(kMidiErrNoSoundFont, JoinFolders(folders_));
    }
    std::string error;
    auto core = std::make_unique<FluidSynthCore>(soundFont, kLiveSampleRate, error);
    if (!core->Ok()) {
        return fail(kMidiErrNoSoundFont, JoinFolders(folders_) + " (" + error + ")");
    }
    // A JACK server is used when one runs, never started for us: libjack
    // would otherwise try to start one and print its failure on the terminal.
    ::setenv("JACK_NO_START_SERVER", "1", 0);
    fluid_settings_setint(core->Settings(), "audio.period-size", kPeriodFrames);
    fluid_settings_setint(core->Settings(), "audio.periods", kPeriods);
    // FluidSynth's PulseAudio driver asks the server for one period of
    // buffer only; the server's own setting gives it all the periods (a
    // user's own setting stays).
    ::setenv("PULSE_LATENCY_MSEC", std::to_string(kBufferMs).c_str(), 0);
    std::string tried;
    for (const auto& driverName : drivers_) {
        if (fluid_settings_setstr(core->Settings(), "audio.driver", driverName.c_str()) ==
            FLUID_FAILED) {
            tried += (tried.empty() ? "" : "; ") + driverName + ": not built into FluidSynth";
            continue;
        }
        log.Clear();
        auto output = std::make_unique<FluidOutput>(std::move(core));
        if (output->OpenTimed() || output->OpenPlain()) {
            out = std::move(output);
            return kMidiOk;
        }
        core = output->TakeCore();
        std::string why = log.Last();
        while (!why.empty() && (why.back() == '.' || why.back() == ' ' || why.back() == '\n')) {
            why.pop_back();
        }
        tried += (tried.empty() ? "" : "; ") + driverName + ": " +
                 (why.empty() ? std::string("cannot be opened") : why);
    }
    return fail(kMidiErrNoAudio, tried.empty() ? "no audio driver to try" : tried);
}

std::string FluidMidiOut::ErrorText(int code) {
    std::lock_guard lock(mutex_);
    return StandardMidiErrorText(code, code == lastCode_ ? lastDetail_ : std::string());
}

} // namespace sorvelin
