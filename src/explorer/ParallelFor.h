#pragma once
// Runs work(i) for i = 0 .. count - 1 on several threads; each thread takes
// the next chunk of indices as it becomes free, so uneven work balances out.
#include <algorithm>
#include <atomic>
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
    const auto run = [&next, count, chunk, &work] {
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
}

} // namespace sorvelin
