// Every exported function with a null handle (its result and message, on
// the stream the library gives it) and with handles the library never made
// or has destroyed, which get the same answers also while newer handles
// live; handles of the other kind,
// setter texts that do not fit, and starts refused before any connection.
// Nothing here reaches a camera.
#include "DiagCapture.h"
#include "RiloClientLib.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

const char kParam[] = "Vorn Lib: Error of parameter!\n";

struct Said {
    int rc;
    std::string out, err;
};

Said Captured(const std::function<int()>& f)
{
    testsupport::CaptureDiagOut();
    testing::internal::CaptureStderr();
    Said s;
    s.rc = f();
    s.err = testing::internal::GetCapturedStderr();
    s.out = testsupport::TakeDiagOut();
    return s;
}

void VideoCB(void*, BITMAPINFOHEADER*, unsigned char*, unsigned long) {}
void AudioCB(void*, unsigned char*, unsigned long, unsigned long, long long*) {}
void EventCB(void*, int, int) {}
bool TalkCB(void*, unsigned long, unsigned long)
{
    return true;
}
void NotifyCB(void*, unsigned long, unsigned long) {}

int g_user, g_on = 7;
unsigned char g_data[8];

enum Where { kOut, kErr, kSilent };
struct NullCase {
    const char* call;
    int (*run)(void* h);
    int rc;
    Where where;
    const char* text;
};
#define NULL_CASE(call, rc, where, text) \
    { \
#call, [](void* h) { return int(call); }, rc, where, text \
    }

TEST(ClientApiArgs, NullForeignAndDestroyedHandlesOnEveryFunction)
{
    void* stream = RiloCreateStream(0, 0x0101);
    void* notify = RiloCreateNotify();
    ASSERT_NE(stream, nullptr);
    ASSERT_NE(notify, nullptr);
    ASSERT_EQ(RiloDestroyStream(stream), 0);
    ASSERT_EQ(RiloDestroyNotify(notify), 0);
    // Made after the destroys: memory freed by them is likely taken again.
    void* newerStream = RiloCreateStream(0, 0x0101);
    void* newerNotify = RiloCreateNotify();
    ASSERT_NE(newerStream, nullptr);
    ASSERT_NE(newerNotify, nullptr);
    EXPECT_NE(newerStream, stream);
    EXPECT_NE(newerNotify, notify);
    static unsigned char foreign[sizeof(void*) * 2048] = {0xA5};
    struct Bad {
        const char* name;
        void* h;
    } const bad[] = {{"null", nullptr},
                     {"foreign", foreign},
                     {"destroyed stream", stream},
                     {"destroyed notify", notify}};
    const NullCase cases[] = {
        NULL_CASE(RiloDestroyStream(h), -1, kOut,
                  "Vorn Lib RiloDestroyStream: Error of parameter!\n"),
        NULL_CASE(RiloSetStreamAddr(h, "h", 80), -1, kOut, kParam),
        NULL_CASE(RiloSetStreamAuth(h, "u", "p", 2), -1, kOut, kParam),
        NULL_CASE(RiloSetStreamAuthData(h, "x"), -1, kOut, kParam),
        NULL_CASE(RiloSetConnectMode(h, 1), -1, kOut, kParam),
        NULL_CASE(RiloSetAuthMD5Realm(h, "r"), -1, kOut, kParam),
        NULL_CASE(RiloSetStreamNotifyMsgHandler(h, EventCB, &g_user), -1, kOut, kParam),
        NULL_CASE(RiloStartVideoStreamRenderCB(h, VideoCB, &g_user, 0, 3, 0), -1, kOut, kParam),
        NULL_CASE(RiloStopVideoStream(h), -1, kOut, kParam),
        NULL_CASE(RiloStartAudioStreamRenderCB(h, AudioCB, &g_user), -1, kOut, kParam),
        NULL_CASE(RiloStopAudioStream(h), -1, kOut, kParam),
        NULL_CASE(RiloIsVideoStream(h), 0, kOut, kParam),
        NULL_CASE(RiloIsAudioStream(h), 0, kOut, kParam),
        NULL_CASE(RiloSetRecordingInterval(h, 1, 10), -1, kErr, kParam),
        NULL_CASE(RiloStartRecordingStreamIn(h, 0, "/tmp/x", 3), -1, kErr, kParam),
        NULL_CASE(RiloStopRecordingStreamIn(h, 0), -1, kErr, kParam),
        NULL_CASE(RiloIsOnRecordingStreamIn(h, 0, &g_on), -1, kErr, kParam),
        NULL_CASE(RiloReserveDiskFreeSpace(h, 200), -1, kErr, kParam),
        NULL_CASE(RiloStartTwoWayAudioCB(h, 1, TalkCB, &g_user), -1, kSilent, ""),
        NULL_CASE(RiloStartAudioStreamOutCB(h, TalkCB, &g_user), -1, kSilent, ""),
        NULL_CASE(RiloFeedAudioStreamOutData(h, g_data, 8), -1, kErr, kParam),
        NULL_CASE(RiloStopTwoWayAudio(h), -1, kSilent, ""),
        NULL_CASE(RiloStopAudioStreamOut(h), -1, kSilent, ""),
        NULL_CASE(RiloDestroyNotify(h), -1, kOut,
                  "Vorn Lib RiloDestroyNotify: Error of parameter!\n"),
        NULL_CASE(RiloSetNotifyAddr(h, "h", 80), -1, kOut, kParam),
        NULL_CASE(RiloSetNotifyAuth(h, "u", "p", 2), -1, kOut, kParam),
        NULL_CASE(RiloSetNotifyAuthData(h, "x"), -1, kOut, kParam),
        NULL_CASE(RiloSetNotifyAuthMD5Realm(h, "r"), -1, kOut, kParam),
        NULL_CASE(RiloSetNotifyConnectMode(h, 1), -1, kOut, kParam),
        NULL_CASE(RiloSetNotifyMsgHandler(h, NotifyCB, &g_user), -1, kOut, kParam),
        NULL_CASE(RiloStartNotify(h), -1, kSilent, ""),
        NULL_CASE(RiloStopNotify(h), -1, kOut, kParam),
    };
    for (const Bad& b : bad) {
        for (const NullCase& c : cases) {
            const Said s = Captured([&] { return c.run(b.h); });
            EXPECT_EQ(s.rc, c.rc) << c.call << " with a " << b.name << " handle";
            EXPECT_EQ(s.out, c.where == kOut ? c.text : "")
                << c.call << " with a " << b.name << " handle";
            EXPECT_EQ(s.err, c.where == kErr ? c.text : "")
                << c.call << " with a " << b.name << " handle";
        }
    }
    EXPECT_EQ(g_on, 7);
    EXPECT_EQ(foreign[0], 0xA5);
    EXPECT_EQ(RiloDestroyStream(newerStream), 0);
    EXPECT_EQ(RiloDestroyNotify(newerNotify), 0);
}

