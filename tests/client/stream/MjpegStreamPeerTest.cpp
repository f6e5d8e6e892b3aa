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
#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

using httptest::Eventually;
using httptest::Recorder;

namespace {

const unsigned long kSizeEvent = 13 * 65536 + 1;
const unsigned long kTooLargeEvent = 14 * 65536 + 1;

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
        // A finite source: ffmpeg 5.1 can spin for ever on an endless one
        // once every output has its frames.
        make += " -f lavfi -i \"colorspectrum=type=all:size=" + size +
                ":rate=10:duration=" + std::to_string(count / 10 + 1) +
                ",drawgrid=w=40:h=40:t=3:c=black,drawgrid=x=20:y=20:w=40:h=40:t=2:c=white,"
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

// Pictures that libjpeg-turbo's cjpeg makes of the same source, at sizes
// w x h with the chroma sampling given ("2x2" 4:2:0, "2x1" 4:2:2), and
// its djpeg's decode of them, without fancy upsampling: each chroma sample
// covers its pixels.
std::vector<Reference>
MakeLibjpegPictures(const std::string& dir,
                    const std::vector<std::tuple<std::string, int, int, std::string>>& list)
{
    std::vector<Reference> out;
    for (const auto& [name, w, h, sampling] : list) {
        const std::string base = dir + "/" + name;
        // Cropped as RGB: a YUV source would round an odd size down.
        const std::string source =
            "colorspectrum=type=all:size=1024x576:duration=1,drawgrid=w=40:h=40:t=3:c=black,"
            "drawgrid=x=20:y=20:w=40:h=40:t=2:c=white,format=rgb24,crop=" +
            std::to_string(w) + ":" + std::to_string(h) + ":0:0";
        if (avitest::Ffmpeg("-f lavfi -i \"" + source + "\" -frames:v 1 -c:v ppm '" + base +
                            ".src.ppm'") != 0 ||
            avitest::Run("cjpeg -quality 90 -sample " + sampling + " '" + base + ".src.ppm' > '" +
                         base + ".jpg' && djpeg -nosmooth -pnm '" + base + ".jpg' > '" + base +
                         ".ppm'") != 0)
            throw std::runtime_error("could not make " + name);
        const std::string ppm = testsupport::ReadFile(base + ".ppm");
        const std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        if (ppm.compare(0, head.size(), head) != 0 ||
            ppm.size() != head.size() + size_t(w) * size_t(h) * 3)
            throw std::runtime_error("djpeg gave no " + name);
        Reference r{name, w, h, testsupport::ReadFile(base + ".jpg"), ""};
        for (size_t i = head.size(); i < ppm.size(); i += 3)
            r.rgba += ppm.substr(i, 3) + '\xff';
        out.push_back(r);
    }
    return out;
}

// PSNR of the R, G and B bytes together, or of one of them.
double Psnr(const unsigned char* px, const std::string& ref, int channel = -1)
{
    double sum = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        if (i % 4 == 3 || (channel >= 0 && int(i % 4) != channel))
            continue;
        const double d = double(px[i]) - double(uint8_t(ref[i]));
        sum += d * d;
    }
    const double mse = sum / double(ref.size() / 4 * (channel >= 0 ? 1 : 3));
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The worst channel's PSNR.
double WorstPsnr(const unsigned char* px, const std::string& ref)
{
    return std::min({Psnr(px, ref, 0), Psnr(px, ref, 1), Psnr(px, ref, 2)});
}

struct Delivery {
    BITMAPINFOHEADER bih;
    unsigned long bytes;
    int fed;      // the picture fed last, by reference index
    double psnr;  // against that reference
    double worst; // its worst channel
};

struct Fed {
    int ref; // -1: no whole picture of the references
    long long stamp;
    long long wallMs; // when it was fed
};

// What the stream fed and showed; outlives the stream.
struct Screen {
    struct State {
        std::vector<Delivery> shown;
        std::vector<Fed> fed;
        int afterOff = 0; // pictures shown while callback mode was off
        size_t CountFed(int ref) const
        {
            return size_t(
                std::count_if(fed.begin(), fed.end(), [&](const Fed& f) { return f.ref == ref; }));
        }
    };

