#include "explorer/Sampling.h"
#include "base/Errors.h"
#include "explorer/ComposeSpeed.h"
#include "explorer/ExplorerModel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

namespace sorvelin {
namespace {

ExplorerModel Started() {
    ExplorerModel model;
    model.SetPictureSize(240, 240);
    model.ZoomIn();
    return model;
}

void DrawLine(ExplorerModel& model, int x0, int y0, int x1, int y1) {
    model.PressPicture(x0, y0);
    model.DragOnPicture(x1, y1);
    model.ReleasePicture(x1, y1);
}

std::vector<std::string> CalcRange(const ExplorerFields& f) {
    return {f.StartX, f.StartY, f.EndX, f.EndY};
}

struct Point {
    double x;
    double y;
};

// The sample points of every part, [k][i].
std::vector<std::vector<Point>> SamplePoints(const LineEnds& ends, double dx, double dy, int method,
                                             int n) {
    std::vector<std::vector<Point>> points(PartCount);
    ForEachSamplePoint(ends, dx, dy, method, n, [&](int k, int i, double x, double y) {
        EXPECT_EQ(static_cast<int>(points[k].size()), i);
        points[k].push_back({x, y});
    });
    return points;
}

TEST(SamplingTest, DiagonalLineOfTheStartView) {
    ExplorerModel model = Started();
    DrawLine(model, 0, 239, 239, 0);
    EXPECT_EQ(CalcRange(model.Fields()),
              (std::vector<std::string>{"-1.8", "-1.19", "0.59", "1.2"}));
    EXPECT_TRUE(model.Fields().ComposeEnabled);
    EXPECT_FALSE(model.DrawingLine());

    const LineEnds ends = PlaneLineEnds(model.Engine(), 240, model.Line());
    const auto points = SamplePoints(ends, 0.0, 0.0, MethodParallel, 3);
    const Point expected[] = {{-1.8, -1.19}, {-0.605, 0.005}, {0.59, 1.2}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(points[0][i].x, expected[i].x, 1e-12) << i;
        EXPECT_NEAR(points[0][i].y, expected[i].y, 1e-12) << i;
    }

    model.Compose(3);
    ASSERT_EQ(model.Series().Length(), 48);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(model.Series().Get(i), model.Engine().Evaluate(points[0][i].x, points[0][i].y));
    }
    // The middle sample lies inside the main cardioid.
    EXPECT_EQ(model.Series().Get(1), 200);
}

TEST(SamplingTest, ComposeIsEnabledExactlyWhenTheEndsDiffer) {
    ExplorerModel model = Started();
    DrawLine(model, 50, 50, 50, 50);
    EXPECT_FALSE(model.Fields().ComposeEnabled);
    DrawLine(model, 50, 50, 50, 51);
    EXPECT_TRUE(model.Fields().ComposeEnabled);
    // A release without a press still rewrites the texts from the stored start.
    model.ReleasePicture(50, 50);
    EXPECT_EQ(model.Fields().StartY, model.Fields().EndY);
    EXPECT_FALSE(model.Fields().ComposeEnabled);
    // Moves without a press do not touch the line.
    EXPECT_FALSE(model.DragOnPicture(10, 10));
    EXPECT_EQ(model.Line().LineEndX, 50);

    // A text that does not convert keeps the previous state.
    model.Fields().ComposeEnabled = true;
    model.Fields().EndX = "?";
    EXPECT_THROW(model.UpdateComposeEnabled(), ConvertError);
    EXPECT_TRUE(model.Fields().ComposeEnabled);
}

TEST(SamplingTest, ShiftTexts) {
    const std::pair<int, const char*> cases[] = {
        {1, "0.01%"}, {50, "0.5%"}, {100, "1%"}, {0, "0%"}, {33, "0.33%"}};
    for (const auto& [position, text] : cases) {
        EXPECT_EQ(ShiftText(position), text);
    }
    ExplorerModel model;
    model.SetXShift(50);
    model.SetYShift(0);
    EXPECT_EQ(model.Fields().XShiftEdit1, "0.5%");
    EXPECT_EQ(model.Fields().YShiftTrackBar2Position, 0);
    EXPECT_EQ(model.Fields().YShiftEdit1, "0%");
    // Positions from files are held within the track bar's range.
    model.SetXShift(500);
    model.SetYShift(-2);
    EXPECT_EQ(model.Fields().XShiftTrackBar1Position, 100);
    EXPECT_EQ(model.Fields().XShiftEdit1, "1%");
    EXPECT_EQ(model.Fields().YShiftTrackBar2Position, 0);
}

TEST(SamplingTest, ShiftedLinesPerMethod) {
    const LineEnds ends{-1.8, -1.19, 0.59, 1.2};
    const double dx = 2.4 * 1 * 0.0001; // RangeX 2.4 at dX 1
    const double dy = 2.4 * 3 * 0.0001;
    const int n = 7;
    const auto parallel = SamplePoints(ends, dx, dy, MethodParallel, n);
    EXPECT_NEAR(dx, 0.00024, 1e-18);
    EXPECT_NEAR(parallel[15][0].x, -1.8 + 0.0036, 1e-12);
    EXPECT_NEAR(parallel[15][0].y, -1.19 + 15 * dy, 1e-12);
    EXPECT_NEAR(parallel[15][n - 1].x, 0.59 + 0.0036, 1e-12);
    EXPECT_EQ(parallel[0][0].x, -1.8); // part 0 is the drawn line

    const auto radiational = SamplePoints(ends, dx, dy, MethodRadiational, n);
    const auto convergence = SamplePoints(ends, dx, dy, MethodConvergence, n);
    for (int k = 0; k < PartCount; ++k) {
        EXPECT_EQ(radiational[k][0].x, ends.StartX) << k;
        EXPECT_EQ(radiational[k][0].y, ends.StartY) << k;
        EXPECT_NEAR(radiational[k][n - 1].x, ends.EndX + k * dx, 1e-12) << k;
        EXPECT_NEAR(convergence[k][0].x, ends.StartX + k * dx, 1e-12) << k;
        EXPECT_NEAR(convergence[k][n - 1].x, ends.EndX, 1e-12) << k;
        EXPECT_NEAR(convergence[k][n - 1].y, ends.EndY, 1e-12) << k;
    }
}

TEST(SamplingTest, ComposeRowsFollowTheShiftsAndTheMethod) {
    ExplorerModel model = Started();
    // Across the edge of the set, where neighbouring points differ.
    DrawLine(model, 20, 120, 200, 60);
    model.Fields().Iteration = "1000";
    model.SetXShift(100);
    model.SetYShift(100);
    const int n = 40;

    model.Fields().PolyphonicMethodIndex = MethodRadiational;
    model.Compose(n);
    EXPECT_EQ(model.Engine().GetLimit(), 1000);
    bool anyDiffers = false;
    for (int k = 1; k < PartCount; ++k) {
        EXPECT_EQ(model.Series().At(k, 0), model.Series().At(0, 0)) << k;
        for (int i = 0; i < n; ++i) {
            anyDiffers = anyDiffers || model.Series().At(k, i) != model.Series().At(0, i);
        }
    }
    EXPECT_TRUE(anyDiffers);

    model.SetXShift(0);
    model.SetYShift(0);
    model.Fields().PolyphonicMethodIndex = MethodParallel;
    model.Compose(n);
    for (int k = 1; k < PartCount; ++k) {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(model.Series().At(k, i), model.Series().At(0, i)) << k << ", " << i;
        }
    }
}

