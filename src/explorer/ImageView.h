#pragma once
// An imported picture as the explorer samples it: its size and a way to read
// one pixel. The window supplies the reader; the model knows no image type.
#include "explorer/Palette.h"

#include <functional>

namespace sorvelin {

struct ImageView {
    int Width = 0;
    int Height = 0;
    // Reads the pixel at column x, row y (top-left origin), 0 <= x < Width,
    // 0 <= y < Height, as 0x00RRGGBB.
    std::function<Pixel(int x, int y)> PixelAt;
};

} // namespace sorvelin