    explicit Screen(const std::vector<Reference>& r) : refs(r) {}

    static void OnPicture(void* user, BITMAPINFOHEADER* bih, unsigned char* px, unsigned long bytes)
    {
        auto* s = static_cast<Screen*>(user);
        std::lock_guard<std::mutex> g(s->mu);
        s->state.afterOff += s->off;
        const int fed = s->state.fed.empty() ? -1 : s->state.fed.back().ref;
        const bool sized = fed >= 0 && bih->biWidth == s->refs[size_t(fed)].width &&
                           -bih->biHeight == s->refs[size_t(fed)].height;
        const std::string* ref = sized ? &s->refs[size_t(fed)].rgba : nullptr;
        s->state.shown.push_back(
            {*bih, bytes, fed, ref ? Psnr(px, *ref) : 0, ref ? WorstPsnr(px, *ref) : 0});
    }

    // A whole picture of the references: its start, and the end of its scan
    // data; of several (a thumbnail inside), the one that ends last.
    void OnFed(const unsigned char* p, unsigned long len, long long stamp)
    {
        const std::string frame(reinterpret_cast<const char*>(p), len);
        int ref = -1;
        size_t end = 0;
        for (size_t i = 0; i < refs.size(); ++i) {
            const std::string& j = refs[i].jpeg;
            const size_t at = frame.find(j.substr(j.size() - 64));
            if (frame.compare(0, 2, "\xff\xd8") == 0 && len >= j.size() &&
                at != std::string::npos && at >= end) {
                ref = int(i);
                end = at;
            }
        }
        const auto wall = std::chrono::system_clock::now().time_since_epoch();
        std::lock_guard<std::mutex> g(mu);
        state.fed.push_back(
            {ref, stamp, std::chrono::duration_cast<std::chrono::milliseconds>(wall).count()});
    }

    void SetOff(bool value)
    {
        std::lock_guard<std::mutex> g(mu);
        off = value;
    }
    State Snapshot()
    {
        std::lock_guard<std::mutex> g(mu);
        return state;
    }
    // Every picture shown is the one fed last, decoded as ffmpeg decodes it.
    void ExpectFaithful()
    {
        const State st = Snapshot();
        for (size_t i = 0; i < st.shown.size(); ++i)
            EXPECT_TRUE(st.shown[i].fed >= 0 && st.shown[i].psnr >= 40.0)
                << "picture " << i << ": " << st.shown[i].fed << ", " << st.shown[i].psnr << " dB";
    }

    const std::vector<Reference>& refs;
    std::mutex mu;
    State state;
    bool off = false;
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

// The emulator's route serving the pictures named (with extra part keys).
std::string CameraConfig(const avitest::TempDir& dir, const std::string& multipartKeys,
                         const std::vector<std::pair<std::string, std::string>>& parts,
                         const std::string& routeKeys = "")
{
    std::string list;
    for (const auto& [name, more] : parts)
        list += std::string(list.empty() ? "" : ",") + R"({"file":")" + dir.Path(name + ".jpg") +
                "\"" + more + "}";
    return R"({"routes":{"/video/mjpg.cgi":{)" + routeKeys + R"("body":{"multipart":{)" +
           multipartKeys + R"("parts":[)" + list + "]}}}}}";
}

BITMAPINFOHEADER Descriptor(int w, int h)
{
    BITMAPINFOHEADER b{};
    b.biSize = 40;
    b.biWidth = w;
    b.biHeight = -h;
    b.biPlanes = 1;
    b.biBitCount = 32;
    b.biSizeImage = uint32_t(w * h * 4);
    return b;
}

} // namespace

