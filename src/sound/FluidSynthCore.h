#pragma once
// The built-in synthesizer's engine: FluidSynth with a General MIDI
// SoundFont, fed with raw MIDI messages. The live output adds an audio
// driver to it; the offline renderer pulls samples from it directly.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;

namespace sorvelin {

// Keeps the synthesizer's output below full scale however many parts play
// at once: the gain drops at once to what the loudest sample needs and comes
// back slowly, so a single part passes untouched and a full orchestra never
// clips. Sample by sample, so splitting a render into blocks of any size
// gives the same output.
class OutputLimiter {
public:
    static constexpr float kCeiling = 0.89f; // -1 dBFS
    explicit OutputLimiter(double sampleRate);
    void Process(float* left, float* right, int frames);
    float Gain() const { return gain_; }

private:
    float gain_ = 1.0f;
    float release_;
};

// The folders searched for a SoundFont, in order of preference.
std::vector<std::filesystem::path> SoundFontFolders();
// The best General MIDI SoundFont found in `folders`: a full GM font
// (FluidR3_GM) first, then TimGM6mb, then the distribution's default GM
// links, then any other SoundFont. Files are judged by their content, not by
// their extension. Empty when none is found.
std::filesystem::path FindSoundFont(const std::vector<std::filesystem::path>& folders);

class FluidSynthCore {
public:
    // Loads `soundFont` into a new synthesizer; `error` explains a failure,
    // after which Ok() is false.
    FluidSynthCore(const std::filesystem::path& soundFont, double sampleRate, std::string& error);
    ~FluidSynthCore();
    FluidSynthCore(const FluidSynthCore&) = delete;
    FluidSynthCore& operator=(const FluidSynthCore&) = delete;

    bool Ok() const { return synth_ != nullptr; }
    // One complete MIDI message: a channel message of 1-3 bytes, or a
    // system-exclusive message from 0xF0 to 0xF7.
    void Apply(const std::uint8_t* bytes, std::size_t size);
    // Renders `frames` stereo frames, interleaved left/right, into `out`.
    void Render(std::int16_t* out, int frames);
    // The same as two float channels, -1..1, through the limiter.
    void RenderFloat(float* left, float* right, int frames);
    // FluidSynth renders in blocks of this many frames: a message applied
    // between two renders takes effect at the next block boundary.
    static constexpr int kBlockFrames = 64;

    _fluid_hashtable_t* Settings() const { return settings_; }
    _fluid_synth_t* Synth() const { return synth_; }

private:
    void MuteEffects(bool mute);

    _fluid_hashtable_t* settings_ = nullptr;
    _fluid_synth_t* synth_ = nullptr;
    OutputLimiter limiter_;
    std::vector<float> left_, right_;
    // All Sound Off also cuts the reverb and chorus tails, which otherwise
    // ring on for half a second; the next note brings them back.
    bool effectsMuted_ = false;
    double reverbLevel_ = 0;
    double chorusLevel_ = 0;
};

// Silences FluidSynth's own error and warning lines on stderr while it lives
// and collects them instead, so a failure can be shown to the user.
class FluidLogCapture {
public:
    FluidLogCapture();
    ~FluidLogCapture();
    FluidLogCapture(const FluidLogCapture&) = delete;
    FluidLogCapture& operator=(const FluidLogCapture&) = delete;
    // The last error (or warning) line FluidSynth reported, or "".
    std::string Last() const;
    void Clear();
};

} // namespace sorvelin
