#include "platform/MidiOutFluid.h"

#include "platform/FluidSynthCore.h"

#include <cstdlib>
#include <fluidsynth.h>

namespace sorvelin {
namespace {

constexpr double kLiveSampleRate = 48000.0;

class FluidOutput : public MidiOutput {
public:
    FluidOutput(std::unique_ptr<FluidSynthCore> core, fluid_audio_driver_t* driver)
        : core_(std::move(core)), driver_(driver) {}
    ~FluidOutput() override { Close(); }

    int ShortMsg(std::uint32_t packed) override {
        if (!core_) {
            return kMidiErrInvalidHandle;
        }
        const auto bytes = UnpackShortMsg(packed);
        core_->Apply(bytes.data(), bytes.size());
        return kMidiOk;
    }

    int LongMsg(const std::vector<std::uint8_t>& message) override {
        if (!core_) {
            return kMidiErrInvalidHandle;
        }
        core_->Apply(message.data(), message.size());
        return kMidiOk;
    }

    // The synthesizer takes a system-exclusive message at once.
    bool LongDone() override { return true; }

    int Close() override {
        if (driver_ != nullptr) {
            delete_fluid_audio_driver(driver_); // stops the audio thread first
            driver_ = nullptr;
        }
        core_.reset();
        return kMidiOk;
    }

private:
    std::unique_ptr<FluidSynthCore> core_;
    fluid_audio_driver_t* driver_;
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
    std::string tried;
    for (const auto& driverName : drivers_) {
        if (fluid_settings_setstr(core->Settings(), "audio.driver", driverName.c_str()) ==
            FLUID_FAILED) {
            tried += (tried.empty() ? "" : "; ") + driverName + ": not built into FluidSynth";
            continue;
        }
        log.Clear();
        fluid_audio_driver_t* driver = new_fluid_audio_driver(core->Settings(), core->Synth());
        if (driver != nullptr) {
            out = std::make_unique<FluidOutput>(std::move(core), driver);
            return kMidiOk;
        }
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
