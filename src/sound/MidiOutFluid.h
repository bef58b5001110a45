#pragma once
// Output -1: the built-in synthesizer. FluidSynth plays a General MIDI
// SoundFont through the first audio driver that opens (PipeWire,
// PulseAudio, ALSA, JACK). Opening fails with kMidiErrNoSoundFont or
// kMidiErrNoAudio, and ErrorText says which folders or drivers were tried.
#include "sound/MidiOut.h"

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace sorvelin {

class FluidMidiOut : public MidiOutService {
public:
    // `soundFontFolders` empty: the usual folders (SoundFontFolders()).
    explicit FluidMidiOut(std::vector<std::filesystem::path> soundFontFolders = {},
                          std::vector<std::string> audioDrivers = {"pipewire", "pulseaudio", "alsa",
                                                                   "jack"});

    int NumDevs() override { return 0; }
    int DevCaps(int id, MidiOutCaps& caps) override;
    int Open(int id, std::unique_ptr<MidiOutput>& out) override;
    std::string ErrorText(int code) override;

private:
    std::vector<std::filesystem::path> folders_;
    std::vector<std::string> drivers_;
    std::mutex mutex_;
    std::string lastDetail_;
    int lastCode_ = kMidiOk;
};

} // namespace sorvelin
