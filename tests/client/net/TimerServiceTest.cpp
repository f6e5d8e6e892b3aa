// The process-wide timer service that stands in for the event-loop timers.
#include "net/CTimerService.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    int sleepMs = 0;
    uint64_t removeSelf = 0;
};

void Count(void* user, uint64_t id)
{
    auto* c = static_cast<Counter*>(user);
    c->inside = true;
    ++c->calls;
    if (c->sleepMs)
        usleep(useconds_t(c->sleepMs) * 1000);
    if (c->removeSelf == id)
        CTimerService::Instance().Remove(id);
    c->finished = true;
    c->inside = false;
}

bool WaitFor(const std::atomic<int>& v, int atLeast, int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (v < atLeast && Clock::now() < end)
        usleep(1000);
    return v >= atLeast;
}

TEST(TimerService, OneShotRepeatingAndSuspended)
{
    CTimerService& ts = CTimerService::Instance();
    Counter once, rep, never;
    uint64_t a = ts.Add(20, 0, Count, &once);
    uint64_t b = ts.Add(10, 10, Count, &rep);
    uint64_t c = ts.Add(CTimerService::kNever, 10, Count, &never);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, a);
    EXPECT_TRUE(WaitFor(rep.calls, 5, 2000));
    EXPECT_TRUE(WaitFor(once.calls, 1, 2000));
    usleep(100 * 1000);
    EXPECT_EQ(once.calls, 1);
    EXPECT_FALSE(ts.Remove(a)); // a one-shot is gone once it has fired
    EXPECT_TRUE(ts.Remove(b));
    int after = rep.calls;
    usleep(50 * 1000);
    EXPECT_EQ(rep.calls, after);
    EXPECT_EQ(never.calls, 0);
    EXPECT_TRUE(ts.SetNextFire(c, 5));
    EXPECT_TRUE(WaitFor(never.calls, 1, 2000));
    EXPECT_TRUE(ts.Remove(c));
    EXPECT_FALSE(ts.SetNextFire(c, 5));
}

TEST(TimerService, RemoveWhileFiringWaitsAndThenItNeverFiresAgain)
{
    CTimerService& ts = CTimerService::Instance();
    for (int round = 0; round < 5; ++round) {
        Counter c;
        c.sleepMs = 80;
        uint64_t id = ts.Add(1, 1, Count, &c);
        while (!c.inside)
            usleep(500);
        EXPECT_TRUE(ts.Remove(id));
        // The callback has returned before Remove did.
        EXPECT_TRUE(c.finished);
        EXPECT_FALSE(c.inside);
        int calls = c.calls;
        usleep(20 * 1000);
        EXPECT_EQ(c.calls, calls);
    }
}

TEST(TimerService, RemoveFromItsOwnCallbackAndOthersKeepRunning)
{
    CTimerService& ts = CTimerService::Instance();
    Counter self, other;
    uint64_t id = ts.Add(5, 5, Count, &self);
    self.removeSelf = id;
    uint64_t o = ts.Add(5, 5, Count, &other);
    EXPECT_TRUE(WaitFor(other.calls, 10, 3000));
    EXPECT_EQ(self.calls, 1);
    ts.Remove(o);
}

TEST(TimerService, ManyThreadsAddAndRemove)
{
    CTimerService& ts = CTimerService::Instance();
    std::vector<std::thread> threads;
    std::atomic<int> total{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            Counter c;
            for (int i = 0; i < 200; ++i) {
                uint64_t id = ts.Add(uint32_t(i % 3), 1, Count, &c);
                if (i % 2)
                    usleep(200);
                ts.Remove(id);
            }
            total += c.calls;
        });
    for (auto& t : threads)
        t.join();
    SUCCEED() << total << " callbacks";
}

} // namespace
