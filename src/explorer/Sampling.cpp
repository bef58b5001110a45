#include "explorer/Sampling.h"

#include "fractal/Iteration.h"
#include "platform/Convert.h"
#include "platform/Errors.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace sorvelin {

CalcTexts PlaneLineTexts(const ViewState& view, int startX, int startY, int releaseX,
                         int releaseY) {
    const auto planeX = [&view](int x) {
        return view.LeftX() + (view.ViewExtentX * x) / view.PictureWidth;
    };
    const auto planeY = [&view](int y) {
        return view.BottomY() + ((view.PictureHeight - y) * view.ViewExtentY) / view.PictureHeight;
    };
    return {FloatToStr(planeX(startX)), FloatToStr(planeY(startY)), FloatToStr(planeX(releaseX)),
            FloatToStr(planeY(releaseY))};
}

CalcTexts ImageLineTexts(int bw, int bh, int pictureWidth, int pictureHeight, int startX,
                         int startY, int releaseX, int releaseY) {
    // The release may happen outside the control while the mouse is captured.
    const auto clamp = [](int v, int size) {
        if (v >= size) {
            v = size - 1;
        }
        return v < 0 ? 0 : v;
    };
    releaseX = clamp(releaseX, pictureWidth);
    releaseY = clamp(releaseY, pictureHeight);
    const auto scale = [](int bitmapSize, int v, int size) {
        return IntToStr(static_cast<long long>(bitmapSize) * v / size);
    };
    return {scale(bw, startX, pictureWidth), scale(bh, startY, pictureHeight),
            scale(bw, releaseX, pictureWidth), scale(bh, releaseY, pictureHeight)};
}

bool ComposeEnabledFor(const CalcTexts& texts) {
    const double endX = StrToFloat(texts.EndX);
    const double startX = StrToFloat(texts.StartX);
    const double endY = StrToFloat(texts.EndY);
    const double startY = StrToFloat(texts.StartY);
    return endX != startX || endY != startY;
}

std::string ShiftText(int position) {
    return FloatToStr(position * 0.01) + "%";
}

void CheckNoteCount(int noteCount) {
    if (noteCount < 2) {
        throw UserError("The note count must be at least 2 to compose (it is " +
                        IntToStr(noteCount) + ").");
    }
    if (noteCount > INT_MAX / PartCount) {
        throw UserError("The note count " + IntToStr(noteCount) + " is too large to compose.");
    }
}

namespace {

// Start and end of part k's line: the drawn line moved by k * (dx, dy), with
// the start (Radiational) or the end (Convergence) left in place.
void ShiftLine(int method, int k, double dx, double dy, double& sx, double& sy, double& ex,
               double& ey) {
    if (method != MethodRadiational) {
        sx += k * dx;
        sy += k * dy;
    }
    if (method != MethodConvergence) {
        ex += k * dx;
        ey += k * dy;
    }
}

// Calls sample(x, y) at noteCount evenly spaced points from start to end; the
// point advances by repeated addition.
template <typename Sample>
void SampleLine(double sx, double sy, double ex, double ey, int noteCount, int first,
                SeriesTable& series, Sample sample) {
    const double stepX = (ex - sx) / (noteCount - 1);
    const double stepY = (ey - sy) / (noteCount - 1);
    for (int i = 0; i < noteCount; ++i) {
        series.Set(first + i, sample(sx, sy));
        sx += stepX;
        sy += stepY;
    }
}

} // namespace

void SampleFractal(const FractalIterator& engine, int pictureHeight, const LinePoints& line,
                   double dx, double dy, int method, int noteCount, SeriesTable& series) {
    CheckNoteCount(noteCount);
    series.Resize(PartCount * noteCount);
    for (int k = 0; k < PartCount; ++k) {
        double sx;
        double sy;
        double ex;
        double ey;
        engine.PixelToPlane(line.LineStartX, pictureHeight - line.LineStartY, sx, sy);
        engine.PixelToPlane(line.LineEndX, pictureHeight - line.LineEndY, ex, ey);
        ShiftLine(method, k, dx, dy, sx, sy, ex, ey);
        SampleLine(sx, sy, ex, ey, noteCount, k * noteCount, series,
                   [&engine](double x, double y) { return engine.Evaluate(x, y); });
    }
}

void SampleImage(const ImageView& image, double startX, double startY, double endX, double endY,
                 double dx, double dy, int method, int noteCount, SeriesTable& series) {
    CheckNoteCount(noteCount);
    const auto colourValue = [&image](double x, double y) {
        const double column = std::trunc(x);
        const double row = std::trunc(y);
        // Outside the image (or not a number): the invalid colour, red 255.
        if (!(column >= 0.0 && column < image.Width && row >= 0.0 && row < image.Height) ||
            !image.PixelAt) {
            return ImageSampleLimit;
        }
        return 3 * RedOf(image.PixelAt(static_cast<int>(column), static_cast<int>(row)));
    };
    series.Resize(PartCount * noteCount);
    for (int k = 0; k < PartCount; ++k) {
        double sx = startX;
        double sy = startY;
        double ex = endX;
        double ey = endY;
        ShiftLine(method, k, dx, dy, sx, sy, ex, ey);
        SampleLine(sx, sy, ex, ey, noteCount, k * noteCount, series, colourValue);
    }
}

} // namespace sorvelin
