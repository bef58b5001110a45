#include "base/Errors.h"
#include "explorer/ExplorerModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace sorvelin {
namespace {

// The window's show time: picture size, then Zoom In with the design texts.
ExplorerModel Started() {
    ExplorerModel model;
    model.SetPictureSize(240, 240);
    model.ZoomIn();
    return model;
}

void ExpectView(const ExplorerModel& model, double cx, double cy, double ex, double ey) {
    EXPECT_NEAR(model.View().ViewCentreX, cx, 1e-12);
    EXPECT_NEAR(model.View().ViewCentreY, cy, 1e-12);
    EXPECT_NEAR(model.View().ViewExtentX, ex, 1e-12);
    EXPECT_NEAR(model.View().ViewExtentY, ey, 1e-12);
    // The engine's window always follows the view.
    const FractalIterator& e = model.Engine();
    EXPECT_EQ(e.GetOriginX(), model.View().ViewCentreX - model.View().ViewExtentX * 0.5);
    EXPECT_EQ(e.GetOriginY(), model.View().ViewCentreY - model.View().ViewExtentY * 0.5);
    EXPECT_EQ(e.GetExtentX(), model.View().ViewExtentX);
    EXPECT_EQ(e.GetExtentY(), model.View().ViewExtentY);
}

std::vector<std::string> ZoomRange(const ExplorerFields& f) {
    return {f.MouseX, f.MouseY, f.RectWidth, f.RectHeight};
}
std::vector<std::string> DispRange(const ExplorerFields& f) {
    return {f.posX, f.posY, f.RangeX, f.RangeY};
}

TEST(ViewTest, StartUpCopiesDispRangeAndRecomputesZoomRange) {
    const ExplorerModel model = Started();
    ExpectView(model, -0.6, 0.0, 2.4, 2.4);
    EXPECT_EQ(DispRange(model.Fields()), (std::vector<std::string>{"-0.6", "0.0", "2.4", "2.4"}));
    EXPECT_EQ(ZoomRange(model.Fields()), (std::vector<std::string>{"-0.6", "0", "0.6", "0.6"}));
    EXPECT_EQ(model.Fields().SizeableRectShape1, (RectBounds{90, 90, 60, 60}));
    EXPECT_EQ(model.Engine().GetLimit(), 200);
    EXPECT_EQ(model.Engine().GetViewWidth(), 240.0);
    EXPECT_EQ(model.Rendering().BlockSize(), Renderer::FirstBlockSize);
}

TEST(ViewTest, RepeatedZoomInQuartersTheSize) {
    ExplorerModel model = Started();
    model.ZoomIn();
    ExpectView(model, -0.6, 0.0, 0.6, 0.6);
    EXPECT_EQ(DispRange(model.Fields()), (std::vector<std::string>{"-0.6", "0", "0.6", "0.6"}));
    model.ZoomIn();
    ExpectView(model, -0.6, 0.0, 0.15, 0.15);
}

TEST(ViewTest, ZoomOutAndPansFromStartUp) {
    struct Case {
        void (ExplorerModel::*operation)();
        double cx;
        double cy;
        double size;
        std::vector<std::string> disp;
    };
    const Case cases[] = {
        {&ExplorerModel::ZoomOut, -0.6, 0.0, 4.8, {"-0.6", "0", "4.8", "4.8"}},
        {&ExplorerModel::PanUp, -0.6, 1.2, 2.4, {"-0.6", "1.2", "2.4", "2.4"}},
        {&ExplorerModel::PanDown, -0.6, -1.2, 2.4, {"-0.6", "-1.2", "2.4", "2.4"}},
        {&ExplorerModel::PanLeft, -1.8, 0.0, 2.4, {"-1.8", "0.0", "2.4", "2.4"}},
        {&ExplorerModel::PanRight, 0.6, 0.0, 2.4, {"0.6", "0.0", "2.4", "2.4"}},
    };
    for (const Case& c : cases) {
        ExplorerModel model = Started();
        model.Fields().Iteration = "300";
        (model.*c.operation)();
        ExpectView(model, c.cx, c.cy, c.size, c.size);
        EXPECT_EQ(DispRange(model.Fields()), c.disp);
        EXPECT_EQ(model.Engine().GetLimit(), 300);
        EXPECT_EQ(model.Rendering().BlockSize(), Renderer::FirstBlockSize);
        EXPECT_EQ(model.Rendering().ProgressX(), 0);
    }
}

TEST(ViewTest, RectangleShapeSetsTheNextViewsShape) {
    ExplorerModel model = Started();
    model.Fields().SizeableRectShape1 = {60, 90, 120, 60};
    model.ZoomRectangleReleased();
    EXPECT_EQ(ZoomRange(model.Fields()), (std::vector<std::string>{"-0.6", "0", "1.2", "0.6"}));
    model.ZoomIn();
    ExpectView(model, -0.6, 0.0, 1.2, 0.6);
    // An Up moves by half the width: a full view height here.
    ExplorerModel moved = model;
    moved.PanUp();
    ExpectView(moved, -0.6, 0.6, 1.2, 0.6);
    // The height follows the width, whatever the current view's shape.
    model.Fields().SizeableRectShape1 = {90, 90, 60, 60};
    model.ZoomRectangleReleased();
    model.ZoomIn();
    ExpectView(model, -0.6, 0.0, 0.3, 0.3);
}

TEST(ViewTest, MovedRectangleGivesItsCentre) {
    ExplorerModel model = Started();
    // Top-left quarter of the start view.
    model.Fields().SizeableRectShape1 = {0, 0, 120, 120};
    model.ZoomRectangleReleased();
    EXPECT_EQ(ZoomRange(model.Fields()), (std::vector<std::string>{"-1.2", "0.6", "1.2", "1.2"}));
    model.ZoomOut(); // twice the shown size around the rectangle's centre
    ExpectView(model, -1.2, 0.6, 4.8, 4.8);
}

TEST(ViewTest, RedrawTakesTheLimitAndKeepsTheView) {
    ExplorerModel model = Started();
    model.PanLeft();
    model.Fields().Iteration = "500";
    model.DrawNow();
    model.Redraw();
    EXPECT_EQ(model.Engine().GetLimit(), 500);
    EXPECT_EQ(model.Rendering().BlockSize(), Renderer::FirstBlockSize);
    ExpectView(model, -1.8, 0.0, 2.4, 2.4);
    model.Fields().Iteration = "0";
    model.Redraw();
    EXPECT_EQ(model.Engine().GetLimit(), 500);
}

TEST(ViewTest, ResetReturnsToTheStartView) {
    ExplorerModel model = Started();
    model.PanUp();
    model.ZoomIn();
    model.ZoomIn();
    model.Fields().SizeableRectShape1 = {10, 20, 30, 40};
    model.Reset();
    const ExplorerModel fresh = Started();
    ExpectView(model, -0.6, 0.0, 2.4, 2.4);
    EXPECT_EQ(DispRange(model.Fields()), DispRange(fresh.Fields()));
    // The rectangle keeps its size, centred: so the Zoom Range differs.
    EXPECT_EQ(model.Fields().SizeableRectShape1, (RectBounds{105, 100, 30, 40}));
}

TEST(ViewTest, AlwaysDrawsTheWholePictureAndStopsTheProgressiveRenderer) {
    ExplorerModel model = Started();
    model.Fields().AlwaysChecked = true;
    model.PanRight();
    EXPECT_EQ(model.Rendering().BlockSize(), 0);
    EXPECT_FALSE(model.Rendering().Rendering());
    model.FinishPicture();
    EXPECT_EQ(model.Image().At(0, 239), ColourOfCount(model.Engine().EvaluatePixel(0, 0)));
    EXPECT_FALSE(model.AdvancePicture());
    EXPECT_EQ(model.Rendering().BlockSize(), 0);
}

// A bad text leaves the view, the engine, the fields and the picture as they
// were: nothing is applied in part.
TEST(ViewTest, BadTextChangesNothing) {
    struct Case {
        const char* name;
        std::string ExplorerFields::*field;
        void (ExplorerModel::*operation)();
    };
    const Case cases[] = {
        {"zoom in, MouseY", &ExplorerFields::MouseY, &ExplorerModel::ZoomIn},
        {"zoom in, RectHeight", &ExplorerFields::RectHeight, &ExplorerModel::ZoomIn},
        {"zoom in, Iteration", &ExplorerFields::Iteration, &ExplorerModel::ZoomIn},
        {"zoom out, RangeX", &ExplorerFields::RangeX, &ExplorerModel::ZoomOut},
        {"zoom out, RangeY", &ExplorerFields::RangeY, &ExplorerModel::ZoomOut},
        {"zoom out, MouseX", &ExplorerFields::MouseX, &ExplorerModel::ZoomOut},
        {"zoom out, Iteration", &ExplorerFields::Iteration, &ExplorerModel::ZoomOut},
        {"reset, Iteration", &ExplorerFields::Iteration, &ExplorerModel::Reset},
        {"left, Iteration", &ExplorerFields::Iteration, &ExplorerModel::PanLeft},
        {"right, Iteration", &ExplorerFields::Iteration, &ExplorerModel::PanRight},
        {"up, Iteration", &ExplorerFields::Iteration, &ExplorerModel::PanUp},
        {"down, Iteration", &ExplorerFields::Iteration, &ExplorerModel::PanDown},
    };
    for (const Case& c : cases) {
        ExplorerModel model = Started();
        model.Fields().Iteration = "150";
        model.DrawNow();
        model.FinishPicture();
        model.Fields().SizeableRectShape1 = {10, 10, 100, 50};
        model.ZoomRectangleReleased();
        model.Fields().*c.field = "1,5";
        const ExplorerFields fields = model.Fields();
        const ViewState view = model.View();
        const std::vector<Pixel> picture(model.Image().Bits(), model.Image().Bits() + 240 * 240);

        EXPECT_THROW((model.*c.operation)(), ConvertError) << c.name;

        EXPECT_EQ(ZoomRange(model.Fields()), ZoomRange(fields)) << c.name;
        EXPECT_EQ(DispRange(model.Fields()), DispRange(fields)) << c.name;
        EXPECT_EQ(model.Fields().SizeableRectShape1, fields.SizeableRectShape1) << c.name;
        ExpectView(model, view.ViewCentreX, view.ViewCentreY, view.ViewExtentX, view.ViewExtentY);
        EXPECT_EQ(model.Engine().GetLimit(), 200) << c.name;
        EXPECT_EQ(model.Rendering().BlockSize(), 0) << c.name; // still stopped
        EXPECT_TRUE(std::equal(picture.begin(), picture.end(), model.Image().Bits())) << c.name;
    }
}

TEST(ViewTest, ConversionErrorsNameTheirField) {
    for (const auto& [field, message] :
         {std::pair{&ExplorerFields::Iteration, "Iteration: '2x' is not a valid integer value"},
          std::pair{&ExplorerFields::RectWidth,
                    "Zoom Range Width: '2x' is not a valid floating point value"}}) {
        ExplorerModel model = Started();
        model.Fields().*field = "2x";
        try {
            model.ZoomIn();
            ADD_FAILURE() << message;
        } catch (const ConvertError& error) {
            EXPECT_STREQ(error.what(), message);
        }
    }
}

TEST(ViewTest, RedrawWithABadLimitRestartsWithTheOldLimit) {
    ExplorerModel model = Started();
    model.DrawNow();
    model.Fields().Iteration = "lots";
    EXPECT_THROW(model.Redraw(), ConvertError);
    EXPECT_EQ(model.Engine().GetLimit(), 200);
    EXPECT_EQ(model.Rendering().BlockSize(), Renderer::FirstBlockSize);
}

TEST(ViewTest, FormulaChangeShowsTheJuliaMarkerAndLeavesImageMode) {
    ExplorerModel model = Started();
    model.EnterImageMode({4, 4, [](int, int) { return Pixel{0}; }});
    model.DrawNow();
    model.SelectFormula(1);
    EXPECT_TRUE(model.JuliaMarkerVisible());
    EXPECT_FALSE(model.ImageMode());
    EXPECT_EQ(model.Engine().FormulaIndex(), 1);
    EXPECT_EQ(model.Rendering().BlockSize(), Renderer::FirstBlockSize);
    model.SelectFormula(4);
    EXPECT_FALSE(model.JuliaMarkerVisible());
    EXPECT_EQ(model.Engine().FormulaIndex(), 4);
}

// Undo walks back through the view changes and Redo forward again, each step
// putting back fields and engine (the window's test walks them by key, with
// their pictures); a redraw that changes nothing is no step, a change after
// going back drops the views ahead, and image mode has no views to go to.
TEST(ViewTest, UndoAndRedoWalkTheViewsShown) {
    ExplorerModel model = Started();
    std::vector<ViewStep> seen{model.CurrentViewStep()};
    const auto record = [&] { seen.push_back(model.CurrentViewStep()); };
    model.PanRight();
    record();
    model.Fields().Iteration = "77";
    model.Redraw();
    record();
    model.Redraw();
    model.SelectFormula(1);
    record();
    model.DropJuliaMarker(100, 140);
    record();
    for (std::size_t i = seen.size() - 1; i-- > 0;) {
        ASSERT_TRUE(model.UndoView()) << i;
        EXPECT_EQ(model.CurrentViewStep(), seen[i]) << i;
    }
    EXPECT_FALSE(model.UndoView());
    EXPECT_EQ(model.Engine().GetLimit(), 200);
    ASSERT_TRUE(model.RedoView());
    ASSERT_TRUE(model.RedoView());
    EXPECT_EQ(model.CurrentViewStep(), seen[2]);
    EXPECT_EQ(model.Rendering().BlockSize(), Renderer::FirstBlockSize);
    model.PanLeft();
    EXPECT_FALSE(model.CanRedoView());
    model.EnterImageMode({4, 4, [](int, int) { return Pixel{0}; }});
    EXPECT_FALSE(model.UndoView());
    model.LeaveImageMode();
    model.Fields().AlwaysChecked = true;
    ASSERT_TRUE(model.UndoView());
    EXPECT_EQ(model.Rendering().BlockSize(), 0); // "Always": the whole picture
}

} // namespace
} // namespace sorvelin
