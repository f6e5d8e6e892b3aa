// Two live sessions made, started, stopped and destroyed fifty times while
// pictures flow at a high rate: no callback after a stop returns, nothing
// left running. Also a handler that destroys and deletes its own session.
// Meant for TSan and ASan.
#include "LiveTestUtil.h"

#include "ClientTestUtil.h"
#include "DiagCapture.h"
#include "net/CTimerService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace livetest;

namespace {

void Cycle(int i, const LiveCamera& cam, const avitest::TempDir& dir)
{
    LiveLog logs[2];
    std::unique_ptr<CHTTPSCHLive> s[2];
    for (int k = 0; k < 2; ++k) {
        s[k] = std::make_unique<CHTTPSCHLive>();
        Point(*s[k], cam, logs[k]);
        // The second session's pictures come from the H.264 decode thread.
        if (k == 1) {
            ASSERT_TRUE(s[k]->AssignURL(cam.URL(kH264Path).c_str(), CHTTPSCHLive::kKindH264));
        }
        ASSERT_TRUE(s[k]->StartLiveVideo(true, k, false));
        // Every third cycle the first session also records its profile.
        if (k == 0 && i % 3 == 0) {
            const std::string file = dir.Path("c" + std::to_string(i) + ".avi");
            ASSERT_TRUE(s[k]->StartRecordVideo(file.c_str(), true, 0));
        }
    }
    // Half the cycles stop at once, the others once pictures came.
    if (i % 2 == 0) {
        for (LiveLog& log : logs)
            ASSERT_TRUE(log.WaitPictures(2, 30)) << "cycle " << i;
    }
    for (int k = 0; k < 2; ++k) {
        if ((i + k) % 4 == 3) {
            s[k]->Destroy(); // without StopAll
        } else {
            s[k]->StopLiveVideo();
            s[k]->StopAll();
        }
        logs[k].open = false;
        if (k == 1 || i % 5 != 0)
            s[k]->Destroy();
        s[k].reset();
    }
    for (LiveLog& log : logs)
        EXPECT_EQ(log.late, 0) << "cycle " << i;
}

TEST(LiveCycle, FiftyCyclesOfTwoSessionsEndEveryCallAndThread)
{
    testsupport::CaptureDiagOut(true);
    LiveCamera cam(MjpegRoute(100) + "," + H264Route(100));
    cam.MakeH264();
    avitest::TempDir dir;
    // Threads that live as long as the process start in the first cycle.
    Cycle(0, cam, dir);
    const int baseline = rilotest::CountThreads();
    for (int i = 1; i <= 50; ++i)
        Cycle(i, cam, dir);
    EXPECT_TRUE(httptest::Eventually([&] { return rilotest::CountThreads() == baseline; }, 10))
        << rilotest::CountThreads() << " vs " << baseline;
}

std::atomic<CHTTPSCHLive*> g_victim{nullptr};
std::atomic<int> g_selfCalls{0};

// Ends and frees its own session from the session's message thread.
void DestroyingHandler(void*, int, int)
{
    ++g_selfCalls;
    CHTTPSCHLive* s = g_victim.exchange(nullptr);
    if (!s)
        return;
    s->StopAll();
    s->Destroy();
    delete s;
}

TEST(LiveCycle, HandlerThatDestroysItsSession)
{
    testsupport::CaptureDiagOut(true);
    LiveCamera cam(MjpegRoute(50));
    CTimerService::Instance().Remove(CTimerService::Instance().Add(
        1, 0, [](void*, uint64_t) {}, nullptr));
    LiveLog log;
    auto* s = new CHTTPSCHLive;
    Point(*s, cam, log);
    const int baseline = rilotest::CountThreads();
    s->SetStreamNotifyCB(DestroyingHandler, nullptr);
    g_victim = s;
    ASSERT_TRUE(s->StartLiveVideo(true, 0, false));
    ASSERT_TRUE(httptest::Eventually([] { return g_victim.load() == nullptr; }, 20));
    // Its message thread, worker and transport are gone; no call followed.
    EXPECT_TRUE(httptest::Eventually([&] { return rilotest::CountThreads() == baseline - 1; }, 10))
        << rilotest::CountThreads() << " vs " << baseline - 1;
    EXPECT_EQ(g_selfCalls.load(), 1);
    // Under the capture's lock: the detached message thread's last lines are in.
    testsupport::TakeDiagOut();
}

} // namespace
