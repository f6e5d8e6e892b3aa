// The client library driven through its exported functions only, against
// the emulated camera on loopback: live MJPEG by model code and profile,
// u-law audio, recordings that ffprobe reads, event notification and
// talk-back, with URLs chosen by model code, authorization type and path.
#include "ClientApiTestUtil.h"
#include "ClientTestUtil.h"
#include "DiagCapture.h"
#include "RiloClientLib.h"
#include "http/HttpCtrlTestUtil.h"
#include "record/AviTestUtil.h"
#include "session/NotifyRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using apitest::kWait;
using apitest::Log;
using apitest::Recording;
using apitest::Stream;
using avitest::Ffmpeg;
using httptest::Eventually;
using testsupport::HttpEmulator;

namespace {

using Pictures = Log<std::pair<BITMAPINFOHEADER, unsigned long>>;
using Events = Log<std::pair<int, int>>;
using Sound = Log<std::pair<unsigned long, std::vector<unsigned char>>>;
using Talk = Log<unsigned long>;

void OnPicture(void* u, BITMAPINFOHEADER* h, unsigned char*, unsigned long n)
{
    static_cast<Pictures*>(u)->Add({*h, n});
}
void OnEvent(void* u, int category, int code)
{
    static_cast<Events*>(u)->Add({category, code});
}
void OnSound(void* u, unsigned char* data, unsigned long n, unsigned long kind, long long*)
{
    static_cast<Sound*>(u)->Add({kind, std::vector<unsigned char>(data, data + n)});
}
bool OnTalk(void* u, unsigned long code, unsigned long)
{
    static_cast<Talk*>(u)->Add(code);
    return true;
}
bool Has(Events& e, int category, int code)
{
    const auto got = e.Get();
    return std::find(got.begin(), got.end(), std::make_pair(category, code)) != got.end();
}

// The request targets the camera saw, repeats folded, and whether the last
// request was authorized.
std::vector<std::string> Targets(const HttpEmulator& cam)
{
    std::vector<std::string> out;
    for (const auto& r : cam.Requests()) {
        const std::string t = r.Text();
        const size_t sp = t.find(' ');
        const std::string target = t.substr(sp + 1, t.find(' ', sp + 1) - sp - 1);
        if (out.empty() || out.back() != target)
            out.push_back(target);
    }
    return out;
}
size_t Occurrences(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool Authorized(const HttpEmulator& cam)
{
    const auto reqs = cam.Requests();
    return !reqs.empty() && reqs.back().auth == "ok";
}

const char kMultipart[] =
    R"({"body": {"multipart": {"parts": [{"file": "f1.jpg"}, {"file": "f2.jpg"}], "fps": 25}}})";
const char kUlaw[] = R"({"body": {"generator": "media_packets:acas", "args": {"file": "tone.ul",
    "packet_bytes": 160, "tag": 1, "interval_ms": 20, "repeat": true}}})";

// A camera whose routes (path, route) serve media made in its folder.
std::unique_ptr<HttpEmulator> Camera(const std::string& top,
                                     const std::vector<std::pair<std::string, const char*>>& routes)
{
    std::vector<std::pair<std::string, std::string>> r(routes.begin(), routes.end());
    auto cam = apitest::CameraWithRoutes(top, r);
    const std::string dir = cam->Dir();
    EXPECT_EQ(Ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=10 -frames:v 2 -q:v 6 '" + dir +
                     "/f%d.jpg'"),
              0);
    EXPECT_EQ(
        Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000 -t 1 -c:a pcm_mulaw -f mulaw '" +
               dir + "/tone.ul'"),
        0);
    return cam;
}
const char kBasic[] = R"("auth": "basic", "user": "admin", "password": "pw")";

