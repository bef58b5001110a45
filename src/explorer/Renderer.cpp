#include "explorer/Renderer.h"

#include "explorer/ParallelFor.h"
#include "fractal/Iteration.h"

#include <algorithm>
#include <vector>

namespace sorvelin {
namespace {

// Blocks evaluated together by RenderFor before the clock is read again: the
// first batch, and the bounds of the batches sized from the measured speed.
constexpr int FirstBatch = 32;
constexpr int MaxBatch = 8192;
// Below this many blocks a batch is not worth a second thread.
constexpr int ParallelBatch = 256;

} // namespace

Renderer::Renderer(int width, int height) : picture_(width, height) {}

void Renderer::RestartRendering() {
    progressX_ = 0;
    progressY_ = 0;
    blockSize_ = FirstBlockSize;
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
    std::vector<Run> runs;
    std::vector<int> counts;
    int batch = FirstBatch;
    // Iterations run so far (a point that escapes at count i ran i + 1 steps):
    // with the time they took, they bound what the next batch may cost if all
    // its points run to the limit, so one batch that lands inside the set at a
    // high limit cannot overrun the budget.
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
            const int n = std::min(leftInRow, batch - blocks);
            runs.push_back({p, n, blocks});
            blocks += n;
            p.X += (n - 1) * p.Size;
            done = Step(p);
        }
        // Evaluating has no effect on the picture, so the runs may go side by
        // side; the fills keep the order.
        counts.resize(static_cast<std::size_t>(blocks));
        ParallelFor(static_cast<int>(runs.size()), blocks >= ParallelBatch ? 0 : 1, 1, [&](int r) {
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
        if (now >= deadline) {
            break;
        }
        // The next batch holds as many blocks as the rest of the budget allows
        // if every one of them ran to the limit at the speed seen so far.
        const double perIteration =
            std::chrono::duration<double>(now - start).count() / static_cast<double>(iterations);
        const double worstPerBlock = perIteration * static_cast<double>(engine.GetLimit() + 1);
        const double left = std::chrono::duration<double>(deadline - now).count();
        const double fits = worstPerBlock > 0.0 ? left / worstPerBlock : MaxBatch;
        batch = fits < 1.0 ? 1 : fits > MaxBatch ? MaxBatch : static_cast<int>(fits);
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
