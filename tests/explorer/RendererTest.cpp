#include "explorer/Renderer.h"
#include "explorer/ExplorerModel.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace sorvelin {
namespace {

std::vector<Pixel> Pixels(const Picture& p) {
    return {p.Bits(), p.Bits() + static_cast<std::size_t>(p.Width()) * p.Height()};
}

FractalIterator StartView(int formula = 0, int limit = 200) {
    FractalIterator engine;
    engine.SetViewSize(240, 240);
    engine.SetWindow(-1.8, -1.2, 2.4, 2.4);
    engine.SetLimit(limit);
    engine.SelectFormula(formula);
    return engine;
}

// "Draw Now!" as the plain single-threaded loop over plane rows and columns.
std::vector<Pixel> PlainPicture(const FractalIterator& engine, int w = 240, int h = 240) {
    std::vector<Pixel> pixels(static_cast<std::size_t>(w) * h);
    for (int py = 0; py < h; ++py) {
        for (int px = 0; px < w; ++px) {
            pixels[static_cast<std::size_t>(h - 1 - py) * w + px] =
                ColourOfCount(engine.EvaluatePixel(px, py));
        }
    }
    return pixels;
}

TEST(PaletteTest, CountsToColours) {
    const std::pair<int, Pixel> cases[] = {
        {200, Rgb(192, 192, 192)}, {0, Rgb(0, 0, 0)},    {1, Rgb(0, 255, 255)},
        {2, Rgb(0, 0, 255)},       {16, Rgb(0, 0, 0)},   {32, Rgb(0, 0, 0)},
        {256, Rgb(0, 0, 0)},       {13, Rgb(255, 0, 0)}, {765, Rgb(255, 0, 0)},
    };
    for (const auto& [count, colour] : cases) {
        EXPECT_EQ(ColourOfCount(count), colour) << count;
    }
    // In memory: blue, green, red, 0.
    const Pixel cyan = Palette[1];
    const auto* bytes = reinterpret_cast<const unsigned char*>(&cyan);
    EXPECT_EQ(bytes[0], 255);
    EXPECT_EQ(bytes[1], 255);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 0);
}

TEST(RendererTest, ProgressivePassesEvaluate76789BlocksAndStop) {
    const FractalIterator engine = StartView();
    Renderer renderer;
    renderer.RestartRendering();
    long long blocks = 0;
    bool done = false;
    while (!done) {
        done = renderer.IdleRender(engine);
        ++blocks;
    }
    EXPECT_EQ(blocks, 64 + 225 + 900 + 3600 + 14400 + 57600);
    EXPECT_EQ(renderer.BlockSize(), Renderer::FirstBlockSize);
    EXPECT_FALSE(renderer.Rendering());
    const std::vector<Pixel> finished = Pixels(renderer.Image());
    EXPECT_EQ(finished, PlainPicture(engine));
    EXPECT_TRUE(renderer.IdleRender(engine));
    EXPECT_FALSE(renderer.RenderFor(engine, std::chrono::milliseconds(5)));
}

TEST(RendererTest, FirstBlockGrowsUpFromTheBottomLeftAndClipsAtTheTop) {
    const FractalIterator engine = StartView();
    Renderer renderer;
    renderer.RestartRendering();
    renderer.IdleRender(engine);
    const Pixel first = ColourOfCount(engine.EvaluatePixel(0, 0));
    const Picture& p = renderer.Image();
    EXPECT_EQ(p.At(0, 239), first);
    EXPECT_EQ(p.At(31, 208), first);
    EXPECT_EQ(p.At(32, 239), 0u);
    EXPECT_EQ(p.At(0, 207), 0u);
    EXPECT_EQ(renderer.ProgressX(), 32);
    // Run to the last block of the first row of 32-pixel blocks (plane row
    // 224): it covers picture rows 0 .. 15 only.
    while (renderer.ProgressY() < 224 || renderer.ProgressX() < 224) {
        renderer.IdleRender(engine);
    }
    renderer.IdleRender(engine);
    const Pixel top = ColourOfCount(engine.EvaluatePixel(224, 224));
    EXPECT_EQ(p.At(224, 0), top);
    EXPECT_EQ(p.At(239, 15), top);
    EXPECT_EQ(renderer.BlockSize(), 16); // the pass ended
}

TEST(RendererTest, TimeBudgetDrawsTheSameBlocksInTheSameOrder) {
    const FractalIterator engine = StartView(0, 3000);
    Renderer budgeted;
    Renderer single;
    budgeted.RestartRendering();
    single.RestartRendering();
    int calls = 0;
    while (budgeted.RenderFor(engine, std::chrono::milliseconds(3))) {
        ++calls;
        // Bring the one-block renderer to the same place: same picture.
        while (single.ProgressX() != budgeted.ProgressX() ||
               single.ProgressY() != budgeted.ProgressY() ||
               single.BlockSize() != budgeted.BlockSize()) {
            ASSERT_FALSE(single.IdleRender(engine));
        }
        ASSERT_EQ(Pixels(single.Image()), Pixels(budgeted.Image())) << "call " << calls;
    }
    EXPECT_GT(calls, 1);
    while (!single.IdleRender(engine)) {
    }
    EXPECT_EQ(Pixels(single.Image()), Pixels(budgeted.Image()));
}

