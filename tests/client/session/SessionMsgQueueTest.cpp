// A session's own message queue: order, owned texts, dropping a source's
// entries, the final stop (also from inside a call), and the HTTP worker's
// events through it.
#include "session/CSessionMsgQueue.h"

#include "ClientTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using rilotest::Eventually;
using std::chrono::milliseconds;

// A gate a call can wait at until the test opens it.
struct Gate {
    std::mutex mu;
    std::condition_variable cv;
    bool open = false;
    bool reached = false;
    std::atomic<bool> left{false};
    void Wait()
    {
        std::unique_lock<std::mutex> g(mu);
        reached = true;
        cv.notify_all();
        cv.wait(g, [&] { return open; });
        left = true;
    }
    bool WaitReached()
    {
        std::unique_lock<std::mutex> g(mu);
        return cv.wait_for(g, std::chrono::seconds(10), [&] { return reached; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> g(mu);
        open = true;
        cv.notify_all();
    }
};

struct Log {
    std::mutex mu;
    std::vector<std::string> calls;
    CSessionMsgQueue* queue = nullptr;
    std::atomic<int> offThread{0};

    void Add(const std::string& s)
    {
        if (queue && !queue->OnMessageThread())
            ++offThread;
        std::lock_guard<std::mutex> g(mu);
        calls.push_back(s);
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> g(mu);
        return calls;
    }
};

// param: the Log; first: a number; second: a text.
void TextHandler(void* param, unsigned long first, unsigned long second)
{
    static_cast<Log*>(param)->Add(std::to_string(first) + ":" + reinterpret_cast<const char*>(second));
}

void GateHandler(void* param, unsigned long, unsigned long)
{
    static_cast<Gate*>(param)->Wait();
}

bool GateCallback(void* param, unsigned long, unsigned long)
{
    static_cast<Gate*>(param)->Wait();
    return true;
}

CSessionMsg TextMsg(Log* log, unsigned long n, const char* text, const void* source = nullptr)
{
    CSessionMsg m = CSessionMsg::Handler(TextHandler, log, n, 0, source);
    EXPECT_TRUE(m.SetText(CSessionMsg::argSecond, text));
    return m;
}

TEST(SessionMsgQueue, RunsEachPostersEntriesInOrderOnItsThreadWithTheirOwnTexts)
{
    CSessionMsgQueue q;
    Log log;
    log.queue = &q;
    ASSERT_TRUE(q.Start());
    ASSERT_TRUE(q.Start());
    Gate gate;
    ASSERT_TRUE(q.Post(CSessionMsg::Handler(GateHandler, &gate, 0, 0)));
    ASSERT_TRUE(gate.WaitReached());
    // Queued behind the blocked call; the poster's buffer changes at once.
    char buf[16];
    std::strcpy(buf, "first");
    ASSERT_TRUE(q.Post(TextMsg(&log, 1, buf)));
    std::strcpy(buf, "later");
    EXPECT_TRUE(q.Post(CSessionMsg())); // nothing to call: discarded
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i)
                q.Post(TextMsg(&log, 100 * (t + 1) + i, "x"));
        });
    for (auto& p : posters)
        p.join();
    EXPECT_EQ(q.Pending(), 201u);
    gate.Open();
    ASSERT_TRUE(Eventually([&] { return log.Calls().size() == 201; }, milliseconds(10000)));
    auto calls = log.Calls();
    EXPECT_EQ(calls[0], "1:first");
    int next[4] = {0, 0, 0, 0};
    for (size_t i = 1; i < calls.size(); ++i) {
        int n = std::stoi(calls[i]);
        int t = n / 100 - 1;
        ASSERT_GE(t, 0);
        EXPECT_EQ(n % 100, next[t]++) << "poster " << t;
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
    ASSERT_TRUE(q.Post(CSessionMsg::Callback(GateCallback, &gate, 0, 0, &a)));
    ASSERT_TRUE(gate.WaitReached());
    q.Post(TextMsg(&log, 1, "a", &a));
    q.Post(TextMsg(&log, 2, "b", &b));
    q.Post(TextMsg(&log, 3, "a", &a));
    std::atomic<bool> returned{false};
    size_t dropped = 0;
    std::thread stopper([&] {
        dropped = q.Discard(&a);
        returned = true;
    });
    // The entries go at once; the call of a that runs holds the discard.
    ASSERT_TRUE(Eventually([&] { return q.Pending() == 1; }, milliseconds(10000)));
    usleep(100000);
    EXPECT_FALSE(returned);
    gate.Open();
    stopper.join();
    EXPECT_EQ(dropped, 2u);
    ASSERT_TRUE(Eventually([&] { return log.Calls().size() == 1; }, milliseconds(10000)));
    EXPECT_EQ(log.Calls(), std::vector<std::string>{"2:b"});
    // A source with nothing running does not wait.
    EXPECT_EQ(q.Discard(&b), 0u);
}

