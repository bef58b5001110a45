// The samplers on several threads, the worker and its cancellation: also run
// under ThreadSanitizer.
#include "base/LongWork.h"
#include "base/ParallelFor.h"
#include "explorer/ExplorerModel.h"
#include "explorer/Sampling.h"
#include "fractal/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
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
    model.PressPicture(140, 115);
    model.DragOnPicture(165, 125);
    model.ReleasePicture(165, 125);
    model.Compose(50);
    const std::vector<std::int32_t> before = model.Series().Values();
    const int limit = model.Engine().GetLimit();
    model.Fields().Iteration = "2000000000";

    const auto start = std::chrono::steady_clock::now();
    BackgroundWork work([&model](WorkProgress& progress) { model.Compose(50, &progress); });
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

// The shared helper threads: every index runs exactly once whoever calls
// (several callers at once, calls from inside the work, work too short to
// call in a helper, work long enough that helpers join), and an error in the
// work reaches the caller and leaves the helpers free for the next call.
TEST(ParallelSampling, ParallelForRunsEveryIndexOnceForEveryCaller) {
    struct Case {
        int count;
        int threads;
        int chunk;
        int callers;
        int inner;      // indices of a call made from inside each index's work
        int failAt;     // the index whose work throws, -1 for none
        int busyMicros; // the time each index's work takes
    };
    for (const Case& c :
         {Case{0, 2, 1, 1, 0, -1, 0}, Case{500, 2, 3, 1, 0, 137, 2}, Case{1, 2, 1, 1, 0, -1, 0},
          Case{1000, 2, 7, 1, 0, -1, 20}, Case{3000, 4, 1, 3, 0, -1, 1},
          Case{200, 3, 1, 2, 5, -1, 0}, Case{200, 3, 1, 2, 5, -1, 5}}) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << " callers " << c.callers
                                        << " inner " << c.inner << " fail at " << c.failAt);
        std::vector<std::vector<std::atomic<int>>> visits(static_cast<std::size_t>(c.callers));
        std::atomic<int> innerVisits{0};
        std::atomic<int> failures{0};
        std::atomic<int> byHelpers{0};
        const auto call = [&](int caller) {
            auto& mine = visits[static_cast<std::size_t>(caller)];
            const std::thread::id callerThread = std::this_thread::get_id();
            mine = std::vector<std::atomic<int>>(static_cast<std::size_t>(c.count));
            try {
                ParallelFor(c.count, c.threads, c.chunk, [&](int i) {
                    if (i == c.failAt) {
                        throw std::runtime_error("broken");
                    }
                    const auto until =
                        std::chrono::steady_clock::now() + std::chrono::microseconds(c.busyMicros);
                    while (std::chrono::steady_clock::now() < until) {
                    }
                    ++mine[static_cast<std::size_t>(i)];
                    byHelpers += std::this_thread::get_id() != callerThread;
                    ParallelFor(c.inner, 2, 1, [&](int) { ++innerVisits; });
                });
            } catch (const std::runtime_error&) {
                ++failures;
            }
        };
        std::vector<std::thread> others;
        for (int caller = 1; caller < c.callers; ++caller) {
            others.emplace_back(call, caller);
        }
        call(0);
        for (std::thread& other : others) {
            other.join();
        }
        if (c.failAt >= 0) {
            EXPECT_EQ(failures.load(), c.callers);
            continue;
        }
        EXPECT_EQ(failures.load(), 0);
        EXPECT_EQ(innerVisits.load(), c.callers * c.count * c.inner);
        // 20 ms of work: a helper joins even on a busy machine.
        if (c.busyMicros >= 20) {
            EXPECT_GT(byHelpers.load(), 0);
        }
        for (const auto& mine : visits) {
            for (const std::atomic<int>& v : mine) {
                ASSERT_EQ(v.load(), 1);
            }
        }
    }
}

// In pieces: the calling thread's pieces run in order from 0 and are told
// where they end before any helper starts, so that what the helpers start
// from can be prepared then; every index runs in exactly one piece.
TEST(ParallelSampling, ParallelForPiecesPreparesTheHelpersOnceBeforeTheyStart) {
    for (const int busyMicros : {0, 20}) { // for each index
        constexpr int Count = 1000;
        constexpr int Chunk = 3;
        std::mutex lock;
        std::vector<int> visits(Count);
        int prepared = -1;
        int calls = 0;
        int callerEnd = 0; // where the caller's pieces before the helpers end
        bool helped = false;
        const std::thread::id caller = std::this_thread::get_id();
        ParallelForPieces(
            Count, 2, Chunk,
            [&](int done) {
                const std::lock_guard<std::mutex> hold(lock);
                ++calls;
                prepared = done;
            },
            [&](int first, int last) {
                const auto until = std::chrono::steady_clock::now() +
                                   std::chrono::microseconds(busyMicros * (last - first));
                while (std::chrono::steady_clock::now() < until) {
                }
                const std::lock_guard<std::mutex> hold(lock);
                if (prepared < 0) {
                    ASSERT_EQ(std::this_thread::get_id(), caller);
                    ASSERT_EQ(first, callerEnd);
                    ASSERT_LE(last - first, Chunk);
                    callerEnd = last;
                } else {
                    ASSERT_GE(first, prepared);
                    helped = helped || std::this_thread::get_id() != caller;
                }
                for (int i = first; i < last; ++i) {
                    ++visits[static_cast<std::size_t>(i)];
                }
            });
        EXPECT_LE(calls, 1);
        if (calls == 1) {
            EXPECT_EQ(prepared, callerEnd);
        }
        // 20 ms of work: a helper joins even on a busy machine.
        if (busyMicros > 0) {
            EXPECT_TRUE(helped);
        }
        EXPECT_EQ(std::count(visits.begin(), visits.end(), 1), Count);
    }
}

} // namespace
} // namespace sorvelin
