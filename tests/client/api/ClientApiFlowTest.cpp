// The client library driven through its exported functions only, against
// the emulated camera on loopback: live MJPEG by model code and profile,
// u-law audio, recordings that ffprobe reads, event notification and
// talk-back, with URLs chosen by model code, authorization type and path.
#include "DiagCapture.h"
#include "RiloClientLib.h"
#include "http/HttpCtrlTestUtil.h"
#include "record/AviTestUtil.h"
#include "session/NotifyRecorder.h"
#include "session/NotifyTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

using avitest::Ffmpeg;
using avitest::ProbeFile;
using avitest::TempDir;
using httptest::Eventually;
using testsupport::HttpEmulator;

namespace {

const double kWait = 20; // seconds: an event, on a loaded machine

struct Pictures {
    std::mutex mu;
    int count = 0;
    BITMAPINFOHEADER last{};
    unsigned long bytes = 0;

    static void On(void* user, BITMAPINFOHEADER* h, unsigned char*, unsigned long n)
    {
        auto* p = static_cast<Pictures*>(user);
        std::lock_guard<std::mutex> g(p->mu);
        ++p->count;
        p->last = *h;
        p->bytes = n;
    }
    int Count()
    {
        std::lock_guard<std::mutex> g(mu);
        return count;
    }
};

struct Events {
    std::mutex mu;
    std::vector<std::pair<int, int>> got; // category, code

    static void On(void* user, int category, int code)
    {
        auto* e = static_cast<Events*>(user);
        std::lock_guard<std::mutex> g(e->mu);
        e->got.emplace_back(category, code);
    }
    bool Has(int category, int code)
    {
        std::lock_guard<std::mutex> g(mu);
        for (const auto& c : got)
            if (c.first == category && c.second == code)
                return true;
        return false;
    }
};

struct Sound {
    std::mutex mu;
    std::vector<unsigned long> kinds;
    std::vector<unsigned char> format;
    size_t bytes = 0;

    static void On(void* user, unsigned char* data, unsigned long n, unsigned long kind, long long*)
    {
        auto* s = static_cast<Sound*>(user);
        std::lock_guard<std::mutex> g(s->mu);
        s->kinds.push_back(kind);
        if (kind == 16)
            s->format.assign(data, data + n);
        else
            s->bytes += n;
    }
    size_t Bytes()
    {
        std::lock_guard<std::mutex> g(mu);
        return bytes;
    }
};

struct Talk {
    std::mutex mu;
    std::vector<unsigned long> codes;

    static bool On(void* user, unsigned long code, unsigned long)
    {
        auto* t = static_cast<Talk*>(user);
        std::lock_guard<std::mutex> g(t->mu);
        t->codes.push_back(code);
        return true;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> g(mu);
        return codes.size();
    }
};

std::string Target(const testsupport::HttpLoggedRequest& r)
{
    const std::string t = r.Text();
    const size_t sp = t.find(' ');
    return t.substr(sp + 1, t.find(' ', sp + 1) - sp - 1);
}

// Targets the camera was asked for, each once, in order.
std::vector<std::string> Targets(const HttpEmulator& cam)
{
    std::vector<std::string> out;
    for (const auto& r : cam.Requests())
        if (out.empty() || out.back() != Target(r))
            out.push_back(Target(r));
    return out;
}

bool AllAuthorized(const HttpEmulator& cam)
{
    const auto reqs = cam.Requests();
    return !reqs.empty() && reqs.back().auth == "ok";
}

void MakeJpegs(const std::string& dir)
{
    ASSERT_EQ(Ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=10 -frames:v 2 -q:v 6 '" + dir + "/f%d.jpg'"), 0);
}

const char kMultipart[] =
    R"({"body": {"multipart": {"parts": [{"file": "f1.jpg"}, {"file": "f2.jpg"}], "fps": 25}}})";

std::string Routes(const std::vector<std::string>& paths, const std::string& route)
{
    std::string s;
    for (const auto& p : paths)
        s += (s.empty() ? "\"" : ",\"") + p + "\":" + route;
    return s;
}

const char kUlawRoute[] = R"({"body": {"generator": "media_packets:acas", "args": {"file": "tone.ul",
    "packet_bytes": 160, "tag": 1, "interval_ms": 20, "repeat": true}}})";