TEST(ClientApiArgs, RefusedFamiliesAndLongTexts)
{
    for (unsigned modal : {0x2001u, 0x4210u, 0x5000u, 0x6004u}) {
        const Said s = Captured([&] { return RiloCreateStream(0, modal) == nullptr ? 0 : 1; });
        EXPECT_EQ(s.rc, 0) << std::hex << modal;
        EXPECT_EQ(s.out, "Create Rilo component failed: out of memory!\n");
    }
    // Texts of 1024 bytes or more are refused whole; 1023 bytes are taken.
    void* h = RiloCreateStream(0, 0x10000101); // bits above the low 16 do not count
    void* n = RiloCreateNotify();
    ASSERT_NE(h, nullptr);
    ASSERT_NE(n, nullptr);
    for (size_t len : {1023, 1024}) {
        const int want = len < 1024 ? 0 : -1;
        const std::string t(len, 'a');
        const char* s = t.c_str();
        EXPECT_EQ(RiloSetStreamAddr(h, s, 80), want);
        EXPECT_EQ(RiloSetStreamAuth(h, s, "pw", 2), want);
        EXPECT_EQ(RiloSetStreamAuth(h, "admin", s, 2), want);
        EXPECT_EQ(RiloSetStreamAuthData(h, s), want);
        EXPECT_EQ(RiloSetAuthMD5Realm(h, s), want);
        EXPECT_EQ(RiloSetNotifyAddr(n, s, 80), want);
        EXPECT_EQ(RiloSetNotifyAuth(n, s, "pw", 2), want);
        EXPECT_EQ(RiloSetNotifyAuthData(n, s), want);
        EXPECT_EQ(RiloSetNotifyAuthMD5Realm(n, s), want);
    }
    EXPECT_EQ(RiloDestroyStream(h), 0);
    EXPECT_EQ(RiloDestroyNotify(n), 0);
}

