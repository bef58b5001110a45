#include "explorer/Sampling.h"

#include "explorer/ExplorerFields.h"
#include "explorer/ParallelFor.h"
#include "fractal/Iteration.h"
#include "platform/Convert.h"
#include "platform/Errors.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <vector>

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

PartLine PartLineOf(const LineEnds& line, double dx, double dy, int method, int noteCount, int k) {
    double sx = line.StartX;
    double sy = line.StartY;
    double ex = line.EndX;
    double ey = line.EndY;
    if (method != MethodRadiational) {
        sx += k * dx;
        sy += k * dy;
    }
    if (method != MethodConvergence) {
        ex += k * dx;
        ey += k * dy;
    }
    return {sx, sy, (ex - sx) / (noteCount - 1), (ey - sy) / (noteCount - 1)};
}

namespace {

// Samples per unit of shared work: enough for the vector loop and to make
// the hand-over cheap, few enough that the cores finish together.
constexpr int SampleBlock = 256;

// The samples in blocks over the threads of `work`. Each point still comes
// from its part's start by the same repeated additions as in
// ForEachSamplePoint: one quick pass notes the point at every block's start,
// and each block adds on from there, so every value equals the one-thread
// sampler's. evaluate(x, y, n, out) fills out[0 .. n - 1].
template <typename Evaluate>
void SampleBlocks(const LineEnds& line, double dx, double dy, int method, int noteCount,
                  int threads, const SamplingWork& work, SeriesTable& series, Evaluate evaluate) {
    CheckNoteCount(noteCount);
    WorkProgress* progress = work.Progress;
    if (progress != nullptr) {
        progress->SetTotal(static_cast<long long>(PartCount) * noteCount);
    }
    const int blocksPerPart = (noteCount + SampleBlock - 1) / SampleBlock;
    struct Mark {
        double X;
        double Y;
    };
    std::vector<PartLine> parts;
    std::vector<Mark> marks;
    parts.reserve(PartCount);
    marks.reserve(static_cast<std::size_t>(PartCount) * blocksPerPart);
    for (int k = 0; k < PartCount; ++k) {
        parts.push_back(PartLineOf(line, dx, dy, method, noteCount, k));
        const PartLine& part = parts.back();
        double x = part.StartX;
        double y = part.StartY;
        for (int i = 0; i < noteCount; ++i) {
            if (i % SampleBlock == 0) {
                marks.push_back({x, y});
            }
            x += part.StepX;
            y += part.StepY;
        }
    }
    std::vector<std::int32_t> values(static_cast<std::size_t>(PartCount) * noteCount);
    ParallelFor(PartCount * blocksPerPart, threads, 1, [&](int block) {
        if (progress != nullptr && progress->Cancelled()) {
            return;
        }
        const int k = block / blocksPerPart;
        const int first = (block % blocksPerPart) * SampleBlock;
        const int n = std::min(SampleBlock, noteCount - first);
        const PartLine& part = parts[static_cast<std::size_t>(k)];
        double x = marks[static_cast<std::size_t>(block)].X;
        double y = marks[static_cast<std::size_t>(block)].Y;
        double pointX[SampleBlock];
        double pointY[SampleBlock];
        for (int i = 0; i < n; ++i) {
            pointX[i] = x;
            pointY[i] = y;
            x += part.StepX;
            y += part.StepY;
        }
        evaluate(pointX, pointY, n,
                 values.data() + static_cast<std::size_t>(k) * noteCount + first);
        if (progress != nullptr) {
            progress->Advance(n);
        }
    });
    if (progress != nullptr) {
        progress->ThrowIfCancelled();
    }
    series.Assign(std::move(values));
}

} // namespace

void SampleFractal(const FractalIterator& engine, int pictureHeight, const LinePoints& line,
                   double dx, double dy, int method, int noteCount, SeriesTable& series,
                   const SamplingWork& work) {
    FractalIterator sampler = engine;
    if (work.Progress != nullptr) {
        sampler.SetStopFlag(work.Progress->StopFlag());
    }
    // White Noise draws from one process-wide generator: its values follow
    // the order of the draws, which only one thread keeps.
    const bool ordered = engine.FormulaIndex() == WhiteNoiseFormula;
    static_assert(std::is_same_v<int, std::int32_t>, "counts go straight into the table");
    SampleBlocks(PlaneLineEnds(engine, pictureHeight, line), dx, dy, method, noteCount,
                 ordered ? 1 : work.Threads, work, series,
                 [&sampler](const double* x, const double* y, int n, std::int32_t* out) {
                     sampler.EvaluatePoints(x, y, n, out);
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
                 int noteCount, SeriesTable& series, const SamplingWork& work) {
    SampleBlocks(line, dx, dy, method, noteCount, work.Threads, work, series,
                 [&image](const double* x, const double* y, int n, std::int32_t* out) {
                     for (int i = 0; i < n; ++i) {
                         out[i] = ImageSample(image, x[i], y[i]);
                     }
                 });
}

} // namespace sorvelin
