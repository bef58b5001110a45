#pragma once
// A plain 32-bit picture: rows from top to bottom, each pixel 0x00RRGGBB
// (bytes blue, green, red, 0 in memory), the layout of a QImage in
// Format_RGB32, so a window can show it without copying.
#include "explorer/Palette.h"

#include <cstddef>
#include <vector>

namespace sorvelin {

// The explorer's picture is this many pixels wide and high, by design.
inline constexpr int ExplorerPictureSize = 240;

class Picture {
public:
    Picture(int width, int height)
        : width_(width), height_(height),
          pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {}

    Picture(const Picture&) = default;
    Picture(Picture&&) = default;
    // Assignment copies the pixels into this picture's own buffer when the
    // sizes agree, so a window showing the buffer keeps a valid address when
    // a whole model is replaced by an edited copy.
    Picture& operator=(const Picture& other);
    Picture& operator=(Picture&& other) { return *this = static_cast<const Picture&>(other); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BytesPerLine() const { return width_ * 4; }
    // Stays valid for the picture's life unless a picture of another size is
    // assigned to it.
    Pixel* Bits() { return pixels_.data(); }
    const Pixel* Bits() const { return pixels_.data(); }
    Pixel* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    const Pixel* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    Pixel At(int x, int y) const { return Row(y)[x]; }
    void Set(int x, int y, Pixel p) { Row(y)[x] = p; }

    // Fills columns x0 .. x1 - 1 of rows y0 .. y1 - 1, clipped to the picture.
    void FillRect(int x0, int y0, int x1, int y1, Pixel p);

private:
    int width_;
    int height_;
    std::vector<Pixel> pixels_;
};

} // namespace sorvelin