// Model 0x0101 with profile 3 reads the MJPEG form with that profile, and a
// second start while one renders is refused; family 0x30 uses its fixed URL.
TEST(ClientApiFlow, MjpegLiveViewByModelCode)
{
    auto cam = Camera(kBasic, {{"/video/mjpg.cgi", kMultipart}, {"/VIDEO.CGI", kMultipart}});
    Pictures pics;
    Events events;
    void* h = Stream(0x0101, cam->Port());
    ASSERT_EQ(RiloSetStreamNotifyMsgHandler(h, OnEvent, &events), 0);
    ASSERT_EQ(RiloStartVideoStreamRenderCB(h, OnPicture, &pics, 0, 3, 0), 0);
    ASSERT_TRUE(Eventually([&] { return pics.Size() >= 3 && Has(events, 0, 0); }, kWait));
    EXPECT_EQ(RiloIsVideoStream(h), 1);
    EXPECT_EQ(RiloStartVideoStreamRenderCB(h, OnPicture, &pics, 0, 2, 0), -1);
    const auto last = pics.Get().back();
    EXPECT_EQ(last.first.biWidth, 320);
    EXPECT_EQ(last.first.biHeight, -240);
    EXPECT_EQ(last.first.biBitCount, 32);
    EXPECT_EQ(last.first.biSizeImage, 320u * 240u * 4u);
    EXPECT_GE(last.second, 320ul * 240ul * 4ul);
    EXPECT_EQ(RiloStopVideoStream(h), 0);
    EXPECT_EQ(RiloIsVideoStream(h), 0);
    const size_t stopped = pics.Size();
    EXPECT_EQ(RiloDestroyStream(h), 0);
    EXPECT_EQ(pics.Size(), stopped);

    h = Stream(0x3011, cam->Port());
    ASSERT_EQ(RiloStartVideoStreamRenderCB(h, OnPicture, &pics, 0, 5, 0), 0);
    ASSERT_TRUE(Eventually([&] { return pics.Size() > stopped; }, kWait));
    EXPECT_EQ(RiloDestroyStream(h), 0);
    EXPECT_EQ(Targets(*cam),
              (std::vector<std::string>{"/video/mjpg.cgi?profileid=3", "/VIDEO.CGI"}));
    EXPECT_TRUE(Authorized(*cam));
}

// A thousand cycles of create, destroy, create again: the destroyed handle
// gets the bad-handle answer (the functions that would change the newer
// handle, and destroy), no value comes twice, and every tenth newer handle
// shows live video with its own address and credentials.
TEST(ClientApiFlow, DestroyedHandlesStayBadWhileNewerOnesKeepTheirSettings)
{
    auto cam = Camera(kBasic, {{"/video/mjpg.cgi", kMultipart}});
    const int closed = int(rilotest::ClosedPort());
    std::set<void*> seen;
    int shown = 0;
    testsupport::CaptureDiagOut();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        void* old = Stream(0x0101, closed);
        ASSERT_EQ(RiloDestroyStream(old), 0);
        void* h = Stream(0x0101, cam->Port());
        ASSERT_TRUE(seen.insert(old).second);
        ASSERT_TRUE(seen.insert(h).second);
        EXPECT_EQ(RiloSetStreamAddr(old, "127.0.0.1", closed), -1);
        EXPECT_EQ(RiloSetStreamAuth(old, "admin", "wrong", 2), -1);
        EXPECT_EQ(RiloSetStreamAuthData(old, "Basic d3Jvbmc6d3Jvbmc="), -1);
        EXPECT_EQ(RiloStopVideoStream(old), -1);
        EXPECT_EQ(RiloDestroyStream(old), -1);
        if (cycle % 100 == 99) {
            Pictures pics;
            ASSERT_EQ(RiloStartVideoStreamRenderCB(h, OnPicture, &pics, 0, 3, 0), 0);
            ASSERT_TRUE(Eventually([&] { return pics.Size() >= 1; }, kWait));
            EXPECT_EQ(RiloIsVideoStream(old), 0);
            EXPECT_EQ(RiloIsVideoStream(h), 1);
            ++shown;
        }
        ASSERT_EQ(RiloDestroyStream(h), 0);
    }
    const std::string said = testsupport::TakeDiagOut();
    EXPECT_EQ(Occurrences(said, "Vorn Lib: Error of parameter!\n"), size_t(4 * 1000 + shown));
    EXPECT_EQ(Occurrences(said, "Vorn Lib RiloDestroyStream: Error of parameter!\n"), 1000u);
    EXPECT_TRUE(Authorized(*cam));
}

