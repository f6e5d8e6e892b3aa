// The live session end to end against the emulated camera: live view and
// recording sharing a connection, two profiles, audio with video in one
// file that ffprobe reads, failed starts that leave nothing behind, the
// disk reserve, long credentials, a first key picture sent with the reply.
#include "LiveTestUtil.h"

#include "DiagCapture.h"
#include "VideoDecTestUtil.h"
#include "stream/CHTTPAudStrm.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

using namespace livetest;
using avitest::TempDir;
using httptest::Eventually;

namespace {

long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

class LiveSessionPeer : public testing::Test {
protected:
    void SetUp() override { testsupport::CaptureDiagOut(true); }
};

// Recording first, then live view on the same profile: one connection, use
// count 2. Live view stops and the file keeps growing; the recording stops
// and the stream goes.
TEST_F(LiveSessionPeer, LiveAndRecordingShareOneConnection)
{
    LiveCamera cam(MjpegRoute(25));
    TempDir dir;
    LiveLog log;
    CHTTPSCHLive s;
    Point(s, cam, log);
    const std::string file = dir.Path("rec.avi");
    ASSERT_TRUE(s.StartRecordVideo(file.c_str(), true, 1));
    EXPECT_FALSE(s.StartRecordVideo(file.c_str(), true, 1)); // one recording at a time
    ASSERT_TRUE(log.WaitEvent(2, livemaps::kRecordStarted));
    ASSERT_TRUE(s.StartLiveVideo(true, 1, false));
    EXPECT_FALSE(s.StartLiveVideo(true, 2, false)); // one rendering profile
    EXPECT_EQ(s.GetUseCountForTest(1), 2);
    EXPECT_EQ(s.GetCurrentStreamCount(), 1);
    ASSERT_TRUE(log.WaitPictures(10));
    double fps = -1;
    EXPECT_TRUE(s.GetVideoFPS(&fps));

    s.StopLiveVideo();
    log.open = false; // no picture after the stop returned
    EXPECT_FALSE(s.IsLiveVideo());
    EXPECT_TRUE(s.IsRecordVideo());
    EXPECT_EQ(s.GetUseCountForTest(1), 1);
    const long before = FileSize(file);
    EXPECT_TRUE(Eventually([&] { return FileSize(file) > before + 20000; }, 20));
    EXPECT_EQ(cam.Requests(kVideoPath), 1u);

    s.StopRecordVideo();
    EXPECT_FALSE(s.IsRecordAvi());
    EXPECT_EQ(s.GetCurrentStreamCount(), 0);
    EXPECT_EQ(log.late, 0);
    const avitest::Probe p = avitest::ProbeFile(file);
    EXPECT_EQ(p.Stream("video")["codec_name"], "mjpeg");
    EXPECT_GT(std::atoi(p.Stream("video")["nb_read_frames"].c_str()), 10);
    s.Destroy();
}

// Live view on profile 1 and recording on profile 2: two connections; each
// stop ends its own stream.
TEST_F(LiveSessionPeer, TwoProfilesAtOnce)
{
    LiveCamera cam(MjpegRoute(25));
    TempDir dir;
    LiveLog log;
    CHTTPSCHLive s;
    Point(s, cam, log);
    ASSERT_TRUE(s.StartLiveVideo(true, 1, false));
    ASSERT_TRUE(s.StartRecordVideo(dir.Path("two.avi").c_str(), true, 2));
    EXPECT_EQ(s.GetCurrentStreamCount(), 2);
    EXPECT_EQ(s.GetUseCountForTest(1), 1);
    EXPECT_EQ(s.GetUseCountForTest(2), 1);
    ASSERT_TRUE(log.WaitPictures(5));
    ASSERT_TRUE(log.WaitEvent(2, livemaps::kRecordStarted));
    EXPECT_TRUE(Eventually([&] { return cam.Requests(kVideoPath) == 2; }, 10));
    s.StopRecordVideo();
    EXPECT_EQ(s.GetUseCountForTest(2), -1);
    EXPECT_TRUE(s.IsLiveVideo());
    s.StopAll();
    EXPECT_EQ(s.GetCurrentStreamCount(), 0);
    s.Destroy();
}

// Video and audio into one file: ffprobe finds both streams. Live audio
// joins the recording's audio stream and leaves it running.
TEST_F(LiveSessionPeer, AudioWithVideoRecordedToOneFile)
{
    LiveCamera cam(MjpegRoute(25) + "," + AudioRoute());
    TempDir dir;
    LiveLog log;
    CHTTPSCHLive s;
    Point(s, cam, log);
    const std::string file = dir.Path("avi.avi");
    ASSERT_TRUE(s.StartRecordAvi(file.c_str(), true, 0));
    EXPECT_TRUE(s.IsRecordVideo() && s.IsRecordAudio());
    ASSERT_TRUE(s.StartLiveAudio(true));
    EXPECT_TRUE(Eventually([&] { return log.audio > 10; }, 20));
    s.StopLiveAudio();
    EXPECT_TRUE(s.IsRecordAudio());
    EXPECT_NE(s.GetAudioStreamForTest(), nullptr);
    ASSERT_TRUE(log.WaitEvent(2, livemaps::kRecordStarted));
    EXPECT_TRUE(Eventually([&] { return FileSize(file) > 60000; }, 20));
    s.StopRecorder();
    EXPECT_FALSE(s.IsRecordAvi());
    EXPECT_EQ(s.GetAudioStreamForTest(), nullptr);
    EXPECT_EQ(s.GetCurrentStreamCount(), 0);
    const avitest::Probe p = avitest::ProbeFile(file);
    EXPECT_EQ(p.Stream("video")["codec_name"], "mjpeg");
    EXPECT_EQ(p.Stream("audio")["codec_name"], "pcm_s16le");
    EXPECT_EQ(p.Stream("audio")["sample_rate"], "8000");
    s.Destroy();
}

// Failed starts leave no stream: a missing folder; an AVI start whose audio
// side is taken rolls its video side back.
TEST_F(LiveSessionPeer, FailedStartsLeaveNothingBehind)
{
    LiveCamera cam(MjpegRoute(25) + "," + AudioRoute());
    TempDir dir;
    LiveLog log;
    CHTTPSCHLive s;
    Point(s, cam, log);
    EXPECT_FALSE(s.StartRecordVideo(dir.Path("missing/rec.avi").c_str(), true, 1));
    EXPECT_EQ(s.GetCurrentStreamCount(), 0);
    EXPECT_FALSE(s.IsRecordVideo());

    // Live view holds the stream: a failed recorder leaves it rendering.
    ASSERT_TRUE(s.StartLiveVideo(true, 1, false));
    EXPECT_FALSE(s.StartRecordVideo(dir.Path("missing/rec.avi").c_str(), true, 1));
    EXPECT_EQ(s.GetUseCountForTest(1), 1);
    const int seen = log.pictures;
    EXPECT_TRUE(log.WaitPictures(seen + 5));
    s.StopLiveVideo();

    // Audio records alone; an AVI start then fails on audio and undoes video.
    ASSERT_TRUE(s.StartRecordAudio(dir.Path("audio.avi").c_str(), true, false));
    EXPECT_FALSE(s.StartRecordAvi(dir.Path("both.avi").c_str(), true, 1));
    EXPECT_FALSE(s.IsRecordVideo());
    EXPECT_TRUE(s.IsRecordAudio());
    EXPECT_EQ(s.GetCurrentStreamCount(), 0);
    s.StopRecordAudio();
    EXPECT_EQ(s.GetAudioStreamForTest(), nullptr);
    s.Destroy();
}

// A reserve above the free space stops recording at its first picture, with
// its code, and the stream held for it goes.
TEST_F(LiveSessionPeer, DiskReserveAndWriteErrorStopRecording)
{
    LiveCamera cam(MjpegRoute(25));
    TempDir dir;
    LiveLog log;
    CHTTPSCHLive s;
    Point(s, cam, log);
    log.session = &s;
    s.SetLimitSpace(~0ul >> 2);
    ASSERT_TRUE(s.StartRecordVideo(dir.Path("full.avi").c_str(), true, 0));
    ASSERT_TRUE(log.WaitEvent(2, livemaps::kRecordDiskReserve));
    // The recording was stopped before the handler ran.
    EXPECT_EQ(log.recordingAtFinal, 0);
    EXPECT_FALSE(s.IsRecordVideo());
    EXPECT_EQ(s.GetCurrentStreamCount(), 0);
    EXPECT_EQ(log.Count(2, livemaps::kRecordStarted), 0u);

    // A write error, posted as the worker posts it (-1 in the code bits), ends
    // a running recording too and arrives with a code of its own; live view
    // on the same stream goes on.
    s.SetLimitSpace(0);
    ASSERT_TRUE(s.StartLiveVideo(true, 0, false));
    ASSERT_TRUE(s.StartRecordVideo(dir.Path("error.avi").c_str(), true, 0));
    ASSERT_TRUE(log.WaitEvent(2, livemaps::kRecordStarted));
    ASSERT_TRUE(s.PostMessage(CHTTPSCHLive::OnHTTPStreamNotify, &s, 1, 0xFFFF0002ul));
    ASSERT_TRUE(log.WaitEvent(2, livemaps::kRecordWriteError));
    EXPECT_EQ(log.recordingAtFinal, 0);
    EXPECT_FALSE(s.IsRecordVideo());
    EXPECT_EQ(s.GetUseCountForTest(0), 1);
    const int seen = log.pictures;
    EXPECT_TRUE(log.WaitPictures(seen + 3));
    s.Destroy();
}

// Two 1023-byte texts authenticate: as Basic (about 2.8 KB), as the plain
// joined text, and as a Digest answer after the camera's challenge.
TEST_F(LiveSessionPeer, LongCredentialsAuthenticate)
{
    const std::string user(1023, 'u'), pass(1023, 'p');
    const std::string pair = R"(","user":")" + user + R"(","password":")" + pass + "\"";
    for (int type : {2, 1, 3}) {
        const std::string top =
            type == 1 ? R"("auth":"exact","authorization":")" + user + ":" + pass + "\""
                      : R"("auth":")" + std::string(type == 2 ? "basic" : "digest") + pair;
        LiveCamera cam(MjpegRoute(25), top);
        LiveLog log;
        CHTTPSCHLive s;
        Point(s, cam, log);
        s.SetAuthData(user.c_str(), pass.c_str(), type);
        ASSERT_TRUE(s.StartLiveVideo(true, 0, false));
        EXPECT_TRUE(log.WaitPictures(3)) << type;
        EXPECT_EQ(log.Count(0, 6), 0u);
        const auto reqs = cam.Emulator().Requests();
        ASSERT_FALSE(reqs.empty());
        EXPECT_EQ(reqs.back().auth, "ok") << type;
        // The Digest answer carries the user name, not the password.
        const size_t atLeast[] = {0, 2047, 2800, 1100};
        EXPECT_GT(reqs.back().bytes.size(), atLeast[type]);
        s.Destroy();
    }
}