// Wrong handle kinds, a talk path that does not exist, recordings a model
// cannot make, URLs that do not fit or cannot be assigned.
TEST(ClientApiArgs, StartsRefusedBeforeConnecting)
{
    void* h = RiloCreateStream(0, 0x3011);
    void* n = RiloCreateNotify();
    ASSERT_NE(h, nullptr);
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(RiloSetStreamAddr(h, "127.0.0.1", 9), 0);

    EXPECT_EQ(RiloStartNotify(h), -1);
    EXPECT_EQ(RiloStopNotify(h), -1);
    EXPECT_EQ(RiloSetNotifyMsgHandler(h, NotifyCB, &g_user), -1);
    int on = 5;
    EXPECT_EQ(RiloIsOnRecordingStreamIn(n, 1, &on), -1);
    EXPECT_EQ(on, 0);
    Said s = Captured([&] { return RiloReserveDiskFreeSpace(n, 200); });
    EXPECT_EQ(s.rc, -1);
    EXPECT_EQ(s.err, "[RiloReserveDiskFreeSpace]: no stream is created.!\r\n");
    EXPECT_EQ(RiloStartVideoStreamRenderCB(n, VideoCB, &g_user, 0, 3, 0), -1);
    EXPECT_EQ(RiloIsVideoStream(n), 0);

    s = Captured([&] { return RiloStartVideoStreamRenderCB(h, nullptr, &g_user, 0, 3, 0); });
    EXPECT_EQ(s.rc, -1);
    EXPECT_EQ(s.out, kParam);
    for (int path : {0, 4}) {
        s = Captured([&] { return RiloStartTwoWayAudioCB(h, path, TalkCB, &g_user); });
        EXPECT_EQ(s.rc, -3) << path;
        EXPECT_EQ(s.err, "[RiloStartTwoWayAudioCB]No such path to stream out...\n");
    }
    // Family 0x30 has no audio: flags 2 and 3 give -6, unknown flags -1.
    const char* path = "/tmp/rilo-never-written.avi";
    for (int flags : {2, 3}) {
        s = Captured([&] { return RiloStartRecordingStreamIn(h, flags, path, 3); });
        EXPECT_EQ(s.rc, -6) << flags;
        EXPECT_EQ(s.out, "Current not support audio for these camera!\n");
    }
    EXPECT_EQ(RiloStartRecordingStreamIn(h, 4, path, 3), -1);
    EXPECT_EQ(RiloStartAudioStreamRenderCB(h, AudioCB, &g_user), -1);

    // A host that makes a URL too long, or an empty one, fails the start.
    const std::string longHost(1010, 'h');
    ASSERT_EQ(RiloSetStreamAddr(h, longHost.c_str(), 80), 0);
    ASSERT_EQ(RiloSetNotifyAddr(n, longHost.c_str(), 80), 0);
    EXPECT_EQ(RiloStartVideoStreamRenderCB(h, VideoCB, &g_user, 0, 3, 0), -1);
    EXPECT_EQ(RiloStartTwoWayAudioCB(h, 1, TalkCB, &g_user), -1);
    EXPECT_EQ(RiloStartAudioStreamOutCB(h, TalkCB, &g_user), -1);
    EXPECT_EQ(RiloStartNotify(n), -1);
    ASSERT_EQ(RiloSetStreamAddr(h, "", 80), 0);
    ASSERT_EQ(RiloSetNotifyAddr(n, "", 80), 0);
    EXPECT_EQ(RiloStartVideoStreamRenderCB(h, VideoCB, &g_user, 0, 3, 0), -1);
    EXPECT_EQ(RiloStartRecordingStreamIn(h, 1, path, 0), -1);
    EXPECT_EQ(RiloStartNotify(n), -1);
    EXPECT_EQ(RiloIsVideoStream(h), 0);
    EXPECT_EQ(RiloFeedAudioStreamOutData(h, g_data, -1), -1);
    EXPECT_EQ(RiloDestroyStream(h), 0);
    EXPECT_EQ(RiloDestroyNotify(n), 0);
}

} // namespace
