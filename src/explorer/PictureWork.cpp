#include "explorer/PictureWork.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <utility>

namespace sorvelin {
namespace {

// How much lower than the window's thread the picture's threads run: enough
// that the window wins every contest for a core, not so much that other
// programs starve the picture.
constexpr int PictureNiceness = 5;

void LowerThisThreadsPriority() {
#ifdef __linux__
    // On Linux a thread has a niceness of its own.
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    const int now = getpriority(PRIO_PROCESS, thread);
    setpriority(PRIO_PROCESS, thread, now + PictureNiceness);
#endif
}

int TotalCounts(const std::vector<PictureRun>& runs) {
    return runs.empty() ? 0 : runs.back().Offset + runs.back().Count;
}

} // namespace

PictureJob::PictureJob(const FractalIterator& engine, std::vector<PictureRun> runs)
    : engine_(engine), runs_(std::move(runs)),
      counts_(static_cast<std::size_t>(TotalCounts(runs_))),
      finished_(std::make_unique<std::atomic<bool>[]>(runs_.size())) {
    engine_.SetStopFlag(&stop_);
}

void PictureJob::Work() {
    for (;;) {
        const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
        if (i >= runs_.size() || Cancelled()) {
            return;
        }
        const PictureRun& run = runs_[i];
        engine_.EvaluateRow(run.Y, run.X, run.Count, counts_.data() + run.Offset, run.Size);
        if (Cancelled()) {
            // The counts of a stopped loop mean nothing.
            return;
        }
        finished_[i].store(true, std::memory_order_release);
        if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 == runs_.size()) {
            const std::lock_guard<std::mutex> hold(lock_);
            allDone_.notify_all();
        }
    }
}

void PictureJob::Wait() const {
    std::unique_lock<std::mutex> hold(lock_);
    // The stop flag is not announced: a cancelling thread is not the waiting
    // one, so the wait looks again now and then.
    while (done_.load(std::memory_order_acquire) < runs_.size() && !Cancelled()) {
        allDone_.wait_for(hold, std::chrono::milliseconds(5));
    }
}

PictureThreads::PictureThreads(int threads) {
    threads_.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) {
        threads_.emplace_back([this] { Serve(); });
    }
}

PictureThreads::~PictureThreads() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        quit_ = true;
        if (job_) {
            job_->Cancel();
        }
        job_.reset();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void PictureThreads::Post(std::shared_ptr<PictureJob> job) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (job_) {
            job_->Cancel();
        }
        job_ = std::move(job);
        ++posted_;
    }
    wake_.notify_all();
}

void PictureThreads::CancelJob() {
    const std::lock_guard<std::mutex> hold(lock_);
    if (job_) {
        job_->Cancel();
    }
    job_.reset();
}

void PictureThreads::Serve() {
    LowerThisThreadsPriority();
    unsigned long long seen = 0;
    for (;;) {
        std::shared_ptr<PictureJob> job;
        {
            std::unique_lock<std::mutex> hold(lock_);
            wake_.wait(hold, [&] { return quit_ || (job_ && posted_ != seen); });
            if (quit_) {
                return;
            }
            seen = posted_;
            job = job_;
        }
        job->Work();
    }
}

} // namespace sorvelin