// The stream event handler restarts live video on its own handle at each
// new connection, 200 times, from the application's first start on, while
// another thread keeps setting the handle's address, credentials and
// handler: every restart is taken, every request authorized, pictures come
// after the last, and under TSan nothing races.
TEST(ClientApiFlow, EventHandlerRestartsItsOwnVideoWhileSettersRun)
{
    auto cam = Camera(kBasic, {{"/video/mjpg.cgi", kMultipart}});
    struct Restarter {
        void* h = nullptr;
        std::atomic<int> restarts{0}, refused{0};
        std::atomic<bool> last{false};
        Pictures pics;
        static void OnEvent(void* u, int category, int code)
        {
            auto* r = static_cast<Restarter*>(u);
            if (category != 0 || code != 0 || r->restarts == 200)
                return;
            ++r->restarts;
            r->refused += RiloStopVideoStream(r->h) != 0;
            r->refused += RiloStartVideoStreamRenderCB(r->h, OnPicture, &r->pics, 0, 3, 0) != 0;
            r->last = r->restarts == 200;
        }
    };
    Restarter r;
    r.h = Stream(0x0101, cam->Port());
    ASSERT_EQ(RiloSetStreamNotifyMsgHandler(r.h, Restarter::OnEvent, &r), 0);
    std::atomic<bool> setting{true};
    std::thread setter([&] {
        while (setting) {
            EXPECT_EQ(RiloSetStreamAddr(r.h, "127.0.0.1", cam->Port()), 0);
            EXPECT_EQ(RiloSetStreamAuth(r.h, "admin", "pw", 2), 0);
            EXPECT_EQ(RiloSetStreamNotifyMsgHandler(r.h, Restarter::OnEvent, &r), 0);
        }
    });
    ASSERT_EQ(RiloStartVideoStreamRenderCB(r.h, OnPicture, &r.pics, 0, 3, 0), 0);
    const bool restarted = Eventually([&] { return r.last || r.refused > 0; }, 10 * kWait);
    setting = false;
    setter.join();
    ASSERT_TRUE(restarted) << r.restarts << " restarts";
    EXPECT_EQ(r.refused, 0);
    const size_t seen = r.pics.Size();
    EXPECT_TRUE(Eventually([&] { return r.pics.Size() > seen; }, kWait));
    EXPECT_EQ(RiloIsVideoStream(r.h), 1);
    EXPECT_EQ(RiloDestroyStream(r.h), 0);
    const auto reqs = cam->Requests();
    EXPECT_GE(reqs.size(), 201u); // a connection per start
    for (const auto& req : reqs)
        EXPECT_EQ(req.auth, "ok");
}

