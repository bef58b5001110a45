#pragma once
// The zoom rectangle's arithmetic: which edge band the pointer is over, the
// cursor that shows it, and the bounds a drag step gives. The Qt control
// (TSizeableRectShape) only feeds mouse positions in and applies the results.
#include "explorer/ExplorerFields.h"

#include <cstdint>

namespace sorvelin {

// Hit zones, combined for corners: 5 top-left, 6 top-right, 9 bottom-left,
// 10 bottom-right; 0 is the inside (a drag moves the rectangle).
enum RectHitBits : std::uint8_t {
    HitInside = 0,
    HitLeft = 1,
    HitRight = 2,
    HitTop = 4,
    HitBottom = 8,
};

enum class RectCursor {
    Drag,             // inside: the pointer that signals a drag operation
    SizeHorizontal,   // left or right edge
    SizeVertical,     // top or bottom edge
    SizeDiagonalFall, // top-left or bottom-right corner (like "\")
    SizeDiagonalRise, // top-right or bottom-left corner (like "/")
};

struct RectPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const RectPoint&, const RectPoint&) = default;
};

inline constexpr int DefaultBandWidth = 8;
inline constexpr int MaxBandWidth = 20;
inline constexpr int ZoomRectPenWidth = 2;
inline constexpr int ZoomRectMinSize = 10;

// The hit zone of control point (x, y) on a width x height rectangle: a point
// less than bandWidth from the left (else the right) edge, and from the top
// (else the bottom) edge.
std::uint8_t HitMode(int x, int y, int width, int height, int bandWidth);

RectCursor CursorForMode(std::uint8_t mode);

struct DragStep {
    RectBounds Bounds;
    RectPoint LastPoint;
};

// One move of a drag in hit zone mode: the pointer is at control point (x, y),
// lastPoint is where the drag was last anchored. Width and height are kept at
// least minWidth and minHeight; the requested left and top stay.
DragStep DragRect(std::uint8_t mode, const RectBounds& bounds, RectPoint lastPoint, int x, int y,
                  int minWidth = ZoomRectMinSize, int minHeight = ZoomRectMinSize);

// The band width after a request for value: accepted only within
// penWidth .. MaxBandWidth, otherwise current stays.
int AcceptBandWidth(int current, int value, int penWidth = ZoomRectPenWidth);

// The rectangle centred in a picture of the given size, its size kept
// (halves truncated toward zero).
RectBounds CentreRect(const RectBounds& bounds, int pictureWidth, int pictureHeight);

} // namespace sorvelin