void MakeUlaw(const std::string& dir)
{
    ASSERT_EQ(Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000 -t 1 -ac 1 -c:a pcm_mulaw -f mulaw '" +
                     dir + "/tone.ul'"),
              0);
}

void* Stream(unsigned modal, int port, const char* user, const char* pass, int authType)
{
    void* h = RiloCreateStream(0, modal);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(RiloSetStreamAddr(h, "127.0.0.1", port), 0);
    EXPECT_EQ(RiloSetStreamAuth(h, user, pass, authType), 0);
    return h;
}

// Model 0x0101 with profile 3 reads the MJPEG form with that profile; a
// second start while one renders is refused; family 0x30 uses its fixed URL
// with profile 0.
TEST(ClientApiFlow, MjpegLiveViewByModelCode)
{
    HttpEmulator cam(std::string(R"({"auth": "basic", "user": "admin", "password": "pw", "routes": {)") +
                     Routes({"/video/mjpg.cgi", "/VIDEO.CGI"}, kMultipart) + "}}");
    MakeJpegs(cam.Dir());
    Pictures pics;
    Events events;
    void* h = Stream(0x0101, cam.Port(), "admin", "pw", 2);
    ASSERT_EQ(RiloSetStreamNotifyMsgHandler(h, Events::On, &events), 0);
    ASSERT_EQ(RiloStartVideoStreamRenderCB(h, Pictures::On, &pics, 0, 3, 0), 0);
    ASSERT_TRUE(Eventually([&] { return pics.Count() >= 3; }, kWait));
    EXPECT_EQ(RiloIsVideoStream(h), 1);
    EXPECT_EQ(RiloStartVideoStreamRenderCB(h, Pictures::On, &pics, 0, 2, 0), -1);
    {
        std::lock_guard<std::mutex> g(pics.mu);
        EXPECT_EQ(pics.last.biWidth, 320);
        EXPECT_EQ(pics.last.biHeight, -240);
        EXPECT_EQ(pics.last.biBitCount, 32);
        EXPECT_EQ(pics.last.biCompression, 0u);
        EXPECT_EQ(pics.last.biSizeImage, 320u * 240u * 4u);
        EXPECT_GE(pics.bytes, 320ul * 240ul * 4ul);
    }
    ASSERT_TRUE(Eventually([&] { return events.Has(0, 0); }, kWait));
    EXPECT_EQ(RiloStopVideoStream(h), 0);
    EXPECT_EQ(RiloIsVideoStream(h), 0);
    const int after = pics.Count();
    EXPECT_EQ(Targets(cam), std::vector<std::string>{"/video/mjpg.cgi?profileid=3"});
    EXPECT_TRUE(AllAuthorized(cam));
    EXPECT_EQ(RiloDestroyStream(h), 0);
    EXPECT_EQ(pics.Count(), after);

    HttpEmulator fixed(std::string(R"({"routes": {)") + Routes({"/VIDEO.CGI"}, kMultipart) + "}}");
    MakeJpegs(fixed.Dir());
    Pictures fixedPics;
    h = Stream(0x3011, fixed.Port(), "admin", "pw", 3);
    ASSERT_EQ(RiloStartVideoStreamRenderCB(h, Pictures::On, &fixedPics, 0, 5, 0), 0);
    ASSERT_TRUE(Eventually([&] { return fixedPics.Count() >= 1; }, kWait));
    EXPECT_EQ(Targets(fixed), std::vector<std::string>{"/VIDEO.CGI"});
    EXPECT_EQ(RiloDestroyStream(h), 0);
}

