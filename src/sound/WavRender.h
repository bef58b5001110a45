#pragma once
// Offline rendering through the built-in synthesizer: a list of timed MIDI
// messages becomes a WAV file, much faster than real time and without any
// sound device. Each message takes effect at its exact sample.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
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

// The frames a render of `messages` holds: up to the last message, then the
// tail. Known before anything is rendered.
std::int64_t RenderedFrames(const std::vector<TimedMidiMessage>& messages,
                            const WavRenderOptions& options = {});

// Takes each block of interleaved stereo samples as it is rendered.
using SampleSink = std::function<void(const std::int16_t* interleaved, int frames)>;

// Renders block by block into `sink`. Throws UserError when no SoundFont is
// found or it cannot be loaded.
void RenderMessages(const std::vector<TimedMidiMessage>& messages, const WavRenderOptions& options,
                    const SampleSink& sink);
// The same, as one list of interleaved stereo samples.
std::vector<std::int16_t> RenderMessages(const std::vector<TimedMidiMessage>& messages,
                                         const WavRenderOptions& options = {});
// The WAV file of the render, streamed into `out` a block at a time, so that
// memory stays small whatever the length. UserError, before the synthesizer
// starts, when the sound is more than a WAV file holds.
void WriteWav(const std::vector<TimedMidiMessage>& messages, std::ostream& out,
              const WavRenderOptions& options = {});
// The same, written as a WAV file through a PendingFile (FileError on failure).
void RenderMessagesToWav(const std::vector<TimedMidiMessage>& messages,
                         const std::filesystem::path& path, const WavRenderOptions& options = {});

} // namespace sorvelin
