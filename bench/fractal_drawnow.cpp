// Speed of the explorer's renderers. The baseline is the plain loop: one
// thread, one EvaluatePixel call per pixel, the colour written to a buffer.
// Printed at the end: iterations per second and the ratios against it.
#include "explorer/Renderer.h"
#include "fractal/EscapeBatch.h"
#include "fractal/Iteration.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace sorvelin {
namespace {

constexpr int Size = 240;

struct Scene {
    const char* name;
    double originX;
    double originY;
    double extent;
    int limit;
};

// The start-up view, and a view inside the main cardioid where every pixel
// runs to the limit.
const Scene Scenes[] = {
    {"startup", -1.8, -1.2, 2.4, 200},
    {"cardioid", -0.35, -0.15, 0.3, 20000},
};

FractalIterator EngineFor(const Scene& s) {
    FractalIterator engine;
    engine.SetViewSize(Size, Size);
    engine.SetWindow(s.originX, s.originY, s.extent, s.extent);
    engine.SetLimit(s.limit);
    return engine;
}

// Loop steps of one full picture: n + 1 for a point that escaped at step n,
// the limit for one that did not.
double StepsPerPicture(const FractalIterator& engine) {
    double steps = 0;
    for (int py = 0; py < Size; ++py) {
        for (int px = 0; px < Size; ++px) {
            const int n = engine.EvaluatePixel(px, py);
            steps += n < engine.GetLimit() ? n + 1 : n;
        }
    }
    return steps;
}

void SetRate(benchmark::State& state, double stepsPerRun) {
    state.counters["iter/s"] = benchmark::Counter(
        stepsPerRun * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void PlainLoop(benchmark::State& state, const Scene* scene) {
    const FractalIterator engine = EngineFor(*scene);
    std::vector<Pixel> pixels(Size * Size);
    for (auto _ : state) {
        for (int py = 0; py < Size; ++py) {
            for (int px = 0; px < Size; ++px) {
                pixels[(Size - 1 - py) * Size + px] = ColourOfCount(engine.EvaluatePixel(px, py));
            }
        }
        benchmark::DoNotOptimize(pixels.data());
    }
    SetRate(state, StepsPerPicture(engine));
}

void DrawNow(benchmark::State& state, const Scene* scene, int threads) {
    const FractalIterator engine = EngineFor(*scene);
    Renderer renderer(Size, Size);
    for (auto _ : state) {
        renderer.RestartRendering();
        renderer.DrawNow(engine, threads);
        benchmark::DoNotOptimize(renderer.Image().Bits());
    }
    SetRate(state, StepsPerPicture(engine));
}

// All six passes on the picture's worker threads, each shown as the window
// shows it; and "Draw Now!" the same way.
void Progressive(benchmark::State& state, const Scene* scene) {
    const FractalIterator engine = EngineFor(*scene);
    Renderer renderer(Size, Size);
    for (auto _ : state) {
        renderer.RestartRendering();
        renderer.Finish(engine);
        benchmark::DoNotOptimize(renderer.Image().Bits());
    }
}

void DrawNowOnWorkers(benchmark::State& state, const Scene* scene) {
    const FractalIterator engine = EngineFor(*scene);
    Renderer renderer(Size, Size);
    for (auto _ : state) {
        renderer.RestartRendering();
        renderer.RequestDrawNow();
        renderer.Finish(engine);
        benchmark::DoNotOptimize(renderer.Image().Bits());
    }
    SetRate(state, StepsPerPicture(engine));
}

// The same passes one block per call.
void ProgressiveOneBlock(benchmark::State& state, const Scene* scene) {
    const FractalIterator engine = EngineFor(*scene);
    Renderer renderer(Size, Size);
    for (auto _ : state) {
        renderer.RestartRendering();
        while (!renderer.IdleRender(engine)) {
        }
        benchmark::DoNotOptimize(renderer.Image().Bits());
    }
}

// Collects the mean time of every run for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                std::string name = run.benchmark_name();
                name = name.substr(0, name.find("/real_time"));
                milliseconds[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> milliseconds;
};

} // namespace
} // namespace sorvelin

int main(int argc, char** argv) {
    using namespace sorvelin;
    for (const Scene& scene : Scenes) {
        const std::string s = scene.name;
        benchmark::RegisterBenchmark(("plain_loop/" + s).c_str(), PlainLoop, &scene)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("draw_now_1_thread/" + s).c_str(), DrawNow, &scene, 1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("draw_now/" + s).c_str(), DrawNow, &scene, 0)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("draw_now_workers/" + s).c_str(), DrawNowOnWorkers, &scene)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("progressive/" + s).c_str(), Progressive, &scene)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("progressive_one_block/" + s).c_str(), ProgressiveOneBlock,
                                     &scene)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    std::printf("rows of every formula but White Noise: %s\n",
                !EscapeBatchVectorised() ? "one point at a time"
                : EscapeBatchWide()      ? "AVX2 with AVX-512 registers"
                                         : "AVX2");
    for (const Scene& scene : Scenes) {
        const FractalIterator engine = EngineFor(scene);
        int atLimit = 0;
        for (int py = 0; py < Size; ++py) {
            for (int px = 0; px < Size; ++px) {
                atLimit += engine.EvaluatePixel(px, py) == scene.limit;
            }
        }
        std::printf("%s: limit %d, %d of %d pixels run to the limit\n", scene.name, scene.limit,
                    atLimit, Size * Size);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios (plain single-threaded loop = 1; time in ms):\n");
    for (const Scene& scene : Scenes) {
        const std::string s = scene.name;
        const auto time = [&](const std::string& name) {
            const auto it = reporter.milliseconds.find(name + "/" + s);
            return it == reporter.milliseconds.end() ? 0.0 : it->second;
        };
        const double plain = time("plain_loop");
        const double now = time("draw_now");
        if (plain <= 0.0 || now <= 0.0) {
            continue;
        }
        std::printf("  %-9s plain %.1f, draw now %.1f (%.2fx faster), draw now on one thread "
                    "%.1f (%.2fx), draw now on the picture's threads %.1f (%.2fx the draw now "
                    "time), progressive on them %.1f (%.2fx), one block per call %.1f (%.2fx)\n",
                    scene.name, plain, now, plain / now, time("draw_now_1_thread"),
                    plain / time("draw_now_1_thread"), time("draw_now_workers"),
                    time("draw_now_workers") / now, time("progressive"), time("progressive") / now,
                    time("progressive_one_block"), time("progressive_one_block") / now);
    }
    return 0;
}