// Digest under type 3 takes the second URL set; credentials of 1023 bytes
// reach the camera whole.
TEST(ClientApiFlow, DigestSecondSetWithLongCredentials)
{
    const std::string user(1023, 'u'), pass(1023, 'p');
    HttpEmulator cam(R"({"auth": "digest", "user": ")" + user + R"(", "password": ")" + pass +
                     R"(", "routes": {)" + Routes({"/av2/mjpg.cgi"}, kMultipart) + "}}");
    MakeJpegs(cam.Dir());
    Pictures pics;
    void* h = Stream(0x0101, cam.Port(), user.c_str(), pass.c_str(), 3);
    ASSERT_EQ(RiloStartVideoStreamRenderCB(h, Pictures::On, &pics, 0, 3, 0), 0);
    ASSERT_TRUE(Eventually([&] { return pics.Count() >= 2; }, kWait));
    EXPECT_EQ(Targets(cam), std::vector<std::string>{"/av2/mjpg.cgi?profileid=3"});
    EXPECT_TRUE(AllAuthorized(cam));
    EXPECT_EQ(RiloDestroyStream(h), 0);
}

TEST(ClientApiFlow, ULawAudio)
{
    HttpEmulator ulaw(R"({"auth": "basic", "user": "admin", "password": "pw", "routes": {)" +
                      Routes({"/audio/ACAS-ULAW.cgi"}, kUlawRoute) + "}}");
    MakeUlaw(ulaw.Dir());
    Sound sound;
    void* h = Stream(0x0111, ulaw.Port(), "admin", "pw", 2);
    ASSERT_EQ(RiloStartAudioStreamRenderCB(h, Sound::On, &sound), 0);
    ASSERT_TRUE(Eventually([&] { return sound.Bytes() >= 8000; }, kWait));
    EXPECT_EQ(RiloIsAudioStream(h), 1);
    EXPECT_EQ(RiloStopAudioStream(h), 0);
    EXPECT_EQ(RiloIsAudioStream(h), 0);
    {
        std::lock_guard<std::mutex> g(sound.mu);
        ASSERT_FALSE(sound.kinds.empty());
        EXPECT_EQ(sound.kinds.front(), 16ul);
        ASSERT_EQ(sound.format.size(), 12u);
        EXPECT_EQ(sound.format[0] | sound.format[1] << 8, 1);  // channels
        EXPECT_EQ(sound.format[2] | sound.format[3] << 8, 16); // bits
        EXPECT_EQ(sound.format[4] | sound.format[5] << 8, 8000);
    }
    EXPECT_EQ(Targets(ulaw), std::vector<std::string>{"/audio/ACAS-ULAW.cgi?sec=0"});
    EXPECT_TRUE(AllAuthorized(ulaw));
    EXPECT_EQ(RiloDestroyStream(h), 0);
}

bool WaitRecording(void* h, int flags, int want)
{
    return Eventually(
        [&] {
            int on = -1;
            return RiloIsOnRecordingStreamIn(h, flags, &on) == 0 && on == want;
        },
        kWait);
}

// Recording until the file holds a few pictures, then ffprobe's view of it.
avitest::Probe Record(void* h, int flags, const std::string& path)
{
    EXPECT_EQ(RiloStartRecordingStreamIn(h, flags, path.c_str(), 3), 0) << flags;
    EXPECT_TRUE(Eventually([&] { return testsupport::ReadFile(path).size() > 60000; }, kWait)) << flags;
    EXPECT_EQ(RiloStopRecordingStreamIn(h, flags), 0);
    int on = -1;
    EXPECT_EQ(RiloIsOnRecordingStreamIn(h, flags, &on), 0);
    EXPECT_EQ(on, 0);
    return ProbeFile(path);
}

