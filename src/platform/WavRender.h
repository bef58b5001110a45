#pragma once
// Offline rendering through the built-in synthesizer: a list of timed MIDI
// messages becomes a WAV file, much faster than real time and without any
// sound device. Each message takes effect at its exact sample.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace sorvelin {

struct TimedMidiMessage {
    std::chrono::nanoseconds at{0};  // from the start of the render
    std::vector<std::uint8_t> bytes; // a short message or a whole system-exclusive one
};

struct WavRenderOptions {
    int sampleRate = 44100;
    // Rendered after the last message, so released notes fade out naturally.
    std::chrono::milliseconds tail{1500};
    // Empty: the best General MIDI SoundFont of the usual folders.
    std::filesystem::path soundFont;
};

// Interleaved stereo samples. Throws UserError when no SoundFont is found or
// it cannot be loaded.
std::vector<std::int16_t> RenderMessages(const std::vector<TimedMidiMessage>& messages,
                                         const WavRenderOptions& options = {});
// The same, written as a WAV file through WriteFileAtomic (FileError on failure).
void RenderMessagesToWav(const std::vector<TimedMidiMessage>& messages,
                         const std::filesystem::path& path, const WavRenderOptions& options = {});

} // namespace sorvelin
