#include "explorer/Picture.h"

#include <algorithm>

namespace sorvelin {

Picture& Picture::operator=(const Picture& other) {
    if (this == &other) {
        return *this;
    }
    if (width_ == other.width_ && height_ == other.height_) {
        std::copy(other.pixels_.begin(), other.pixels_.end(), pixels_.begin());
    } else {
        width_ = other.width_;
        height_ = other.height_;
        pixels_ = other.pixels_;
    }
    return *this;
}

void Picture::FillRect(int x0, int y0, int x1, int y1, Pixel p) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width_);
    y1 = std::min(y1, height_);
    for (int y = y0; y < y1; ++y) {
        std::fill(Row(y) + x0, Row(y) + std::max(x0, x1), p);
    }
}

} // namespace sorvelin
