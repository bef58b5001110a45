#pragma once
// Series copy text and the Julia marker's drop point.
#include "explorer/SeriesTable.h"
#include "explorer/ViewState.h"

#include <string>

namespace sorvelin {

// "Copy Series": element 0 and then, comma-separated, elements 1 .. noteCount
// - 1 of the table, no spaces, no line end. Elements beyond the table raise
// the table's IndexError.
std::string SeriesClipboardText(const SeriesTable& series, int noteCount);

struct PlanePoint {
    double X = 0.0;
    double Y = 0.0;
};

// The plane point under overlay pixel (x, y) (y downward), pictureHeight
// being the picture's height in pixels.
PlanePoint JuliaConstantAt(const ViewState& view, int pictureHeight, int x, int y);

} // namespace sorvelin
