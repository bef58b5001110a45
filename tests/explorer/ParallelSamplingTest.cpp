// The samplers on several threads, the worker and its cancellation: also run
// under ThreadSanitizer.
#include "explorer/ExplorerModel.h"
#include "explorer/Sampling.h"
#include "fractal/Random.h"
#include "platform/LongWork.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace sorvelin {
namespace {

// The one-thread, one-point sampler in ForEachSamplePoint's order.
template <typename Value>
std::vector<std::int32_t> PlainSeries(const LineEnds& ends, double dx, double dy, int method, int n,
                                      Value value) {
    std::vector<std::int32_t> series(static_cast<std::size_t>(PartCount) * n);
    ForEachSamplePoint(ends, dx, dy, method, n, [&](int k, int i, double x, double y) {
        series[static_cast<std::size_t>(k) * n + i] = value(x, y);
    });
    return series;
}

// Every value equals the plain sampler's, for every method, at note counts
// around the block size and on one to three threads; White Noise keeps the
// order of its draws.
TEST(ParallelSampling, SeriesEqualThePlainSamplerValueForValue) {
    FractalIterator engine;
    engine.SetViewSize(240, 240);
    engine.SetWindow(-1.8, -1.2, 2.4, 2.4);
    engine.SetLimit(300);
    FractalIterator plain = engine;
    plain.SetOnePointOnly(true);
    const LinePoints line{10, 200, 230, 40};
    const LineEnds ends = PlaneLineEnds(engine, 240, line);
    const ImageView image{97, 61, [](int x, int y) { return Pixel((x * 7 + y * 3) % 256) << 16; }};
    const LineEnds imageEnds{-5.0, 3.5, 120.25, 50.0};
    for (const int formula : {0, 1, 3, WhiteNoiseFormula}) {
        engine.SelectFormula(formula);
        plain.SelectFormula(formula);
        for (const int method : {MethodParallel, MethodRadiational, MethodConvergence}) {
            for (const int n : {2, 255, 256, 257, 700}) {
                for (const int threads : {1, 2, 3}) {
                    SCOPED_TRACE(testing::Message() << "formula " << formula << " method " << method
                                                    << " notes " << n << " threads " << threads);
                    SeedRandom(99);
                    const auto want =
                        PlainSeries(ends, 0.01, -0.02, method, n,
                                    [&](double x, double y) { return plain.Evaluate(x, y); });
                    SeedRandom(99);
                    SeriesTable got;
                    SampleFractal(engine, 240, line, 0.01, -0.02, method, n, got, {threads});
                    ASSERT_EQ(got.Values(), want);
                    if (formula != 0) {
                        continue;
                    }
                    SampleImage(image, imageEnds, 0.7, 2.5, method, n, got, {threads});
                    ASSERT_EQ(got.Values(),
                              PlainSeries(imageEnds, 0.7, 2.5, method, n, [&](double x, double y) {
                                  return ImageSample(image, x, y);
                              }));
                }
            }
        }
    }
}

// A Compose cancelled on its worker ends within moments although its limit
// would take hours, and leaves the series and the limit as they were.
TEST(ParallelSampling, CancelledComposeLeavesTheModelAsItWas) {
    ExplorerModel model;
    model.ZoomIn();
    // Across the main cardioid, where every point runs to the limit.
    model.Image2MouseDown(140, 115);
    model.Image2MouseMove(165, 125);
    model.Image2MouseUp(165, 125);
    model.ComposeClick(50);
    const std::vector<std::int32_t> before = model.Series().Values();
    const int limit = model.Engine().GetLimit();
    model.Fields().Iteration = "2000000000";

    const auto start = std::chrono::steady_clock::now();
    BackgroundWork work([&model](WorkProgress& progress) { model.ComposeClick(50, &progress); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(work.Done());
    EXPECT_LT(work.Progress().Fraction(), 1.0);
    work.Cancel();
    EXPECT_THROW(work.Finish(), WorkCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(model.Series().Values(), before);
    EXPECT_EQ(model.Engine().GetLimit(), limit);
}

// The runner without windows says nothing about quick work, reports long
// work with a last report at its end, and passes the work's error on.
TEST(ParallelSampling, ReportingRunnerReportsOnlyLongWork) {
    using std::chrono::milliseconds;
    struct Case {
        int workMs;
        bool fails;
        bool reports;
    };
    for (const Case& c : {Case{0, false, false}, Case{300, false, true}, Case{300, true, true}}) {
        std::vector<bool> lasts;
        const auto run = [&] {
            RunReporting(
                [&c](WorkProgress& progress) {
                    progress.SetTotal(2);
                    progress.Advance(1);
                    std::this_thread::sleep_for(milliseconds(c.workMs));
                    if (c.fails) {
                        throw std::runtime_error("broken");
                    }
                },
                milliseconds(50), milliseconds(10),
                [&lasts](double fraction, bool last) {
                    EXPECT_EQ(fraction, 0.5);
                    lasts.push_back(last);
                });
        };
        if (c.fails) {
            EXPECT_THROW(run(), std::runtime_error);
        } else {
            EXPECT_NO_THROW(run());
        }
        EXPECT_EQ(!lasts.empty(), c.reports);
        if (c.reports) {
            EXPECT_TRUE(lasts.back());
            EXPECT_FALSE(lasts.front());
        }
    }
}

} // namespace
} // namespace sorvelin