// Framed H.264 (0x0104) and MPEG-4 (0x0100) by model code, each decoded to
// pictures of the camera's size.
TEST(ClientApiFlow, FramedH264AndMpeg4)
{
    const char acvs[] =
        R"({"body": {"generator": "media_packets:acvs", "args": {"file": "%s", "fps": 30,
        "repeat": true}}})";
    char h264[256], mpeg4[256];
    std::snprintf(h264, sizeof h264, acvs, "a.h264");
    std::snprintf(mpeg4, sizeof mpeg4, acvs, "a.m4v");
    auto cam = Camera(kBasic, {{"/video/ACVS-H264.cgi", h264}, {"/video/ACVS.cgi", mpeg4}});
    const std::string src = "-f lavfi -i testsrc2=size=320x240:rate=30:duration=1 ";
    ASSERT_EQ(
        Ffmpeg(src + "-c:v libx264 -profile:v baseline -x264-params repeat-headers=1 -f h264 '" +
               cam->Dir() + "/a.h264' " + "-c:v mpeg4 -bf 0 -f m4v '" + cam->Dir() + "/a.m4v'"),
        0);
    for (unsigned modal : {0x0104u, 0x0100u}) {
        Pictures pics;
        void* h = Stream(modal, cam->Port());
        ASSERT_EQ(RiloStartVideoStreamRenderCB(h, OnPicture, &pics, 0, 1, 0), 0)
            << std::hex << modal;
        ASSERT_TRUE(Eventually([&] { return pics.Size() >= 5; }, kWait)) << std::hex << modal;
        EXPECT_EQ(RiloDestroyStream(h), 0);
        const auto last = pics.Get().back();
        EXPECT_EQ(last.first.biWidth, 320);
        EXPECT_EQ(last.first.biHeight, -240);
        EXPECT_EQ(last.second, 307200ul); // the buffer's capacity, no more
    }
    EXPECT_EQ(Targets(*cam), (std::vector<std::string>{"/video/ACVS-H264.cgi?profileid=1",
                                                       "/video/ACVS.cgi?profileid=1"}));
}

// Digest type 3 takes the second URL set; credentials of 1023 bytes reach
// the camera whole.
TEST(ClientApiFlow, DigestSecondSetWithLongCredentials)
{
    const std::string user(1023, 'u'), pass(1023, 'p');
    auto cam = Camera(R"("auth": "digest", "user": ")" + user + R"(", "password": ")" + pass + "\"",
                      {{"/av2/mjpg.cgi", kMultipart}});
    Pictures pics;
    void* h = Stream(0x0101, cam->Port(), user.c_str(), pass.c_str(), 3);
    ASSERT_EQ(RiloStartVideoStreamRenderCB(h, OnPicture, &pics, 0, 3, 0), 0);
    ASSERT_TRUE(Eventually([&] { return pics.Size() >= 2; }, kWait));
    EXPECT_EQ(Targets(*cam), std::vector<std::string>{"/av2/mjpg.cgi?profileid=3"});
    EXPECT_TRUE(Authorized(*cam));
    EXPECT_EQ(RiloDestroyStream(h), 0);
}

