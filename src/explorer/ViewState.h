#pragma once
// The part of the plane the picture shows, as a centre and a size.
#include "explorer/Picture.h"

namespace sorvelin {

struct ViewState {
    double ViewCentreX = 0.0;
    double ViewCentreY = 0.0;
    double ViewExtentX = 0.0;
    double ViewExtentY = 0.0;
    // Picture size in pixels.
    double PictureWidth = ExplorerPictureSize;
    double PictureHeight = ExplorerPictureSize;

    double LeftX() const { return ViewCentreX - ViewExtentX * 0.5; }
    double BottomY() const { return ViewCentreY - ViewExtentY * 0.5; }
    friend bool operator==(const ViewState&, const ViewState&) = default;
};

} // namespace sorvelin
