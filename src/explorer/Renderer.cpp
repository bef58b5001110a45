#include "explorer/Renderer.h"

#include "base/ParallelFor.h"
#include "fractal/Iteration.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace sorvelin {
namespace {

// Most blocks RenderFor lays out ahead in one call.
constexpr int MaxPlannedBlocks = 65536;
// Calls whose laid-out blocks could take fewer iterations than this, all run
// to the limit, are not worth starting a second thread for.
constexpr double ParallelIterations = 262144.0;
// Longest run a thread takes at a time: short enough that the threads finish
// together and that one run inside the set at a high limit cannot overrun the
// budget by much, long enough to fill the vector loop.
constexpr int MaxRun = 48;
// What evaluating a block costs beside its iterations, in iterations: it
// keeps the measured speed honest when most points escape at once.
constexpr double BlockOverhead = 16.0;
// Most threads one call evaluates on.
constexpr int MaxRenderThreads = 8;
// Until enough has been measured, a guess at the speed that is slow for any
// formula on a desktop core, weighed as this many units: a first few blocks
// whose time is mostly the clock's cannot make the speed look slower still.
constexpr double GuessSecondsPerUnit = 5e-9;
constexpr double GuessUnits = 10000.0;

} // namespace

Renderer::Renderer(int width, int height) : picture_(width, height) {
    ForgetSpeed();
}

void Renderer::ForgetSpeed() {
    measuredSeconds_ = GuessSecondsPerUnit * GuessUnits;
    measuredUnits_ = GuessUnits;
}

void Renderer::RestartRendering() {
    progressX_ = 0;
    progressY_ = 0;
    blockSize_ = FirstBlockSize;
    // A new view, limit or formula may run at another speed.
    ForgetSpeed();
}

bool Renderer::Rendering() const {
    return blockSize_ > 0 && !(progressX_ >= picture_.Width() && progressY_ >= picture_.Height());
}

bool Renderer::Step(Progress& p) const {
    p.X += p.Size;
    if (p.X < picture_.Width()) {
        return false;
    }
    p.Y += p.Size;
    if (p.Y < picture_.Height()) {
        p.X = 0;
        return false;
    }
    // End of a pass: the next one has blocks of half the size; after the
    // 1-pixel pass the progress stays beyond the picture until a restart.
    p.Size /= 2;
    if (p.Size == 0) {
        p.Size = FirstBlockSize;
        return true;
    }
    p.X = 0;
    p.Y = 0;
    return false;
}

void Renderer::Fill(const Progress& p, int count) {
    // Plane row p.Y is picture row H - 1 - p.Y; the block grows upward from it.
    const int h = picture_.Height();
    picture_.FillRect(p.X, h - p.Y - p.Size, p.X + p.Size, h - p.Y, ColourOfCount(count));
}

bool Renderer::IdleRender(const FractalIterator& engine) {
    if (!Rendering()) {
        return true;
    }
    Progress p{progressX_, progressY_, blockSize_};
    Fill(p, engine.EvaluatePixel(p.X, p.Y));
    const bool done = Step(p);
    progressX_ = p.X;
    progressY_ = p.Y;
    blockSize_ = p.Size;
    return done;
}

std::vector<Renderer::Run> Renderer::PlanRuns(int firstRunLimit) const {
    const int w = picture_.Width();
    std::vector<Run> runs;
    Progress p{progressX_, progressY_, blockSize_};
    int planned = 0;
    for (bool done = false; !done && planned < MaxPlannedBlocks; firstRunLimit = MaxRun) {
        const int leftInRow = (w - p.X + p.Size - 1) / p.Size;
        const int n = std::min({leftInRow, firstRunLimit, MaxPlannedBlocks - planned});
        Run run{p, n, planned, p};
        planned += n;
        p.X += (n - 1) * p.Size;
        done = Step(p);
        run.After = p;
        runs.push_back(run);
    }
    return runs;
}