// Framed H.264 through the session: the kind picks the H.264 stream, its
// pictures reach the render callback from the decode thread, and the same
// connection records a file ffprobe reads as H.264.
TEST_F(LiveSessionPeer, FramedH264LiveAndRecorded)
{
    LiveCamera cam(H264Route(30));
    cam.MakeH264();
    TempDir dir;
    LiveLog log;
    CHTTPSCHLive s;
    Point(s, cam, log);
    ASSERT_TRUE(s.AssignURL(cam.URL(kH264Path).c_str(), CHTTPSCHLive::kKindH264));
    ASSERT_TRUE(s.StartLiveVideo(true, 0, false));
    ASSERT_TRUE(log.WaitPictures(10));
    const std::string file = dir.Path("h264.avi");
    ASSERT_TRUE(s.StartRecordVideo(file.c_str(), true, 0));
    EXPECT_EQ(s.GetUseCountForTest(0), 2);
    ASSERT_TRUE(log.WaitEvent(2, livemaps::kRecordStarted));
    EXPECT_TRUE(Eventually([&] { return FileSize(file) > 60000; }, 20));
    s.StopAll();
    log.open = false;
    EXPECT_EQ(cam.Requests(kH264Path), 1u);
    EXPECT_EQ(s.GetCurrentStreamCount(), 0);
    const avitest::Probe p = avitest::ProbeFile(file);
    EXPECT_EQ(p.Stream("video")["codec_name"], "h264");
    EXPECT_EQ(p.Stream("video")["width"], "320");
    s.Destroy();
    EXPECT_EQ(log.late, 0);
}