TEST(RendererTest, EveryTimeBudgetCallDrawsSomethingEvenWhenNothingFits) {
    // A budget too small for any block at this limit, inside the set: each
    // call still draws at least its first block, and the picture comes out
    // as the one-block renderer draws it.
    FractalIterator engine = StartView(0, 5000);
    engine.SetViewSize(64, 64);
    engine.SetWindow(-0.35, -0.15, 0.3, 0.3);
    Renderer budgeted(64, 64);
    Renderer single(64, 64);
    budgeted.RestartRendering();
    single.RestartRendering();
    int calls = 0;
    for (bool more = true; more; ++calls) {
        const auto before =
            std::make_tuple(budgeted.ProgressX(), budgeted.ProgressY(), budgeted.BlockSize());
        more = budgeted.RenderFor(engine, std::chrono::microseconds(1));
        ASSERT_NE(before,
                  std::make_tuple(budgeted.ProgressX(), budgeted.ProgressY(), budgeted.BlockSize()))
            << "call " << calls;
    }
    while (!single.IdleRender(engine)) {
    }
    EXPECT_EQ(Pixels(single.Image()), Pixels(budgeted.Image()));
    EXPECT_GT(calls, 100);
}

TEST(RendererTest, DrawNowOnSeveralThreadsMatchesThePlainLoop) {
    for (const int formula : {0, 1, 2, 3, 5, 6}) {
        FractalIterator engine = StartView(formula, 150);
        engine.SetWindow(-1.9, -1.3, 2.9, 2.5); // not square, not centred
        const std::vector<Pixel> plain = PlainPicture(engine);
        for (const int threads : {1, 2, 3, 7}) {
            Renderer renderer;
            renderer.RestartRendering();
            ASSERT_TRUE(renderer.DrawNow(engine, threads));
            EXPECT_EQ(Pixels(renderer.Image()), plain)
                << "formula " << formula << ", " << threads << " threads";
        }
    }
}

TEST(RendererTest, DrawNowOnceUntilTheNextRestart) {
    const FractalIterator engine = StartView();
    Renderer renderer;
    renderer.RestartRendering();
    renderer.IdleRender(engine);
    ASSERT_TRUE(renderer.DrawNow(engine));
    EXPECT_EQ(renderer.BlockSize(), 0);
    EXPECT_EQ(renderer.ProgressX(), 240);
    EXPECT_EQ(renderer.ProgressY(), 240);
    // Top-left shows plane row 239, bottom-left plane row 0.
    EXPECT_EQ(renderer.Image().At(0, 0), ColourOfCount(engine.EvaluatePixel(0, 239)));
    EXPECT_EQ(renderer.Image().At(0, 239), ColourOfCount(engine.EvaluatePixel(0, 0)));
    EXPECT_TRUE(renderer.IdleRender(engine));

    Renderer fresh = renderer;
    const FractalIterator other = StartView(2);
    EXPECT_FALSE(renderer.DrawNow(other));
    EXPECT_EQ(Pixels(renderer.Image()), Pixels(fresh.Image()));
    renderer.RestartRendering();
    EXPECT_TRUE(renderer.DrawNow(other));
    EXPECT_EQ(Pixels(renderer.Image()), PlainPicture(other));
}

TEST(RendererTest, SidewaysPanPreviewMovesTheHalfThatStaysInView) {
    const FractalIterator engine = StartView();
    Renderer renderer;
    renderer.RestartRendering();
    renderer.DrawNow(engine);
    const Picture before = renderer.Image();
    renderer.ShiftHalf(true);
    for (const int y : {0, 100, 239}) {
        for (const int x : {0, 60, 119}) {
            EXPECT_EQ(renderer.Image().At(x + 120, y), before.At(x, y));
            EXPECT_EQ(renderer.Image().At(x, y), before.At(x, y));
        }
    }
    renderer.ShiftHalf(false);
    EXPECT_EQ(renderer.Image().At(5, 5), before.At(5, 5));
}

// The window shows the model's buffer in place; replacing the whole model by
// an edited copy (as loading a song does) must not move it.
TEST(RendererTest, AssignedModelKeepsItsPictureBuffer) {
    ExplorerModel shown;
    shown.ZoomIn();
    const Pixel* bits = shown.Image().Bits();
    ExplorerModel edited = shown;
    edited.PanUp();
    edited.DrawNow();
    shown = edited;
    EXPECT_EQ(shown.Image().Bits(), bits);
    EXPECT_EQ(Pixels(shown.Image()), Pixels(edited.Image()));
    shown = ExplorerModel{};
    EXPECT_EQ(shown.Image().Bits(), bits);
}

TEST(RendererTest, ImageModeLeavesThePictureAlone) {
    ExplorerModel model;
    model.ZoomIn();
    model.RenderFor(std::chrono::milliseconds(1));
    const std::vector<Pixel> before = Pixels(model.Image());
    model.EnterImageMode({480, 360, [](int, int) { return Rgb(1, 2, 3); }});
    EXPECT_TRUE(model.IdleRender());
    EXPECT_FALSE(model.RenderFor(std::chrono::milliseconds(50)));
    EXPECT_FALSE(model.DrawNow());
    model.Fields().AlwaysChecked = true;
    model.PanLeft();
    model.Redraw();
    EXPECT_EQ(Pixels(model.Image()), before);
    // Leaving it (a formula change) draws the fractal again.
    model.SelectFormula(0);
    EXPECT_EQ(Pixels(model.Image()), PlainPicture(model.Engine()));
}

} // namespace
} // namespace sorvelin
