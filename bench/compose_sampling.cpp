// Compose's sampling and "Draw Now!" for every formula with a loop, against
// the plain loop measured in the same run: one thread, one point at a time,
// the sixteen lines sampled in order. Printed: iterations per second, the
// ratios, and the load average beside them (the machine is shared, so only
// ratios from one run compare).
#include "explorer/ParallelFor.h"
#include "explorer/Renderer.h"
#include "explorer/Sampling.h"
#include "fractal/EscapeBatch.h"
#include "fractal/Iteration.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace sorvelin {
namespace {

constexpr int Size = 240;

struct Song {
    const char* name;
    int notes;
    int limit;
    LinePoints line; // overlay pixels of the start-up view
};

// The heavy song: 16 x 2,000 values at limit 20,000 on a line across the
// set; and the start-up song: the program's default note count and limit.
const Song Songs[] = {
    {"heavy", 2000, 20000, {10, 125, 200, 110}},
    {"startup", 200, 200, {10, 125, 200, 110}},
};

FractalIterator EngineFor(int formula, int limit) {
    FractalIterator engine;
    engine.SetViewSize(Size, Size);
    engine.SetWindow(-1.8, -1.2, 2.4, 2.4);
    engine.SetLimit(limit);
    engine.SelectFormula(formula);
    return engine;
}

double Seconds(const std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Loop steps behind a count: n + 1 for a point that escaped at step n.
double Steps(const std::vector<std::int32_t>& counts, int limit) {
    double steps = 0;
    for (const std::int32_t n : counts) {
        steps += n < limit ? n + 1 : n;
    }
    return steps;
}

// The best of many runs (at least five, and for at least a third of a
// second), so one descheduling does not decide the figure and a job of
// microseconds is timed as often as a long one needs.
template <typename Work> double BestSeconds(Work work) {
    double best = 1e300;
    double spent = 0;
    for (int run = 0; run < 5 || spent < 0.3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const double took = Seconds(start);
        best = std::min(best, took);
        spent += took;
    }
    return best;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void Report(const char* what, int formula, double steps, double plain, double one, double fast,
            bool same) {
    std::printf("  %-9s formula %d: plain %8.3f ms %5.0f M iter/s | 1 thread %8.3f ms %5.2fx | "
                "all threads %8.3f ms %5.0f M iter/s %5.2fx%s\n",
                what, formula, plain * 1e3, steps / plain / 1e6, one * 1e3, plain / one, fast * 1e3,
                steps / fast / 1e6, plain / fast, same ? "" : "  VALUES DIFFER");
}

} // namespace
} // namespace sorvelin

int main() {
    using namespace sorvelin;
    std::printf("load average before: %s; %d threads; vector loop: %s\n", LoadAverage().c_str(),
                ThreadCountFor(0),
                !EscapeBatchVectorised() ? "none"
                : EscapeBatchWide()      ? "AVX2 with AVX-512 registers"
                                         : "AVX2");
    const double dx = 2.4 * 0.0001;
    const double dy = 2.4 * 0.0001;
    for (const Song& song : Songs) {
        std::printf("Compose, %s song (16 x %d at limit %d):\n", song.name, song.notes, song.limit);
        for (const int formula : {0, 1, 2, 3, 5, 6}) {
            FractalIterator plainEngine = EngineFor(formula, song.limit);
            plainEngine.SetOnePointOnly(true);
            std::vector<std::int32_t> plain(static_cast<std::size_t>(PartCount) * song.notes);
            const LineEnds ends = PlaneLineEnds(plainEngine, Size, song.line);
            const double plainTime = BestSeconds([&] {
                ForEachSamplePoint(ends, dx, dy, MethodParallel, song.notes,
                                   [&](int k, int i, double x, double y) {
                                       plain[static_cast<std::size_t>(k * song.notes + i)] =
                                           plainEngine.Evaluate(x, y);
                                   });
            });
            const FractalIterator engine = EngineFor(formula, song.limit);
            SeriesTable series;
            const auto sampleOn = [&](int threads) {
                return BestSeconds([&] {
                    SampleFractal(engine, Size, song.line, dx, dy, MethodParallel, song.notes,
                                  series, {threads});
                });
            };
            const double oneTime = sampleOn(1);
            bool same = series.Values() == plain;
            const double fastTime = sampleOn(0);
            same = same && series.Values() == plain;
            Report("compose", formula, Steps(plain, song.limit), plainTime, oneTime, fastTime,
                   same);
        }
    }
    constexpr int DrawLimit = 2000;
    std::printf("Draw Now, start-up view at limit %d:\n", DrawLimit);
    for (const int formula : {0, 1, 2, 3, 5, 6}) {
        FractalIterator plainEngine = EngineFor(formula, DrawLimit);
        plainEngine.SetOnePointOnly(true);
        std::vector<std::int32_t> plain(Size * Size);
        const double plainTime = BestSeconds([&] {
            for (int py = 0; py < Size; ++py) {
                for (int px = 0; px < Size; ++px) {
                    plain[static_cast<std::size_t>(py * Size + px)] =
                        plainEngine.EvaluatePixel(px, py);
                }
            }
        });
        const FractalIterator engine = EngineFor(formula, DrawLimit);
        Renderer renderer(Size, Size);
        bool same = true;
        const auto drawOn = [&](int threads) {
            const double seconds = BestSeconds([&] {
                renderer.RestartRendering();
                renderer.DrawNow(engine, threads);
            });
            for (int py = 0; py < Size && same; ++py) {
                for (int px = 0; px < Size; ++px) {
                    same =
                        same && renderer.Image().Row(Size - 1 - py)[px] ==
                                    ColourOfCount(plain[static_cast<std::size_t>(py * Size + px)]);
                }
            }
            return seconds;
        };
        const double oneTime = drawOn(1);
        const double fastTime = drawOn(0);
        Report("draw now", formula, Steps(plain, DrawLimit), plainTime, oneTime, fastTime, same);
    }
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return 0;
}
