// The MJPEG stream end to end on loopback: the emulated camera serves
// pictures that ffmpeg made, and every picture the render callback gets is
// compared with ffmpeg's own RGBA decode of the same file.
#include "../http/HttpCtrlTestUtil.h"
#include "../record/AviTestUtil.h"
#include "DiagCapture.h"
#include "stream/CHTTPMJPStrm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using httptest::Eventually;
using httptest::Recorder;

namespace {

const unsigned long kSizeEvent = 13 * 65536 + 1;

// One picture file and ffmpeg's decode of it.
struct Reference {
    std::string name;
    int width = 0, height = 0;
    std::string jpeg, rgba;
};

// Pictures of a high-contrast source: every hue, black and white grid lines,
// the hue turned from picture to picture. count pictures per size, named
// <prefix><n>.jpg from 1.
std::vector<Reference> MakePictures(const std::string& dir,
                                    const std::vector<std::pair<std::string, std::string>>& sizes,
                                    int count)
{
    std::string make, outputs, decode, refs;
    int input = 0;
    for (const auto& [prefix, size] : sizes) {
        make += " -f lavfi -i \"colorspectrum=type=all:size=" + size +
                ":rate=10,drawgrid=w=40:h=40:t=3:c=black,drawgrid=x=20:y=20:w=40:h=40:t=2:c=white,"
                "hue=h=t*100\"";
        outputs += " -map " + std::to_string(input) + ":v -frames:v " + std::to_string(count) +
                   " -pix_fmt yuvj420p -q:v 2 '" + dir + "/" + prefix + "%d.jpg'";
        decode += " -i '" + dir + "/" + prefix + "%d.jpg'";
        refs += " -map " + std::to_string(input++) + ":v -f rawvideo -pix_fmt rgba '" + dir + "/" +
                prefix + ".rgba'";
    }
    if (avitest::Ffmpeg(make + outputs) != 0 || avitest::Ffmpeg(decode + refs) != 0)
        throw std::runtime_error("ffmpeg could not make the pictures");
    std::vector<Reference> out;
    for (const auto& [prefix, size] : sizes) {
        const std::string all = testsupport::ReadFile(dir + "/" + prefix + ".rgba");
        const int w = std::stoi(size), h = std::stoi(size.substr(size.find('x') + 1));
        const size_t bytes = size_t(w) * size_t(h) * 4;
        for (int n = 1; n <= count; ++n) {
            Reference r{prefix + std::to_string(n), w, h, "", ""};
            r.jpeg = testsupport::ReadFile(dir + "/" + r.name + ".jpg");
            r.rgba = all.substr(bytes * size_t(n - 1), bytes);
            if (r.jpeg.empty() || r.rgba.size() != bytes)
                throw std::runtime_error("missing picture " + r.name);
            out.push_back(r);
        }
    }
    return out;
}

// PSNR of the R, G and B bytes.
double Psnr(const unsigned char* px, const std::string& ref)
{
    double sum = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        if (i % 4 == 3)
            continue;
        const double d = double(px[i]) - double(uint8_t(ref[i]));
        sum += d * d;
    }
    const double mse = sum / double(ref.size() / 4 * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}


int IndexOf(const std::vector<Reference>& refs, const std::string& name)
{
    for (size_t i = 0; i < refs.size(); ++i)
        if (refs[i].name == name)
            return int(i);
    return -1;
}

double WallMs()
{
    using namespace std::chrono;
    return double(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

struct Delivery {
    BITMAPINFOHEADER bih;
    unsigned long bytes;
    int fed;     // the picture fed last, by reference index
    double psnr; // against that reference
};

struct Fed {
    int ref; // -1: no whole picture of the references
    long long stamp;
    double wallMs;
};

// What the stream fed and showed; outlives the stream.
class Screen {
public:
    explicit Screen(const std::vector<Reference>& refs) : m_refs(refs) {}

    static void OnPicture(void* user, BITMAPINFOHEADER* bih, unsigned char* px, unsigned long bytes)
    {
        auto* s = static_cast<Screen*>(user);
        std::lock_guard<std::mutex> g(s->m_mu);
        if (s->m_off)
            ++s->m_afterOff;
        const int fed = s->m_fed.empty() ? -1 : s->m_fed.back().ref;
        double psnr = 0;
        if (fed >= 0 && bih->biWidth == s->m_refs[size_t(fed)].width &&
            -bih->biHeight == s->m_refs[size_t(fed)].height)
            psnr = Psnr(px, s->m_refs[size_t(fed)].rgba);
        s->m_shown.push_back({*bih, bytes, fed, psnr});
    }

    // A whole picture of the references: its start, and the end of its scan
    // data; of several (a thumbnail inside), the one that ends last.
    void OnFed(const unsigned char* p, unsigned long len, long long stamp)
    {
        const std::string frame(reinterpret_cast<const char*>(p), len);
        int ref = -1;
        size_t end = 0;
        for (size_t i = 0; i < m_refs.size(); ++i) {
            const std::string& j = m_refs[i].jpeg;
            const size_t at = frame.find(j.substr(j.size() - 64));
            if (frame.compare(0, 2, "\xff\xd8") == 0 && len >= j.size() && at != std::string::npos &&
                at >= end) {
                ref = int(i);
                end = at;
            }
        }
        std::lock_guard<std::mutex> g(m_mu);
        m_fed.push_back({ref, stamp, WallMs()});
    }

    void SetOff(bool off)
    {
        std::lock_guard<std::mutex> g(m_mu);
        m_off = off;
    }
    std::vector<Delivery> Shown()
    {
        std::lock_guard<std::mutex> g(m_mu);
        return m_shown;
    }
    std::vector<Fed> FedList()
    {
        std::lock_guard<std::mutex> g(m_mu);
        return m_fed;
    }
    size_t CountFed(int ref)
    {
        size_t n = 0;
        for (const Fed& f : FedList())
            n += f.ref == ref;
        return n;
    }
    int AfterOff()
    {
        std::lock_guard<std::mutex> g(m_mu);
        return m_afterOff;
    }
    // Every picture shown is the one fed last, decoded as ffmpeg decodes it.
    void ExpectFaithful()
    {
        const std::vector<Delivery> shown = Shown();
        for (size_t i = 0; i < shown.size(); ++i) {
            EXPECT_GE(shown[i].fed, 0) << "picture " << i;
            EXPECT_GE(shown[i].psnr, 40.0) << "picture " << i;
        }
    }

private:
    const std::vector<Reference>& m_refs;
    std::mutex m_mu;
    std::vector<Delivery> m_shown;
    std::vector<Fed> m_fed;
    bool m_off = false; // callback mode was switched off
    int m_afterOff = 0;
};

class WatchedStream : public CHTTPMJPStrm {
public:
    explicit WatchedStream(Screen& screen) : CHTTPMJPStrm(1124, false, 0), m_screen(screen) {}

protected:
    void FeedStreamItem(const unsigned char* p, unsigned long len, long long* stamp) override
    {
        m_screen.OnFed(p, len, *stamp);
        CHTTPMJPStrm::FeedStreamItem(p, len, stamp);
    }

private:
    Screen& m_screen;
};

WatchedStream* StartStream(Screen& screen, Recorder& ev, int port)
{
    auto* s = new WatchedStream(screen);
    ev.stream = reinterpret_cast<unsigned long>(s);
    s->SetNotifyMessageCB(Recorder::OnEvent, &ev);
    if (!s->Create()) {
        s->Destroy();
        return nullptr;
    }
    s->SetCallbackRenderMode(true, Screen::OnPicture, &screen);
    EXPECT_TRUE(s->InitDecoder(false));
    s->Connect("127.0.0.1", unsigned(port), "/video/mjpg.cgi", true);
    return s;
}

// The emulator's route serving parts (JSON objects) at fps.
std::string CameraConfig(const std::string& multipartKeys, const std::vector<std::string>& parts,
                         const std::string& routeKeys = "")
{
    std::string list;
    for (const std::string& p : parts)
        list += (list.empty() ? "" : ",") + p;
    return R"({"routes":{"/video/mjpg.cgi":{)" + routeKeys + R"("body":{"multipart":{)" +
           multipartKeys + R"("parts":[)" + list + "]}}}}}";
}

std::string FilePart(const avitest::TempDir& dir, const std::string& name, const std::string& more = "")
{
    return R"({"file":")" + dir.Path(name + ".jpg") + "\"" + more + "}";
}

} // namespace

// Descriptor, size change and its event, pixels, stamps and statistics.
TEST(MjpegStream, LivePictureFollowsTheCamera)
{
    avitest::TempDir dir;
    const auto refs = MakePictures(dir.Path(""), {{"v", "640x480"}, {"q", "320x240"}}, 3);
    const int kBase = 100500, kStep = 40, kNoStamp = 4; // q2 comes without stamp fields
    testsupport::HttpEmulator cam(CameraConfig(
        R"("fps":30,"stamp_base_ms":100500,"stamp_step_ms":40,)",
        {FilePart(dir, "v1"), FilePart(dir, "v2"), FilePart(dir, "v3"), FilePart(dir, "q1"),
         FilePart(dir, "q2", R"(,"timestamps":false)"), FilePart(dir, "q3")}));
    Screen screen(refs);
    Recorder ev;
    const double started = testsupport::MonotonicNow();
    WatchedStream* s = StartStream(screen, ev, cam.Port());
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(Eventually(
        [&] { return screen.Shown().size() >= 14 && testsupport::MonotonicNow() > started + 2.5; }, 60));
    EXPECT_TRUE(Eventually([&] { return ev.Count(kSizeEvent) >= 2; }, 10)); // 640x480, then 320x240
    double fps = 0;
    unsigned long bps = 0;
    int cx = 0, cy = 0;
    s->GetFPS(&fps);
    s->GetBPS(&bps);
    EXPECT_TRUE(s->GetVideoResolution(&cx, &cy));
    EXPECT_TRUE((cx == 640 && cy == 480) || (cx == 320 && cy == 240)) << cx << "x" << cy;
    EXPECT_GT(fps, 10);
    EXPECT_LT(fps, 100);
    EXPECT_GT(bps, 0u);
    s->UninitDecoder();
    s->Destroy();

    const std::vector<Delivery> shown = screen.Shown();
    const BITMAPINFOHEADER& first = shown[0].bih;
    EXPECT_EQ(first.biSize, 40u);
    EXPECT_EQ(first.biWidth, 640);
    EXPECT_EQ(first.biHeight, -480);
    EXPECT_EQ(first.biPlanes, 1);
    EXPECT_EQ(first.biBitCount, 32);
    EXPECT_EQ(first.biCompression, 0u);
    EXPECT_EQ(first.biSizeImage, 1228800u);
    EXPECT_EQ(shown[0].bytes, 1228800ul);
    size_t small = 0;
    while (small < shown.size() && shown[small].bih.biWidth != 320)
        ++small;
    ASSERT_LT(small, shown.size());
    EXPECT_EQ(shown[small].bih.biHeight, -240);
    EXPECT_EQ(shown[small].bih.biSizeImage, 307200u);
    EXPECT_GE(shown[small].bytes, 1228800ul);
    screen.ExpectFaithful();

    // Each picture carries its own part's stamp; the one without gets the
    // wall clock's milliseconds.
    for (const Fed& f : screen.FedList()) {
        ASSERT_GE(f.ref, 0);
        if (f.ref == kNoStamp) {
            EXPECT_LE(double(f.stamp), f.wallMs);
            EXPECT_GT(double(f.stamp), f.wallMs - 1000);
        } else {
            EXPECT_EQ((f.stamp - kBase) % kStep, 0) << f.stamp;
            EXPECT_EQ((f.stamp - kBase) / kStep % 6, f.ref) << f.stamp;
        }
    }
    EXPECT_EQ(screen.FedList()[0].stamp, kBase);
}

// Decoding stopped and restarted at the same size, callback mode switched
// while pictures flow, a null callback, recording while not decoding.
TEST(MjpegStream, RestartSwitchOffAndRecord)
{
    avitest::TempDir dir;
    const auto refs = MakePictures(dir.Path(""), {{"v", "640x480"}}, 3);
    testsupport::HttpEmulator cam(
        CameraConfig(R"("fps":40,)", {FilePart(dir, "v1"), FilePart(dir, "v2"), FilePart(dir, "v3")}));
    Screen screen(refs);
    Recorder ev;
    WatchedStream* s = StartStream(screen, ev, cam.Port());
    ASSERT_NE(s, nullptr);
    auto waitFed = [&](size_t more) {
        const size_t target = screen.FedList().size() + more;
        return Eventually([&] { return screen.FedList().size() >= target; }, 30);
    };
    ASSERT_TRUE(Eventually([&] { return screen.Shown().size() >= 3; }, 30));

    s->UninitDecoder();
    screen.SetOff(true);
    const std::string avi = dir.Path("rec.avi");
    CAVIWriter* h = s->InitRecorder(avi.c_str(), nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(waitFed(15));
    s->ReleaseRecorder(h);
    s->UninitRecorder();
    EXPECT_EQ(screen.AfterOff(), 0);

    // Restarted at the same size: pictures again.
    const size_t before = screen.Shown().size();
    screen.SetOff(false);
    EXPECT_TRUE(s->InitDecoder(false));
    EXPECT_TRUE(Eventually([&] { return screen.Shown().size() >= before + 5; }, 30));

    // No callback once switching callback mode off has returned.
    std::thread reader([s] {
        for (int i = 0; i < 400; ++i) {
            double fps;
            unsigned long bps;
            int cx, cy;
            s->GetFPS(&fps);
            s->GetBPS(&bps);
            s->GetVideoResolution(&cx, &cy);
            usleep(2000);
        }
    });
    for (int i = 0; i < 100; ++i) {
        s->SetCallbackRenderMode(false, nullptr, nullptr);
        screen.SetOff(true);
        usleep(useconds_t(1000 * (i % 5)));
        screen.SetOff(false);
        s->SetCallbackRenderMode(true, Screen::OnPicture, &screen);
        usleep(3000);
    }
    reader.join();
    s->SetCallbackRenderMode(true, nullptr, nullptr); // never called through
    screen.SetOff(true);
    EXPECT_TRUE(waitFed(10));
    s->UninitDecoder();
    s->Destroy();
    EXPECT_EQ(screen.AfterOff(), 0);
    screen.ExpectFaithful();

    const avitest::Probe probe = avitest::ProbeFile(avi);
    const auto video = probe.Stream("video");
    EXPECT_EQ(video.count("codec_name") ? video.at("codec_name") : "", "mjpeg");
    EXPECT_EQ(video.count("width") ? video.at("width") : "", "640");
    EXPECT_GE(std::atoi(video.count("nb_read_frames") ? video.at("nb_read_frames").c_str() : "0"), 10);
}

// A part larger than the content buffer, a picture with an EXIF thumbnail,
// and a camera that closes in mid-picture: every picture fed is whole and
// every picture shown is right, before and after the reconnect.
TEST(MjpegStream, OversizePartExifPictureAndReconnect)
{
    avitest::TempDir dir;
    const auto refs = MakePictures(dir.Path(""), {{"v", "640x480"}, {"q", "320x240"}, {"t", "96x64"}}, 2);
    const int v1 = IndexOf(refs, "v1"), v2 = IndexOf(refs, "v2"), q1 = IndexOf(refs, "q1"),
              q2 = IndexOf(refs, "q2"), t1 = IndexOf(refs, "t1");
    // Close in the middle of the second cycle's first picture.
    const size_t kHead = 110, kPadded = 600000;
    const size_t cycle = refs[size_t(v1)].jpeg.size() + kPadded + refs[size_t(q1)].jpeg.size() +
                         refs[size_t(t1)].jpeg.size() + 100 + refs[size_t(q2)].jpeg.size() + 4 * kHead;
    const size_t closeAfter = cycle + kHead + refs[size_t(v1)].jpeg.size() / 2;
    testsupport::HttpEmulator cam(CameraConfig(
        R"("fps":30,)",
        {FilePart(dir, "v1"), FilePart(dir, "v2", R"(,"pad_to":600000)"),
         FilePart(dir, "q1", R"(,"exif_thumbnail":")" + dir.Path("t1.jpg") + "\""), FilePart(dir, "q2")},
        R"("close_after":)" + std::to_string(closeAfter) + ","));
    Screen screen(refs);
    Recorder ev;
    testsupport::CaptureDiagOut();
    WatchedStream* s = StartStream(screen, ev, cam.Port());
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(Eventually([&] { return screen.CountFed(q2) >= 2; }, 60));
    s->UninitDecoder();
    s->Destroy();
    const std::string diag = testsupport::TakeDiagOut();

    EXPECT_GE(cam.AcceptTimes().size(), 2u);
    EXPECT_NE(diag.find("[CHTTPMJPStrm::ProcessContent] no picture within"), std::string::npos);
    EXPECT_EQ(screen.CountFed(v2), 0u); // the oversize part
    EXPECT_GE(screen.CountFed(v1), 2u);
    EXPECT_GE(screen.CountFed(q1), 2u); // whole, with its thumbnail
    EXPECT_EQ(screen.CountFed(t1), 0u);
    EXPECT_EQ(screen.CountFed(-1), 0u); // nothing cut short by the close
    for (const Delivery& d : screen.Shown())
        EXPECT_NE(d.bih.biWidth, 96);
    screen.ExpectFaithful();
}