// Descriptor, size change and its event, pixels, stamps and statistics.
TEST(MjpegStream, LivePictureFollowsTheCamera)
{
    avitest::TempDir dir;
    const auto refs = MakePictures(dir.Path(""), {{"v", "640x480"}, {"q", "320x240"}}, 3);
    const int kBase = 100500, kStep = 40, kNoStamp = 4; // q2 comes without stamp fields
    testsupport::HttpEmulator cam(
        CameraConfig(dir, R"("fps":30,"stamp_base_ms":100500,"stamp_step_ms":40,)",
                     {{"v1", ""},
                      {"v2", ""},
                      {"v3", ""},
                      {"q1", ""},
                      {"q2", R"(,"timestamps":false)"},
                      {"q3", ""}}));
    Screen screen(refs);
    Recorder ev;
    const double started = testsupport::MonotonicNow();
    WatchedStream* s = StartStream(screen, ev, cam.Port());
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(Eventually(
        [&] {
            return screen.Snapshot().shown.size() >= 14 &&
                   testsupport::MonotonicNow() > started + 2.5;
        },
        60));
    EXPECT_TRUE(Eventually([&] { return ev.Count(kSizeEvent) >= 2; }, 10)); // 640x480, then 320x240
    double fps = 0;
    unsigned long bps = 0;
    int cx = 0, cy = 0;
    // The camera sends 30 a second, a loaded machine takes fewer: this checks
    // the rate's scale (pictures a second), not the camera's pace.
    EXPECT_TRUE(Eventually(
        [&] {
            s->GetFPS(&fps);
            return fps > 2;
        },
        30))
        << fps;
    EXPECT_LT(fps, 100);
    s->GetBPS(&bps);
    EXPECT_TRUE(s->GetVideoResolution(&cx, &cy));
    EXPECT_TRUE((cx == 640 && cy == 480) || (cx == 320 && cy == 240)) << cx << "x" << cy;
    EXPECT_GT(bps, 0u);
    s->UninitDecoder();
    s->Destroy();

    const Screen::State st = screen.Snapshot();
    const BITMAPINFOHEADER vga = Descriptor(640, 480), qvga = Descriptor(320, 240);
    EXPECT_EQ(std::memcmp(&st.shown[0].bih, &vga, sizeof vga), 0);
    EXPECT_EQ(st.shown[0].bytes, 1228800ul);
    auto small = std::find_if(st.shown.begin(), st.shown.end(),
                              [](const Delivery& d) { return d.bih.biWidth == 320; });
    ASSERT_NE(small, st.shown.end());
    EXPECT_EQ(std::memcmp(&small->bih, &qvga, sizeof qvga), 0);
    EXPECT_EQ(small->bih.biSizeImage, 307200u);
    EXPECT_GE(small->bytes, 1228800ul);
    screen.ExpectFaithful();

    // Each picture carries its own part's stamp; the one without gets the
    // wall clock's milliseconds.
    EXPECT_EQ(st.fed[0].stamp, kBase);
    for (const Fed& f : st.fed) {
        ASSERT_GE(f.ref, 0);
        if (f.ref == kNoStamp)
            EXPECT_TRUE(f.stamp <= f.wallMs && f.stamp > f.wallMs - 1000)
                << f.stamp << " at " << f.wallMs;
        else
            EXPECT_TRUE((f.stamp - kBase) % kStep == 0 && (f.stamp - kBase) / kStep % 6 == f.ref)
                << f.stamp;
    }
}

