#include "explorer/Renderer.h"

#include "explorer/ParallelFor.h"
#include "fractal/Iteration.h"

#include <algorithm>
#include <vector>

namespace sorvelin {
namespace {

// Blocks evaluated together by RenderFor before the clock is read again: the
// first batch while the speed is unknown, and the largest batch.
constexpr int FirstBatch = 32;
constexpr int MaxBatch = 65536;
// A batch whose points could take fewer iterations than this, all run to the
// limit, is not worth starting a second thread for.
constexpr double ParallelIterations = 262144.0;
// Longest run handed to one thread at a time: short enough that two threads
// finish a batch of a few picture rows together (a batch of five whole rows
// would leave one thread idle for a sixth of it), long enough to fill the
// vector loop.
constexpr int MaxRun = 48;

} // namespace

Renderer::Renderer(int width, int height) : picture_(width, height) {}

void Renderer::RestartRendering() {
    progressX_ = 0;
    progressY_ = 0;
    blockSize_ = FirstBlockSize;
    // A new view, limit or formula may run at another speed.
    secondsPerIteration_ = 0.0;
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

bool Renderer::RenderFor(const FractalIterator& engine, std::chrono::microseconds budget) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + budget;
    const int w = picture_.Width();
    const double limitSteps = static_cast<double>(engine.GetLimit()) + 1.0;
    // The next batch holds as many blocks as the rest of the budget allows if
    // every one of them ran to the limit at the speed seen so far, so one
    // batch that lands inside the set at a high limit cannot overrun the
    // budget. The speed carries over from the last call of the same rendering,
    // so a call does not spend its start on a small batch to measure it again.
    const auto batchFor = [&](Clock::time_point now) {
        if (secondsPerIteration_ <= 0.0) {
            return FirstBatch;
        }
        const double left = std::chrono::duration<double>(deadline - now).count();
        const double fits = left / (secondsPerIteration_ * limitSteps);
        return fits < 1.0 ? 1 : fits > MaxBatch ? MaxBatch : static_cast<int>(fits);
    };
    std::vector<Run> runs;
    std::vector<int> counts;
    int batch = batchFor(start);
    // Iterations run so far in this call (a point that escapes at count i ran
    // i + 1 steps), for the speed.
    long long iterations = 0;
    while (Rendering()) {
        // The next blocks in the order IdleRender draws them, as runs along
        // block rows: the blocks of a run lie evenly spaced on one plane row.
        runs.clear();
        Progress p{progressX_, progressY_, blockSize_};
        int blocks = 0;
        bool done = false;
        while (!done && blocks < batch) {
            const int leftInRow = (w - p.X + p.Size - 1) / p.Size;
            const int n = std::min({leftInRow, batch - blocks, MaxRun});
            runs.push_back({p, n, blocks});
            blocks += n;
            p.X += (n - 1) * p.Size;
            done = Step(p);
        }
        // Evaluating has no effect on the picture, so the runs may go side by
        // side; the fills keep the order.
        counts.resize(static_cast<std::size_t>(blocks));
        const bool parallel = static_cast<double>(blocks) * limitSteps >= ParallelIterations;
        ParallelFor(static_cast<int>(runs.size()), parallel ? 0 : 1, 1, [&](int r) {
            const Run& run = runs[static_cast<std::size_t>(r)];
            engine.EvaluateRow(run.First.Y, run.First.X, run.Count, counts.data() + run.Offset,
                               run.First.Size);
        });
        for (const Run& run : runs) {
            FillRun(run, counts.data() + run.Offset);
        }
        progressX_ = p.X;
        progressY_ = p.Y;
        blockSize_ = p.Size;
        for (int i = 0; i < blocks; ++i) {
            iterations += counts[static_cast<std::size_t>(i)] + 1LL;
        }
        const auto now = Clock::now();
        secondsPerIteration_ =
            std::chrono::duration<double>(now - start).count() / static_cast<double>(iterations);
        if (now >= deadline) {
            break;
        }
        batch = batchFor(now);
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
        std::vector<int> counts(static_cast<std::size_t>(w));
        engine.EvaluateRow(planeRow, 0, w, counts.data());
        for (int x = 0; x < w; ++x) {
            row[x] = ColourOfCount(counts[static_cast<std::size_t>(x)]);
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