TEST(ClientApiFlow, ULawAudio)
{
    auto cam = Camera(kBasic, {{"/audio/ACAS-ULAW.cgi", kUlaw}});
    Sound sound;
    void* h = Stream(0x0111, cam->Port());
    ASSERT_EQ(RiloStartAudioStreamRenderCB(h, OnSound, &sound), 0);
    ASSERT_TRUE(Eventually([&] { return sound.Size() >= 20; }, kWait));
    EXPECT_EQ(RiloIsAudioStream(h), 1);
    EXPECT_EQ(RiloStopAudioStream(h), 0);
    EXPECT_EQ(RiloIsAudioStream(h), 0);
    const auto got = sound.Get();
    ASSERT_EQ(got[0].first, 16ul); // the format block first: mono, 16 bits, 8000 Hz
    EXPECT_EQ(got[0].second,
              (std::vector<unsigned char>{1, 0, 16, 0, 0x40, 0x1F, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(got[1].first, 0ul);
    EXPECT_EQ(got[1].second.size(), 320u); // 160 u-law bytes decoded
    EXPECT_EQ(Targets(*cam), std::vector<std::string>{"/audio/ACAS-ULAW.cgi?sec=0"});
    EXPECT_TRUE(Authorized(*cam));
    EXPECT_EQ(RiloDestroyStream(h), 0);
}

// Records until the file has grown, then ffprobe's view of it.
avitest::Probe Record(void* h, int flags, const std::string& path)
{
    EXPECT_EQ(RiloStartRecordingStreamIn(h, flags, path.c_str(), 3), 0) << flags;
    EXPECT_TRUE(Eventually([&] { return testsupport::ReadFile(path).size() > 60000; }, kWait))
        << flags;
    EXPECT_EQ(RiloStopRecordingStreamIn(h, flags), 0);
    EXPECT_TRUE(Recording(h, flags, 0));
    return avitest::ProbeFile(path);
}

// Flags 0 and 3 record an AVI with video and audio, 1 video only, 2 never
// starts; live view and recording share a connection; a model without audio
// records video only under flags 0.
TEST(ClientApiFlow, RecordingFlags)
{
    auto cam = Camera("", {{"/video/mjpg.cgi", kMultipart},
                           {"/VIDEO.CGI", kMultipart},
                           {"/audio/ACAS-ULAW.cgi", kUlaw}});
    avitest::TempDir dir;
    void* h = Stream(0x0111, cam->Port());
    ASSERT_EQ(RiloReserveDiskFreeSpace(h, 1), 0);
    ASSERT_EQ(RiloSetRecordingInterval(h, 1, 10), 0);
    for (int flags : {0, 3, 1}) {
        const auto probe = Record(h, flags, dir.Path(std::to_string(flags) + ".avi"));
        EXPECT_EQ(probe.Stream("video")["codec_name"], "mjpeg") << flags;
        EXPECT_EQ(probe.Stream("video")["width"], "320") << flags;
        EXPECT_EQ(probe.Stream("audio").empty(), flags == 1) << flags;
    }
    EXPECT_EQ(RiloStartRecordingStreamIn(h, 2, dir.Path("2.avi").c_str(), 3), -1);

    Pictures pics;
    ASSERT_EQ(RiloStartVideoStreamRenderCB(h, OnPicture, &pics, 0, 3, 0), 0);
    ASSERT_EQ(RiloStartRecordingStreamIn(h, 1, dir.Path("shared.avi").c_str(), 3), 0);
    ASSERT_TRUE(Recording(h, 1, 1));
    EXPECT_EQ(RiloStopRecordingStreamIn(h, 1), 0);
    EXPECT_EQ(RiloIsVideoStream(h), 1);
    EXPECT_EQ(RiloDestroyStream(h), 0);

    h = Stream(0x3011, cam->Port());
    ASSERT_EQ(RiloReserveDiskFreeSpace(h, 1), 0);
    const auto fixed = Record(h, 0, dir.Path("fixed.avi"));
    EXPECT_EQ(fixed.Stream("video")["codec_name"], "mjpeg");
    EXPECT_TRUE(fixed.Stream("audio").empty());
    EXPECT_EQ(RiloDestroyStream(h), 0);
    const auto targets = Targets(*cam);
    EXPECT_EQ(std::set<std::string>(targets.begin(), targets.end()),
              (std::set<std::string>{"/video/mjpg.cgi?profileid=3", "/audio/ACAS-ULAW.cgi?sec=0",
                                     "/VIDEO.CGI"}));
}

// A reserve of 4194304 MiB (4 TiB, more than any disk here) stops recording
// at once with code 22; in 32 bits it would have wrapped to nothing.
TEST(ClientApiFlow, DiskReserveBeyond4GiBStopsRecording)
{
    auto cam = Camera("", {{"/video/mjpg.cgi", kMultipart}});
    avitest::TempDir dir;
    Events events;
    void* h = Stream(0x0101, cam->Port());
    ASSERT_EQ(RiloSetStreamNotifyMsgHandler(h, OnEvent, &events), 0);
    ASSERT_EQ(RiloReserveDiskFreeSpace(h, 4194304u), 0);
    ASSERT_EQ(RiloStartRecordingStreamIn(h, 1, dir.Path("full.avi").c_str(), 3), 0);
    ASSERT_TRUE(Eventually([&] { return Has(events, 2, 22); }, kWait));
    EXPECT_TRUE(Recording(h, 1, 0));
    EXPECT_EQ(RiloDestroyStream(h), 0);
}

// Events under Digest type 3 come from the second event URL; a stop ends
// only the stream, so the same handle starts notification again.
TEST(ClientApiFlow, NotificationStopsAndStartsAgain)
{
    using notifytest::NotifyRecorder;
    static int user;
    HttpEmulator cam(
        R"({"auth": "digest", "user": "admin", "password": "pw", "routes": {"/event2/web_event.cgi":
        {"body": {"generator": "events", "args": {"script": ["motion_detected_1=on", {"pause": 0.05}],
         "repeat": true}}}}})");
    NotifyRecorder& rec = NotifyRecorder::Get();
    void* n = RiloCreateNotify();
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(RiloSetNotifyAddr(n, "127.0.0.1", cam.Port()), 0);
    ASSERT_EQ(RiloSetNotifyAuth(n, "admin", "pw", 3), 0);
    ASSERT_EQ(RiloSetNotifyMsgHandler(n, NotifyRecorder::Handler, &user), 0);
    for (int round = 0; round < 2; ++round) {
        rec.Reset();
        ASSERT_EQ(RiloStartNotify(n), 0) << round;
        ASSERT_TRUE(rec.WaitCount(2)) << round;
        EXPECT_EQ(rec.Calls()[0].second, (1ul << 16) | nevMotion);
        EXPECT_EQ(rec.Calls()[0].third, 1ul);
        EXPECT_EQ(RiloStartNotify(n), -1); // one stream at a time
        EXPECT_EQ(RiloStopNotify(n), 0);
        rec.Close();
    }
    EXPECT_EQ(RiloDestroyNotify(n), 0);
    EXPECT_EQ(rec.Late(), 0);
    EXPECT_EQ(Targets(cam), std::vector<std::string>{"/event2/web_event.cgi"});
    EXPECT_TRUE(Authorized(cam));
}

// Talk-back: path 1 under Basic; path 3 forced to Digest with the
// credentials of the stored realm option; a sender's failure passed on by
// the feed.
TEST(ClientApiFlow, TalkBackPaths)
{
    std::vector<unsigned char> block(1024, 0x11);
    const int size = int(block.size());
    {
        HttpEmulator cam(R"({"auth": "basic", "user": "admin", "password": "pw", "speaker": {}})");
        Talk talk;
        void* h = Stream(0x0101, cam.Port());
        ASSERT_EQ(RiloStartAudioStreamOutCB(h, OnTalk, &talk), 0);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(RiloFeedAudioStreamOutData(h, block.data(), size), 0);
        ASSERT_TRUE(Eventually([&] { return cam.SpeakerPackets().size() >= 3; }, kWait));
        EXPECT_EQ(RiloStopAudioStreamOut(h), 0);
        EXPECT_EQ(Targets(cam), std::vector<std::string>{"/dev/speaker.cgi"});
        EXPECT_TRUE(Authorized(cam));
        EXPECT_EQ(talk.Size(), 0u);
        EXPECT_EQ(RiloDestroyStream(h), 0);
    }
    {
        HttpEmulator cam(R"({"auth": "digest", "user": "admin", "password": "pw", "speaker": {}})");
        Talk talk;
        void* h = Stream(0x0101, cam.Port(), "nobody", "wrong", 2);
        ASSERT_EQ(RiloSetAuthMD5Realm(h, "YWRtaW46cHc="), 0); // "admin:pw"
        testsupport::CaptureDiagOut();
        const int rc = RiloStartTwoWayAudioCB(h, 3, OnTalk, &talk);
        const std::string said = testsupport::TakeDiagOut();
        ASSERT_EQ(rc, 0);
        EXPECT_NE(said.find("[SetAuthData]nAuthType = 3, m_strAuthOpt=YWRtaW46cHc=\n"),
                  std::string::npos);
        EXPECT_NE(said.find("username=admin, password=pw\n"), std::string::npos);
        EXPECT_EQ(RiloFeedAudioStreamOutData(h, block.data(), size), 0);
        ASSERT_TRUE(Eventually([&] { return cam.SpeakerPackets().size() >= 1; }, kWait));
        EXPECT_EQ(RiloStopTwoWayAudio(h), 0);
        EXPECT_EQ(Targets(cam), std::vector<std::string>{"/dev2/dgtalkie.cgi"});
        EXPECT_TRUE(Authorized(cam));
        EXPECT_EQ(RiloDestroyStream(h), 0);
    }
    {
        HttpEmulator cam(R"({"speaker": {"reset_after_packets": 2}})");
        Talk talk;
        void* h = Stream(0x0101, cam.Port());
        ASSERT_EQ(RiloStartTwoWayAudioCB(h, 2, OnTalk, &talk), 0);
        for (int i = 0; i < 8; ++i)
            RiloFeedAudioStreamOutData(h, block.data(), size);
        ASSERT_TRUE(Eventually([&] { return talk.Size() >= 1; }, kWait));
        EXPECT_EQ(RiloFeedAudioStreamOutData(h, block.data(), size), -1);
        EXPECT_EQ(Targets(cam), std::vector<std::string>{"/dev/speaker2.cgi"});
        EXPECT_EQ(RiloDestroyStream(h), 0);
    }
}

// A talk-back callback that stops its own talk-back and then takes its time
// while the application's thread stops talk-back and destroys the handle,
// the callback's stop first in even rounds and the application's in odd
// ones: destroy returns only after the callback has. 200 rounds, against a
// port where nothing listens (code 1) and, every fourth round, the camera's
// speaker resetting after a packet (code 2).
TEST(ClientApiFlow, TalkBackStopAndDestroyWaitForTheCallback)
{
    struct SlowStopper {
        void* h = nullptr;
        bool stopFirst = true;
        std::atomic<bool> entered{false}, stopped{false}, done{false};
        std::atomic<unsigned long> code{0};
        static bool On(void* u, unsigned long code, unsigned long)
        {
            auto* s = static_cast<SlowStopper*>(u);
            s->code = code;
            s->entered = true;
            if (!s->stopFirst) // the application's stop is under way meanwhile
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_EQ(RiloStopTwoWayAudio(s->h), 0);
            s->stopped = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            s->done = true; // last
            return true;
        }
    };
    HttpEmulator cam(R"({"speaker": {"reset_after_packets": 1}})");
    const std::vector<unsigned char> block(1024, 0x22);
    testsupport::CaptureDiagOut(); // a failure line per round
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const bool speaker = round % 4 == 3;
        SlowStopper s;
        s.stopFirst = round % 2 == 0;
        s.h = Stream(0x0101, speaker ? cam.Port() : int(rilotest::ClosedPort()));
        ASSERT_EQ(RiloStartTwoWayAudioCB(s.h, 1, SlowStopper::On, &s), 0);
        for (int i = 0; speaker && i < 2; ++i)
            ASSERT_EQ(RiloFeedAudioStreamOutData(s.h, const_cast<unsigned char*>(block.data()),
                                                 int(block.size())),
                      0);
        ASSERT_TRUE(
            Eventually([&] { return s.stopFirst ? s.stopped.load() : s.entered.load(); }, kWait));
        EXPECT_EQ(RiloStopTwoWayAudio(s.h), 0);
        EXPECT_EQ(RiloDestroyStream(s.h), 0);
        EXPECT_TRUE(s.done);
        EXPECT_EQ(s.code, speaker ? 2ul : 1ul);
    }
    testsupport::TakeDiagOut();
}

