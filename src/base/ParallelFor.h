#pragma once
// Runs work(i) for i = 0 .. count - 1 on several threads; each thread takes
// the next piece of indices as it becomes free, so uneven work balances out.
// Indices are visited in increasing order by the calling thread until other
// threads join.
// An exception from work stops the remaining indices and is raised again on
// the calling thread once every thread has ended.
#include <algorithm>
#include <atomic>
#include <chrono>
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
        // Asked once: the question reads a file of the system each time.
        static const int cores = static_cast<int>(std::thread::hardware_concurrency());
        threads = cores;
    }
    return std::clamp(threads, 1, 64);
}

// Threads kept waiting for work, so that a short piece of work does not pay
// for starting threads. The caller always works too and never waits for a
// helper that has not woken yet: a helper that wakes after the work is done
// finds nothing to join, so work shorter than a thread's wake-up simply
// runs on the calling thread. A helper that has finished stays awake for a
// fraction of a millisecond before it sleeps, so work that comes in bursts
// (a Compose after a Draw, the rows of a drawing) finds it ready.
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

    // Helpers not asleep: they join new work within a fraction of a
    // microsecond, where a sleeping one takes tens. Read without a lock, so
    // only a guess.
    int Awake() const { return awake_.load(std::memory_order_relaxed); }

private:
    struct Task {
        void (*body)(void*);
        void* arg;
        int wanted;
        int joined;
        // Helpers still running body; read without lock_ while the caller
        // waits for the last of them.
        std::atomic<int> inside;
    };
    void Serve();

    // True once generation_ differs from seen, after at most the awake time.
    bool AwaitNews(std::uint64_t seen);
    // True once no helper is inside the task, after at most the awake time.
    static bool AwaitHelpers(const Task& task);

    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable left_;
    Task* task_ = nullptr;
    // Changed under lock_; read without it by helpers that are awake.
    std::atomic<std::uint64_t> generation_{0};
    std::atomic<bool> quit_{false};
    // Helpers asleep on wake_ (changed under lock_).
    int sleepers_ = 0;
    // Helpers started and not asleep (changed under lock_).
    std::atomic<int> awake_{0};
    std::vector<std::thread> threads_;
};

// How the caller decides to call in helpers: handing work to another core
// moves cache lines between the cores and wakes a thread, which costs more
// than it saves on short work. So the caller starts alone and calls them in
// once its pace so far says the work left would take it longer than
// ParallelHelpWorth, or ParallelHelpWorthAwake when a helper is awake (work
// in a burst: nothing to wake), or after ParallelHelpAfter at the latest
// (work whose dear part comes late).
inline constexpr std::chrono::microseconds ParallelHelpWorth{10};
inline constexpr std::chrono::microseconds ParallelHelpWorthAwake{2};
inline constexpr std::chrono::microseconds ParallelHelpAfter{20};

// ParallelFor in pieces: work(first, last) does indices first .. last - 1.
// The calling thread takes pieces of `chunk` indices in order from 0 until it
// calls in helpers; just before it does, it calls beforeHelpers(done), done
// being the indices it has finished. So work that the calling thread can
// carry on cheaply from one piece to the next (the sampler's points along
// its lines) need prepare what the helpers start from only when helpers come.
template <typename BeforeHelpers, typename Work>
void ParallelForPieces(int count, int threads, int chunk, BeforeHelpers beforeHelpers, Work work) {
    chunk = std::max(chunk, 1);
    threads = std::min(ThreadCountFor(threads), (count + chunk - 1) / chunk);
    if (threads <= 1) {
        if (count > 0) {
            work(0, count);
        }
        return;
    }
    int done = 0;
    const auto worth =
        WorkerPool::Shared().Awake() > 0 ? ParallelHelpWorthAwake : ParallelHelpWorth;
    const auto start = std::chrono::steady_clock::now();
    while (done < count) {
        const int last = std::min(done + chunk, count);
        work(done, last);
        done = last;
        const auto spent = std::chrono::steady_clock::now() - start;
        if (spent >= ParallelHelpAfter || spent * (count - done) > worth * done) {
            break;
        }
    }
    if (done >= count) {
        return;
    }
    beforeHelpers(done);
    std::atomic<int> next{done};
    std::mutex errorLock;
    std::exception_ptr error;
    auto run = [&] {
        try {
            for (;;) {
                // Guided shares: a large piece while much is left, down to
                // `chunk` at the end, so the threads seldom meet on the
                // counter (each meeting moves its cache line between cores)
                // and still finish together.
                int first = next.load(std::memory_order_relaxed);
                int last = first;
                do {
                    if (first >= count) {
                        return;
                    }
                    const int share =
                        std::max(chunk, (count - first) / (4 * threads) / chunk * chunk);
                    last = std::min(first + share, count);
                } while (!next.compare_exchange_weak(first, last, std::memory_order_relaxed));
                work(first, last);
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

template <typename Work> void ParallelFor(int count, int threads, int chunk, Work work) {
    ParallelForPieces(
        count, threads, chunk, [](int) {},
        [&work](int first, int last) {
            for (int i = first; i < last; ++i) {
                work(i);
            }
        });
}

} // namespace sorvelin
