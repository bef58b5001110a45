#include "base/LongWork.h"

#include <algorithm>
#include <utility>

namespace sorvelin {

double WorkProgress::Fraction() const {
    const long long total = total_.load(std::memory_order_relaxed);
    if (total <= 0) {
        return 0.0;
    }
    const long long done = done_.load(std::memory_order_relaxed);
    return std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
}

void RunHere(const LongWork& work) {
    WorkProgress progress;
    work(progress);
}

BackgroundWork::BackgroundWork(LongWork work) {
    // The thread starts last: every member it touches exists by then.
    thread_ = std::thread([this, work = std::move(work)] {
        try {
            work(progress_);
        } catch (...) {
            error_ = std::current_exception();
        }
        done_.store(true, std::memory_order_release);
    });
}

BackgroundWork::~BackgroundWork() {
    progress_.Cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void RunReporting(const LongWork& work, std::chrono::milliseconds delay,
                  std::chrono::milliseconds interval,
                  const std::function<void(double fraction, bool last)>& report) {
    BackgroundWork worker(work);
    const auto start = std::chrono::steady_clock::now();
    bool reported = false;
    while (!worker.Done()) {
        std::this_thread::sleep_for(std::min(interval, delay));
        if (std::chrono::steady_clock::now() - start >= delay && !worker.Done()) {
            report(worker.Progress().Fraction(), false);
            reported = true;
        }
    }
    if (reported) {
        report(worker.Progress().Fraction(), true);
    }
    worker.Finish();
}

void BackgroundWork::Finish() {
    if (thread_.joinable()) {
        thread_.join();
    }
    if (error_) {
        std::rethrow_exception(std::exchange(error_, nullptr));
    }
}

} // namespace sorvelin
