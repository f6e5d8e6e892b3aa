// The transfer queue between a stream's receive thread and its decoder, and
// the counting semaphore under it.
#include "codec/CCountingSemaphore.h"
#include "codec/CTransferQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long ElapsedMs(Clock::time_point since)
{
    return long(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

const int kSlots = 30;

// What the streams do: an empty buffer, one unit written, put.
bool PutUnit(CTransferQueue& q, const std::string& unit)
{
    CSimpleBuffer* b = q.GetEmptyBuffer();
    if (!b)
        return false;
    b->Write(reinterpret_cast<const unsigned char*>(unit.data()), unit.size());
    q.PutQueueObject(b);
    return true;
}

// What the decoders do: take one, copy it, hand the buffer back. "" when none came.
std::string GetUnit(CTransferQueue& q, unsigned long limitMs)
{
    CSimpleBuffer* b = q.GetQueueObject(limitMs);
    if (!b)
        return "";
    std::string unit(reinterpret_cast<const char*>(b->Data()), b->DataLen());
    q.CollectBuffer(b);
    return unit;
}

void ForceUnit(CTransferQueue& q, const std::string& unit)
{
    q.ForcePutQueueTail(reinterpret_cast<const unsigned char*>(unit.data()), unit.size());
}

// Takes every free buffer and gives them back; how many there were.
int CountFreeBuffers(CTransferQueue& q)
{
    std::vector<CSimpleBuffer*> taken;
    while (CSimpleBuffer* b = q.GetEmptyBuffer())
        taken.push_back(b);
    for (CSimpleBuffer* b : taken)
        q.CollectBuffer(b);
    return int(taken.size());
}

class PutWait {
public:
    explicit PutWait(uint32_t ms) { CTransferQueue::SetPutWaitForTest(ms); }
    ~PutWait() { CTransferQueue::SetPutWaitForTest(0); }
};

} // namespace

TEST(CountingSemaphore, CountsUpToItsMaximumAndTimesOut)
{
    CCountingSemaphore sem(1, 2);
    EXPECT_TRUE(sem.Signal());
    EXPECT_FALSE(sem.Signal()); // at the maximum
    EXPECT_TRUE(sem.Wait(0));
    EXPECT_TRUE(sem.Wait(CCountingSemaphore::kInfinite));
    auto t0 = Clock::now();
    EXPECT_FALSE(sem.Wait(30));
    EXPECT_GE(ElapsedMs(t0), 29);
}

TEST(TransferQueue, KeepsOrderAndNeverHoldsTheProducerUpWhileTheConsumerWaits)
{
    CTransferQueue q(kSlots, 0);
    CSimpleBuffer* b = q.GetEmptyBuffer();
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(196608u, b->Capacity());
    q.CollectBuffer(b);
    q.PutQueueObject(nullptr);

    for (int i = 0; i < kSlots; ++i)
        ASSERT_TRUE(PutUnit(q, "unit " + std::to_string(i)));
    EXPECT_EQ(kSlots, q.GetQueueCount());
    for (int i = 0; i < kSlots; ++i)
        EXPECT_EQ("unit " + std::to_string(i), GetUnit(q, 100));

    auto t0 = Clock::now();
    EXPECT_EQ(nullptr, q.GetQueueObject(0));
    EXPECT_LT(ElapsedMs(t0), 500);

    // A consumer in a long timed wait on the empty queue: the producer gets
    // a buffer and puts at once, and the consumer wakes with it.
    std::atomic<long> gotAfterMs{-1};
    std::string got;
    t0 = Clock::now();
    std::thread consumer([&] {
        got = GetUnit(q, 20000);
        gotAfterMs = ElapsedMs(t0);
    });
    std::this_thread::sleep_for(milliseconds(100));
    auto t1 = Clock::now();
    ASSERT_TRUE(PutUnit(q, "late"));
    EXPECT_LT(ElapsedMs(t1), 2000);
    consumer.join();
    EXPECT_EQ("late", got);
    EXPECT_LT(gotAfterMs.load(), 10000);
}

TEST(TransferQueue, FullQueueDropsIntoTheFreeListAndRecovers)
{
    const uint32_t kWaitMs = 5;
    PutWait shortWait(kWaitMs);
    CTransferQueue q(kSlots, 64);

    // The producer holds one buffer while the ring fills up: the 29 others
    // and one from elsewhere (which the queue then owns).
    CSimpleBuffer* held = q.GetEmptyBuffer();
    ASSERT_NE(nullptr, held);
    for (int i = 0; i < kSlots - 1; ++i)
        ASSERT_TRUE(PutUnit(q, "unit " + std::to_string(i)));
    CSimpleBuffer* extra = new CSimpleBuffer(64);
    extra->Write(reinterpret_cast<const unsigned char*>("unit 29"), 7);
    q.PutQueueObject(extra);
    ASSERT_EQ(kSlots, q.GetQueueCount());

    // More than 30 drops; each dropped buffer is the next one the producer
    // gets, emptied.
    held->Write(reinterpret_cast<const unsigned char*>("dropped"), 7);
    for (int drop = 0; drop <= kSlots; ++drop) {
        auto t0 = Clock::now();
        q.PutQueueObject(held);
        EXPECT_GE(ElapsedMs(t0), long(kWaitMs) - 1);
        ASSERT_EQ(kSlots, q.GetQueueCount());
        held = q.GetEmptyBuffer();
        ASSERT_NE(nullptr, held) << "after drop " << drop;
        ASSERT_EQ(0u, held->DataLen());
        held->Write(reinterpret_cast<const unsigned char*>("dropped"), 7);
    }
    q.CollectBuffer(held);

    for (int i = 0; i < kSlots; ++i)
        ASSERT_EQ("unit " + std::to_string(i), GetUnit(q, 100));
    EXPECT_EQ("", GetUnit(q, 0));

    // Counts and semaphores still agree: exactly 30 puts fit, the next
    // one is dropped, and all 31 buffers are still there.
    for (int i = 0; i < kSlots; ++i)
        ASSERT_TRUE(PutUnit(q, "again " + std::to_string(i)));
    ASSERT_TRUE(PutUnit(q, "one too many"));
    EXPECT_EQ(kSlots, q.GetQueueCount());
    for (int i = 0; i < kSlots; ++i)
        ASSERT_EQ("again " + std::to_string(i), GetUnit(q, 100));
    EXPECT_EQ("", GetUnit(q, 0));
    EXPECT_EQ(kSlots + 1, CountFreeBuffers(q));
}

TEST(TransferQueue, ForcedConfigurationUnits)
{
    PutWait shortWait(5);
    CTransferQueue q(kSlots, 64);

    // With room: a buffer of its own, in order.
    ASSERT_TRUE(PutUnit(q, "vop 0"));
    ForceUnit(q, "config");
    EXPECT_EQ("vop 0", GetUnit(q, 100));
    EXPECT_EQ("config", GetUnit(q, 100));

    // Full: appended to the newest unit as far as it has room.
    for (int i = 0; i < kSlots; ++i)
        ASSERT_TRUE(PutUnit(q, "vop " + std::to_string(i)));
    ForceUnit(q, "config");
    ForceUnit(q, std::string(60, 'x'));
    ForceUnit(q, "lost"); // the newest buffer is full
    EXPECT_EQ(kSlots, q.GetQueueCount());
    for (int i = 0; i < kSlots - 1; ++i)
        ASSERT_EQ("vop " + std::to_string(i), GetUnit(q, 100));
    const std::string newest = "vop 29config";
    EXPECT_EQ(newest + std::string(64 - newest.size(), 'x'), GetUnit(q, 100));

    // Free slots but no free buffer (the consumer holds them all): the data
    // is given up and the slot is not lost.
    for (int i = 0; i < kSlots; ++i)
        ASSERT_TRUE(PutUnit(q, "vop " + std::to_string(i)));
    std::vector<CSimpleBuffer*> held;
    for (int i = 0; i < kSlots; ++i)
        held.push_back(q.GetQueueObject(100));
    ForceUnit(q, "config");
    EXPECT_EQ(0, q.GetQueueCount());
    for (CSimpleBuffer* b : held)
        q.CollectBuffer(b);
    for (int i = 0; i < kSlots; ++i)
        ASSERT_TRUE(PutUnit(q, "vop " + std::to_string(i)));
    EXPECT_EQ("vop 0", GetUnit(q, 100));
    EXPECT_EQ(kSlots - 1, q.GetQueueCount());
}

// One producer and one consumer over a small queue: every unit arrives once
// and in order, and no buffer goes missing. (A forced unit may be given up
// when the consumer is slow to hand its buffer back.)
TEST(TransferQueue, ThousandProducerConsumerCycles)
{
    const int kUnits = 1000;
    const int kSmall = 4;
    CTransferQueue q(kSmall, 32);
    std::atomic<int> dropped{0};

    std::thread producer([&] {
        for (int i = 0; i < kUnits; ++i) {
            if (i % 100 == 50)
                ForceUnit(q, "f" + std::to_string(i) + ";");
            else if (!PutUnit(q, std::to_string(i) + ";"))
                ++dropped;
        }
        for (int tries = 0; tries < 1000 && !PutUnit(q, "end;"); ++tries)
            ;
    });

    // A forced unit may have been appended to the one queued before it.
    int last = -1, received = 0, forced = 0;
    bool ended = false;
    for (auto t0 = Clock::now(); !ended && ElapsedMs(t0) < 120000;) {
        const std::string buffer = GetUnit(q, 100);
        for (size_t pos = 0, semi; (semi = buffer.find(';', pos)) != std::string::npos;
             pos = semi + 1) {
            const std::string unit = buffer.substr(pos, semi - pos);
            ended = ended || unit == "end";
            if (unit == "end")
                continue;
            const bool isForced = unit[0] == 'f';
            const int n = std::stoi(unit.substr(isForced));
            EXPECT_GT(n, last);
            last = n;
            (isForced ? forced : received) += 1;
        }
    }
    producer.join();
    EXPECT_TRUE(ended);
    EXPECT_EQ(kUnits - kUnits / 100, received + dropped.load());
    EXPECT_LE(forced, kUnits / 100);
    EXPECT_EQ(0, q.GetQueueCount());
    EXPECT_EQ(kSmall, CountFreeBuffers(q));
}
