// The live session without a camera: the event maps on their edge cases,
// the recording-interval clamps and the URL rules.
#include "session/CHTTPSCHLive.h"
#include "session/LiveSessionMaps.h"
#include "stream/CHTTPH264Stream.h"
#include "stream/CHTTPMJPStrm.h"
#include "stream/CHTTPMP4Strm.h"

#include "DiagCapture.h"
#include "http/HttpCtrlTestUtil.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

unsigned long Word(int code, unsigned kind)
{
    return uint32_t(code) << 16 | kind;
}

struct MapCase {
    unsigned long event;
    bool bVideo;
    bool bDelivered;
    int nCategory, nCode;
    bool bStop;
};

TEST(LiveSessionMaps, EdgeCases)
{
    const int kStarted = 0x1001E;
    const MapCase cases[] = {
        // Connection events: first data, the two connect failures, size
        // change, a picture too large; codes from 15 on are not delivered.
        {Word(0, 1), true, true, 0, 0, false},
        {Word(2, 1), true, true, 0, 1, false},
        {Word(7, 1), true, true, 0, 6, false},
        {Word(8, 1), true, false, 0, 0, false},
        {Word(9, 1), true, false, 0, 0, false},
        {Word(12, 1), true, true, 0, 12, false},
        {Word(13, 1), true, true, 0, 0x10000, false},
        {Word(14, 1), true, true, 0, 0x10001, false},
        {Word(15, 1), true, false, 0, 0, false},
        // Audio gives 0 for every code it does not map.
        {Word(0, 1), false, true, 1, 0, false},
        {Word(8, 1), false, true, 1, 0, false},
        {Word(13, 1), false, true, 1, 0, false},
        {Word(3, 1), false, true, 1, 2, false},
        {Word(11, 1), false, true, 1, 11, false},
        // Recording events, alike for both; final ones stop the recording.
        {Word(1, 2), true, false, 0, 0, false},
        {Word(2, 2), false, true, 2, 21, true},
        {Word(3, 2), true, true, 2, kStarted, false},
        {Word(4, 2), true, true, 2, 21, true},
        {Word(5, 2), false, true, 2, 22, true},
        {Word(6, 2), true, true, 2, 24, true},
        {Word(7, 2), true, false, 0, 0, false},
        // A write error (-1) as the worker posts it, and sign-extended to 64 bits.
        {0xFFFF0002ul, true, true, 2, 23, true},
        {~0ul << 16 | 2, false, true, 2, 23, true},
        // Bits above 31 are not part of the code; other kinds are not events.
        {(1ul << 40) | Word(5, 2), true, true, 2, 22, true},
        {Word(5, 3), true, false, 0, 0, false},
        {Word(1, 0), false, false, 0, 0, false},
    };
    for (const MapCase& c : cases) {
        livemaps::EventAction act{-1, -1, false};
        const bool got = c.bVideo ? livemaps::MapVideoEvent(c.event, &act)
                                  : livemaps::MapAudioEvent(c.event, &act);
        SCOPED_TRACE(testing::Message() << std::hex << c.event << (c.bVideo ? " video" : " audio"));
        ASSERT_EQ(got, c.bDelivered);
        if (!got)
            continue;
        EXPECT_EQ(act.nCategory, c.nCategory);
        EXPECT_EQ(act.nCode, c.nCode);
        EXPECT_EQ(act.bStopRecorder, c.bStop);
    }
}

TEST(LiveSessionMaps, RecordingIntervalClamps)
{
    const long cases[][4] = {
        // value, kind in; value, kind stored
        {0, 0, 1800, 0},  {14399, 0, 14399, 0}, {14400, 0, 1800, 0}, {240, 1, 30, 1},
        {239, 1, 239, 1}, {2048, 16, 1024, 16}, {-5, 16, 1024, 16},  {3, 17, 1, 17},
        {2, 17, 2, 17},   {5, 2, 5, 0},         {0, 99, 1800, 0},
    };
    for (const auto& c : cases) {
        long value = c[0], kind = c[1];
        livemaps::ClampRecordingInterval(&value, &kind);
        EXPECT_EQ(value, c[2]) << c[0] << "," << c[1];
        EXPECT_EQ(kind, c[3]) << c[0] << "," << c[1];
    }
}