// Flags 0 and 3 record an AVI with video and audio, 1 video only, 2 never
// starts; a model without audio records video only under flags 0.
TEST(ClientApiFlow, RecordingFlags)
{
    HttpEmulator cam(std::string(R"({"routes": {)") + Routes({"/video/mjpg.cgi", "/VIDEO.CGI"}, kMultipart) +
                     "," + Routes({"/audio/ACAS-ULAW.cgi"}, kUlawRoute) + "}}");
    MakeJpegs(cam.Dir());
    MakeUlaw(cam.Dir());
    TempDir dir;
    void* h = Stream(0x0111, cam.Port(), "admin", "pw", 2);
    ASSERT_EQ(RiloReserveDiskFreeSpace(h, 1), 0);
    ASSERT_EQ(RiloSetRecordingInterval(h, 1, 10), 0);

    for (int flags : {0, 3}) {
        const auto probe = Record(h, flags, dir.Path("av" + std::to_string(flags) + ".avi"));
        EXPECT_EQ(probe.Stream("video")["codec_name"], "mjpeg") << flags;
        EXPECT_EQ(probe.Stream("video")["width"], "320");
        EXPECT_FALSE(probe.Stream("audio").empty()) << flags;
    }
    const auto video = Record(h, 1, dir.Path("v.avi"));
    EXPECT_EQ(video.Stream("video")["codec_name"], "mjpeg");
    EXPECT_TRUE(video.Stream("audio").empty());
    EXPECT_EQ(RiloStartRecordingStreamIn(h, 2, dir.Path("a.avi").c_str(), 3), -1);

    // Live view and recording share the profile's connection.
    Pictures pics;
    ASSERT_EQ(RiloStartVideoStreamRenderCB(h, Pictures::On, &pics, 0, 3, 0), 0);
    ASSERT_EQ(RiloStartRecordingStreamIn(h, 1, dir.Path("shared.avi").c_str(), 3), 0);
    ASSERT_TRUE(WaitRecording(h, 1, 1));
    EXPECT_EQ(RiloStopRecordingStreamIn(h, 1), 0);
    EXPECT_EQ(RiloIsVideoStream(h), 1);
    EXPECT_EQ(RiloDestroyStream(h), 0);

    void* fixed = Stream(0x3011, cam.Port(), "admin", "pw", 2);
    ASSERT_EQ(RiloReserveDiskFreeSpace(fixed, 1), 0);
    const auto only = Record(fixed, 0, dir.Path("fixed.avi"));
    EXPECT_EQ(only.Stream("video")["codec_name"], "mjpeg");
    EXPECT_TRUE(only.Stream("audio").empty());
    EXPECT_EQ(RiloDestroyStream(fixed), 0);

    const auto targets = Targets(cam);
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/audio/ACAS-ULAW.cgi?sec=0"), 2);
    EXPECT_EQ(targets.back(), "/VIDEO.CGI");
}

// A reserve of 4194304 MiB (4 TiB) is more than any disk has: recording
// stops at once with code 22. In 32 bits it would have wrapped to nothing.
TEST(ClientApiFlow, DiskReserveBeyond4GiBStopsRecording)
{
    HttpEmulator cam(std::string(R"({"routes": {)") + Routes({"/video/mjpg.cgi"}, kMultipart) + "}}");
    MakeJpegs(cam.Dir());
    TempDir dir;
    Events events;
    void* h = Stream(0x0101, cam.Port(), "admin", "pw", 2);
    ASSERT_EQ(RiloSetStreamNotifyMsgHandler(h, Events::On, &events), 0);
    ASSERT_EQ(RiloReserveDiskFreeSpace(h, 4194304u), 0);
    ASSERT_EQ(RiloStartRecordingStreamIn(h, 1, dir.Path("full.avi").c_str(), 3), 0);
    ASSERT_TRUE(Eventually([&] { return events.Has(2, 22); }, kWait));
    EXPECT_TRUE(WaitRecording(h, 1, 0));
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
    rec.Reset();
    void* n = RiloCreateNotify();
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(RiloSetNotifyAddr(n, "127.0.0.1", cam.Port()), 0);
    ASSERT_EQ(RiloSetNotifyAuth(n, "admin", "pw", 3), 0);
    ASSERT_EQ(RiloSetNotifyMsgHandler(n, NotifyRecorder::Handler, &user), 0);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        rec.Reset();
        ASSERT_EQ(RiloStartNotify(n), 0);
        ASSERT_TRUE(rec.WaitCount(2));
        const auto calls = rec.Calls();
        EXPECT_EQ(calls[0].second, (1ul << 16) | nevMotion);
        EXPECT_EQ(calls[0].third, 1ul);
        EXPECT_EQ(RiloStartNotify(n), -1); // one stream at a time
        EXPECT_EQ(RiloStopNotify(n), 0);
    }
    EXPECT_EQ(RiloDestroyNotify(n), 0);
    rec.Close();
    const auto targets = Targets(cam);
    ASSERT_FALSE(targets.empty());
    for (const auto& t : targets)
        EXPECT_EQ(t, "/event2/web_event.cgi");
    EXPECT_TRUE(AllAuthorized(cam));
    EXPECT_EQ(rec.Late(), 0);
}

