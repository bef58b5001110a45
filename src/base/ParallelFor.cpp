#include "base/ParallelFor.h"

#include <chrono>

namespace sorvelin {

namespace {

// How long a helper stays awake after its last piece of work: much longer
// than a thread takes to wake from sleep, much shorter than anything a user
// would notice as a busy core.
constexpr auto AwakeTime = std::chrono::microseconds(300);

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// True once done() is, false if it is still not after the awake time. The
// clock is read only now and then: reading it costs more than a pause.
template <typename Done> bool SpinUntil(Done done) {
    const auto until = std::chrono::steady_clock::now() + AwakeTime;
    for (int spin = 0;; ++spin) {
        if (done()) {
            return true;
        }
        Pause();
        if (spin % 64 == 63 && std::chrono::steady_clock::now() > until) {
            return false;
        }
    }
}

} // namespace

WorkerPool& WorkerPool::Shared() {
    static WorkerPool pool;
    return pool;
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

int WorkerPool::Started() {
    const std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(threads_.size());
}

void WorkerPool::Run(int helpers, void (*body)(void*), void* arg) {
    std::unique_lock<std::mutex> hold(lock_);
    if (task_ != nullptr || helpers <= 0) {
        hold.unlock();
        body(arg);
        return;
    }
    while (static_cast<int>(threads_.size()) < helpers) {
        threads_.emplace_back([this] { Serve(); });
        ++awake_;
    }
    Task task{body, arg, helpers, 0, {0}};
    task_ = &task;
    generation_.fetch_add(1, std::memory_order_release);
    const bool sleeping = sleepers_ > 0;
    hold.unlock();
    if (sleeping) {
        wake_.notify_all();
    }
    body(arg);
    hold.lock();
    // Helpers that have not joined by now never will.
    task_ = nullptr;
    // A helper finishing its last piece is usually a few microseconds away:
    // waiting awake spares the caller a sleep and a wake-up.
    if (task.inside.load() != 0) {
        hold.unlock();
        const bool done = AwaitHelpers(task);
        hold.lock();
        if (!done) {
            left_.wait(hold, [&task] { return task.inside.load() == 0; });
        }
    }
}

bool WorkerPool::AwaitNews(std::uint64_t seen) {
    return SpinUntil([&] {
        return generation_.load(std::memory_order_acquire) != seen ||
               quit_.load(std::memory_order_relaxed);
    });
}

bool WorkerPool::AwaitHelpers(const Task& task) {
    return SpinUntil([&task] { return task.inside.load(std::memory_order_acquire) == 0; });
}

void WorkerPool::Serve() {
    std::unique_lock<std::mutex> hold(lock_);
    // A thread started for a task joins it at once.
    std::uint64_t seen = task_ != nullptr ? generation_ - 1 : generation_.load();
    for (;;) {
        if (generation_ == seen && !quit_) {
            hold.unlock();
            const bool news = AwaitNews(seen);
            hold.lock();
            if (!news) {
                ++sleepers_;
                --awake_;
                wake_.wait(hold, [&] { return quit_ || generation_ != seen; });
                ++awake_;
                --sleepers_;
            }
        }
        if (quit_) {
            return;
        }
        seen = generation_;
        Task* task = task_;
        if (task == nullptr || task->joined >= task->wanted) {
            continue;
        }
        ++task->joined;
        ++task->inside;
        hold.unlock();
        task->body(task->arg);
        hold.lock();
        if (task->inside.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            left_.notify_all();
        }
    }
}

} // namespace sorvelin
