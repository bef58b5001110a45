#pragma once
// The process-wide pseudo-random generator behind "White Noise". Safe to
// call from several threads at once (the picture may be computed on more
// than one core).
#include <cstdint>

namespace sorvelin {

// Seeds the generator from the current clock time.
void SeedRandomFromClock();
// Seeds it with a fixed value (tests).
void SeedRandom(std::uint64_t seed);
// A uniform non-negative 31-bit integer.
std::int32_t NextRandom31();

} // namespace sorvelin
