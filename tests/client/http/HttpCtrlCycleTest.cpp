// Many workers made, connected and destroyed while their connections fail
// and reconnects are pending: nothing may be left behind. Meant for TSan too.
#include "HttpCtrlTestUtil.h"

#include "net/CTimerService.h"
#include "ClientTestUtil.h"

#include <gtest/gtest.h>

using namespace httptest;
using testsupport::HttpEmulator;

namespace {

TEST(HttpCtrlCycle, FiftyCyclesWithReconnectsInFlightLeaveNoThread)
{
    HttpEmulator cam(R"({"body":{"pattern":"c"},"close_after":300})");
    HttpEmulator bad(R"({"status":500})");
    const unsigned refused = rilotest::ClosedPort();
    auto cycle = [&](int i) {
        Recorder rec;
        const int port = i % 3 == 0 ? cam.Port() : (i % 3 == 1 ? bad.Port() : int(refused));
        TestCtrl* w = StartWorker(rec, port, "/video/mjpg.cgi", 2, "Basic YWRtaW46cHc=");
        ASSERT_NE(w, nullptr);
        usleep(useconds_t((i % 5) * 12000));
        if (i % 4 == 1)
            w->ForceReconnect();
        if (i % 2)
            w->Disconnect();
        if (i % 6 == 5)
            w->Connect("127.0.0.1", unsigned(cam.Port()), "/", true);
        w->Destroy();
    };
    // The threads that live as long as the process start first: the timer
    // service, and whatever a sanitizer runs beside the test.
    CTimerService::Instance().Remove(CTimerService::Instance().Add(
        1, 0, [](void*, uint64_t) {}, nullptr));
    cycle(0);
    const int baseline = rilotest::CountThreads();
    ASSERT_GT(baseline, 0);
    for (int i = 1; i <= 50; ++i)
        cycle(i);
    EXPECT_TRUE(Eventually([&] { return rilotest::CountThreads() == baseline; }, 2))
        << rilotest::CountThreads() << " vs " << baseline;
    EXPECT_GE(cam.AcceptTimes().size(), 5u);
}

TEST(HttpCtrlCycle, TwoWorkersAtOnceEachGetTheirOwnEvents)
{
    HttpEmulator cam(R"({"body":{"pattern":"p"},"close_after":2000})");
    HttpEmulator bad(R"({"status":503})");
    Recorder a, b;
    TestCtrl* wa = StartWorker(a, cam.Port(), "/a", 2);
    TestCtrl* wb = StartWorker(b, bad.Port(), "/b", 2);
    ASSERT_TRUE(a.WaitEvent(ConnEvent(cerClosed), 10));
    ASSERT_TRUE(b.WaitEvent(ConnEvent(cerBadStatus), 10));
    wa->Destroy();
    wb->Destroy();
    EXPECT_FALSE(a.wrongStream);
    EXPECT_FALSE(b.wrongStream);
    EXPECT_EQ(a.Count(ConnEvent(cerBadStatus)), 0u);
    EXPECT_EQ(b.Count(ConnEvent(cerClosed)), 0u);
}

} // namespace