// Handler calls through the session's own thread: a video event of a null
// stream and audio events of another stream are dropped; nothing runs
// after Destroy.
struct Calls {
    std::mutex mu;
    std::vector<std::pair<int, int>> v;
    static void On(void* user, int cat, int code)
    {
        auto* c = static_cast<Calls*>(user);
        std::lock_guard<std::mutex> g(c->mu);
        c->v.emplace_back(cat, code);
    }
};

TEST(LiveSessionEvents, DeliveryOnTheMessageThread)
{
    Calls calls;
    auto* s = new CHTTPSCHLive;
    ASSERT_TRUE(s->Create(7));
    s->SetStreamNotifyCB(Calls::On, &calls);
    const unsigned long stream = 0x1000;
    EXPECT_FALSE(s->DoHTTPStreamNotify(0, Word(2, 1)));
    EXPECT_FALSE(s->DoAudioHTTPStreamNotify(stream, Word(2, 1))); // not its audio stream
    EXPECT_FALSE(s->DoHTTPStreamNotify(stream, Word(8, 1)));
    // Through the queue, in order.
    testsupport::CaptureDiagOut(true);
    ASSERT_TRUE(s->PostMessage(CHTTPSCHLive::OnHTTPStreamNotify, s, stream, Word(13, 1)));
    ASSERT_TRUE(s->PostMessage(CHTTPSCHLive::OnHTTPStreamNotify, s, stream, 0xFFFF0002ul));
    ASSERT_TRUE(s->PostMessage(CHTTPSCHLive::OnHTTPStreamNotify, nullptr, stream, Word(2, 1)));
    EXPECT_TRUE(httptest::Eventually(
        [&] {
            std::lock_guard<std::mutex> g(calls.mu);
            return calls.v.size() >= 2;
        },
        10));
    EXPECT_TRUE(s->Destroy());
    EXPECT_FALSE(s->PostMessage(CHTTPSCHLive::OnHTTPStreamNotify, s, stream, Word(2, 1)));
    delete s;
    std::lock_guard<std::mutex> g(calls.mu);
    const std::vector<std::pair<int, int>> want = {{0, 0x10000}, {2, 23}};
    EXPECT_EQ(calls.v, want);
}

TEST(LiveSessionURL, AssignRules)
{
    CHTTPSCHLive s;
    ASSERT_TRUE(s.AssignURL("http://cam.example:8081/video/mjpg.cgi?res=1", 1));
    // Another scheme is refused, yet its kind is taken: the next stream is MPEG-4.
    EXPECT_FALSE(s.AssignURL("https://other.example/x", 0));
    testsupport::CaptureDiagOut(true);
    EXPECT_EQ(s.CreateHTTPByProfileID(4), 1);
    EXPECT_NE(dynamic_cast<CHTTPMP4Strm*>(s.GetStreamByProfileID(4)), nullptr);
    EXPECT_TRUE(s.AssignURL("HTTP://127.0.0.1/a/b.cgi?x=1&y=2", 2));
    EXPECT_EQ(s.CreateHTTPByProfileID(5), 1);
    EXPECT_NE(dynamic_cast<CHTTPH264Stream*>(s.GetStreamByProfileID(5)), nullptr);
    EXPECT_TRUE(s.AssignURL("HTTP://127.0.0.1/a/b.cgi?x=1&y=2", 7)); // any other kind: MJPEG
    EXPECT_EQ(s.CreateHTTPByProfileID(3), 1);
    EXPECT_NE(dynamic_cast<CHTTPMJPStrm*>(s.GetStreamByProfileID(3)), nullptr);
    EXPECT_EQ(s.CreateHTTPByProfileID(3), -1);
    EXPECT_EQ(s.GetCurrentStreamCount(), 3);
    EXPECT_EQ(s.GetUseCountForTest(3), 0);
    // Its count is 0: one release stops it.
    EXPECT_EQ(s.ReleaseRefByProfileID(3), 0);
    EXPECT_EQ(s.GetCurrentStreamCount(), 2);
}

} // namespace
