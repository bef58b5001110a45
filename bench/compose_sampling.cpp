// Compose's sampling and "Draw Now!" for every formula with a loop, against
// the plain loop measured in the same run: one thread, one point at a time,
// the sixteen lines sampled in order. Printed: iterations per second, the
// ratios, and the load average beside them (the machine is shared, so only
// ratios from one run compare).
#include "base/ParallelFor.h"
#include "explorer/Renderer.h"
#include "explorer/Sampling.h"
#include "fractal/EscapeBatch.h"
#include "fractal/Iteration.h"

#include <array>
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

// The best of many runs of each of several jobs, taken in turns: five
// rounds, in each of which every job runs at least once and for at least a
// sixteenth of a second. So one descheduling does not decide a figure, a job
// of microseconds is timed as often as it needs, and the jobs compared see
// the same moods of the machine (its speed changes from second to second).
template <typename... Work> std::array<double, sizeof...(Work)> BestSeconds(Work... work) {
    std::array<double, sizeof...(Work)> best;
    best.fill(1e300);
    for (int round = 0; round < 5; ++round) {
        std::size_t job = 0;
        const auto timeOne = [&](auto& one) {
            double spent = 0;
            do {
                const auto start = std::chrono::steady_clock::now();
                one();
                const double took = Seconds(start);
                best[job] = std::min(best[job], took);
                spent += took;
            } while (spent < 1.0 / 16);
            ++job;
        };
        (timeOne(work), ...);
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
            const FractalIterator engine = EngineFor(formula, song.limit);
            SeriesTable one;
            SeriesTable all;
            const auto sampleOn = [&](int threads, SeriesTable& series) {
                return [&, threads] {
                    SampleFractal(engine, Size, song.line, dx, dy, MethodParallel, song.notes,
                                  series, {threads});
                };
            };
            const auto [plainTime, oneTime, fastTime] = BestSeconds(
                [&] {
                    ForEachSamplePoint(ends, dx, dy, MethodParallel, song.notes,
                                       [&](int k, int i, double x, double y) {
                                           plain[static_cast<std::size_t>(k * song.notes + i)] =
                                               plainEngine.Evaluate(x, y);
                                       });
                },
                sampleOn(1, one), sampleOn(0, all));
            const bool same = one.Values() == plain && all.Values() == plain;
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
        const FractalIterator engine = EngineFor(formula, DrawLimit);
        Renderer one(Size, Size);
        Renderer all(Size, Size);
        const auto drawOn = [&](int threads, Renderer& renderer) {
            return [&, threads] {
                renderer.RestartRendering();
                renderer.DrawNow(engine, threads);
            };
        };
        const auto [plainTime, oneTime, fastTime] = BestSeconds(
            [&] {
                for (int py = 0; py < Size; ++py) {
                    for (int px = 0; px < Size; ++px) {
                        plain[static_cast<std::size_t>(py * Size + px)] =
                            plainEngine.EvaluatePixel(px, py);
                    }
                }
            },
            drawOn(1, one), drawOn(0, all));
        bool same = true;
        for (const Renderer* renderer : {&one, &all}) {
            for (int py = 0; py < Size && same; ++py) {
                for (int px = 0; px < Size; ++px) {
                    same =
                        same && renderer->Image().Row(Size - 1 - py)[px] ==
                                    ColourOfCount(plain[static_cast<std::size_t>(py * Size + px)]);
                }
            }
        }
        Report("draw now", formula, Steps(plain, DrawLimit), plainTime, oneTime, fastTime, same);
    }
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return 0;
}
