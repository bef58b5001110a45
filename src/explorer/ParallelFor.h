#pragma once
// Runs work(i) for i = 0 .. count - 1 on several threads; each thread takes
// the next chunk of indices as it becomes free, so uneven work balances out.
// An exception from work stops the remaining indices and is raised again on
// the calling thread once every thread has ended.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace sorvelin {

// One thread per core when threads is 0 or less.
inline int ThreadCountFor(int threads) {
    if (threads <= 0) {
        threads = static_cast<int>(std::thread::hardware_concurrency());
    }
    return std::clamp(threads, 1, 64);
}

// Threads kept waiting for work, so that a short piece of work does not pay
// for starting threads. The caller always works too and never waits for a
// helper that has not woken yet: a helper that wakes after the work is done
// finds nothing to join, so work shorter than a thread's wake-up simply
// runs on the calling thread.
class WorkerPool {
public:
    static WorkerPool& Shared();
    ~WorkerPool();

    // Calls body(arg) on the calling thread and on up to `helpers` pool
    // threads; returns when every call has returned. body must not throw and
    // must return once no work is left for it. While the pool serves one
    // caller, another (or a nested call) runs body on its own thread only.
    void Run(int helpers, void (*body)(void*), void* arg);

    // The helpers started so far (they stay until the program ends).
    int Started();

private:
    struct Task {
        void (*body)(void*);
        void* arg;
        int wanted;
        int joined;
        int inside;
    };
    void Serve();

    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable left_;
    Task* task_ = nullptr;
    std::uint64_t generation_ = 0;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

template <typename Work> void ParallelFor(int count, int threads, int chunk, Work work) {
    threads = std::min(ThreadCountFor(threads), (count + chunk - 1) / std::max(chunk, 1));
    if (threads <= 1) {
        for (int i = 0; i < count; ++i) {
            work(i);
        }
        return;
    }
    std::atomic<int> next{0};
    std::mutex errorLock;
    std::exception_ptr error;
    auto run = [&] {
        try {
            for (;;) {
                const int first = next.fetch_add(chunk, std::memory_order_relaxed);
                if (first >= count) {
                    return;
                }
                const int last = std::min(first + chunk, count);
                for (int i = first; i < last; ++i) {
                    work(i);
                }
            }
        } catch (...) {
            next.store(count, std::memory_order_relaxed);
            const std::lock_guard<std::mutex> hold(errorLock);
            if (!error) {
                error = std::current_exception();
            }
        }
    };
    WorkerPool::Shared().Run(
        threads - 1, [](void* arg) { (*static_cast<decltype(run)*>(arg))(); }, &run);
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace sorvelin
