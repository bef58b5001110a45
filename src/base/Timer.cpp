#include "base/Timer.h"

#include <sys/prctl.h>

namespace sorvelin {

std::uint32_t TimerService::SetEvent(int delayMs, int /*resolutionMs*/, Callback callback) {
    return SetEventAt(Now() + std::chrono::milliseconds(delayMs), std::move(callback));
}

// ---- ThreadTimer ----

ThreadTimer::ThreadTimer() {
    worker_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return workerId_ != std::thread::id{}; });
}

ThreadTimer::~ThreadTimer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        pending_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

std::uint32_t ThreadTimer::NextId() {
    ++lastId_;
    if (lastId_ == 0) {
        ++lastId_;
    }
    return lastId_;
}

std::uint32_t ThreadTimer::SetEventAt(TimePoint due, Callback callback) {
    if (!callback) {
        return 0;
    }
    std::uint32_t id = 0;
    {
        std::lock_guard lock(mutex_);
        if (quit_) {
            return 0;
        }
        id = NextId();
        pending_.emplace(due, Entry{id, std::move(callback)});
    }
    wake_.notify_all();
    return id;
}

void ThreadTimer::KillEvent(std::uint32_t id) {
    std::unique_lock lock(mutex_);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->second.id == id) {
            pending_.erase(it);
            break;
        }
    }
    if (std::this_thread::get_id() != workerId_) {
        finished_.wait(lock, [&] { return runningId_ != id || id == 0; });
    }
}

void ThreadTimer::Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void ThreadTimer::Run() {
    // The default timer slack lets the kernel wake this thread up to 50 us
    // late on purpose; playback wants the earliest wake-up it can get.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::unique_lock lock(mutex_);
    workerId_ = std::this_thread::get_id();
    wake_.notify_all();
    while (!quit_) {
        if (pending_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const TimePoint due = pending_.begin()->first;
        if (Clock::now() < due) {
            wake_.wait_until(lock, due);
            continue; // a new earlier timer, a cancel or a spurious wake-up
        }
        Entry entry = std::move(pending_.begin()->second);
        pending_.erase(pending_.begin());
        runningId_ = entry.id;
        lock.unlock();
        entry.callback();
        entry.callback = nullptr; // release what it captured before reporting it done
        lock.lock();
        runningId_ = 0;
        finished_.notify_all();
    }
}

// ---- ManualTimer ----

TimerService::TimePoint ManualTimer::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::uint32_t ManualTimer::SetEventAt(TimePoint due, Callback callback) {
    if (!callback) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    ++lastId_;
    pending_.emplace(due, Entry{lastId_, std::move(callback)});
    return lastId_;
}

void ManualTimer::KillEvent(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->second.id == id) {
            pending_.erase(it);
            return;
        }
    }
}

void ManualTimer::Sleep(int milliseconds) {
    Advance(std::chrono::milliseconds(milliseconds));
}

bool ManualTimer::RunNext() {
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) {
            return false;
        }
        auto first = pending_.begin();
        if (first->first > now_) {
            now_ = first->first;
        }
        callback = std::move(first->second.callback);
        pending_.erase(first);
    }
    callback();
    return true;
}

int ManualTimer::RunAll(int limit) {
    int ran = 0;
    while (ran < limit && RunNext()) {
        ++ran;
    }
    return ran;
}

void ManualTimer::Advance(Clock::duration by) {
    std::lock_guard lock(mutex_);
    now_ += by;
}

std::size_t ManualTimer::PendingCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

TimerService::TimePoint ManualTimer::NextDue() const {
    std::lock_guard lock(mutex_);
    return pending_.empty() ? now_ : pending_.begin()->first;
}

} // namespace sorvelin
