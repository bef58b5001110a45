#include "sound/FluidSynthCore.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <system_error>

namespace sorvelin {
namespace {

// A single part plays well above -18 dBFS; the limiter after the
// synthesizer keeps sixteen from clipping.
constexpr double kGain = 0.8;
// The limiter's gain recovers with this time constant.
constexpr double kReleaseSeconds = 0.2;
constexpr int kAllSoundOff = 120;

bool IsGmSystemOn(const std::uint8_t* bytes, std::size_t size) {
    return size == 6 && bytes[0] == 0xF0 && bytes[1] == 0x7E && bytes[3] == 0x09 &&
           bytes[4] == 0x01 && bytes[5] == 0xF7;
}

struct LogState {
    std::mutex mutex;
    std::string last;
    int users = 0;
};

LogState& Log() {
    static LogState state;
    return state;
}

void CollectLog(int /*level*/, const char* message, void* /*data*/) {
    std::lock_guard lock(Log().mutex);
    Log().last = message != nullptr ? message : "";
}

} // namespace

std::vector<std::filesystem::path> SoundFontFolders() {
    return {"/usr/share/sounds/sf2", "/usr/share/sounds/sf3", "/usr/share/soundfonts"};
}

std::filesystem::path FindSoundFont(const std::vector<std::filesystem::path>& folders) {
    static const char* const kPreferred[] = {"FluidR3_GM.sf2", "FluidR3_GM.sf3", "TimGM6mb.sf2",
                                             "default-GM.sf2", "default-GM.sf3", "default.sf2"};
    // FluidSynth complains on stderr about files it cannot open.
    auto isSoundFont = [](const std::filesystem::path& file) {
        std::error_code error;
        return std::filesystem::is_regular_file(file, error) && fluid_is_soundfont(file.c_str());
    };
    for (const char* name : kPreferred) {
        for (const auto& folder : folders) {
            const auto candidate = folder / name;
            if (isSoundFont(candidate)) {
                return candidate;
            }
        }
    }
    for (const auto& folder : folders) {
        std::error_code error;
        std::vector<std::filesystem::path> others;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (isSoundFont(entry.path())) {
                others.push_back(entry.path());
            }
        }
        if (!others.empty()) {
            return *std::min_element(others.begin(), others.end());
        }
    }
    return {};
}

OutputLimiter::OutputLimiter(double sampleRate)
    : release_(static_cast<float>(1.0 - std::exp(-1.0 / (kReleaseSeconds * sampleRate)))) {}

void OutputLimiter::Process(float* left, float* right, int frames) {
    for (int i = 0; i < frames; ++i) {
        const float peak = std::max(std::fabs(left[i]), std::fabs(right[i]));
        gain_ += (1.0f - gain_) * release_;
        if (peak * gain_ > kCeiling) {
            gain_ = kCeiling / peak;
        }
        left[i] *= gain_;
        right[i] *= gain_;
    }
}

FluidSynthCore::FluidSynthCore(const std::filesystem::path& soundFont, double sampleRate,
                               std::string& error)
    : limiter_(sampleRate) {
    settings_ = new_fluid_settings();
    if (settings_ == nullptr) {
        error = "FluidSynth settings cannot be created";
        return;
    }
    fluid_settings_setnum(settings_, "synth.sample-rate", sampleRate);
    fluid_settings_setnum(settings_, "synth.gain", kGain);
    fluid_synth_t* synth = new_fluid_synth(settings_);
    if (synth == nullptr) {
        error = "FluidSynth cannot create a synthesizer";
        return;
    }
    if (fluid_synth_sfload(synth, soundFont.c_str(), 1) == FLUID_FAILED) {
        error = "the SoundFont " + soundFont.string() + " cannot be loaded";
        delete_fluid_synth(synth);
        return;
    }
    fluid_synth_get_reverb_group_level(synth, 0, &reverbLevel_);
    fluid_synth_get_chorus_group_level(synth, 0, &chorusLevel_);
    synth_ = synth;
}

void FluidSynthCore::MuteEffects(bool mute) {
    if (mute == effectsMuted_) {
        return;
    }
    effectsMuted_ = mute;
    fluid_synth_set_reverb_group_level(synth_, -1, mute ? 0.0 : reverbLevel_);
    fluid_synth_set_chorus_group_level(synth_, -1, mute ? 0.0 : chorusLevel_);
}