// Decoding stopped and restarted at the same size, callback mode switched
// while pictures flow, a null callback, recording while not decoding.
TEST(MjpegStream, RestartSwitchOffAndRecord)
{
    avitest::TempDir dir;
    const auto refs = MakePictures(dir.Path(""), {{"v", "640x480"}}, 3);
    testsupport::HttpEmulator cam(
        CameraConfig(dir, R"("fps":40,)", {{"v1", ""}, {"v2", ""}, {"v3", ""}}));
    Screen screen(refs);
    Recorder ev;
    WatchedStream* s = StartStream(screen, ev, cam.Port());
    ASSERT_NE(s, nullptr);
    auto waitFor = [&](bool shown, size_t more) {
        auto count = [&] {
            const auto st = screen.Snapshot();
            return shown ? st.shown.size() : st.fed.size();
        };
        const size_t target = count() + more;
        return Eventually([&] { return count() >= target; }, 30);
    };
    ASSERT_TRUE(waitFor(true, 3));

    s->UninitDecoder();
    screen.SetOff(true);
    const std::string avi = dir.Path("rec.avi");
    CAVIWriter* h = s->InitRecorder(avi.c_str(), nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(waitFor(false, 15));
    s->ReleaseRecorder(h);
    s->UninitRecorder();

    // Restarted at the same size: pictures again.
    screen.SetOff(false);
    EXPECT_TRUE(s->InitDecoder(false));
    EXPECT_TRUE(waitFor(true, 5));

    // No callback once switching callback mode off has returned; the
    // statistics read meanwhile from this thread.
    for (int i = 0; i < 100; ++i) {
        s->SetCallbackRenderMode(false, nullptr, nullptr);
        screen.SetOff(true);
        double fps;
        unsigned long bps;
        int cx, cy;
        s->GetFPS(&fps);
        s->GetBPS(&bps);
        s->GetVideoResolution(&cx, &cy);
        usleep(useconds_t(1000 * (i % 5)));
        screen.SetOff(false);
        s->SetCallbackRenderMode(true, Screen::OnPicture, &screen);
        usleep(3000);
    }
    s->SetCallbackRenderMode(true, nullptr, nullptr); // never called through
    screen.SetOff(true);
    EXPECT_TRUE(waitFor(false, 10));
    s->UninitDecoder();
    s->Destroy();
    EXPECT_EQ(screen.Snapshot().afterOff, 0);
    screen.ExpectFaithful();

    auto video = avitest::ProbeFile(avi).Stream("video");
    EXPECT_EQ(video["codec_name"], "mjpeg");
    EXPECT_EQ(video["width"], "640");
    EXPECT_GE(std::atoi(video["nb_read_frames"].c_str()), 10);
}

// A part larger than the content buffer (which grows to the length the part
// declares), a picture with an EXIF thumbnail, and a camera that closes in
// mid-picture: every picture fed is whole and every picture shown is right,
// before and after the reconnect.
TEST(MjpegStream, OversizePartExifPictureAndReconnect)
{
    avitest::TempDir dir;
    const auto refs =
        MakePictures(dir.Path(""), {{"v", "640x480"}, {"q", "320x240"}, {"t", "96x64"}}, 2);
    const int v1 = 0, v2 = 1, q1 = 2, q2 = 3, t1 = 4; // the order MakePictures gives
    // Close in the middle of the second cycle's first picture.
    const size_t kHead = 110, kPadded = 600000;
    const size_t cycle = refs[v1].jpeg.size() + kPadded + refs[q1].jpeg.size() +
                         refs[t1].jpeg.size() + 100 + refs[q2].jpeg.size() + 4 * kHead;
    const size_t closeAfter = cycle + kHead + refs[v1].jpeg.size() / 2;
    testsupport::HttpEmulator cam(
        CameraConfig(dir, R"("fps":30,)",
                     {{"v1", ""},
                      {"v2", R"(,"pad_to":600000)"},
                      {"q1", R"(,"exif_thumbnail":")" + dir.Path("t1.jpg") + "\""},
                      {"q2", ""}},
                     R"("close_after":)" + std::to_string(closeAfter) + ","));
    Screen screen(refs);
    Recorder ev;
    WatchedStream* s = StartStream(screen, ev, cam.Port());
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(Eventually([&] { return screen.Snapshot().CountFed(q2) >= 2; }, 60));
    s->UninitDecoder();
    s->Destroy();

    const Screen::State st = screen.Snapshot();
    EXPECT_GE(cam.AcceptTimes().size(), 2u);
    EXPECT_GE(st.CountFed(v2), 1u); // the oversize part
    EXPECT_EQ(ev.Count(kTooLargeEvent), 0u);
    EXPECT_GE(st.CountFed(v1), 2u);
    EXPECT_GE(st.CountFed(q1), 2u); // whole, with its thumbnail
    EXPECT_EQ(st.CountFed(t1), 0u);
    EXPECT_EQ(st.CountFed(-1), 0u); // nothing cut short by the close
    for (const Delivery& d : st.shown)
        EXPECT_NE(d.bih.biWidth, 96);
    screen.ExpectFaithful();
}

