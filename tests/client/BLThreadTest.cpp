#include "CBLThread.h"

#include "ClientTestUtil.h"
#include "RiloAssert.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <thread>

using namespace rilotest;

namespace {

// Two workers with their records interleaved in the one queue, posted from
// two threads: each worker takes exactly its own, in posting order.
TEST(BLThread, MessagesReachTheRightThreadInOrder)
{
    NotifySink a, b;
    const BLThreadID ida = a.GetThreadID(), idb = b.GetThreadID();
    ASSERT_NE(ida, 0u);
    ASSERT_NE(idb, 0u);
    ASSERT_NE(ida, idb);

    const unsigned kN = 150;
    std::thread poster([&] {
        for (unsigned i = 0; i < kN; ++i)
            PostThreadMessage(idb, 1100, 1000 + i, i);
    });
    for (unsigned i = 0; i < kN; ++i) {
        ASSERT_EQ(PostThreadMessage(ida, 1100, i, ~0ul - i), 1);
        ASSERT_EQ(PostThreadMessage(idb, 1101, i, 0), 1);
    }
    poster.join();
    ASSERT_TRUE(
        Eventually([&] { return a.Messages().size() == kN && b.Messages().size() == 2 * kN; },
                   milliseconds(10000)));

    std::vector<Msg> ma = a.Messages();
    for (unsigned i = 0; i < kN; ++i) {
        EXPECT_EQ(ma[i].message, 1100u);
        EXPECT_EQ(ma[i].w, i);
        EXPECT_EQ(ma[i].l, ~0ul - i); // full pointer-sized words
    }
    // Per poster, b's messages keep their order.
    unsigned nextMain = 0, nextOther = 0;
    for (const Msg& m : b.Messages()) {
        if (m.message == 1101)
            EXPECT_EQ(m.w, nextMain++);
        else
            EXPECT_EQ(m.w, 1000 + nextOther++);
    }
    EXPECT_EQ(nextMain, kN);
    EXPECT_EQ(nextOther, kN);
}

// A message for a thread that has ended never reaches a thread started
// later, even when the system hands the later thread the same pthread_t.
TEST(BLThread, MessagesForAnEndedThreadAreNotDeliveredToANewOne)
{
    BLThreadID old;
    {
        NotifySink a;
        old = a.GetThreadID();
    }
    EXPECT_EQ(PostThreadMessage(old, 1100, 1, 2), 0);
    EXPECT_EQ(CountThreadMessages(old), 0u);

    NotifySink b;
    EXPECT_NE(b.GetThreadID(), old);
    EXPECT_EQ(PostThreadMessage(old, 1100, 3, 4), 0);
    ASSERT_EQ(PostThreadMessage(b.GetThreadID(), 1100, 5, 6), 1);
    ASSERT_TRUE(b.WaitFor(5, milliseconds(5000)));
    usleep(50000);
    std::vector<Msg> mb = b.Messages();
    ASSERT_EQ(mb.size(), 1u);
    EXPECT_EQ(mb[0].l, 6u);
}

// A worker whose start-up waits for the test and then fails, so messages are
// queued for it that its loop never takes.
class GatedFailingInit : public CBLThread {
public:
    std::atomic<bool> open{false};
    std::atomic<int> runs{0}, exits{0};
    bool InitInstance() override
    {
        while (!open)
            usleep(1000);
        return false;
    }
    int Run() override
    {
        ++runs;
        return CBLThread::Run();
    }
    int ExitInstance() override
    {
        ++exits;
        return 0;
    }
};

TEST(BLThread, PendingMessagesAreDroppedWhenTheThreadEnds)
{
    GatedFailingInit t;
    t.SetAutoDelete(false);
    ASSERT_TRUE(t.BeginThread());
    const BLThreadID id = t.GetThreadID();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(PostThreadMessage(id, 1100, static_cast<unsigned long>(i), 0), 1);
    EXPECT_EQ(CountThreadMessages(id), 3u);
    t.open = true;
    EXPECT_TRUE(Eventually([&] { return CountThreadMessages(id) == 0; }, milliseconds(5000)));
    t.CloseThread(10000, true);
    EXPECT_EQ(t.runs, 0);
    EXPECT_EQ(t.exits, 0); // a failed start-up skips the loop and ExitInstance
    EXPECT_EQ(CountThreadMessages(id), 0u);
}

class Counting : public CBLThread {
public:
    std::atomic<int>* deleted;
    std::atomic<int> inits{0}, exits{0};
    explicit Counting(std::atomic<int>* d) : deleted(d) {}
    ~Counting() override { ++*deleted; }
    bool InitInstance() override
    {
        ++inits;
        return true;
    }
    int ExitInstance() override
    {
        ++exits;
        return 0;
    }
};

TEST(BLThread, CloseRightAfterBeginEndsTheLoopAndAutoDeletes)
{
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> deleted{0};
        auto* t = new Counting(&deleted);
        ASSERT_TRUE(t->BeginThread());
        ASSERT_TRUE(t->BeginThread()); // a second start is a no-op
        t->CloseThread(0, false);      // any time-out: waits for the end
        EXPECT_EQ(deleted, 1);
    }
}

