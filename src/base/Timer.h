#pragma once
// The one-shot timer service that paces playback: a callback runs once, on
// the service's own thread, when its time has come; a pending timer can be
// cancelled; a millisecond clock and a plain pause complete the service.
// Times are points of std::chrono::steady_clock, so a timer due at an
// absolute moment never drifts with the time its callbacks take.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace sorvelin {

class TimerService {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Callback = std::function<void()>;

    // Minimum and maximum period, in milliseconds, that the service supports.
    struct Caps {
        std::uint32_t periodMin = 1;
        std::uint32_t periodMax = 1000000;
    };

    virtual ~TimerService() = default;

    virtual TimePoint Now() const = 0;
    // One-shot timer: `callback` runs once on the service's thread at `due`
    // (at once when `due` has passed). Returns a non-zero id, or 0 when the
    // timer cannot be set.
    virtual std::uint32_t SetEventAt(TimePoint due, Callback callback) = 0;
    // A pending timer never fires once this returns. When its callback is
    // running on the service's thread at that moment, waits until it has
    // returned (unless called from that callback itself). Unknown, fired or
    // already cancelled ids are ignored.
    virtual void KillEvent(std::uint32_t id) = 0;
    // Pauses the calling thread.
    virtual void Sleep(int milliseconds) = 0;

    // One-shot timer `delayMs` from now. The resolution is accepted for the
    // callers' sake; the service always wakes as early as the system allows.
    std::uint32_t SetEvent(int delayMs, int resolutionMs, Callback callback);
    Caps GetDevCaps() const { return {}; }
    // Raising the timer resolution: nothing to do here, the service's thread
    // already asks the system for the finest wake-up it offers.
    void BeginPeriod(std::uint32_t /*periodMs*/) {}
};

// The real service: one thread that sleeps until the earliest pending timer.
class ThreadTimer : public TimerService {
public:
    ThreadTimer();
    ~ThreadTimer() override;
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;

    TimePoint Now() const override { return Clock::now(); }
    std::uint32_t SetEventAt(TimePoint due, Callback callback) override;
    void KillEvent(std::uint32_t id) override;
    void Sleep(int milliseconds) override;

private:
    struct Entry {
        std::uint32_t id;
        Callback callback;
    };
    void Run();
    std::uint32_t NextId();

    std::mutex mutex_;
    std::condition_variable wake_;     // the worker: a new earliest timer, or quit
    std::condition_variable finished_; // KillEvent: a callback has returned
    std::multimap<TimePoint, Entry> pending_;
    std::uint32_t lastId_ = 0;
    std::uint32_t runningId_ = 0;
    bool quit_ = false;
    std::thread::id workerId_;
    std::thread worker_;
};

// A timer driven by hand, for tests and for rendering a song faster than
// real time: its clock stands still until the owner advances it, and due
// callbacks run on the thread that calls RunNext.
class ManualTimer : public TimerService {
public:
    explicit ManualTimer(TimePoint start = TimePoint{} + std::chrono::hours(1)) : now_(start) {}

    TimePoint Now() const override;
    std::uint32_t SetEventAt(TimePoint due, Callback callback) override;
    void KillEvent(std::uint32_t id) override;
    // Advances the clock by the pause.
    void Sleep(int milliseconds) override;

    // Moves the clock to the earliest pending timer (never backwards) and runs
    // it. False when nothing is pending.
    bool RunNext();
    // Runs timers until none is pending or `limit` have run; returns how many ran.
    int RunAll(int limit = 1000000);
    void Advance(Clock::duration by);
    std::size_t PendingCount() const;
    // Due time of the earliest pending timer; Now() when none is pending.
    TimePoint NextDue() const;

private:
    struct Entry {
        std::uint32_t id;
        Callback callback;
    };
    mutable std::mutex mutex_;
    TimePoint now_;
    std::multimap<TimePoint, Entry> pending_;
    std::uint32_t lastId_ = 0;
};

} // namespace sorvelin
