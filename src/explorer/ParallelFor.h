#pragma once
// Runs work(i) for i = 0 .. count - 1 on several threads; each thread takes
// the next chunk of indices as it becomes free, so uneven work balances out.
// An exception from work stops the remaining indices and is raised again on
// the calling thread once every thread has ended.
#include <algorithm>
#include <atomic>
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
    const auto run = [&] {
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
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads - 1));
    for (int t = 1; t < threads; ++t) {
        helpers.emplace_back(run);
    }
    run();
    for (auto& helper : helpers) {
        helper.join();
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace sorvelin
