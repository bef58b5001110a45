#pragma once
// 16-bit stereo PCM WAV files.
#include <cstdint>
#include <string>
#include <vector>

namespace sorvelin {

// The bytes of a WAV file holding `frames` (interleaved left/right samples).
std::string EncodeWav(const std::vector<std::int16_t>& interleaved, int sampleRate);

} // namespace sorvelin
