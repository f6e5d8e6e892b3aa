// The live session's tests: what a session delivered (pictures, audio,
// handler calls, and calls that came too late), and the emulated camera's
// MJPEG and audio routes.
#ifndef RILO_LIVE_TEST_UTIL_H
#define RILO_LIVE_TEST_UTIL_H

#include "../http/HttpCtrlTestUtil.h"
#include "../record/AviTestUtil.h"
#include "session/CHTTPSCHLive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace livetest {

const char kVideoPath[] = "/video/mjpg.cgi";
const char kAudioPath[] = "/audio/ACAS.cgi";
const char kH264Path[] = "/video/ACVS.cgi";

// Everything one session handed to the application. A call while closed is late.
struct LiveLog {
    std::atomic<int> pictures{0};
    std::atomic<int> audio{0};
    std::atomic<int> late{0};
    std::atomic<bool> open{true};
    // Set to have final recording codes checked: none may come while recording.
    std::atomic<CHTTPSCHLive*> session{nullptr};
    std::atomic<int> recordingAtFinal{0};
    std::mutex mu;
    std::vector<std::pair<int, int>> events; // (category, code)

    static void OnPicture(void* user, BITMAPINFOHEADER* bih, unsigned char* px, unsigned long n)
    {
        auto* log = static_cast<LiveLog*>(user);
        if (bih && px && n >= bih->biSizeImage)
            ++log->pictures;
        log->late += !log->open;
    }
    static void OnAudio(void* user, unsigned char*, unsigned long, unsigned long kind, long long*)
    {
        auto* log = static_cast<LiveLog*>(user);
        log->audio += kind == 0;
        log->late += !log->open;
    }
    static void OnEvent(void* user, int category, int code)
    {
        auto* log = static_cast<LiveLog*>(user);
        CHTTPSCHLive* s = log->session;
        if (s && category == 2 && code != livemaps::kRecordStarted)
            log->recordingAtFinal += s->IsRecordAvi();
        std::lock_guard<std::mutex> g(log->mu);
        log->events.emplace_back(category, code);
        log->late += !log->open;
    }
    size_t Count(int category, int code)
    {
        std::lock_guard<std::mutex> g(mu);
        size_t n = 0;
        for (const auto& e : events)
            n += e.first == category && e.second == code;
        return n;
    }
    bool WaitEvent(int category, int code, double seconds = 20)
    {
        return httptest::Eventually([&] { return Count(category, code) > 0; }, seconds);
    }
    bool WaitPictures(int n, double seconds = 20)
    {
        return httptest::Eventually([&] { return pictures >= n; }, seconds);
    }
};

inline std::string MjpegRoute(int fps)
{
    return std::string(R"(")") + kVideoPath +
           R"(":{"body":{"multipart":{"parts":[{"file":"f1.jpg"},{"file":"f2.jpg"}],"timestamps":true,"fps":)" +
           std::to_string(fps) + "}}}";
}

// Framed H.264 from a.h264 (LiveCamera::MakeH264), without end.
inline std::string H264Route(int fps)
{
    return std::string(R"(")") + kH264Path +
           R"(":{"body":{"generator":"media_packets:acvs","args":{"file":"a.h264","repeat":true,"fps":)" +
           std::to_string(fps) + "}}}";
}

// 16-bit PCM at 8000 Hz in packets of 20 ms, stamped by the wall clock.
inline std::string AudioRoute()
{
    return std::string(R"(")") + kAudioPath +
           R"(":{"body":{"generator":"media_packets:acas","args":{"pattern_hex":"10203040",)"
           R"("pattern_count":80,"tag":16,"interval_ms":20,"repeat":true}}})";
}

// An emulated camera with those routes (and top-level keys); its pictures
// are made by ffmpeg in its folder before the first request.
class LiveCamera {
public:
    explicit LiveCamera(const std::string& routes, const std::string& top = "")
        : m_cam("{" + top + (top.empty() ? "" : ",") + R"("routes":{)" + routes + "}}")
    {
        if (avitest::Ffmpeg(
                "-f lavfi -i testsrc2=size=320x240:rate=30:duration=1 -frames:v 2 -q:v 6 '" +
                m_cam.Dir() + "/f%d.jpg'") != 0)
            throw std::runtime_error("ffmpeg could not make the pictures");
    }
    // Two seconds of 320x240 H.264 with a key unit every half second.
    void MakeH264()
    {
        if (avitest::Ffmpeg(
                "-f lavfi -i testsrc2=size=320x240:rate=30:duration=2.5 -frames:v 60 -c:v libx264 "
                "-profile:v baseline -x264-params repeat-headers=1:keyint=15 -f h264 '" +
                m_cam.Dir() + "/a.h264'") != 0)
            throw std::runtime_error("ffmpeg could not make the H.264 stream");
    }
    std::string URL(const char* path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_cam.Port()) + path;
    }
    // Requests for path so far: each is one connection of the client.
    size_t Requests(const char* path) const
    {
        size_t n = 0;
        for (const auto& r : m_cam.Requests())
            n += r.Text().rfind(std::string("GET ") + path + " ", 0) == 0;
        return n;
    }
    testsupport::HttpEmulator& Emulator() { return m_cam; }

private:
    testsupport::HttpEmulator m_cam;
};

// A session pointed at the camera's routes, its callbacks into log.
inline void Point(CHTTPSCHLive& s, const LiveCamera& cam, LiveLog& log)
{
    ASSERT_TRUE(s.Create(0));
    ASSERT_TRUE(s.AssignURL(cam.URL(kVideoPath).c_str(), CHTTPSCHLive::kKindMJPEG));
    ASSERT_TRUE(s.AssignAudioURL(cam.URL(kAudioPath).c_str(), 0));
    s.SetCallbackRenderMode(true, LiveLog::OnPicture, &log);
    s.SetAudioCallbackRender(LiveLog::OnAudio, &log);
    s.SetStreamNotifyCB(LiveLog::OnEvent, &log);
}

} // namespace livetest

#endif
