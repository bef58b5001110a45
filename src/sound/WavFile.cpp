#include "sound/WavFile.h"

#include "base/Errors.h"

#include <cstdio>

namespace sorvelin {
namespace {

void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

constexpr std::uint32_t FrameBytes = WavChannels * WavBytesPerSample;

} // namespace

void CheckWavFrames(std::int64_t frames, int sampleRate) {
    if (frames <= WavMaxFrames) {
        return;
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "The sound of this song lasts %.1f hours, more than the %.1f hours at %d Hz "
                  "that a WAV file can hold (4 GiB); no WAV file is made.",
                  static_cast<double>(frames) / sampleRate / 3600.0,
                  static_cast<double>(WavMaxFrames) / sampleRate / 3600.0, sampleRate);
    throw UserError(text);
}

std::string WavHeader(std::int64_t frames, int sampleRate) {
    CheckWavFrames(frames, sampleRate);
    const auto dataBytes = static_cast<std::uint32_t>(frames * FrameBytes);
    std::string out;
    out += "RIFF";
    PutLe(out, static_cast<std::uint32_t>(WavHeaderBytes - 8) + dataBytes, 4);
    out += "WAVEfmt ";
    PutLe(out, 16, 4); // size of the format chunk
    PutLe(out, 1, 2);  // PCM
    PutLe(out, WavChannels, 2);
    PutLe(out, static_cast<std::uint32_t>(sampleRate), 4);
    PutLe(out, static_cast<std::uint32_t>(sampleRate) * FrameBytes, 4);
    PutLe(out, FrameBytes, 2);
    PutLe(out, 8 * WavBytesPerSample, 2);
    out += "data";
    PutLe(out, dataBytes, 4);
    return out;
}

void AppendWavSamples(std::string& out, const std::int16_t* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        PutLe(out, static_cast<std::uint16_t>(samples[i]), WavBytesPerSample);
    }
}

std::string EncodeWav(const std::vector<std::int16_t>& interleaved, int sampleRate) {
    std::string out =
        WavHeader(static_cast<std::int64_t>(interleaved.size() / WavChannels), sampleRate);
    AppendWavSamples(out, interleaved.data(), interleaved.size());
    return out;
}

} // namespace sorvelin
