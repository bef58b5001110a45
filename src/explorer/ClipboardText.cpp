#include "explorer/ClipboardText.h"

#include "base/Convert.h"

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
    return {view.LeftX() + (x * view.ViewExtentX) / view.PictureWidth,
            view.BottomY() + ((pictureHeight - y) * view.ViewExtentY) / view.PictureHeight};
}

} // namespace sorvelin
