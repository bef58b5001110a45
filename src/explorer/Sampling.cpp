#include "explorer/Sampling.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/ParallelFor.h"
#include "explorer/ExplorerFields.h"
#include "fractal/EscapeBatch.h"
#include "fractal/Iteration.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace sorvelin {

CalcTexts PlaneLineTexts(const ViewState& view, int startX, int startY, int releaseX,
                         int releaseY) {
    const LineEnds ends = DesignPlaneLineEnds(view, {startX, startY, releaseX, releaseY});
    return {FloatToStr(ends.StartX), FloatToStr(ends.StartY), FloatToStr(ends.EndX),
            FloatToStr(ends.EndY)};
}

LineEnds DesignPlaneLineEnds(const ViewState& view, const LinePoints& line) {
    // As the engine maps a pixel of a 240 x 240 view.
    const auto planeX = [&view](int x) {
        return view.LeftX() +
               (view.ViewExtentX * DesignPixels(x, view.PictureWidth)) / ExplorerPictureSize;
    };
    const auto planeY = [&view](int y) {
        return view.BottomY() +
               (DesignPixels(view.PictureHeight - y, view.PictureHeight) * view.ViewExtentY) /
                   ExplorerPictureSize;
    };
    return {planeX(line.LineStartX), planeY(line.LineStartY), planeX(line.LineEndX),
            planeY(line.LineEndY)};
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

// Consecutive samples of all sixteen parts in one unit of shared work: a
// cache line of each part's row, so that two cores seldom write into the
// same line, and no more, because the costly points cluster at the same
// indices of every part.
constexpr int UnitSamples = SampleUnitNotes;
static_assert(UnitSamples * sizeof(std::int32_t) == 64, "a unit is one cache line of a row");
// The most indices sampled in one call: between calls the progress moves on
// and a Cancel is seen, and one call is long enough that calling costs little.
constexpr int SliceSamples = 64;

// Whole cache lines: what the threads read while they sample lies apart
// from anything a thread writes, since a line written by one core and read
// by the other moves between them at every touch.
struct alignas(64) Lanes {
    double X[PartCount];
    double Y[PartCount];
};

// marks[u] = the sixteen points `from` carried on by u * UnitSamples steps,
// for u = 0 .. units - 1: only additions, each part's in the same order as
// the one-thread walk, four parts side by side. Where the processor has AVX2
// the four are one register, which halves the wait before helpers start.
// (Chosen at run time by a plain test, not by the loader, whose choice runs
// before a sanitizer's runtime is ready.)
__attribute__((always_inline)) inline void MarkUnitsIn(const Lanes& from, const Lanes& step,
                                                       int units, Lanes* marks) {
    using Four = double __attribute__((vector_size(4 * sizeof(double))));
    constexpr int Quarters = PartCount / 4;
    Four x[Quarters], y[Quarters], stepX[Quarters], stepY[Quarters];
    std::memcpy(x, from.X, sizeof x);
    std::memcpy(y, from.Y, sizeof y);
    std::memcpy(stepX, step.X, sizeof stepX);
    std::memcpy(stepY, step.Y, sizeof stepY);
    for (int unit = 0; unit < units; ++unit) {
        std::memcpy(marks[unit].X, x, sizeof x);
        std::memcpy(marks[unit].Y, y, sizeof y);
        for (int i = 0; i < UnitSamples; ++i) {
#pragma GCC unroll 4
            for (int q = 0; q < Quarters; ++q) {
                x[q] += stepX[q];
                y[q] += stepY[q];
            }
        }
    }
}

__attribute__((target("avx2"))) void MarkUnitsAvx2(const Lanes& from, const Lanes& step, int units,
                                                   Lanes* marks) {
    MarkUnitsIn(from, step, units, marks);
}

void MarkUnits(const Lanes& from, const Lanes& step, int units, Lanes* marks) {
    if (EscapeBatchVectorised()) {
        MarkUnitsAvx2(from, step, units, marks);
    } else {
        MarkUnitsIn(from, step, units, marks);
    }
}

// The samples of all sixteen parts, shared out over the threads of `work` in
// units of UnitSamples consecutive indices. Each point still comes from its
// part's start by the same repeated additions as in ForEachSamplePoint, so
// every value equals the one-thread sampler's: the calling thread carries
// its sixteen points on from one piece to the next, and only when it calls
// in helpers does it note, in one quick pass carrying them on further, every
// part's point at each unit's start that is left. sampleRun(atX, atY, stepX,
// stepY, n, values, stride) fills values[k * stride + i] with the sample of
// part k at index i = 0 .. n - 1, part k's point of index 0 being (atX[k],
// atY[k]) and each next one a step (stepX[k], stepY[k]) on, and leaves
// (atX[k], atY[k]) at index n.
template <typename SampleRun>
void SampleBlocks(const LineEnds& line, double dx, double dy, int method, int noteCount,
                  int threads, const SamplingWork& work, SeriesTable& series, SampleRun sampleRun) {
    CheckNoteCount(noteCount);
    WorkProgress* progress = work.Progress;
    if (progress != nullptr) {
        progress->SetTotal(static_cast<long long>(PartCount) * noteCount);
    }
    Lanes step;
    // The calling thread's sixteen points.
    Lanes at;
    for (int k = 0; k < PartCount; ++k) {
        const PartLine part = PartLineOf(line, dx, dy, method, noteCount, k);
        at.X[k] = part.StartX;
        at.Y[k] = part.StartY;
        step.X[k] = part.StepX;
        step.Y[k] = part.StepY;
    }
    const int units = (noteCount + UnitSamples - 1) / UnitSamples;
    // Where each unit from firstMarked on starts, once helpers are called in.
    std::unique_ptr<Lanes[]> marks;
    int firstMarked = units;
    // The threads write straight into the table: copying it afterwards
    // would read the part a helper wrote from the other core's cache, which
    // costs the calling thread a third as much again as sampling it.
    std::vector<std::int32_t> values(static_cast<std::size_t>(PartCount) * noteCount);
    std::int32_t* const valuesData = values.data();
    // Indices first .. last - 1 of every part, from the points `from` of
    // index first.
    const auto sample = [&](Lanes& from, int first, int last) {
        for (int i = first; i < last;) {
            if (progress != nullptr && progress->Cancelled()) {
                return;
            }
            const int n = std::min(SliceSamples, last - i);
            sampleRun(from.X, from.Y, step.X, step.Y, n, valuesData + i,
                      static_cast<std::ptrdiff_t>(noteCount));
            i += n;
            if (progress != nullptr) {
                progress->Advance(static_cast<long long>(PartCount) * n);
            }
        }
    };
    const auto markUnitsFrom = [&](int done) {
        firstMarked = done;
        const int marked = units - done;
        marks = std::make_unique_for_overwrite<Lanes[]>(static_cast<std::size_t>(marked));
        MarkUnits(at, step, marked, marks.get());
    };
    ParallelForPieces(units, threads, 1, markUnitsFrom, [&](int firstUnit, int lastUnit) {
        const int first = firstUnit * UnitSamples;
        const int last = std::min(noteCount, lastUnit * UnitSamples);
        if (firstUnit < firstMarked) {
            sample(at, first, last);
            return;
        }
        Lanes from = marks[static_cast<std::size_t>(firstUnit - firstMarked)];
        sample(from, first, last);
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
    SampleFractal(engine, PlaneLineEnds(engine, pictureHeight, line), dx, dy, method, noteCount,
                  series, work);
}

void SampleFractal(const FractalIterator& engine, const LineEnds& ends, double dx, double dy,
                   int method, int noteCount, SeriesTable& series, const SamplingWork& work) {
    // On a cache line of its own, as the threads read it (see SampleBlocks).
    struct alignas(64) SharedEngine {
        FractalIterator Engine;
    };
    const auto shared = std::make_unique<SharedEngine>(SharedEngine{engine});
    FractalIterator& sampler = shared->Engine;
    if (work.Progress != nullptr) {
        sampler.SetStopFlag(work.Progress->StopFlag());
    }
    if (engine.FormulaIndex() == WhiteNoiseFormula) {
        // White Noise draws from one process-wide generator: its values
        // follow the order of the draws, which only the one-thread order keeps.
        CheckNoteCount(noteCount);
        std::vector<std::int32_t> values(static_cast<std::size_t>(PartCount) * noteCount);
        ForEachSamplePoint(ends, dx, dy, method, noteCount, [&](int k, int i, double x, double y) {
            values[static_cast<std::size_t>(k) * noteCount + i] = sampler.Evaluate(x, y);
        });
        if (work.Progress != nullptr) {
            work.Progress->SetTotal(static_cast<long long>(values.size()));
            work.Progress->Advance(static_cast<long long>(values.size()));
        }
        series.Assign(std::move(values));
        return;
    }
    static_assert(std::is_same_v<int, std::int32_t>, "counts go straight into the table");
    static_assert(PartCount == BatchLines, "the vector loop walks the sixteen parts side by side");
    SampleBlocks(ends, dx, dy, method, noteCount, work.Threads, work, series,
                 [&sampler](double* x, double* y, const double* stepX, const double* stepY, int n,
                            std::int32_t* values, std::ptrdiff_t stride) {
                     sampler.EvaluateLines(x, y, stepX, stepY, n, values, stride);
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
                 [&image](double* atX, double* atY, const double* stepX, const double* stepY, int n,
                          std::int32_t* values, std::ptrdiff_t stride) {
                     for (int k = 0; k < PartCount; ++k) {
                         double x = atX[k];
                         double y = atY[k];
                         for (int i = 0; i < n; ++i) {
                             values[k * stride + i] = ImageSample(image, x, y);
                             x += stepX[k];
                             y += stepY[k];
                         }
                         atX[k] = x;
                         atY[k] = y;
                     }
                 });
}

} // namespace sorvelin
