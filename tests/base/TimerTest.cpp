#include "base/Timer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <vector>

using namespace sorvelin;
using namespace std::chrono_literals;

TEST(ManualTimer, RunsTimersInDueOrderAndMovesItsClockToEach) {
    ManualTimer timer;
    const auto start = timer.Now();
    std::vector<int> order;
    std::vector<TimerService::TimePoint> seen;
    timer.SetEventAt(start + 30ms, [&] { order.push_back(3), seen.push_back(timer.Now()); });
    timer.SetEventAt(start + 10ms, [&] { order.push_back(1), seen.push_back(timer.Now()); });
    const auto killed = timer.SetEventAt(start + 20ms, [&] { order.push_back(2); });
    timer.KillEvent(killed);
    timer.KillEvent(killed); // twice is harmless
    EXPECT_EQ(timer.RunAll(), 2);
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
    EXPECT_EQ(seen[0], start + 10ms);
    EXPECT_EQ(seen[1], start + 30ms);
    timer.Sleep(5);
    EXPECT_EQ(timer.Now(), start + 35ms);
    EXPECT_FALSE(timer.RunNext());
}

TEST(ThreadTimer, CallbacksRunOnceOnTheServiceThreadNotBeforeTheirTime) {
    ThreadTimer timer;
    std::mutex mutex;
    std::vector<int> order;
    std::vector<bool> onTime;
    std::atomic<int> done{0};
    const auto start = timer.Now();
    const auto caller = std::this_thread::get_id();
    for (int i : {3, 1, 2}) {
        const auto due = start + std::chrono::milliseconds(5 * i);
        ASSERT_NE(timer.SetEventAt(due,
                                   [&, i, due] {
                                       std::lock_guard lock(mutex);
                                       order.push_back(i);
                                       onTime.push_back(TimerService::Clock::now() >= due &&
                                                        std::this_thread::get_id() != caller);
                                       ++done;
                                   }),
                  0u);
    }
    while (done < 3) {
        timer.Sleep(1);
    }
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(onTime, (std::vector<bool>{true, true, true}));
}

TEST(ThreadTimer, AKilledTimerNeverFiresAndKillWaitsForARunningCallback) {
    ThreadTimer timer;
    std::atomic<int> fired{0};
    const auto id = timer.SetEvent(30, 10, [&] { ++fired; });
    timer.KillEvent(id);
    timer.Sleep(60);
    EXPECT_EQ(fired, 0);

    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    const auto slow = timer.SetEvent(0, 10, [&] {
        started = true;
        std::this_thread::sleep_for(30ms);
        finished = true;
    });
    while (!started) {
        std::this_thread::yield();
    }
    timer.KillEvent(slow);
    EXPECT_TRUE(finished);
}

TEST(ThreadTimer, ACallbackMayCancelAndRequestTimers) {
    ThreadTimer timer;
    std::atomic<int> chain{0};
    std::function<void()> step = [&] {
        if (++chain < 5) {
            timer.KillEvent(timer.SetEvent(1000, 10, [] {}));
            timer.SetEvent(1, 10, step);
        }
    };
    timer.SetEvent(1, 10, step);
    for (int i = 0; i < 2000 && chain < 5; ++i) {
        timer.Sleep(1);
    }
    EXPECT_EQ(chain, 5);
}

TEST(ThreadTimer, ManyThreadsSettingAndKillingTimersAtOnce) {
    ThreadTimer timer;
    std::atomic<int> fired{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                const auto id = timer.SetEvent(i % 3, 10, [&] { ++fired; });
                if (i % 2 == 0) {
                    timer.KillEvent(id);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < 5000 && fired < 400; ++i) {
        timer.Sleep(1);
    }
    EXPECT_GE(fired, 400); // the 400 never killed did fire
    EXPECT_LE(fired, 800);
}