TEST(BLThread, CloseOfANeverStartedThreadDoesNotWaitOrJoin)
{
    std::atomic<int> deleted{0};
    auto* t = new Counting(&deleted);
    auto start = Clock::now();
    EXPECT_EQ(t->CloseThread(10000, true), 0);
    EXPECT_LT(Clock::now() - start, milliseconds(500));
    EXPECT_EQ(deleted, 1);

    Counting kept(&deleted);
    kept.SetAutoDelete(false);
    EXPECT_EQ(kept.CloseThread(10000, true), 0);
    EXPECT_EQ(kept.inits, 0);
}

TEST(BLThread, StartedWorkerRunsInitAndExitOnce)
{
    std::atomic<int> deleted{0};
    Counting t(&deleted);
    t.SetAutoDelete(false);
    ASSERT_TRUE(t.BeginThread());
    ASSERT_EQ(PostThreadMessage(t.GetThreadID(), 1100, 0, 0), 1);
    ASSERT_TRUE(
        Eventually([&] { return CountThreadMessages(t.GetThreadID()) == 0; }, milliseconds(5000)));
    t.CloseThread(10000, true);
    EXPECT_EQ(t.inits, 1);
    EXPECT_EQ(t.exits, 1);
    EXPECT_EQ(deleted, 0);
    // The object can run a new thread, under a new id.
    ASSERT_TRUE(t.BeginThread());
    t.CloseThread(10000, true);
    EXPECT_EQ(t.inits, 2);
}

// Threads end for real: many start/stop cycles leave no task behind.
TEST(BLThread, StartStopCyclesLeakNoThreads)
{
    auto tasks = [] {
        int n = 0;
        if (DIR* d = opendir("/proc/self/task")) {
            while (dirent* e = readdir(d))
                n += e->d_name[0] != '.';
            closedir(d);
        }
        return n;
    };
    std::atomic<int> deleted{0};
    int before = 0;
    for (int i = 0; i < 201; ++i) {
        // After one cycle, so a sanitizer's own helper thread is counted in.
        if (i == 1)
            before = tasks();
        Counting t(&deleted);
        t.SetAutoDelete(false);
        ASSERT_TRUE(t.BeginThread());
        PostThreadMessage(t.GetThreadID(), 1100, unsigned(i), 0);
        t.CloseThread(10000, true);
    }
    EXPECT_EQ(tasks(), before);
}

// Programming errors end the process in every build type (this test also
// runs in the release build), naming the file and line.
TEST(RiloAssertDeathTest, NamesFileAndLineInEveryBuild)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    volatile int two = 2;
    EXPECT_DEATH(RILO_ASSERT(two + 1 == 4),
                 "BLThreadTest\\.cpp:[0-9]+: assertion \"two \\+ 1 == 4\" failed");
}

} // namespace