// Talk-back by path: path 1 under Basic, path 3 forced to Digest with the
// credentials of the stored realm option, and a sender's failure passed on
// by the feed.
TEST(ClientApiFlow, TalkBackPaths)
{
    std::vector<unsigned char> block(1024, 0x11);
    {
        HttpEmulator cam(R"({"auth": "basic", "user": "admin", "password": "pw", "speaker": {}})");
        Talk talk;
        void* h = Stream(0x0101, cam.Port(), "admin", "pw", 2);
        ASSERT_EQ(RiloStartAudioStreamOutCB(h, Talk::On, &talk), 0);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(RiloFeedAudioStreamOutData(h, block.data(), int(block.size())), 0);
        ASSERT_TRUE(Eventually([&] { return cam.SpeakerPackets().size() >= 3; }, kWait));
        EXPECT_EQ(RiloStopAudioStreamOut(h), 0);
        EXPECT_EQ(Targets(cam), std::vector<std::string>{"/dev/speaker.cgi"});
        EXPECT_TRUE(AllAuthorized(cam));
        EXPECT_EQ(talk.Count(), 0u);
        EXPECT_EQ(RiloDestroyStream(h), 0);
    }
    {
        HttpEmulator cam(R"({"auth": "digest", "user": "admin", "password": "pw", "speaker": {}})");
        Talk talk;
        void* h = Stream(0x0101, cam.Port(), "nobody", "wrong", 2);
        ASSERT_EQ(RiloSetAuthMD5Realm(h, "YWRtaW46cHc="), 0); // "admin:pw"
        testsupport::CaptureDiagOut();
        const int rc = RiloStartTwoWayAudioCB(h, 3, Talk::On, &talk);
        const std::string said = testsupport::TakeDiagOut();
        ASSERT_EQ(rc, 0);
        EXPECT_NE(said.find("[SetAuthData]nAuthType = 3, m_strAuthOpt=YWRtaW46cHc=\n"), std::string::npos);
        EXPECT_NE(said.find("username=admin, password=pw\n"), std::string::npos);
        EXPECT_EQ(RiloFeedAudioStreamOutData(h, block.data(), int(block.size())), 0);
        ASSERT_TRUE(Eventually([&] { return cam.SpeakerPackets().size() >= 1; }, kWait));
        EXPECT_EQ(RiloStopTwoWayAudio(h), 0);
        EXPECT_EQ(Targets(cam), std::vector<std::string>{"/dev2/dgtalkie.cgi"});
        EXPECT_TRUE(AllAuthorized(cam));
        EXPECT_EQ(RiloDestroyStream(h), 0);
    }
    {
        HttpEmulator cam(R"({"speaker": {"reset_after_packets": 2}})");
        Talk talk;
        void* h = Stream(0x0101, cam.Port(), "admin", "pw", 2);
        ASSERT_EQ(RiloStartTwoWayAudioCB(h, 2, Talk::On, &talk), 0);
        for (int i = 0; i < 8; ++i)
            RiloFeedAudioStreamOutData(h, block.data(), int(block.size()));
        ASSERT_TRUE(Eventually([&] { return talk.Count() >= 1; }, kWait));
        EXPECT_EQ(RiloFeedAudioStreamOutData(h, block.data(), int(block.size())), -1);
        EXPECT_EQ(Targets(cam), std::vector<std::string>{"/dev/speaker2.cgi"});
        EXPECT_EQ(RiloDestroyStream(h), 0);
    }
}

} // namespace
