#pragma once
// The composition line and the sampling of the sixteen series along it and
// its fifteen shifted copies.
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

// Fills the table (resized to 16 * noteCount) with escape counts along the
// line and its shifted copies. The line is given in overlay pixels and mapped
// through the engine with y flipped by pictureHeight; (dx, dy) is the shift
// per part in plane units.
void SampleFractal(const FractalIterator& engine, int pictureHeight, const LinePoints& line,
                   double dx, double dy, int method, int noteCount, SeriesTable& series);

// Fills the table with 3 x the red byte of the image at the truncated points
// between start and end (bitmap pixels); a point outside the image gives 765.
void SampleImage(const ImageView& image, double startX, double startY, double endX, double endY,
                 double dx, double dy, int method, int noteCount, SeriesTable& series);

} // namespace sorvelin
