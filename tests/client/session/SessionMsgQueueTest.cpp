// A session's own message queue: order, owned texts, dropping one source's
// entries, the final stop (also from inside a call), and the HTTP worker's
// events through it.
#include "session/CSessionMsgQueue.h"

#include "ClientTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using rilotest::Eventually;
using std::chrono::milliseconds;

// A call that waits until the test opens the gate.
struct Gate {
    std::mutex mu;
    std::condition_variable cv;
    bool open = false, reached = false;
    std::atomic<bool> left{false};

    static void Handler(void* param, unsigned long, unsigned long)
    {
        auto* g = static_cast<Gate*>(param);
        std::unique_lock<std::mutex> lk(g->mu);
        g->reached = true;
        g->cv.notify_all();
        g->cv.wait(lk, [&] { return g->open; });
        g->left = true;
    }
    bool Block(CSessionMsgQueue& q, const void* source = nullptr)
    {
        q.Post(CSessionMsg::Handler(Handler, this, 0, 0, source));
        std::unique_lock<std::mutex> lk(mu);
        return cv.wait_for(lk, std::chrono::seconds(10), [&] { return reached; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lk(mu);
        open = true;
        cv.notify_all();
    }
};

// Calls as "first:text", and whether any ran off the queue's thread.
struct Log {
    std::mutex mu;
    std::vector<std::string> calls;
    CSessionMsgQueue* queue = nullptr;
    std::atomic<int> offThread{0};

    static void Handler(void* param, unsigned long first, unsigned long second)
    {
        auto* log = static_cast<Log*>(param);
        log->offThread += log->queue && !log->queue->OnMessageThread();
        std::lock_guard<std::mutex> g(log->mu);
        log->calls.push_back(std::to_string(first) + ":" + reinterpret_cast<const char*>(second));
    }
    CSessionMsg Msg(unsigned long n, const char* text, const void* source = nullptr)
    {
        CSessionMsg m = CSessionMsg::Handler(Handler, this, n, 0, source);
        EXPECT_TRUE(m.SetText(CSessionMsg::argSecond, text));
        return m;
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> g(mu);
        return calls;
    }
};

TEST(SessionMsgQueue, RunsEachPostersEntriesInOrderOnItsThreadWithTheirOwnTexts)
{
    CSessionMsgQueue q;
    Log log;
    log.queue = &q;
    ASSERT_TRUE(q.Start());
    ASSERT_TRUE(q.Start());
    Gate gate;
    ASSERT_TRUE(gate.Block(q));
    // Queued behind the blocked call while the poster's buffer changes.
    char buf[16];
    std::strcpy(buf, "first");
    ASSERT_TRUE(q.Post(log.Msg(1, buf)));
    std::strcpy(buf, "later");
    EXPECT_TRUE(q.Post(CSessionMsg())); // nothing to call: discarded
    std::vector<std::thread> posters;
    for (int t = 1; t <= 3; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i)
                q.Post(log.Msg(unsigned(100 * t + i), "x"));
        });
    for (auto& p : posters)
        p.join();
    EXPECT_EQ(q.Pending(), 151u);
    gate.Open();
    ASSERT_TRUE(Eventually([&] { return log.Calls().size() == 151; }, milliseconds(10000)));
    auto calls = log.Calls();
    EXPECT_EQ(calls[0], "1:first");
    int next[4] = {};
    for (size_t i = 1; i < calls.size(); ++i) {
        int n = std::stoi(calls[i]);
        EXPECT_EQ(n % 100, next[n / 100]++) << "poster " << n / 100;
    }
    EXPECT_EQ(log.offThread.load(), 0);
    EXPECT_FALSE(q.OnMessageThread());
}

TEST(SessionMsgQueue, DiscardDropsOneSourceAndWaitsForItsRunningCall)
{
    CSessionMsgQueue q;
    Log log;
    ASSERT_TRUE(q.Start());
    int a = 0, b = 0;
    Gate gate;
    ASSERT_TRUE(gate.Block(q, &a));
    q.Post(log.Msg(1, "a", &a));
    q.Post(log.Msg(2, "b", &b));
    q.Post(log.Msg(3, "a", &a));
    std::atomic<bool> returned{false};
    size_t dropped = 0;
    std::thread stopper([&] {
        dropped = q.Discard(&a);
        returned = true;
    });
    // The entries go at once; the running call of a holds the discard.
    ASSERT_TRUE(Eventually([&] { return q.Pending() == 1; }, milliseconds(10000)));
    usleep(100000);
    EXPECT_FALSE(returned);
    gate.Open();
    stopper.join();
    EXPECT_TRUE(gate.left);
    EXPECT_EQ(dropped, 2u);
    ASSERT_TRUE(Eventually([&] { return log.Calls().size() == 1; }, milliseconds(10000)));
    EXPECT_EQ(log.Calls(), std::vector<std::string>{"2:b"});
    EXPECT_EQ(q.Discard(&b), 0u);
}

