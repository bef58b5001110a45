#include "explorer/Renderer.h"

#include "explorer/ParallelFor.h"
#include "fractal/Iteration.h"

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
    std::vector<Progress> blocks;
    std::vector<int> counts;
    std::vector<int> runs;
    int batch = FirstBatch;
    int drawn = 0;
    while (Rendering()) {
        // The next blocks in the order IdleRender draws them.
        blocks.clear();
        Progress p{progressX_, progressY_, blockSize_};
        bool done = false;
        while (!done && static_cast<int>(blocks.size()) < batch) {
            blocks.push_back(p);
            done = Step(p);
        }
        // Blocks of one row of a pass lie evenly spaced on the same plane row,
        // so a run of them is evaluated as one row. Evaluating has no effect
        // on the picture, so the runs may go side by side; the fills keep
        // the order.
        const int n = static_cast<int>(blocks.size());
        runs.clear();
        for (int i = 0; i < n; ++i) {
            if (i == 0 || blocks[i].Y != blocks[i - 1].Y || blocks[i].Size != blocks[i - 1].Size) {
                runs.push_back(i);
            }
        }
        runs.push_back(n);
        counts.resize(blocks.size());
        const int runCount = static_cast<int>(runs.size()) - 1;
        ParallelFor(runCount, n >= ParallelBatch ? 0 : 1, 1, [&](int r) {
            const Progress& first = blocks[static_cast<std::size_t>(runs[r])];
            engine.EvaluateRow(first.Y, first.X, runs[r + 1] - runs[r], counts.data() + runs[r],
                               first.Size);
        });
        for (int i = 0; i < n; ++i) {
            Fill(blocks[i], counts[i]);
        }
        progressX_ = p.X;
        progressY_ = p.Y;
        blockSize_ = p.Size;
        drawn += n;
        const auto now = Clock::now();
        if (now >= deadline) {
            break;
        }
        // Size the next batch to what the rest of the budget should hold at
        // the speed seen so far.
        const double perBlock = std::chrono::duration<double>(now - start).count() / drawn;
        const double left = std::chrono::duration<double>(deadline - now).count();
        const double fits = perBlock > 0.0 ? left / perBlock : MaxBatch;
        batch = fits < FirstBatch ? FirstBatch
                : fits > MaxBatch ? MaxBatch
                                  : static_cast<int>(fits);
    }
    return Rendering();
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