// Cameras that answer with their first key picture in the same send as the
// reply header, the next two pictures with it: the session's decoder runs
// before the connection opens, so the first picture shown is the camera's
// first (for H.264 the one after the key picture, which configures the
// decoder), not one a key interval later, and the pictures follow in order.
TEST_F(LiveSessionPeer, FirstKeyPictureSentWithTheReplyIsShown)
{
    const struct {
        const char* path;
        unsigned kind;
        vdtest::StreamSpec spec;
        size_t first;
    } streams[] = {
        {"/m4v", CHTTPSCHLive::kKindMPEG4, {"mpeg4", 176, 144, 30, 45, 30, ""}, 0},
        {"/h264",
         CHTTPSCHLive::kKindH264,
         {"h264", 176, 144, 30, 45, 30, "-profile:v baseline"},
         1},
    };
    std::string routes;
    for (const auto& st : streams)
        routes +=
            std::string(routes.empty() ? "" : ",") + "\"" + st.path +
            R"(":{"head_with_body":true,"at_end":"stall","body":{"generator":"media_packets:acvs",)"
            R"("args":{"file":")" +
            st.spec.codec + R"(.es","codec":")" + st.spec.codec +
            R"(","fps":30,"first_burst":3,"end_magic":true}}})";
    LiveCamera cam(routes);
    std::vector<vdtest::Stream> made;
    for (const auto& st : streams) {
        made.push_back(vdtest::MakeStreams({st.spec})[0]);
        codectest::WriteBytes(cam.Emulator().Dir() + "/" + st.spec.codec + ".es", made.back().es);
    }
    std::vector<std::unique_ptr<vdtest::DeliveryLog>> logs;
    std::vector<std::unique_ptr<CHTTPSCHLive>> sessions;
    for (const auto& st : streams) {
        logs.emplace_back(new vdtest::DeliveryLog);
        sessions.emplace_back(new CHTTPSCHLive);
        CHTTPSCHLive& s = *sessions.back();
        ASSERT_TRUE(s.Create(0));
        ASSERT_TRUE(s.AssignURL(cam.URL(st.path).c_str(), st.kind));
        s.SetCallbackRenderMode(true, vdtest::DeliveryLog::Callback, logs.back().get());
        ASSERT_TRUE(s.StartLiveVideo(true, 0, false));
    }
    const size_t shown = 10;
    for (size_t i = 0; i < sessions.size(); ++i) {
        SCOPED_TRACE(streams[i].path);
        EXPECT_TRUE(logs[i]->WaitFor(shown, 60));
        sessions[i]->StopAll();
        sessions[i]->Destroy();
        const std::vector<vdtest::Delivery> got = logs[i]->Take();
        ASSERT_GE(got.size(), shown);
        const int rgb[3] = {0, 1, 2};
        for (size_t k = 0; k < shown; ++k) {
            const vdtest::Frame& f = made[i].frames[streams[i].first + k];
            ASSERT_EQ(got[k].pixels.size(), f.rgba.size()) << "picture " << k;
            EXPECT_GE(codectest::PsnrRgb(got[k].pixels.data(), 4, rgb, false, f.rgba.data(),
                                         f.width, f.height),
                      40)
                << "picture " << k << " is not the camera's " << streams[i].first + k;
        }
    }
}

} // namespace
