#pragma once
// Fills the fractal picture from the engine's escape counts, either
// progressively (passes of square blocks from 32 pixels down to 1, a coarse
// picture first) or all at once ("Draw Now!").
#include "explorer/Picture.h"

#include <chrono>
#include <vector>

namespace sorvelin {

class FractalIterator;

class Renderer {
public:
    static constexpr int FirstBlockSize = 32;

    explicit Renderer(int width = ExplorerPictureSize, int height = ExplorerPictureSize);

    Picture& Image() { return picture_; }
    const Picture& Image() const { return picture_; }

    // Starts the passes again from the bottom-left corner with 32-pixel blocks.
    void RestartRendering();

    // Draws one block; returns Done: true when nothing is left until the
    // next restart. The engine is read afresh for every block.
    bool IdleRender(const FractalIterator& engine);

    // Draws blocks, exactly those and in the order IdleRender would, until
    // the budget is spent or the passes are complete; returns true while
    // work remains (call again when idle).
    bool RenderFor(const FractalIterator& engine, std::chrono::microseconds budget);

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
    // Count blocks from First along its block row, their counts from Offset.
    struct Run {
        Progress First;
        int Count;
        int Offset;
        Progress After; // where the passes stand once the run is drawn
    };
    void FillRun(const Run& run, const int* counts);
    // The blocks from the current progress on, in IdleRender's order, as
    // runs of at most a fixed length (the first at most firstRunLimit).
    std::vector<Run> PlanRuns(int firstRunLimit) const;

    Picture picture_;
    int progressX_ = 0;
    int progressY_ = 0;
    int blockSize_ = 0;
    // Back to the guess RenderFor starts from.
    void ForgetSpeed();
    // What RenderFor has measured since the restart: time spent evaluating
    // on its threads, and the work done in units of one iteration.
    double measuredSeconds_ = 0.0;
    double measuredUnits_ = 0.0;
};

} // namespace sorvelin