FluidSynthCore::~FluidSynthCore() {
    if (synth_ != nullptr) {
        delete_fluid_synth(synth_);
    }
    if (settings_ != nullptr) {
        delete_fluid_settings(settings_);
    }
}

void FluidSynthCore::Apply(const std::uint8_t* bytes, std::size_t size) {
    if (synth_ == nullptr || size == 0) {
        return;
    }
    const int status = bytes[0];
    if (status == 0xF0) {
        if (IsGmSystemOn(bytes, size)) {
            fluid_synth_system_reset(synth_);
            return;
        }
        // FluidSynth wants the bytes between 0xF0 and the closing 0xF7.
        std::size_t length = size - 1;
        if (length > 0 && bytes[size - 1] == 0xF7) {
            --length;
        }
        fluid_synth_sysex(synth_, reinterpret_cast<const char*>(bytes + 1),
                          static_cast<int>(length), nullptr, nullptr, nullptr, 0);
        return;
    }
    if (status == 0xFF) {
        fluid_synth_system_reset(synth_);
        return;
    }
    const int channel = status & 0x0F;
    const int data1 = size > 1 ? bytes[1] & 0x7F : 0;
    const int data2 = size > 2 ? bytes[2] & 0x7F : 0;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth_, channel, data1);
        break;
    case 0x90:
        if (data2 == 0) {
            fluid_synth_noteoff(synth_, channel, data1);
        } else {
            MuteEffects(false);
            fluid_synth_noteon(synth_, channel, data1, data2);
        }
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth_, channel, data1, data2);
        break;
    case 0xB0:
        // Bank select, pan, RPN pitch-bend range (101/100/6/38), All Sound
        // Off and Reset All Controllers are all controller messages here.
        fluid_synth_cc(synth_, channel, data1, data2);
        if (data1 == kAllSoundOff) {
            MuteEffects(true);
        }
        break;
    case 0xC0:
        fluid_synth_program_change(synth_, channel, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth_, channel, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth_, channel, data1 | (data2 << 7));
        break;
    default:
        break;
    }
}

void FluidSynthCore::Render(std::int16_t* out, int frames) {
    const auto count = static_cast<std::size_t>(std::max(frames, 0));
    left_.resize(std::max(left_.size(), count));
    right_.resize(std::max(right_.size(), count));
    RenderFloat(left_.data(), right_.data(), frames);
    auto quantize = [](float sample) {
        const long value = std::lround(static_cast<double>(sample) * 32767.0);
        return static_cast<std::int16_t>(std::clamp(value, -32768L, 32767L));
    };
    for (std::size_t i = 0; i < count; ++i) {
        out[2 * i] = quantize(left_[i]);
        out[2 * i + 1] = quantize(right_[i]);
    }
}

void FluidSynthCore::RenderFloat(float* left, float* right, int frames) {
    if (synth_ == nullptr) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    fluid_synth_write_float(synth_, frames, left, 0, 1, right, 0, 1);
    limiter_.Process(left, right, frames);
}

FluidLogCapture::FluidLogCapture() {
    std::lock_guard lock(Log().mutex);
    if (Log().users++ == 0) {
        Log().last.clear();
        fluid_set_log_function(FLUID_ERR, CollectLog, nullptr);
        fluid_set_log_function(FLUID_WARN, CollectLog, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    }
}

FluidLogCapture::~FluidLogCapture() {
    std::lock_guard lock(Log().mutex);
    if (--Log().users == 0) {
        fluid_set_log_function(FLUID_ERR, fluid_default_log_function, nullptr);
        fluid_set_log_function(FLUID_WARN, fluid_default_log_function, nullptr);
        fluid_set_log_function(FLUID_INFO, fluid_default_log_function, nullptr);
    }
}

void FluidLogCapture::Clear() {
    std::lock_guard lock(Log().mutex);
    Log().last.clear();
}

std::string FluidLogCapture::Last() const {
    std::lock_guard lock(Log().mutex);
    return Log().last;
}

} // namespace sorvelin