TEST(SamplingTest, WhiteNoiseRowsDifferEvenWithoutShift) {
    ExplorerModel model = Started();
    model.SelectFormula(4);
    DrawLine(model, 0, 0, 239, 239);
    model.SetXShift(0);
    model.SetYShift(0);
    model.Compose(50);
    int differing = 0;
    for (int i = 0; i < model.Series().Length(); ++i) {
        ASSERT_GE(model.Series().Get(i), 0);
        ASSERT_LT(model.Series().Get(i), 200);
        differing += model.Series().Get(i) != model.Series().At(0, i % 50);
    }
    EXPECT_GT(differing, 500);
}

TEST(SamplingTest, NoteCountBelowTwoIsRefusedBeforeAnythingChanges) {
    ExplorerModel model = Started();
    DrawLine(model, 0, 239, 239, 0);
    model.Compose(4);
    const std::vector<std::int32_t> before = model.Series().Values();
    model.Fields().Iteration = "999";
    for (const int n : {1, 0, -3}) {
        EXPECT_THROW(model.Compose(n), UserError) << n;
        EXPECT_EQ(model.Series().Values(), before) << n;
        EXPECT_EQ(model.Engine().GetLimit(), 200) << n;
    }
    SeriesTable table;
    EXPECT_THROW(SampleFractal(model.Engine(), 240, model.Line(), 0, 0, 0, 1, table), UserError);
    EXPECT_TRUE(table.Empty());
}

