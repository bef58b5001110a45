#include "explorer/Picture.h"

#include <algorithm>

namespace sorvelin {

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
