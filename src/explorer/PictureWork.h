#pragma once
// The picture's escape counts computed on threads of their own, so that the
// window's thread never waits for a point: it only copies the blocks that are
// finished into the picture. A job is the list of blocks still to draw, in
// the order the passes draw them, cut into short runs; the threads take the
// runs in that order, so the coarse blocks are ready first.
#include "fractal/Iteration.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sorvelin {

// Count blocks of Size pixels on plane row Y, the first at column X, the
// others Size apart; their counts start at Offset in the job's table.
struct PictureRun {
    int X;
    int Y;
    int Size;
    int Count;
    int Offset;
};

class PictureJob {
public:
    // The engine is copied: the window may change its own at once. The
    // copy's loops look at this job's stop flag.
    PictureJob(const FractalIterator& engine, std::vector<PictureRun> runs);
    PictureJob(const PictureJob&) = delete;
    PictureJob& operator=(const PictureJob&) = delete;

    const FractalIterator& Engine() const { return engine_; }
    std::size_t RunCount() const { return runs_.size(); }
    const PictureRun& Run(std::size_t i) const { return runs_[i]; }
    // True once run i's counts are complete (and may be read).
    bool Finished(std::size_t i) const { return finished_[i].load(std::memory_order_acquire); }
    const int* Counts(std::size_t i) const { return counts_.data() + runs_[i].Offset; }

    // Every loop of the job ends within a fraction of a millisecond; the
    // runs not finished by then never will be.
    void Cancel() { stop_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return stop_.load(std::memory_order_relaxed); }

    // A thread's share: takes the next run until none is left or the job is
    // cancelled.
    void Work();
    // Until every run is finished or the job is cancelled.
    void Wait() const;

private:
    std::atomic<bool> stop_{false};
    FractalIterator engine_;
    std::vector<PictureRun> runs_;
    std::vector<int> counts_;
    std::unique_ptr<std::atomic<bool>[]> finished_;
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> done_{0};
    mutable std::mutex lock_;
    mutable std::condition_variable allDone_;
};

// Threads that wait for a job and share it; a new job cancels the one before.
// They run at a lower priority than the window's thread, so that the window
// answers at once even while every core computes the picture.
class PictureThreads {
public:
    explicit PictureThreads(int threads);
    // Cancels the job in flight and ends the threads (within a few
    // milliseconds: every loop looks at the job's stop flag).
    ~PictureThreads();
    PictureThreads(const PictureThreads&) = delete;
    PictureThreads& operator=(const PictureThreads&) = delete;

    void Post(std::shared_ptr<PictureJob> job);
    // Cancels the job in flight, if any.
    void CancelJob();
    int Threads() const { return static_cast<int>(threads_.size()); }

private:
    void Serve();

    std::mutex lock_;
    std::condition_variable wake_;
    std::shared_ptr<PictureJob> job_;
    unsigned long long posted_ = 0;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

} // namespace sorvelin
