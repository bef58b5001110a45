#include "explorer/RectArithmetic.h"

#include <algorithm>

namespace sorvelin {

std::uint8_t HitMode(int x, int y, int width, int height, int bandWidth) {
    std::uint8_t mode = HitInside;
    if (x < bandWidth) {
        mode |= HitLeft;
    } else if (width - x < bandWidth) {
        mode |= HitRight;
    }
    if (y < bandWidth) {
        mode |= HitTop;
    } else if (height - y < bandWidth) {
        mode |= HitBottom;
    }
    return mode;
}

RectCursor CursorForMode(std::uint8_t mode) {
    switch (mode) {
    case HitLeft:
    case HitRight:
        return RectCursor::SizeHorizontal;
    case HitTop:
    case HitBottom:
        return RectCursor::SizeVertical;
    case HitLeft | HitTop:
    case HitRight | HitBottom:
        return RectCursor::SizeDiagonalFall;
    case HitRight | HitTop:
    case HitLeft | HitBottom:
        return RectCursor::SizeDiagonalRise;
    default:
        return RectCursor::Drag;
    }
}

DragStep DragRect(std::uint8_t mode, const RectBounds& bounds, RectPoint lastPoint, int x, int y,
                  int minWidth, int minHeight) {
    const int dx = x - lastPoint.X;
    const int dy = y - lastPoint.Y;
    DragStep step{bounds, lastPoint};
    RectBounds& b = step.Bounds;
    if (mode == HitInside) {
        b.Left += dx;
        b.Top += dy;
        return step;
    }
    // A moved left or top edge carries the control's origin with the pointer,
    // so the grab point stays; a moved right or bottom edge leaves the origin
    // where it is, so the anchor follows the pointer.
    if (mode & HitLeft) {
        b.Left += dx;
        b.Width -= dx;
    } else if (mode & HitRight) {
        b.Width += dx;
        step.LastPoint.X = x;
    }
    if (mode & HitTop) {
        b.Top += dy;
        b.Height -= dy;
    } else if (mode & HitBottom) {
        b.Height += dy;
        step.LastPoint.Y = y;
    }
    b.Width = std::max(b.Width, minWidth);
    b.Height = std::max(b.Height, minHeight);
    return step;
}

int AcceptBandWidth(int current, int value, int penWidth) {
    return (value >= penWidth && value <= MaxBandWidth) ? value : current;
}

RectBounds CentreRect(const RectBounds& bounds, int pictureWidth, int pictureHeight) {
    RectBounds centred = bounds;
    centred.Top = pictureHeight / 2 - bounds.Height / 2;
    centred.Left = pictureWidth / 2 - bounds.Width / 2;
    return centred;
}

} // namespace sorvelin
