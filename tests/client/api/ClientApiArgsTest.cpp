// Every exported function with a null handle (its result and message, on
// the stream the library gives it), handles of the other kind, setter texts
// that do not fit, and the starts refused before any connection. Nothing
// here reaches a camera.
#include "DiagCapture.h"
#include "RiloClientLib.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char kParam[] = "Vorn Lib: Error of parameter!\n";

enum Where { kOut, kErr, kSilent };

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

struct NullCase {
    const char* name;
    std::function<int()> call;
    int rc;
    Where where;
    const char* text;
};

TEST(ClientApiArgs, NullHandleOnEveryFunction)
{
    static int on = 7;
    static unsigned char data[8];
    int user = 0;
    void* u = &user;
    const NullCase cases[] = {
        {"RiloDestroyStream", [] { return RiloDestroyStream(nullptr); }, -1, kOut,
         "Vorn Lib RiloDestroyStream: Error of parameter!\n"},
        {"RiloSetStreamAddr", [] { return RiloSetStreamAddr(nullptr, "h", 80); }, -1, kOut, kParam},
        {"RiloSetStreamAuth", [] { return RiloSetStreamAuth(nullptr, "u", "p", 2); }, -1, kOut, kParam},
        {"RiloSetStreamAuthData", [] { return RiloSetStreamAuthData(nullptr, "x"); }, -1, kOut, kParam},
        {"RiloSetConnectMode", [] { return RiloSetConnectMode(nullptr, 1); }, -1, kOut, kParam},
        {"RiloSetAuthMD5Realm", [] { return RiloSetAuthMD5Realm(nullptr, "r"); }, -1, kOut, kParam},
        {"RiloSetStreamNotifyMsgHandler", [u] { return RiloSetStreamNotifyMsgHandler(nullptr, EventCB, u); },
         -1, kOut, kParam},
        {"RiloStartVideoStreamRenderCB",
         [u] { return RiloStartVideoStreamRenderCB(nullptr, VideoCB, u, 0, 3, 0); }, -1, kOut, kParam},
        {"RiloStopVideoStream", [] { return RiloStopVideoStream(nullptr); }, -1, kOut, kParam},
        {"RiloStartAudioStreamRenderCB", [u] { return RiloStartAudioStreamRenderCB(nullptr, AudioCB, u); },
         -1, kOut, kParam},
        {"RiloStopAudioStream", [] { return RiloStopAudioStream(nullptr); }, -1, kOut, kParam},
        {"RiloIsVideoStream", [] { return RiloIsVideoStream(nullptr); }, 0, kOut, kParam},
        {"RiloIsAudioStream", [] { return RiloIsAudioStream(nullptr); }, 0, kOut, kParam},
        {"RiloSetRecordingInterval", [] { return RiloSetRecordingInterval(nullptr, 1, 10); }, -1, kErr, kParam},
        {"RiloStartRecordingStreamIn", [] { return RiloStartRecordingStreamIn(nullptr, 0, "/tmp/x", 3); }, -1,
         kErr, kParam},
        {"RiloStopRecordingStreamIn", [] { return RiloStopRecordingStreamIn(nullptr, 0); }, -1, kErr, kParam},
        {"RiloIsOnRecordingStreamIn", [] { return RiloIsOnRecordingStreamIn(nullptr, 0, &on); }, -1, kErr,
         kParam},
        {"RiloReserveDiskFreeSpace", [] { return RiloReserveDiskFreeSpace(nullptr, 200); }, -1, kErr, kParam},
        {"RiloStartTwoWayAudioCB", [u] { return RiloStartTwoWayAudioCB(nullptr, 1, TalkCB, u); }, -1, kSilent,
         ""},
        {"RiloStartAudioStreamOutCB", [u] { return RiloStartAudioStreamOutCB(nullptr, TalkCB, u); }, -1,
         kSilent, ""},
        {"RiloFeedAudioStreamOutData", [] { return RiloFeedAudioStreamOutData(nullptr, data, 8); }, -1, kErr,
         kParam},
        {"RiloStopTwoWayAudio", [] { return RiloStopTwoWayAudio(nullptr); }, -1, kSilent, ""},
        {"RiloStopAudioStreamOut", [] { return RiloStopAudioStreamOut(nullptr); }, -1, kSilent, ""},
        {"RiloDestroyNotify", [] { return RiloDestroyNotify(nullptr); }, -1, kOut,
         "Vorn Lib RiloDestroyNotify: Error of parameter!\n"},
        {"RiloSetNotifyAddr", [] { return RiloSetNotifyAddr(nullptr, "h", 80); }, -1, kOut, kParam},
        {"RiloSetNotifyAuth", [] { return RiloSetNotifyAuth(nullptr, "u", "p", 2); }, -1, kOut, kParam},
        {"RiloSetNotifyAuthData", [] { return RiloSetNotifyAuthData(nullptr, "x"); }, -1, kOut, kParam},
        {"RiloSetNotifyAuthMD5Realm", [] { return RiloSetNotifyAuthMD5Realm(nullptr, "r"); }, -1, kOut, kParam},
        {"RiloSetNotifyConnectMode", [] { return RiloSetNotifyConnectMode(nullptr, 1); }, -1, kOut, kParam},
        {"RiloSetNotifyMsgHandler", [u] { return RiloSetNotifyMsgHandler(nullptr, NotifyCB, u); }, -1, kOut,
         kParam},
        {"RiloStartNotify", [] { return RiloStartNotify(nullptr); }, -1, kSilent, ""},
        {"RiloStopNotify", [] { return RiloStopNotify(nullptr); }, -1, kOut, kParam},
    };
    for (const NullCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Said s = Captured(c.call);
        EXPECT_EQ(s.rc, c.rc);
        EXPECT_EQ(s.out, c.where == kOut ? c.text : "");
        EXPECT_EQ(s.err, c.where == kErr ? c.text : "");
    }
    EXPECT_EQ(on, 7);
}

