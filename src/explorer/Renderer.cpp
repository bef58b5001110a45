#include "explorer/Renderer.h"

#include "base/ParallelFor.h"
#include "explorer/PictureWork.h"
#include "fractal/Iteration.h"

#include <algorithm>
#include <vector>

namespace sorvelin {
namespace {

// Most threads the picture is computed on: beyond a few, threads add more
// start-up and memory traffic than speed for a picture of this size.
constexpr int MaxRenderThreads = 8;
// Blocks in one run of the worker threads: enough points to fill the vector
// loop, few enough that a pass shows up in many pieces and that the threads
// finish a pass together.
constexpr int WorkerRunBlocks = 16;

// The engines compute the same counts (the stop flag aside).
bool SameWork(const FractalIterator& a, const FractalIterator& b) {
    return a.FormulaIndex() == b.FormulaIndex() && a.GetLimit() == b.GetLimit() &&
           a.GetViewWidth() == b.GetViewWidth() && a.GetViewHeight() == b.GetViewHeight() &&
           a.GetOriginX() == b.GetOriginX() && a.GetOriginY() == b.GetOriginY() &&
           a.GetExtentX() == b.GetExtentX() && a.GetExtentY() == b.GetExtentY() &&
           a.GetEscapeRadiusSq() == b.GetEscapeRadiusSq() && a.GetJuliaX() == b.GetJuliaX() &&
           a.GetJuliaY() == b.GetJuliaY();
}

} // namespace

Renderer::Renderer(int width, int height) : picture_(width, height) {}

Renderer::~Renderer() = default;

Renderer::Renderer(const Renderer& other)
    : picture_(other.picture_), drawNowPending_(other.drawNowPending_),
      workerThreads_(other.workerThreads_), progressX_(other.progressX_),
      progressY_(other.progressY_), blockSize_(other.blockSize_) {}

Renderer& Renderer::operator=(const Renderer& other) {
    if (this == &other) {
        return *this;
    }
    Cancel();
    picture_ = other.picture_;
    drawNowPending_ = other.drawNowPending_;
    workerThreads_ = other.workerThreads_;
    progressX_ = other.progressX_;
    progressY_ = other.progressY_;
    blockSize_ = other.blockSize_;
    return *this;
}

void Renderer::RestartRendering() {
    Cancel();
    drawNowPending_ = false;
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
    Cancel();
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

void Renderer::FillRun(const Progress& first, int count, const int* counts) {
    if (first.Size > 1) {
        Progress block = first;
        for (int i = 0; i < count; ++i, block.X += block.Size) {
            Fill(block, counts[i]);
        }
        return;
    }
    // The last pass, three quarters of all blocks: one pixel each.
    Pixel* row = picture_.Row(picture_.Height() - 1 - first.Y) + first.X;
    for (int i = 0; i < count; ++i) {
        row[i] = ColourOfCount(counts[i]);
    }
}

bool Renderer::DrawNow(const FractalIterator& engine, int threads) {
    if (blockSize_ == 0) {
        return false;
    }
    Cancel();
    drawNowPending_ = false;
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

// --- On worker threads ---------------------------------------------------------

bool Renderer::RequestDrawNow() {
    if (blockSize_ == 0) {
        return false;
    }
    Cancel();
    blockSize_ = 0;
    drawNowPending_ = true;
    progressX_ = 0;
    progressY_ = 0;
    return true;
}

std::vector<PictureRun> Renderer::RunsLeft() const {
    const int w = picture_.Width();
    const int h = picture_.Height();
    std::vector<PictureRun> runs;
    int offset = 0;
    const auto add = [&](int x, int y, int size, int count) {
        runs.push_back({x, y, size, count, offset});
        offset += count;
    };
    if (drawNowPending_) {
        // "Draw Now!": every pixel, plane row after plane row from the bottom.
        for (int y = progressY_; y < h; ++y) {
            for (int x = 0; x < w; x += WorkerRunBlocks) {
                add(x, y, 1, std::min(WorkerRunBlocks, w - x));
            }
        }
        return runs;
    }
    if (!Rendering()) {
        return runs;
    }
    Progress p{progressX_, progressY_, blockSize_};
    for (bool done = false; !done;) {
        const int leftInRow = (w - p.X + p.Size - 1) / p.Size;
        const int n = std::min(leftInRow, WorkerRunBlocks);
        add(p.X, p.Y, p.Size, n);
        p.X += (n - 1) * p.Size;
        done = Step(p);
    }
    return runs;
}

void Renderer::Launch(const FractalIterator& engine) {
    Cancel();
    std::vector<PictureRun> runs = RunsLeft();
    if (runs.empty()) {
        return;
    }
    job_ = std::make_shared<PictureJob>(engine, std::move(runs));
    shown_.assign(job_->RunCount(), 0);
    firstUnshown_ = 0;
    if (!threads_) {
        const int threads =
            workerThreads_ > 0 ? workerThreads_ : std::min(ThreadCountFor(0), MaxRenderThreads);
        threads_ = std::make_unique<PictureThreads>(threads);
    }
    threads_->Post(job_);
}

void Renderer::Cancel() {
    if (!job_) {
        return;
    }
    job_->Cancel();
    if (threads_) {
        threads_->CancelJob();
    }
    job_.reset();
    shown_.clear();
    firstUnshown_ = 0;
}

void Renderer::Collect() {
    const std::size_t n = job_->RunCount();
    for (std::size_t scanned = firstUnshown_; firstUnshown_ < n;) {
        // A finer pass waits until the coarser one is shown whole: its blocks
        // would be painted over.
        const int pass = job_->Run(firstUnshown_).Size;
        for (std::size_t i = std::max(scanned, firstUnshown_); i < n && job_->Run(i).Size == pass;
             ++i) {
            if (!shown_[i] && job_->Finished(i)) {
                const PictureRun& r = job_->Run(i);
                FillRun({r.X, r.Y, r.Size}, r.Count, job_->Counts(i));
                shown_[i] = 1;
            }
            scanned = i + 1;
        }
        const std::size_t before = firstUnshown_;
        while (firstUnshown_ < n && shown_[firstUnshown_] != 0) {
            ++firstUnshown_;
        }
        if (firstUnshown_ == before || firstUnshown_ == n ||
            job_->Run(firstUnshown_).Size == pass) {
            break;
        }
        // The pass is shown whole: the next one may be ready too.
        scanned = firstUnshown_;
    }
    if (firstUnshown_ < n) {
        const PictureRun& next = job_->Run(firstUnshown_);
        progressY_ = next.Y;
        if (!drawNowPending_) {
            progressX_ = next.X;
            blockSize_ = next.Size;
        }
        return;
    }
    // Everything is shown; the progress stands where the passes end.
    if (drawNowPending_) {
        drawNowPending_ = false;
        progressX_ = picture_.Width();
        progressY_ = picture_.Height();
    } else {
        const PictureRun& last = job_->Run(n - 1);
        Progress p{last.X + (last.Count - 1) * last.Size, last.Y, last.Size};
        Step(p);
        progressX_ = p.X;
        progressY_ = p.Y;
        blockSize_ = p.Size;
    }
    job_.reset();
    shown_.clear();
    firstUnshown_ = 0;
}

bool Renderer::Advance(const FractalIterator& engine) {
    if (!Busy()) {
        return false;
    }
    if (!job_ || !SameWork(job_->Engine(), engine)) {
        Launch(engine);
    }
    if (job_) {
        Collect();
    }
    return Busy();
}

void Renderer::Finish(const FractalIterator& engine) {
    while (Advance(engine)) {
        if (job_) {
            job_->Wait();
        }
    }
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
