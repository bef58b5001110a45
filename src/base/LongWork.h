#pragma once
// Long work off the user-interface thread: a progress count and a cancel flag
// shared between the worker and the window, and the worker itself. Plain
// C++, so the same work runs with or without windows.
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <thread>

namespace sorvelin {

// Raised by work that saw its cancel flag; nothing it would have changed was
// changed.
class WorkCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "The work was cancelled."; }
};

// Shared by the worker (advances it, looks at the flag) and whoever watches
// (reads the fraction, cancels). Every member is safe from any thread.
class WorkProgress {
public:
    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // The flag as the fractal engine watches it.
    const std::atomic<bool>* StopFlag() const { return &cancelled_; }
    void ThrowIfCancelled() const {
        if (Cancelled()) {
            throw WorkCancelled();
        }
    }

    // Units of work in all and done so far (any unit; samples here).
    void SetTotal(long long units) { total_.store(units, std::memory_order_relaxed); }
    void Advance(long long units) { done_.fetch_add(units, std::memory_order_relaxed); }
    // 0 .. 1; 0 while no total is known.
    double Fraction() const;

private:
    std::atomic<bool> cancelled_{false};
    std::atomic<long long> total_{0};
    std::atomic<long long> done_{0};
};

using LongWork = std::function<void(WorkProgress&)>;
// Runs long work and returns when it has ended, raising what it raised: on
// this thread, or on a worker while the caller shows its progress and offers
// Cancel (then WorkCancelled).
using LongWorkRunner = std::function<void(const LongWork& work)>;
// The runner without anyone watching: the work runs here and now.
void RunHere(const LongWork& work);

// Runs work(progress) on a thread of its own from construction on. The
// owner polls Done(), then calls Finish() to join and to receive the work's
// exception. Destruction cancels and joins, so the work never outlives what
// it was given.
class BackgroundWork {
public:
    explicit BackgroundWork(LongWork work);
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    WorkProgress& Progress() { return progress_; }
    bool Done() const { return done_.load(std::memory_order_acquire); }
    void Cancel() { progress_.Cancel(); }
    // Waits for the end of the work and rethrows what it raised (WorkCancelled
    // when it stopped for Cancel).
    void Finish();

private:
    WorkProgress progress_;
    std::atomic<bool> done_{false};
    std::exception_ptr error_;
    std::thread thread_;
};

} // namespace sorvelin

namespace sorvelin {

// The runner of a program without windows: the work runs on a worker while
// this thread calls report(fraction) every `interval` once `delay` has passed
// (quick work reports nothing), and once more with last true at the end if
// it reported before. Raises what the work raised.
void RunReporting(const LongWork& work, std::chrono::milliseconds delay,
                  std::chrono::milliseconds interval,
                  const std::function<void(double fraction, bool last)>& report);

} // namespace sorvelin
