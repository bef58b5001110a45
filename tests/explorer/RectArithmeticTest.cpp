#include "explorer/RectArithmetic.h"

#include <gtest/gtest.h>

namespace sorvelin {
namespace {

TEST(RectArithmeticTest, HitZonesOfASixtyPixelSquare) {
    struct Case {
        int x;
        int y;
        int mode;
        RectCursor cursor;
    };
    const Case cases[] = {
        {7, 30, HitLeft, RectCursor::SizeHorizontal},
        {8, 30, HitInside, RectCursor::Drag},
        {52, 30, HitInside, RectCursor::Drag},
        {53, 30, HitRight, RectCursor::SizeHorizontal},
        {30, 0, HitTop, RectCursor::SizeVertical},
        {30, 59, HitBottom, RectCursor::SizeVertical},
        {3, 57, HitLeft | HitBottom, RectCursor::SizeDiagonalRise},
        {1, 1, HitLeft | HitTop, RectCursor::SizeDiagonalFall},
        {58, 2, HitRight | HitTop, RectCursor::SizeDiagonalRise},
        {55, 55, HitRight | HitBottom, RectCursor::SizeDiagonalFall},
        {-4, 70, HitLeft | HitBottom, RectCursor::SizeDiagonalRise},
    };
    for (const Case& c : cases) {
        const std::uint8_t mode = HitMode(c.x, c.y, 60, 60, DefaultBandWidth);
        EXPECT_EQ(mode, c.mode) << c.x << ", " << c.y;
        EXPECT_EQ(CursorForMode(mode), c.cursor) << c.x << ", " << c.y;
    }
    // A narrow rectangle: the left band wins over the right one.
    EXPECT_EQ(HitMode(5, 20, 10, 40, DefaultBandWidth), HitLeft);
}

TEST(RectArithmeticTest, RightEdgeDraggedInTwoMovesFollowsThePointer) {
    const RectBounds start{90, 90, 60, 60};
    DragStep step = DragRect(HitRight, start, {55, 30}, 60, 30);
    EXPECT_EQ(step.Bounds, (RectBounds{90, 90, 65, 60}));
    EXPECT_EQ(step.LastPoint, (RectPoint{60, 30}));
    step = DragRect(HitRight, step.Bounds, step.LastPoint, 65, 31);
    EXPECT_EQ(step.Bounds, (RectBounds{90, 90, 70, 60}));
}

TEST(RectArithmeticTest, DragStepPerMode) {
    const RectBounds b{90, 90, 60, 60};
    const RectPoint grab{30, 30};
    struct Case {
        std::uint8_t mode;
        RectBounds bounds;
        RectPoint lastPoint;
    };
    // Pointer moved by (+10, -4) from the grab point.
    const Case cases[] = {
        {HitInside, {100, 86, 60, 60}, {30, 30}},
        {HitLeft, {100, 90, 50, 60}, {30, 30}},
        {HitRight, {90, 90, 70, 60}, {40, 30}},
        {HitTop, {90, 86, 60, 64}, {30, 30}},
        {HitBottom, {90, 90, 60, 56}, {30, 26}},
        {HitLeft | HitTop, {100, 86, 50, 64}, {30, 30}},
        {HitRight | HitTop, {90, 86, 70, 64}, {40, 30}},
        {HitLeft | HitBottom, {100, 90, 50, 56}, {30, 26}},
        {HitRight | HitBottom, {90, 90, 70, 56}, {40, 26}},
    };
    for (const Case& c : cases) {
        const DragStep step = DragRect(c.mode, b, grab, 40, 26);
        EXPECT_EQ(step.Bounds, c.bounds) << int(c.mode);
        EXPECT_EQ(step.LastPoint, c.lastPoint) << int(c.mode);
    }
}

TEST(RectArithmeticTest, MinimumSizeKeepsTheRequestedOrigin) {
    // The left edge dragged 55 pixels right: the width stops at 10 while the
    // left follows the pointer, so the rectangle moves.
    const DragStep step = DragRect(HitLeft, {90, 90, 60, 60}, {2, 30}, 57, 30);
    EXPECT_EQ(step.Bounds, (RectBounds{145, 90, 10, 60}));
    const DragStep up = DragRect(HitBottom, {90, 90, 60, 60}, {30, 58}, 30, -20);
    EXPECT_EQ(up.Bounds, (RectBounds{90, 90, 60, 10}));
}

TEST(RectArithmeticTest, BandWidthLimits) {
    EXPECT_EQ(AcceptBandWidth(8, 1), 8); // below the pen width
    EXPECT_EQ(AcceptBandWidth(8, 21), 8);
    EXPECT_EQ(AcceptBandWidth(8, 20), 20);
    EXPECT_EQ(AcceptBandWidth(8, 2), 2);
    EXPECT_EQ(AcceptBandWidth(8, 3, 4), 8);
}

TEST(RectArithmeticTest, CentringTruncatesTheHalves) {
    EXPECT_EQ(CentreRect({3, 200, 60, 60}, 240, 240), (RectBounds{90, 90, 60, 60}));
    EXPECT_EQ(CentreRect({0, 0, 121, 61}, 240, 240), (RectBounds{60, 90, 121, 61}));
}

} // namespace
} // namespace sorvelin
