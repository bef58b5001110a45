#include "explorer/Sampling.h"

#include "explorer/ExplorerFields.h"
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
    const double endX = StrToFloat(texts.EndX, CalcEndXCaption);
    const double startX = StrToFloat(texts.StartX, CalcStartXCaption);
    const double endY = StrToFloat(texts.EndY, CalcEndYCaption);
    const double startY = StrToFloat(texts.StartY, CalcStartYCaption);
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

LineEnds PlaneLineEnds(const FractalIterator& engine, int pictureHeight, const LinePoints& line) {
    LineEnds ends;
    engine.PixelToPlane(line.LineStartX, pictureHeight - line.LineStartY, ends.StartX, ends.StartY);
    engine.PixelToPlane(line.LineEndX, pictureHeight - line.LineEndY, ends.EndX, ends.EndY);
    return ends;
}

void SampleFractal(const FractalIterator& engine, int pictureHeight, const LinePoints& line,
                   double dx, double dy, int method, int noteCount, SeriesTable& series) {
    CheckNoteCount(noteCount);
    series.Resize(PartCount * noteCount);
    ForEachSamplePoint(PlaneLineEnds(engine, pictureHeight, line), dx, dy, method, noteCount,
                       [&](int k, int i, double x, double y) {
                           series.Set(k * noteCount + i, engine.Evaluate(x, y));
                       });
}

int ImageSample(const ImageView& image, double x, double y) {
    const double column = std::trunc(x);
    const double row = std::trunc(y);
    // Outside the image (or not a number): the invalid colour, red 255.
    if (!(column >= 0.0 && column < image.Width && row >= 0.0 && row < image.Height) ||
        !image.PixelAt) {
        return ImageSampleLimit;
    }
    return 3 * RedOf(image.PixelAt(static_cast<int>(column), static_cast<int>(row)));
}

void SampleImage(const ImageView& image, const LineEnds& line, double dx, double dy, int method,
                 int noteCount, SeriesTable& series) {
    CheckNoteCount(noteCount);
    series.Resize(PartCount * noteCount);
    ForEachSamplePoint(line, dx, dy, method, noteCount, [&](int k, int i, double x, double y) {
        series.Set(k * noteCount + i, ImageSample(image, x, y));
    });
}

} // namespace sorvelin
