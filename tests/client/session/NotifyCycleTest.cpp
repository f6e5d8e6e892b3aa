// Notify sessions made, started, stopped and destroyed fifty times while
// events flow: no handler call after a stop returns, nothing left running.
// Also a handler that destroys and deletes its own session. Meant for TSan.
#include "session/CHTTPNotifyLive.h"

#include "net/CTimerService.h"
#include "ClientTestUtil.h"
#include "HttpEmulator.h"
#include "NotifyRecorder.h"
#include "NotifyTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using namespace notifytest;
using rilotest::Eventually;
using std::chrono::milliseconds;
using testsupport::HttpEmulator;

int g_user;

void Cycle(int i, const std::string& url)
{
    NotifyRecorder& rec = NotifyRecorder::Get();
    auto* s = new CHTTPNotifyLive;
    ASSERT_TRUE(s->Create());
    ASSERT_TRUE(s->AssignNotifyURL(url.c_str()));
    s->SetParentCallback(&g_user, NotifyRecorder::Handler);
    rec.Open();
    const size_t before = rec.Count();
    ASSERT_TRUE(s->StartNotify(true));
    if (i % 2 == 0) {
        ASSERT_TRUE(rec.WaitCount(before + 1)) << "cycle " << i;
    }
    switch (i % 4) {
    case 0:
        s->StopNotifyHTTP();
        rec.Close();
        if (i % 8 == 0) {
            rec.Open();
            const size_t again = rec.Count();
            ASSERT_TRUE(s->StartNotify(true));
            ASSERT_TRUE(rec.WaitCount(again + 1));
            s->StopNotifyHTTP();
            rec.Close();
        }
        s->Destroy();
        break;
    case 1:
        s->StopNotify();
        rec.Close();
        s->Destroy();
        break;
    case 2:
        s->Destroy();
        rec.Close();
        break;
    default:
        break; // the destructor ends it
    }
    delete s;
    rec.Close();
}

TEST(NotifyCycle, FiftyCyclesWithEventsFlowingEndEveryCallAndThread)
{
    HttpEmulator cam(EventConfig(
        R"({"script":["motion_detected_1=on","camera_name=C","door=open",{"pause":0.005}],"repeat":true})"));
    const std::string url = EventURL(cam.Port());
    NotifyRecorder::Get().Reset();
    // Threads that live as long as the process start in the first cycle.
    Cycle(0, url);
    const int baseline = rilotest::CountThreads();
    for (int i = 1; i <= 50; ++i)
        Cycle(i, url);
    EXPECT_EQ(NotifyRecorder::Get().Late(), 0);
    EXPECT_GT(NotifyRecorder::Get().Count(), 25u);
    EXPECT_TRUE(
        Eventually([&] { return rilotest::CountThreads() == baseline; }, milliseconds(5000)))
        << rilotest::CountThreads() << " vs " << baseline;
}

std::atomic<CHTTPNotifyLive*> g_victim{nullptr};
std::atomic<int> g_selfCalls{0};

// Ends and frees its own session from the session's message thread.
void DestroyingHandler(void*, unsigned long, unsigned long)
{
    ++g_selfCalls;
    CHTTPNotifyLive* s = g_victim.exchange(nullptr);
    if (!s)
        return;
    s->Destroy();
    delete s;
}

TEST(NotifyCycle, HandlerThatDestroysItsSession)
{
    HttpEmulator cam(EventConfig(R"({"script":["gp_input_1=on",{"pause":0.005}],"repeat":true})"));
    // The timer service's thread lives as long as the process.
    CTimerService::Instance().Remove(CTimerService::Instance().Add(
        1, 0, [](void*, uint64_t) {}, nullptr));
    auto* s = new CHTTPNotifyLive;
    ASSERT_TRUE(s->Create());
    const int baseline = rilotest::CountThreads();
    ASSERT_TRUE(s->AssignNotifyURL(EventURL(cam.Port()).c_str()));
    s->SetParentCallback(&g_user, DestroyingHandler);
    g_victim = s;
    ASSERT_TRUE(s->StartNotify(true));
    ASSERT_TRUE(Eventually([] { return g_victim.load() == nullptr; }, milliseconds(20000)));
    // Its message thread, worker and transport are gone; no call followed.
    EXPECT_TRUE(
        Eventually([&] { return rilotest::CountThreads() == baseline - 1; }, milliseconds(5000)))
        << rilotest::CountThreads() << " vs " << baseline - 1;
    EXPECT_EQ(g_selfCalls.load(), 1);
}

} // namespace