TEST(SessionMsgQueue, StopIsFinalDropsWhatIsQueuedAndRefusesPosts)
{
    Log log;
    auto q = std::make_unique<CSessionMsgQueue>();
    // Never started: posts are refused, their texts freed.
    EXPECT_FALSE(q->Post(TextMsg(&log, 1, "lost")));
    ASSERT_TRUE(q->Start());
    Gate gate;
    q->Post(CSessionMsg::Handler(GateHandler, &gate, 0, 0));
    ASSERT_TRUE(gate.WaitReached());
    for (int i = 0; i < 10; ++i)
        q->Post(TextMsg(&log, unsigned(i), "queued"));
    std::thread opener([&] {
        usleep(50000);
        gate.Open();
    });
    q->Stop(); // waits for the running call, drops the ten
    EXPECT_TRUE(gate.left);
    opener.join();
    EXPECT_FALSE(q->IsRunning());
    EXPECT_FALSE(q->Post(TextMsg(&log, 99, "after")));
    EXPECT_FALSE(q->Start());
    q->Stop();
    q.reset();
    EXPECT_TRUE(log.Calls().empty());
}

struct SelfStop {
    CSessionMsgQueue* queue;
    std::atomic<bool> done{false};
};

void StopAndDeleteFromInside(void* param, unsigned long, unsigned long)
{
    auto* s = static_cast<SelfStop*>(param);
    EXPECT_TRUE(s->queue->OnMessageThread());
    s->queue->Stop();
    delete s->queue; // the thread ends on its own after this call
    s->queue = nullptr;
    s->done = true;
}

TEST(SessionMsgQueue, StopFromItsOwnThreadNeitherJoinsNorTouchesTheDeletedQueue)
{
    SelfStop s;
    s.queue = new CSessionMsgQueue;
    ASSERT_TRUE(s.queue->Start());
    // Counted with the queue's thread: a sanitizer may start one of its own
    // with the first thread.
    const int before = rilotest::CountThreads() - 1;
    Gate gate;
    ASSERT_TRUE(s.queue->Post(CSessionMsg::Handler(GateHandler, &gate, 0, 0)));
    ASSERT_TRUE(gate.WaitReached());
    Log log;
    ASSERT_TRUE(s.queue->Post(CSessionMsg::Handler(StopAndDeleteFromInside, &s, 0, 0)));
    ASSERT_TRUE(s.queue->Post(TextMsg(&log, 1, "never")));
    gate.Open();
    ASSERT_TRUE(Eventually([&] { return s.done.load(); }, milliseconds(10000)));
    EXPECT_TRUE(log.Calls().empty());
    EXPECT_TRUE(Eventually([&] { return rilotest::CountThreads() == before; }, milliseconds(10000)));
}

struct HttpEvents {
    std::mutex mu;
    std::vector<unsigned long> values;
    unsigned long stream = 0;
    CSessionMsgQueue* queue = nullptr;
    std::atomic<int> offThread{0};
};

bool OnHttpEvent(void* user, unsigned long stream, unsigned long value)
{
    auto* ev = static_cast<HttpEvents*>(user);
    if (!ev->queue->OnMessageThread() || stream != ev->stream)
        ++ev->offThread;
    std::lock_guard<std::mutex> g(ev->mu);
    ev->values.push_back(value);
    return true;
}

TEST(SessionMsgQueue, WorkerEventsRunOnTheQueuesThread)
{
    CSessionMsgQueue q;
    ASSERT_TRUE(q.Start());
    HttpEvents ev;
    ev.queue = &q;
    auto* w = new CHTTPCtrl(1124, false, 2);
    ev.stream = reinterpret_cast<unsigned long>(w);
    w->SetNotifyMessageCB(OnHttpEvent, &ev);
    w->SetEventPoster(CSessionMsgQueue::PostHTTPEvent, &q);
    ASSERT_TRUE(w->Create());
    w->Connect("127.0.0.1", rilotest::ClosedPort(), "/", false);
    ASSERT_TRUE(Eventually(
        [&] {
            std::lock_guard<std::mutex> g(ev.mu);
            return !ev.values.empty();
        },
        milliseconds(10000)));
    w->Destroy();
    q.Discard(w);
    std::lock_guard<std::mutex> g(ev.mu);
    // A refused connect: reason 1 or 2 (connect error), kind 1.
    const unsigned long v = ev.values.front();
    EXPECT_EQ(v & 0xFFFF, 1ul);
    EXPECT_TRUE(v >> 16 == 1 || v >> 16 == 2) << v;
    EXPECT_EQ(ev.offThread.load(), 0);
}

} // namespace