TEST(SessionMsgQueue, StopIsFinalDropsWhatIsQueuedAndRefusesPosts)
{
    Log log;
    auto q = std::make_unique<CSessionMsgQueue>();
    EXPECT_FALSE(q->Post(log.Msg(1, "not started")));
    ASSERT_TRUE(q->Start());
    Gate gate;
    ASSERT_TRUE(gate.Block(*q));
    for (int i = 0; i < 10; ++i)
        q->Post(log.Msg(unsigned(i), "queued"));
    std::thread opener([&] {
        usleep(50000);
        gate.Open();
    });
    q->Stop(); // waits for the running call, drops the ten
    EXPECT_TRUE(gate.left);
    opener.join();
    EXPECT_FALSE(q->IsRunning());
    EXPECT_FALSE(q->Post(log.Msg(99, "after")));
    EXPECT_FALSE(q->Start());
    q.reset();
    EXPECT_TRUE(log.Calls().empty());
}

std::atomic<CSessionMsgQueue*> g_selfStopped{nullptr};

void StopAndDeleteFromInside(void*, unsigned long, unsigned long)
{
    CSessionMsgQueue* q = g_selfStopped.load();
    EXPECT_TRUE(q->OnMessageThread());
    q->Stop();
    delete q; // the thread ends by itself after this call
    g_selfStopped = nullptr;
}

TEST(SessionMsgQueue, StopFromItsOwnThreadNeitherJoinsNorTouchesTheDeletedQueue)
{
    auto* q = new CSessionMsgQueue;
    ASSERT_TRUE(q->Start());
    // Counted with the queue's thread: a sanitizer may start one of its own.
    const int before = rilotest::CountThreads() - 1;
    Gate gate;
    ASSERT_TRUE(gate.Block(*q));
    Log log;
    g_selfStopped = q;
    ASSERT_TRUE(q->Post(CSessionMsg::Handler(StopAndDeleteFromInside, nullptr, 0, 0)));
    ASSERT_TRUE(q->Post(log.Msg(1, "never")));
    gate.Open();
    ASSERT_TRUE(Eventually([&] { return g_selfStopped.load() == nullptr; }, milliseconds(10000)));
    EXPECT_TRUE(
        Eventually([&] { return rilotest::CountThreads() == before; }, milliseconds(10000)));
    EXPECT_TRUE(log.Calls().empty());
}

struct HttpEvents {
    CSessionMsgQueue* queue;
    unsigned long stream = 0;
    std::atomic<unsigned long> value{0};
    std::atomic<int> wrong{0};

    static bool Callback(void* user, unsigned long stream, unsigned long value)
    {
        auto* ev = static_cast<HttpEvents*>(user);
        ev->wrong += !ev->queue->OnMessageThread() || stream != ev->stream;
        ev->value = value;
        return true;
    }
};

TEST(SessionMsgQueue, WorkerEventsRunOnTheQueuesThread)
{
    CSessionMsgQueue q;
    ASSERT_TRUE(q.Start());
    HttpEvents ev{&q};
    auto* w = new CHTTPCtrl(1124, false, 2);
    ev.stream = reinterpret_cast<unsigned long>(w);
    w->SetNotifyMessageCB(HttpEvents::Callback, &ev);
    w->SetEventPoster(CSessionMsgQueue::PostHTTPEvent, &q);
    ASSERT_TRUE(w->Create());
    w->Connect("127.0.0.1", rilotest::ClosedPort(), "/", false);
    ASSERT_TRUE(Eventually([&] { return ev.value != 0; }, milliseconds(10000)));
    w->Destroy();
    q.Discard(w);
    // A refused connect: reason 1 or 2 (connect error), kind 1.
    EXPECT_EQ(ev.value & 0xFFFF, 1ul);
    EXPECT_TRUE(ev.value >> 16 == 1 || ev.value >> 16 == 2) << ev.value;
    EXPECT_EQ(ev.wrong.load(), 0);
}

} // namespace
