#pragma once
// 16-bit stereo PCM WAV files.
#include <cstdint>
#include <string>
#include <vector>

namespace sorvelin {

constexpr int WavChannels = 2;
constexpr int WavBytesPerSample = 2;
constexpr std::int64_t WavHeaderBytes = 44;
// The most frames a WAV file can hold: its RIFF size (the file less 8 bytes)
// is a 32-bit field, so the samples and the rest of the header stay within
// 4 GiB.
constexpr std::int64_t WavMaxFrames =
    (0xFFFFFFFFLL - (WavHeaderBytes - 8)) / (WavChannels * WavBytesPerSample);

// UserError, saying how long the sound is, when `frames` frames at
// `sampleRate` are more than one WAV file holds.
void CheckWavFrames(std::int64_t frames, int sampleRate);
// The header of a file of `frames` frames, checked as above.
std::string WavHeader(std::int64_t frames, int sampleRate);
// `count` interleaved samples as the file holds them, after what `out` holds.
void AppendWavSamples(std::string& out, const std::int16_t* samples, std::size_t count);

// The bytes of a WAV file holding `interleaved` (left/right samples).
std::string EncodeWav(const std::vector<std::int16_t>& interleaved, int sampleRate);

} // namespace sorvelin
