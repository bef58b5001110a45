#include "explorer/ClipboardText.h"

#include "base/Convert.h"
#include "explorer/Sampling.h"

namespace sorvelin {

std::string SeriesClipboardText(const SeriesTable& series, int noteCount) {
    std::string text = IntToStr(series.Get(0));
    for (int i = 1; i < noteCount; ++i) {
        text += ',';
        text += IntToStr(series.Get(i));
    }
    return text;
}

PlanePoint JuliaConstantAt(const ViewState& view, int pictureHeight, int x, int y) {
    // By way of the design picture's pixels, as the line's ends.
    constexpr double Design = ExplorerPictureSize;
    return {view.LeftX() + (DesignPixels(x, view.PictureWidth) * view.ViewExtentX) / Design,
            view.BottomY() +
                (DesignPixels(pictureHeight - y, view.PictureHeight) * view.ViewExtentY) / Design};
}

} // namespace sorvelin
