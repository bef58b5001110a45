#include "explorer/ClipboardText.h"
#include "base/Errors.h"
#include "explorer/ExplorerModel.h"

#include <gtest/gtest.h>

namespace sorvelin {
namespace {

SeriesTable FourNotesPerPart() {
    SeriesTable table;
    table.Resize(PartCount * 4);
    const int part0[] = {0, 3, 17, 200};
    for (int i = 0; i < table.Length(); ++i) {
        table.Set(i, i < 4 ? part0[i] : 1000 + i);
    }
    return table;
}

TEST(ClipboardTextTest, SeriesTextIsTheStartOfTheTable) {
    const SeriesTable table = FourNotesPerPart();
    EXPECT_EQ(SeriesClipboardText(table, 4), "0,3,17,200");
    EXPECT_EQ(SeriesClipboardText(table, 1), "0");
    // A note count changed since the last Compose runs into part 1.
    EXPECT_EQ(SeriesClipboardText(table, 6), "0,3,17,200,1004,1005");
}

TEST(ClipboardTextTest, SeriesTextBeyondTheTableRaisesTheTableError) {
    const SeriesTable table = FourNotesPerPart();
    try {
        SeriesClipboardText(table, 65);
        ADD_FAILURE() << "no error";
    } catch (const IndexError& e) {
        EXPECT_EQ(e.Index(), 64);
        EXPECT_EQ(e.Length(), 64);
    }
    EXPECT_THROW(SeriesClipboardText(SeriesTable{}, 1), IndexError);
}

TEST(ClipboardTextTest, JuliaMarkerDropAtTheCentreOfTheStartView) {
    ExplorerModel model;
    model.ZoomIn();
    model.Fields().Iteration = "300";
    model.DrawNow();
    model.DropJuliaMarker(120, 120);
    EXPECT_NEAR(model.JuliaX(), -0.6, 1e-15);
    EXPECT_NEAR(model.JuliaY(), 0.0, 1e-15);
    // The drop redraws: rendering restarted with the Iteration limit.
    EXPECT_EQ(model.Rendering().BlockSize(), Renderer::FirstBlockSize);
    EXPECT_EQ(model.Engine().GetLimit(), 300);

    const PlanePoint corner = JuliaConstantAt(model.View(), 240, 0, 240);
    EXPECT_NEAR(corner.X, -1.8, 1e-15);
    EXPECT_NEAR(corner.Y, -1.2, 1e-15);
}

} // namespace
} // namespace sorvelin