TEST(SamplingTest, BadTextsLeaveTheSeriesIntact) {
    ExplorerModel model = Started();
    DrawLine(model, 0, 239, 239, 0);
    model.Compose(4);
    const std::vector<std::int32_t> before = model.Series().Values();
    for (const auto field :
         {&ExplorerFields::RangeX, &ExplorerFields::RangeY, &ExplorerFields::Iteration}) {
        ExplorerModel copy = model;
        copy.Fields().*field = "x";
        EXPECT_THROW(copy.Compose(8), ConvertError);
        EXPECT_EQ(copy.Series().Values(), before);
    }
}

// A 480 x 480 picture whose red byte is the column / 2 and green the row / 2.
ImageView Gradient(int width = 480, int height = 480) {
    return {width, height, [](int x, int y) { return Rgb(x / 2, y / 2, 7); }};
}

TEST(SamplingTest, ImageModeLineTextsAreBitmapPixels) {
    ExplorerModel model = Started();
    model.EnterImageMode(Gradient());
    DrawLine(model, 10, 20, 100, 200);
    EXPECT_EQ(CalcRange(model.Fields()), (std::vector<std::string>{"20", "40", "200", "400"}));
    EXPECT_TRUE(model.Fields().ComposeEnabled);
    // The release point is clamped into the picture.
    model.ReleasePicture(300, -5);
    EXPECT_EQ(model.Fields().EndX, "478");
    EXPECT_EQ(model.Fields().EndY, "0");
    EXPECT_EQ(model.Fields().StartX, "20");
}

TEST(SamplingTest, ImageModeSamplesThreeTimesTheRedByte) {
    const ImageView grey{4, 4, [](int, int) { return Rgb(128, 128, 128); }};
    EXPECT_EQ(ImageSample(grey, 1.9, 3.99), 384);
    EXPECT_EQ(ImageSample(grey, -0.5, 0.0), 384); // truncated toward zero: column 0
    EXPECT_EQ(ImageSample(grey, -1.0, 0.0), 765);
    EXPECT_EQ(ImageSample(grey, 4.0, 0.0), 765);
    EXPECT_EQ(ImageSample(grey, 0.0, 1e300), 765);

    ExplorerModel model = Started();
    model.EnterImageMode(Gradient());
    model.Fields().StartX = "0";
    model.Fields().StartY = "10";
    model.Fields().EndX = "400";
    model.Fields().EndY = "10";
    model.SetXShift(100); // 4.8 bitmap pixels per part
    model.SetYShift(0);
    model.Compose(5);
    EXPECT_EQ(model.Engine().GetLimit(), ImageSampleLimit);
    // Columns 0, 100, ..., 400: red = column / 2.
    const int part0[] = {0, 150, 300, 450, 600};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(model.Series().At(0, i), part0[i]) << i;
    }
    // Part 15 starts at column 72 and ends at 472.
    EXPECT_EQ(model.Series().At(15, 0), 3 * 36);
    EXPECT_EQ(model.Series().At(15, 4), 3 * 236);
    // Off the bitmap: the invalid colour.
    model.Fields().EndX = "600";
    model.Compose(5);
    EXPECT_EQ(model.Series().At(0, 4), 765);
}

