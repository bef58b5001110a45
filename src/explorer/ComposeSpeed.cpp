#include "explorer/ComposeSpeed.h"

#include "base/ParallelFor.h"
#include "explorer/Sampling.h"
#include "fractal/Iteration.h"

#include <algorithm>
#include <chrono>

namespace sorvelin {
namespace {

// Seconds taken by one Compose of noteCount notes per part at `limit` along
// a line inside the main cardioid, where no point escapes.
double TimeSampling(int noteCount, int limit) {
    FractalIterator engine;
    engine.SetViewSize(2, 2);
    engine.SetWindow(-0.4, -0.1, 0.2, 0.1);
    engine.SetLimit(limit);
    SeriesTable series;
    const auto start = std::chrono::steady_clock::now();
    SampleFractal(engine, 2, LinePoints{0, 2, 2, 0}, 0.0, 0.0, MethodParallel, noteCount, series);
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return std::max(spent.count(), 1e-9);
}

} // namespace

ComposeSpeed MeasureComposeSpeed() {
    constexpr int IterationNotes = 256;
    constexpr int IterationLimit = 4000;
    constexpr int OverheadNotes = 16384;
    const double overheadSeconds = TimeSampling(OverheadNotes, 1);
    const double samples = static_cast<double>(PartCount) * OverheadNotes;
    const double iterations = static_cast<double>(PartCount) * IterationNotes * IterationLimit;
    const int cores = std::min(ThreadCountFor(0), IterationNotes / SampleUnitNotes);
    return {iterations / TimeSampling(IterationNotes, IterationLimit), overheadSeconds / samples,
            cores};
}

const ComposeSpeed& MachineComposeSpeed() {
    static const ComposeSpeed speed = MeasureComposeSpeed();
    return speed;
}

double EstimatedSeconds(const ComposeSpeed& speed, long long samples, long long pixels,
                        long long limit) {
    // The speed was measured on speed.Cores cores; a song of few notes per
    // part keeps only some of them busy.
    const long long cores = std::max(speed.Cores, 1);
    const long long units = (samples / PartCount + SampleUnitNotes - 1) / SampleUnitNotes;
    const double busy =
        static_cast<double>(std::clamp(units, 1LL, cores)) / static_cast<double>(cores);
    const double iterationsEach = static_cast<double>(std::max(limit, 0LL));
    return static_cast<double>(samples) * iterationsEach / (speed.IterationsPerSecond * busy) +
           static_cast<double>(pixels) * iterationsEach / speed.IterationsPerSecond +
           static_cast<double>(samples) * speed.SecondsPerSample;
}

} // namespace sorvelin