bool Renderer::RenderFor(const FractalIterator& engine, std::chrono::microseconds budget) {
    using Clock = std::chrono::steady_clock;
    using Seconds = std::chrono::duration<double>;
    const auto deadline = Clock::now() + budget;
    if (!Rendering()) {
        return false;
    }
    // A block's cost if it runs to the limit, in units of one iteration; and
    // the time of a unit on one thread, from what was measured so far (with
    // what the thread itself has measured in this call).
    const double worstUnits = static_cast<double>(engine.GetLimit()) + 1.0 + BlockOverhead;
    struct Tally {
        double seconds = 0.0;
        double units = 0.0;
    };
    const auto secondsPerUnit = [this](const Tally& tally) {
        return (measuredSeconds_ + tally.seconds) / (measuredUnits_ + tally.units);
    };

    // The next blocks in the order IdleRender draws them, as runs along block
    // rows (the blocks of a run lie evenly spaced on one plane row), each
    // with the progress after it. The first run is always drawn, so it is
    // only as long as fits the budget with every block at the limit.
    const double fitsFirst = Seconds(budget).count() / (secondsPerUnit({}) * worstUnits);
    const std::vector<Run> runs = PlanRuns(fitsFirst < 1.0      ? 1
                                           : fitsFirst > MaxRun ? MaxRun
                                                                : static_cast<int>(fitsFirst));
    const int planned = runs.back().Offset + runs.back().Count;
    std::vector<int> counts(static_cast<std::size_t>(planned));

    // Each thread takes the next run while the run, even with every block at
    // the limit, would end before the deadline. Runs are taken in order and
    // the first one refused stops all threads, so the runs done before it
    // are the ones drawn.
    std::atomic<int> next{0};
    std::atomic<int> refused{static_cast<int>(runs.size())};
    const auto work = [&](Tally& tally) {
        for (;;) {
            const int i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= refused.load(std::memory_order_relaxed)) {
                return;
            }
            const Run& run = runs[static_cast<std::size_t>(i)];
            const auto begin = Clock::now();
            const double worst = secondsPerUnit(tally) * worstUnits * run.Count;
            if (i > 0 && worst > Seconds(deadline - begin).count()) {
                // Lower the bound to i unless a thread refused an earlier run.
                int bound = refused.load(std::memory_order_relaxed);
                while (i < bound && !refused.compare_exchange_weak(bound, i)) {
                }
                return;
            }
            int* out = counts.data() + run.Offset;
            engine.EvaluateRow(run.First.Y, run.First.X, run.Count, out, run.First.Size);
            tally.seconds += Seconds(Clock::now() - begin).count();
            tally.units += BlockOverhead * run.Count;
            for (int b = 0; b < run.Count; ++b) {
                tally.units += out[b] + 1.0;
            }
        }
    };
    Tally mine;
    const bool parallel = static_cast<double>(planned) * worstUnits >= ParallelIterations;
    // Threads are started afresh by every call: a few are worth their start,
    // dozens on a large machine would eat the budget starting.
    const int helpers =
        parallel
            ? std::min({ThreadCountFor(0), MaxRenderThreads, static_cast<int>(runs.size())}) - 1
            : 0;
    std::vector<Tally> tallies(static_cast<std::size_t>(helpers));
    std::vector<std::thread> threads;
    threads.reserve(tallies.size());
    for (Tally& tally : tallies) {
        threads.emplace_back(work, std::ref(tally));
    }
    work(mine);
    for (std::thread& thread : threads) {
        thread.join();
    }
    tallies.push_back(mine);
    for (const Tally& tally : tallies) {
        measuredSeconds_ += tally.seconds;
        measuredUnits_ += tally.units;
    }

    // The runs before the first refused one, filled in order.
    const int drawn = std::min(refused.load(), static_cast<int>(runs.size()));
    for (int i = 0; i < drawn; ++i) {
        const Run& run = runs[static_cast<std::size_t>(i)];
        FillRun(run, counts.data() + run.Offset);
        progressX_ = run.After.X;
        progressY_ = run.After.Y;
        blockSize_ = run.After.Size;
    }
    return Rendering();
}

void Renderer::FillRun(const Run& run, const int* counts) {
    if (run.First.Size > 1) {
        Progress block = run.First;
        for (int i = 0; i < run.Count; ++i, block.X += block.Size) {
            Fill(block, counts[i]);
        }
        return;
    }
    // The last pass, three quarters of all blocks: one pixel each.
    Pixel* row = picture_.Row(picture_.Height() - 1 - run.First.Y) + run.First.X;
    for (int i = 0; i < run.Count; ++i) {
        row[i] = ColourOfCount(counts[i]);
    }
}

bool Renderer::DrawNow(const FractalIterator& engine, int threads) {
    if (blockSize_ == 0) {
        return false;
    }
    blockSize_ = 0;
    const int w = picture_.Width();
    const int h = picture_.Height();
    ParallelFor(h, threads, 1, [&](int planeRow) {
        Pixel* row = picture_.Row(h - 1 - planeRow);
        // Counts in pieces on the stack: no allocation per row.
        constexpr int Piece = 256;
        int counts[Piece];
        for (int first = 0; first < w; first += Piece) {
            const int n = std::min(Piece, w - first);
            engine.EvaluateRow(planeRow, first, n, counts);
            for (int x = 0; x < n; ++x) {
                row[first + x] = ColourOfCount(counts[x]);
            }
        }
    });
    progressX_ = w;
    progressY_ = h;
    return true;
}

void Renderer::ShiftHalf(bool towardRight) {
    const int w = picture_.Width();
    const int half = w / 2;
    for (int y = 0; y < picture_.Height(); ++y) {
        Pixel* row = picture_.Row(y);
        if (towardRight) {
            std::copy(row, row + half, row + (w - half));
        } else {
            std::copy(row + (w - half), row + w, row);
        }
    }
}

} // namespace sorvelin