TEST(SamplingTest, ImageModeBadTextLeavesThePreviousSeries) {
    ExplorerModel model = Started();
    model.EnterImageMode(Gradient());
    DrawLine(model, 10, 20, 100, 200);
    model.Compose(6);
    const std::vector<std::int32_t> before = model.Series().Values();
    model.Fields().EndY = "400.5"; // image mode reads integers
    EXPECT_THROW(model.Compose(9), ConvertError);
    EXPECT_EQ(model.Series().Values(), before);
}

} // namespace
// A song of few notes per part cannot keep every core busy: the estimate
// counts its samples at the cores its units of SampleUnitNotes notes fill,
// and its picture and its per-sample costs as before.
TEST(SamplingTest, FewNotesPerPartAreWeighedAtTheCoresTheyKeepBusy) {
    const ComposeSpeed speed{1e9, 1e-3, 4};
    struct Case {
        int notes;
        long long pixels;
        double seconds;
    };
    // 16 x notes samples at a million iterations: notes x 16 ms on every core.
    for (const Case& c : {Case{2, 0, 0.128 + 0.032}, Case{16, 0, 1.024 + 0.256},
                          Case{32, 0, 1.024 + 0.512}, Case{64, 0, 1.024 + 1.024},
                          Case{6400, 0, 102.4 + 102.4}, Case{16, 57600, 1.024 + 57.6 + 0.256}}) {
        SCOPED_TRACE(c.notes);
        EXPECT_NEAR(EstimatedSeconds(speed, 16LL * c.notes, c.pixels, 1000000), c.seconds, 1e-9);
    }
}

// A line between the same plane points gives the same texts and the same
// series, value for value, whatever the picture's size and pixel ratio, in a
// view set at that size or enlarged to it afterwards.
TEST(SamplingTest, SeriesDoNotDependOnThePictureSize) {
    // The line drawn with the mouse at the size, drawn at 240 and enlarged,
    // or set from a song file's design pixels.
    enum class Way { Drawn, Resized, Song };
    struct Case {
        int size;
        int ratio;
        Way way;
    };
    const Case cases[] = {{240, 1, Way::Drawn},   {480, 1, Way::Drawn}, {720, 1, Way::Drawn},
                          {240, 2, Way::Drawn},   {480, 2, Way::Drawn}, {480, 1, Way::Resized},
                          {720, 2, Way::Resized}, {720, 1, Way::Song},  {480, 2, Way::Song}};
    // Ends in pixels of the 240 picture, in a view zoomed in from the start
    // view; the shift and the method are not the defaults.
    const LinePoints ends{17, 203, 229, 31};
    std::vector<std::int32_t> first;
    std::vector<std::string> firstTexts;
    for (const Case& c : cases) {
        ExplorerModel model;
        const int shownAt = c.way == Way::Resized ? 240 : c.size;
        model.SetPictureSize(shownAt, shownAt, c.way == Way::Resized ? 1 : c.ratio);
        model.ZoomIn();
        const auto at = [&](int v) { return v * shownAt / 240; };
        model.Fields().SizeableRectShape1 = {at(40), at(70), at(90), at(90)};
        model.ZoomRectangleReleased();
        model.ZoomIn();
        model.Fields().PolyphonicMethodIndex = MethodRadiational;
        model.SetXShift(7);
        if (c.way == Way::Song) {
            model.SetLine(ends);
        } else {
            DrawLine(model, at(ends.LineStartX), at(ends.LineStartY), at(ends.LineEndX),
                     at(ends.LineEndY));
        }
        if (c.way == Way::Resized) {
            model.ResizePicture(c.size, c.ratio);
        }
        ASSERT_EQ(model.Image().Width(), c.size * c.ratio);
        ASSERT_EQ(model.PictureSize(), c.size);
        const LinePoints kept = model.DesignLine();
        EXPECT_EQ(
            std::vector<int>({kept.LineStartX, kept.LineStartY, kept.LineEndX, kept.LineEndY}),
            std::vector<int>({17, 203, 229, 31}));
        model.Compose(40);
        const std::vector<std::int32_t> values = model.Series().Values();
        if (first.empty()) {
            first = values;
            firstTexts = CalcRange(model.Fields());
            continue;
        }
        EXPECT_EQ(values, first) << c.size << " x" << c.ratio;
        if (c.way != Way::Song) {
            EXPECT_EQ(CalcRange(model.Fields()), firstTexts) << c.size << " x" << c.ratio;
        }
    }
    ASSERT_EQ(first.size(), 16u * 40u);
    EXPECT_GT(std::set<std::int32_t>(first.begin(), first.end()).size(), 5u);
}

} // namespace sorvelin
