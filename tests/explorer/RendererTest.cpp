#include "explorer/Renderer.h"
#include "explorer/ExplorerModel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

namespace sorvelin {
namespace {

using Clock = std::chrono::steady_clock;

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
    EXPECT_FALSE(renderer.Advance(engine));
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
    edited.FinishPicture();
    shown = edited;
    EXPECT_EQ(shown.Image().Bits(), bits);
    EXPECT_EQ(Pixels(shown.Image()), Pixels(edited.Image()));
    shown = ExplorerModel{};
    EXPECT_EQ(shown.Image().Bits(), bits);
}

TEST(RendererTest, ImageModeLeavesThePictureAlone) {
    ExplorerModel model;
    model.ZoomIn();
    model.AdvancePicture();
    const std::vector<Pixel> before = Pixels(model.Image());
    model.EnterImageMode({480, 360, [](int, int) { return Rgb(1, 2, 3); }});
    EXPECT_FALSE(model.AdvancePicture());
    EXPECT_FALSE(model.DrawNow());
    model.Fields().AlwaysChecked = true;
    model.PanLeft();
    model.Redraw();
    EXPECT_EQ(Pixels(model.Image()), before);
    // Leaving it (a formula change) draws the fractal again.
    model.SelectFormula(0);
    model.FinishPicture();
    EXPECT_EQ(Pixels(model.Image()), PlainPicture(model.Engine()));
}

// The picture computed on worker threads: the same pixels as the plain loop,
// the passes' order, and work that stops at once when it is not wanted.

FractalIterator View(int formula, int limit, double x, double y, double extent, int size = 240) {
    FractalIterator engine;
    engine.SetViewSize(size, size);
    engine.SetWindow(x - extent / 2, y - extent / 2, extent, extent * 0.9);
    engine.SetLimit(limit);
    engine.SelectFormula(formula);
    return engine;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Whatever way the picture is asked for, interrupted or copied on the way,
// it ends as the plain loop draws it.
TEST(PictureWorkTest, WorkerPicturesMatchThePlainLoop) {
    enum class Way { Progressive, DrawNow, CopiedMidway, RestartedMidway };
    struct Case {
        const char* name;
        FractalIterator engine;
        Way way;
        int size;
    };
    const Case cases[] = {
        {"start view", View(0, 200, -0.6, 0.0, 2.4), Way::Progressive, 240},
        {"start view, draw now", View(0, 200, -0.6, 0.0, 2.4), Way::DrawNow, 240},
        {"julia", View(1, 300, 0.0, 0.0, 3.0), Way::Progressive, 240},
        {"cubic, draw now", View(2, 150, 0.1, 0.2, 2.8), Way::DrawNow, 240},
        {"swapped", View(3, 120, -0.5, 0.1, 2.6), Way::Progressive, 240},
        {"logistic", View(5, 90, 0.3, 0.0, 1.5), Way::CopiedMidway, 240},
        {"parabola", View(6, 250, 0.2, -0.1, 2.2), Way::RestartedMidway, 240},
        {"seahorse valley, odd size", View(0, 2000, -0.745, 0.11, 0.02, 100), Way::Progressive,
         100},
        {"seahorse valley, draw now", View(0, 2000, -0.745, 0.11, 0.02, 100), Way::DrawNow, 100},
    };
    for (const Case& c : cases) {
        Renderer renderer(c.size, c.size);
        const FractalIterator& engine = c.engine;
        renderer.RestartRendering();
        if (c.way == Way::DrawNow) {
            ASSERT_TRUE(renderer.RequestDrawNow()) << c.name;
            EXPECT_FALSE(renderer.RequestDrawNow()) << c.name; // once until a restart
        }
        renderer.Advance(engine);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        renderer.Advance(engine);
        if (c.way == Way::RestartedMidway) {
            renderer.RestartRendering();
        } else if (c.way == Way::CopiedMidway) {
            Renderer copy = renderer;
            renderer = Renderer(c.size, c.size);
            renderer = copy;
        }
        renderer.Finish(engine);
        EXPECT_FALSE(renderer.Busy()) << c.name;
        EXPECT_EQ(Pixels(renderer.Image()), PlainPicture(engine, c.size, c.size)) << c.name;
        // Where the passes end: stopped, with "Draw Now!" refused after one.
        const auto end = std::make_tuple(c.size, c.size, c.way == Way::DrawNow ? 0 : 32);
        EXPECT_EQ(std::make_tuple(renderer.ProgressX(), renderer.ProgressY(), renderer.BlockSize()),
                  end)
            << c.name;
    }
}

// On one worker the runs finish in order: every picture the window is shown
// is one the block-by-block renderer passes through, coarse blocks first.
TEST(PictureWorkTest, ShownPicturesFollowThePassesOrder) {
    const FractalIterator engine = View(0, 20000, -0.6, 0.0, 2.4, 64);
    Renderer worked(64, 64);
    worked.SetWorkerThreads(1);
    Renderer single(64, 64);
    worked.RestartRendering();
    single.RestartRendering();
    int shown = 0;
    int lastSize = Renderer::FirstBlockSize;
    while (worked.Advance(engine)) {
        ASSERT_LE(worked.BlockSize(), lastSize);
        lastSize = worked.BlockSize();
        while (single.ProgressX() != worked.ProgressX() ||
               single.ProgressY() != worked.ProgressY() ||
               single.BlockSize() != worked.BlockSize()) {
            ASSERT_FALSE(single.IdleRender(engine));
        }
        ASSERT_EQ(Pixels(single.Image()), Pixels(worked.Image())) << "turn " << shown;
        ++shown;
    }
    EXPECT_GT(shown, 1); // more than one pass was shown on the way
    EXPECT_EQ(Pixels(worked.Image()), PlainPicture(engine, 64, 64));
}

// Inside the set at the largest limit one point takes seconds. The window's
// turns still return at once, a cancel frees the workers for the next
// picture, and the renderer ends (as at Bye) without waiting for a point.
// The bounds are a fraction of one point's time, loose enough for a busy
// machine.
TEST(PictureWorkTest, DeepWorkNeverHoldsTheCallerAndStopsAtOnce) {
    FractalIterator deep = View(0, INT_MAX, -0.1, 0.0, 0.01);
    const FractalIterator shallow = View(0, 50, -0.6, 0.0, 2.4);
    Renderer renderer;
    double longestTurnMs = 0;
    for (const bool drawNow : {false, true}) {
        renderer.RestartRendering();
        if (drawNow) {
            renderer.RequestDrawNow();
        }
        const auto until = Clock::now() + std::chrono::milliseconds(150);
        while (Clock::now() < until) {
            const auto begin = Clock::now();
            EXPECT_TRUE(renderer.Advance(deep));
            longestTurnMs = std::max(longestTurnMs, Ms(Clock::now() - begin));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // A formula change: the deep work in flight gives way.
        deep.SelectFormula(drawNow ? 2 : 0);
        renderer.RestartRendering();
        const auto begin = Clock::now();
        renderer.Finish(shallow);
        EXPECT_LT(Ms(Clock::now() - begin), 2000.0) << "the deep points still ran";
        EXPECT_EQ(Pixels(renderer.Image()), PlainPicture(shallow, 240, 240));
    }
    EXPECT_LT(longestTurnMs, 250.0);

    auto dying = std::make_unique<Renderer>();
    dying->RestartRendering();
    dying->Advance(deep);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto begin = Clock::now();
    dying.reset();
    EXPECT_LT(Ms(Clock::now() - begin), 250.0);
}

} // namespace
} // namespace sorvelin