// Callbacks that call their own handle: the queries and the talk-back feed
// answer truthfully, a stop is refused at once as for a null handle; the
// callbacks count every other answer.
struct SelfCaller {
    void* h = nullptr;
    std::atomic<int> pictures{0}, sounds{0}, otherAnswers{0};
    std::atomic<bool> stoppingAudio{false};

    static void OnPicture(void* u, BITMAPINFOHEADER*, unsigned char*, unsigned long)
    {
        auto* s = static_cast<SelfCaller*>(u);
        s->otherAnswers += RiloIsVideoStream(s->h) != 1;
        s->otherAnswers += RiloStopVideoStream(s->h) != -1;
        ++s->pictures;
    }
    static void OnSound(void* u, unsigned char*, unsigned long, unsigned long, long long*)
    {
        auto* s = static_cast<SelfCaller*>(u);
        static unsigned char block[1024];
        // The audio stream does not wait for its callback: 0 once a stop is under way.
        s->otherAnswers += RiloIsAudioStream(s->h) != 1 && !s->stoppingAudio;
        s->otherAnswers += RiloFeedAudioStreamOutData(s->h, block, int(sizeof block)) != 0;
        s->otherAnswers += RiloStopAudioStream(s->h) != -1;
        ++s->sounds;
    }
};

