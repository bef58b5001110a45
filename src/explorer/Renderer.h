#pragma once
// Fills the fractal picture from the engine's escape counts, either
// progressively (passes of square blocks from 32 pixels down to 1, a coarse
// picture first) or all at once ("Draw Now!").
//
// The window draws through Advance(): the counts are computed on worker
// threads, and each call on the window's thread copies the blocks finished
// since into the picture, so that thread never waits for a point however
// deep the view. IdleRender and DrawNow compute on the calling thread; they
// are the same picture, block for block.
#include "explorer/Picture.h"

#include <memory>
#include <vector>

namespace sorvelin {

class FractalIterator;
class PictureJob;
class PictureThreads;
struct PictureRun;

class Renderer {
public:
    static constexpr int FirstBlockSize = 32;

    explicit Renderer(int width = ExplorerPictureSize, int height = ExplorerPictureSize);
    ~Renderer();
    // A copy has the picture and the progress, not the work in flight: it
    // starts its own at its first Advance.
    Renderer(const Renderer& other);
    Renderer& operator=(const Renderer& other);
    Renderer(Renderer&& other) : Renderer(static_cast<const Renderer&>(other)) {}
    Renderer& operator=(Renderer&& other) { return *this = static_cast<const Renderer&>(other); }

    Picture& Image() { return picture_; }
    const Picture& Image() const { return picture_; }

    // Starts the passes again from the bottom-left corner with 32-pixel blocks
    // (the work in flight is cancelled).
    void RestartRendering();

    // --- On worker threads ----------------------------------------------------
    // "Draw Now!" asked: the whole picture, row after row from the bottom, on
    // the next Advance calls. false, touching nothing, when it was asked or
    // drawn since the last restart (BlockSize 0).
    bool RequestDrawNow();
    // The window thread's turn: sets the worker threads on the blocks left
    // (afresh when the engine changed since the last call, from where the
    // picture stands), then copies every block finished since into the
    // picture, a pass's blocks only once the coarser passes are shown.
    // Returns true while work remains. Never waits for a count.
    bool Advance(const FractalIterator& engine);
    // Advance until the picture is complete (tests, pictures without a
    // window); waits for the workers.
    void Finish(const FractalIterator& engine);
    // Stops the work in flight within a few milliseconds; what is shown
    // stays, and the next Advance goes on from there.
    void Cancel();
    // Blocks are left to draw, progressively or for "Draw Now!".
    bool Busy() const { return Rendering() || drawNowPending_; }
    // Threads the work runs on (0: one per core, at most a few).
    void SetWorkerThreads(int threads) { workerThreads_ = threads; }

    // Draws one block; returns Done: true when nothing is left until the
    // next restart. The engine is read afresh for every block.
    bool IdleRender(const FractalIterator& engine);

    // "Draw Now!": every pixel at once, rows shared among threads (0: one per
    // core). Returns false, touching nothing, when the picture was already
    // drawn so since the last restart (BlockSize 0). Leaves the progressive
    // renderer stopped.
    bool DrawNow(const FractalIterator& engine, int threads = 0);

    // Work remains for IdleRender.
    bool Rendering() const;

    int ProgressX() const { return progressX_; }
    int ProgressY() const { return progressY_; }
    int BlockSize() const { return blockSize_; }

    // Quick preview for a sideways pan: copies the half of the picture that
    // stays in view to the side where it is shown after the pan. towardRight:
    // the left half moves to the right (the view moved left).
    void ShiftHalf(bool towardRight);

private:
    struct Progress {
        int X;
        int Y;
        int Size;
    };
    // Moves p to the next block; true when the last pass is complete.
    bool Step(Progress& p) const;
    // Fills block p in the colour of escape count count.
    void Fill(const Progress& p, int count);
    // Count blocks from First along its block row.
    void FillRun(const Progress& first, int count, const int* counts);

    // The runs of blocks from where the picture stands to the end of its
    // work, in the order they are shown.
    std::vector<PictureRun> RunsLeft() const;
    void Launch(const FractalIterator& engine);
    // Copies the finished runs of the job into the picture; moves the
    // progress past those shown in order.
    void Collect();

    Picture picture_;
    // "Draw Now!" asked and not yet complete: progressY_ is then its next row.
    bool drawNowPending_ = false;
    int workerThreads_ = 0;
    std::unique_ptr<PictureThreads> threads_;
    std::shared_ptr<PictureJob> job_;
    // Of job_'s runs: those copied into the picture, and the first not.
    std::vector<char> shown_;
    std::size_t firstUnshown_ = 0;
    int progressX_ = 0;
    int progressY_ = 0;
    int blockSize_ = 0;
};

} // namespace sorvelin
