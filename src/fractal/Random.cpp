#include "fractal/Random.h"

#include <atomic>
#include <chrono>

namespace sorvelin {
namespace {

// A counter advanced atomically and mixed (splitmix64): every call gets its
// own counter value, so concurrent callers never share a draw and never race.
std::atomic<std::uint64_t> state{0x853C49E6748FEA9BULL};

constexpr std::uint64_t Increment = 0x9E3779B97F4A7C15ULL;

std::uint64_t Mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

} // namespace

void SeedRandomFromClock() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    SeedRandom(static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

void SeedRandom(std::uint64_t seed) {
    state.store(Mix(seed), std::memory_order_relaxed);
}

std::int32_t NextRandom31() {
    const std::uint64_t counter = state.fetch_add(Increment, std::memory_order_relaxed) + Increment;
    return static_cast<std::int32_t>(Mix(counter) >> 33);
}

} // namespace sorvelin
