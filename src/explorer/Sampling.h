#pragma once
// The composition line and the sampling of the sixteen series along it and
// its fifteen shifted copies.
#include "base/LongWork.h"
#include "explorer/ImageView.h"
#include "explorer/SeriesTable.h"
#include "explorer/ViewState.h"

#include <string>

namespace sorvelin {

class FractalIterator;

// The line in overlay pixels (window coordinates, y downward).
struct LinePoints {
    int LineStartX = 0;
    int LineStartY = 0;
    int LineEndX = 0;
    int LineEndY = 0;
};

enum PolyphonicMethod {
    MethodParallel = 0,    // "Parallel": every line moved by k * (dx, dy)
    MethodRadiational = 1, // "Radiational(Fixd Start)": the starts stay
    MethodConvergence = 2, // "Convergence(Fixd End)": the ends stay
};

inline constexpr int ImageSampleLimit = 765;

// The sampler shares its work out over the threads in units of this many
// consecutive notes of every part, so a song of fewer notes per part than
// this times the cores cannot keep every core busy.
inline constexpr int SampleUnitNotes = 16;

// The four "Calc Start-End" texts.
struct CalcTexts {
    std::string StartX;
    std::string StartY;
    std::string EndX;
    std::string EndY;
};

// Fractal mode: the plane coordinates (y upward) of the line start and the
// release point; neither is clamped.
CalcTexts PlaneLineTexts(const ViewState& view, int startX, int startY, int releaseX, int releaseY);

// Image mode: bitmap pixel coordinates of a bw x bh image shown in a
// pictureWidth x pictureHeight control; the release point is clamped into the
// control first.
CalcTexts ImageLineTexts(int bw, int bh, int pictureWidth, int pictureHeight, int startX,
                         int startY, int releaseX, int releaseY);

// "Compose" is enabled exactly when the ends differ (texts converted strictly).
bool ComposeEnabledFor(const CalcTexts& texts);

// The percentage text of a shift track bar: 1 -> "0.01%", 50 -> "0.5%".
std::string ShiftText(int position);

// A note count below 2 leaves no step between samples: raises UserError.
void CheckNoteCount(int noteCount);

// The two ends of the drawn line (part 0), in plane units or bitmap pixels.
struct LineEnds {
    double StartX = 0.0;
    double StartY = 0.0;
    double EndX = 0.0;
    double EndY = 0.0;
};

// Window pixels of a picture `size` pixels wide in pixels of the design
// picture (240): a multiple of size / 240 gives its whole quotient exactly,
// and at 240 every value is itself.
inline double DesignPixels(double v, double size) {
    return v * ExplorerPictureSize / size;
}

// The plane ends of a line given in overlay pixels, y flipped by pictureHeight.
LineEnds PlaneLineEnds(const FractalIterator& engine, int pictureHeight, const LinePoints& line);
// The same for the explorer's view, by way of the design picture's pixels
// (240 a side): a line between the same plane points has the same ends, bit
// for bit, in a picture of 240, 480 or 720 pixels, and at 240 the ends are
// those of PlaneLineEnds.
LineEnds DesignPlaneLineEnds(const ViewState& view, const LinePoints& line);

// Part k's line: its first sample point and the step to the next, for the
// drawn line moved by k * (dx, dy), its start kept for Radiational, its end
// kept for Convergence.
struct PartLine {
    double StartX = 0.0;
    double StartY = 0.0;
    double StepX = 0.0;
    double StepY = 0.0;
};
PartLine PartLineOf(const LineEnds& line, double dx, double dy, int method, int noteCount, int k);

// Calls visit(k, i, x, y) for part k = 0 .. 15 and sample i = 0 .. noteCount
// - 1 at the noteCount evenly spaced points of part k's line. The point
// advances by repeated addition, so sample 0 lies on the start and the last
// sample on the end up to the rounding of the sums. This is the one-thread
// order that the samplers below reproduce value for value.
template <typename Visit>
void ForEachSamplePoint(const LineEnds& line, double dx, double dy, int method, int noteCount,
                        Visit visit) {
    CheckNoteCount(noteCount);
    for (int k = 0; k < PartCount; ++k) {
        const PartLine part = PartLineOf(line, dx, dy, method, noteCount, k);
        double sx = part.StartX;
        double sy = part.StartY;
        for (int i = 0; i < noteCount; ++i) {
            visit(k, i, sx, sy);
            sx += part.StepX;
            sy += part.StepY;
        }
    }
}

// How the samplers run: on all cores (Threads 0) or the given number of
// threads; with a Progress, it is advanced by one unit per sample after
// SetTotal(16 * noteCount), and its cancel flag stops the sampling with
// WorkCancelled, leaving the table as it was.
struct SamplingWork {
    int Threads = 0;
    WorkProgress* Progress = nullptr;
};

// Fills the table (resized to 16 * noteCount) with the escape counts at the
// sample points of the line given in overlay pixels; (dx, dy) is the shift
// per part in plane units.
void SampleFractal(const FractalIterator& engine, int pictureHeight, const LinePoints& line,
                   double dx, double dy, int method, int noteCount, SeriesTable& series,
                   const SamplingWork& work = {});
// The same between plane ends.
void SampleFractal(const FractalIterator& engine, const LineEnds& ends, double dx, double dy,
                   int method, int noteCount, SeriesTable& series, const SamplingWork& work = {});

// The value of an imported image at (x, y) in bitmap pixels: 3 x the red byte
// of the pixel at the truncated point, 765 outside the image.
int ImageSample(const ImageView& image, double x, double y);

// Fills the table with ImageSample at the sample points between the ends
// given in bitmap pixels; (dx, dy) is the shift per part in bitmap pixels.
void SampleImage(const ImageView& image, const LineEnds& line, double dx, double dy, int method,
                 int noteCount, SeriesTable& series, const SamplingWork& work = {});

} // namespace sorvelin
