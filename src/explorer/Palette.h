#pragma once
// The sixteen colours of the fractal picture and the colouring rule.
#include <array>
#include <cstdint>

namespace sorvelin {

// A pixel of the picture buffer: 0x00RRGGBB, so in memory (little-endian) the
// bytes blue, green, red, 0.
using Pixel = std::uint32_t;

constexpr Pixel Rgb(int red, int green, int blue) {
    return (static_cast<Pixel>(red) << 16) | (static_cast<Pixel>(green) << 8) |
           static_cast<Pixel>(blue);
}
constexpr int RedOf(Pixel p) {
    return static_cast<int>((p >> 16) & 0xFF);
}
constexpr int GreenOf(Pixel p) {
    return static_cast<int>((p >> 8) & 0xFF);
}
constexpr int BlueOf(Pixel p) {
    return static_cast<int>(p & 0xFF);
}

inline constexpr std::array<Pixel, 16> Palette = {
    Rgb(0, 0, 0),       Rgb(0, 255, 255),   Rgb(0, 0, 255),     Rgb(128, 128, 128),
    Rgb(255, 0, 255),   Rgb(128, 128, 128), Rgb(0, 128, 0),     Rgb(0, 255, 0),
    Rgb(192, 192, 192), Rgb(128, 0, 0),     Rgb(0, 0, 128),     Rgb(128, 128, 0),
    Rgb(128, 0, 128),   Rgb(255, 0, 0),     Rgb(192, 192, 192), Rgb(0, 128, 128)};

// The colour of escape count n (never negative): Palette[n mod 16].
constexpr Pixel ColourOfCount(int n) {
    return Palette[static_cast<unsigned>(n) % 16u];
}

} // namespace sorvelin
