#include "explorer/ParallelFor.h"

namespace sorvelin {

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
    }
    Task task{body, arg, helpers, 0, 0};
    task_ = &task;
    ++generation_;
    hold.unlock();
    wake_.notify_all();
    body(arg);
    hold.lock();
    // Helpers that have not joined by now never will.
    task_ = nullptr;
    left_.wait(hold, [&task] { return task.inside == 0; });
}

void WorkerPool::Serve() {
    std::unique_lock<std::mutex> hold(lock_);
    // A thread started for a task joins it at once.
    std::uint64_t seen = task_ != nullptr ? generation_ - 1 : generation_;
    for (;;) {
        wake_.wait(hold, [&] { return quit_ || generation_ != seen; });
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
        if (--task->inside == 0) {
            left_.notify_all();
        }
    }
}

} // namespace sorvelin