TEST(ClientApiArgs, RefusedFamiliesAndTheCreateMessages)
{
    for (unsigned modal : {0x2001u, 0x4210u, 0x5000u, 0x6004u}) {
        void* h = nullptr;
        const Said s = Captured([&] {
            h = RiloCreateStream(0, modal);
            return 0;
        });
        EXPECT_EQ(h, nullptr) << std::hex << modal;
        EXPECT_EQ(s.out, "Create Rilo component failed: out of memory!\n");
    }
    for (unsigned modal : {0x0101u, 0x3011u, 0x4100u, 0x10000104u}) {
        void* h = RiloCreateStream(7, modal);
        EXPECT_NE(h, nullptr) << std::hex << modal;
        EXPECT_EQ(RiloDestroyStream(h), 0);
    }
    void* n = RiloCreateNotify();
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(RiloDestroyNotify(n), 0);
}

// Texts of 1024 bytes or more are refused whole; 1023 bytes are taken.
TEST(ClientApiArgs, SetterTextsThatDoNotFitAreRefused)
{
    const std::string fits(1023, 'a'), over(1024, 'a');
    void* h = RiloCreateStream(0, 0x0101);
    void* n = RiloCreateNotify();
    ASSERT_NE(h, nullptr);
    ASSERT_NE(n, nullptr);
    for (const std::string* t : {&fits, &over}) {
        const int want = t == &fits ? 0 : -1;
        const char* s = t->c_str();
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

// What fails before a connection is tried: wrong handle kinds, a talk path
// that does not exist, recordings a model cannot make, URLs that do not fit
// or cannot be assigned.
TEST(ClientApiArgs, StartsRefusedBeforeConnecting)
{
    int user = 0;
    void* h = RiloCreateStream(0, 0x3011);
    void* n = RiloCreateNotify();
    ASSERT_NE(h, nullptr);
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(RiloSetStreamAddr(h, "127.0.0.1", 9), 0);

    // A stream handle has no event session, a notify handle no live session.
    EXPECT_EQ(RiloStartNotify(h), -1);
    EXPECT_EQ(RiloStopNotify(h), -1);
    EXPECT_EQ(RiloSetNotifyMsgHandler(h, NotifyCB, &user), -1);
    int on = 5;
    EXPECT_EQ(RiloIsOnRecordingStreamIn(n, 1, &on), -1);
    EXPECT_EQ(on, 0);
    Said s = Captured([&] { return RiloReserveDiskFreeSpace(n, 200); });
    EXPECT_EQ(s.rc, -1);
    EXPECT_EQ(s.err, "[RiloReserveDiskFreeSpace]: no stream is created.!\r\n");
    EXPECT_EQ(RiloStartVideoStreamRenderCB(n, VideoCB, &user, 0, 3, 0), -1);
    EXPECT_EQ(RiloIsVideoStream(n), 0);
    EXPECT_EQ(RiloIsAudioStream(n), 0);

    // A null callback is a bad parameter.
    s = Captured([&] { return RiloStartVideoStreamRenderCB(h, nullptr, &user, 0, 3, 0); });
    EXPECT_EQ(s.rc, -1);
    EXPECT_EQ(s.out, kParam);
    s = Captured([&] { return RiloStartAudioStreamRenderCB(h, nullptr, &user); });
    EXPECT_EQ(s.rc, -1);
    EXPECT_EQ(s.out, kParam);

    for (int path : {0, 4, -1}) {
        s = Captured([&] { return RiloStartTwoWayAudioCB(h, path, TalkCB, &user); });
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
    s = Captured([&] { return RiloStartAudioStreamRenderCB(h, AudioCB, &user); });
    EXPECT_EQ(s.rc, -1);
    EXPECT_EQ(s.out, "Current not support audio for these camera!\n");
    EXPECT_EQ(RiloIsOnRecordingStreamIn(h, 0, &on), 0);
    EXPECT_EQ(on, 0);

    // A host that makes the URL too long, and an empty one, fail the start.
    const std::string longHost(1010, 'h');
    ASSERT_EQ(RiloSetStreamAddr(h, longHost.c_str(), 80), 0);
    EXPECT_EQ(RiloStartVideoStreamRenderCB(h, VideoCB, &user, 0, 3, 0), -1);
    EXPECT_EQ(RiloStartTwoWayAudioCB(h, 1, TalkCB, &user), -1);
    EXPECT_EQ(RiloStartAudioStreamOutCB(h, TalkCB, &user), -1);
    ASSERT_EQ(RiloSetStreamAddr(h, "", 80), 0);
    EXPECT_EQ(RiloStartVideoStreamRenderCB(h, VideoCB, &user, 0, 3, 0), -1);
    EXPECT_EQ(RiloStartRecordingStreamIn(h, 1, path, 0), -1);
    EXPECT_EQ(RiloIsVideoStream(h), 0);

    // Notify without an address, or with one too long, does not start.
    EXPECT_EQ(RiloStartNotify(n), -1);
    ASSERT_EQ(RiloSetNotifyAddr(n, longHost.c_str(), 80), 0);
    EXPECT_EQ(RiloStartNotify(n), -1);

    unsigned char pcm[16] = {};
    EXPECT_EQ(RiloFeedAudioStreamOutData(h, pcm, -1), -1);
    EXPECT_EQ(RiloStopTwoWayAudio(h), 0);
    EXPECT_EQ(RiloDestroyStream(h), 0);
    EXPECT_EQ(RiloDestroyNotify(n), 0);
}

} // namespace
