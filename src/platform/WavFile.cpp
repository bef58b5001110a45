#include "platform/WavFile.h"

namespace sorvelin {
namespace {

void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

} // namespace

std::string EncodeWav(const std::vector<std::int16_t>& interleaved, int sampleRate) {
    constexpr std::uint32_t kChannels = 2;
    constexpr std::uint32_t kBytesPerSample = 2;
    const auto dataBytes = static_cast<std::uint32_t>(interleaved.size() * kBytesPerSample);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    PutLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLe(out, 16, 4); // size of the format chunk
    PutLe(out, 1, 2);  // PCM
    PutLe(out, kChannels, 2);
    PutLe(out, static_cast<std::uint32_t>(sampleRate), 4);
    PutLe(out, static_cast<std::uint32_t>(sampleRate) * kChannels * kBytesPerSample, 4);
    PutLe(out, kChannels * kBytesPerSample, 2);
    PutLe(out, 8 * kBytesPerSample, 2);
    out += "data";
    PutLe(out, dataBytes, 4);
    for (const std::int16_t sample : interleaved) {
        PutLe(out, static_cast<std::uint16_t>(sample), 2);
    }
    return out;
}

} // namespace sorvelin