// Pictures of odd sizes from cjpeg, in 4:2:0 and 4:2:2, shown as libjpeg
// decodes them: an odd height converts as an even one does, so colour edges
// keep their place in every row; an even size beside them.
TEST(MjpegStream, OddSizesShowAsLibjpegDecodesThem)
{
    avitest::TempDir dir;
    const auto refs = MakeLibjpegPictures(dir.Path(""), {{"a", 999, 561, "2x2"},
                                                         {"b", 999, 561, "2x1"},
                                                         {"c", 1001, 563, "2x2"},
                                                         {"d", 1001, 563, "2x1"},
                                                         {"e", 1000, 562, "2x2"}});
    testsupport::HttpEmulator cam(
        CameraConfig(dir, R"("fps":10,)", {{"a", ""}, {"b", ""}, {"c", ""}, {"d", ""}, {"e", ""}}));
    Screen screen(refs);
    Recorder ev;
    WatchedStream* s = StartStream(screen, ev, cam.Port());
    ASSERT_NE(s, nullptr);
    // Each shown at least once.
    const auto shownAll = [&] {
        const Screen::State st = screen.Snapshot();
        std::vector<bool> seen(refs.size());
        for (const Delivery& d : st.shown)
            if (d.fed >= 0)
                seen[size_t(d.fed)] = true;
        return std::count(seen.begin(), seen.end(), true) == long(refs.size());
    };
    EXPECT_TRUE(Eventually(shownAll, 60));
    s->UninitDecoder();
    s->Destroy();
    for (const Delivery& d : screen.Snapshot().shown) {
        ASSERT_GE(d.fed, 0);
        EXPECT_GE(d.worst, 45.0) << refs[size_t(d.fed)].name << " " << refs[size_t(d.fed)].width
                                 << "x" << refs[size_t(d.fed)].height;
    }
}

// Five-megapixel pictures: one larger than the content buffer is shown, one
// padded beyond the most the buffer grows to is dropped and told once (a
// second one right after it is not told again), and the stream goes on
// with the next; a second round is told again, after pictures were shown.
TEST(MjpegStream, FiveMegapixelPicturesAboveAndBelowTheLimit)
{
    avitest::TempDir dir;
    const auto refs = MakePictures(dir.Path(""), {{"m", "2592x1944"}}, 3);
    const int big = 0, huge = 1, next = 2;
    ASSERT_GT(refs[big].jpeg.size(), size_t(CHTTPMJPStrm::kContentSize));
    const std::string padded =
        R"(,"pad_to":)" + std::to_string(CHTTPMJPStrm::kMaxContentSize + 100000);
    testsupport::HttpEmulator cam(CameraConfig(
        dir, R"("fps":5,"count":8,)", {{"m1", ""}, {"m2", padded}, {"m2", padded}, {"m3", ""}},
        R"("at_end":"stall",)"));
    Screen screen(refs);
    Recorder ev;
    WatchedStream* s = StartStream(screen, ev, cam.Port());
    ASSERT_NE(s, nullptr);
    // The last picture is cut once the emulator's closing boundary is in:
    // wait for the first of the second round's last.
    EXPECT_TRUE(Eventually(
        [&] {
            return screen.Snapshot().CountFed(next) >= 1 && screen.Snapshot().CountFed(big) >= 2;
        },
        60));
    EXPECT_TRUE(Eventually([&] { return ev.Count(kTooLargeEvent) >= 2; }, 60));
    s->UninitDecoder();
    s->Destroy();
    const Screen::State st = screen.Snapshot();
    EXPECT_EQ(st.CountFed(huge), 0u);
    EXPECT_EQ(st.CountFed(-1), 0u);
    EXPECT_EQ(ev.Count(kTooLargeEvent), 2u);
    EXPECT_EQ(cam.AcceptTimes().size(), 1u);
    screen.ExpectFaithful();
}