// Runs f on a thread of its own; false when it has not returned within the
// time (the thread is then left to itself).
bool ReturnsWithin(double seconds, std::function<void()> f)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t([f, done] {
        f();
        *done = true;
    });
    if (!Eventually([&] { return done->load(); }, seconds)) {
        t.detach();
        return false;
    }
    t.join();
    return true;
}

// Fifty cycles of render callbacks (MJPEG on the receive thread, H.264 on the
// decode thread, at 100 pictures a second) that query and stop their own
// handle while the application's thread stops live video, beside an audio
// callback that queries, feeds and stops its handle: every stop returns
// within seconds, the queries say what runs, the feed is taken, the stops
// from callbacks are refused, and the refusal is reported once per handle
// and kind of callback.
TEST(ClientApiFlow, CallsFromAHandlesOwnCallbacksAnswerAtOnce)
{
    auto cam =
        Camera(kBasic, {{"/video/mjpg.cgi", R"({"body": {"multipart": {"parts": [{"file": "f1.jpg"},
                                   {"file": "f2.jpg"}], "fps": 100}}})"},
                        {"/video/ACVS-H264.cgi", R"({"body": {"generator": "media_packets:acvs",
                                   "args": {"file": "a.h264", "fps": 100, "repeat": true}}})"},
                        {"/audio/ACAS-ULAW.cgi", kUlaw}});
    ASSERT_EQ(
        Ffmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=30:duration=1 -c:v libx264 -profile:v baseline "
            "-x264-params repeat-headers=1:keyint=5 -f h264 '" +
            cam->Dir() + "/a.h264'"),
        0);
    SelfCaller callers[2];
    callers[0].h = Stream(0x0111, cam->Port());
    callers[1].h = Stream(0x0104, cam->Port());
    testsupport::CaptureDiagOut();
    ASSERT_EQ(RiloStartAudioStreamRenderCB(callers[0].h, SelfCaller::OnSound, &callers[0]), 0);
    for (int i = 0; i < 50; ++i) {
        SelfCaller& c = callers[i % 2];
        const int before = c.pictures;
        ASSERT_EQ(RiloStartVideoStreamRenderCB(c.h, SelfCaller::OnPicture, &c, 0, 1, 0), 0) << i;
        ASSERT_TRUE(Eventually([&] { return c.pictures >= before + 2; }, kWait)) << i;
        void* h = c.h;
        ASSERT_TRUE(ReturnsWithin(10, [h] { RiloStopVideoStream(h); })) << "cycle " << i;
    }
    ASSERT_TRUE(Eventually([&] { return callers[0].sounds > 0; }, kWait));
    callers[0].stoppingAudio = true;
    EXPECT_EQ(RiloStopAudioStream(callers[0].h), 0);
    const std::string said = testsupport::TakeDiagOut();
    EXPECT_EQ(Occurrences(said, "Vorn Lib: Error of parameter!\n"), 3u);
    for (SelfCaller& c : callers) {
        EXPECT_EQ(c.otherAnswers, 0);
        EXPECT_EQ(RiloDestroyStream(c.h), 0);
    }
}

} // namespace
