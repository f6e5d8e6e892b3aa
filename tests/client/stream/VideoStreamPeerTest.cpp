// The MPEG-4 and H.264 streams end to end on loopback: the emulated camera
// serves elementary streams that ffmpeg made, framed or raw; every picture
// the render callback gets must be ffmpeg's own decode of one of them, in
// stream order, and recordings are judged by ffprobe.
#include "../codec/BitWriter.h"
#include "../codec/VideoDecTestUtil.h"
#include "../http/HttpCtrlTestUtil.h"
#include "../record/AviTestUtil.h"
#include "DiagCapture.h"
#include "HttpEmulator.h"
#include "stream/CHTTPH264Stream.h"
#include "stream/CHTTPMP4Strm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

using httptest::Eventually;
using httptest::Recorder;
using vdtest::Delivery;
using vdtest::DeliveryLog;
using vdtest::ExpectCapacity;
using vdtest::Frame;
using vdtest::StreamSpec;

namespace {

const double kWait = 60; // seconds; the machine may be loaded
const unsigned long kRecordStarted = 3 * 65536 + 2;
const unsigned long kRecordStopped = 2 * 65536 + 2; // a new configuration
const unsigned long kRecordError = uint32_t(-1 * 65536 + 2);

// The streams counting the pictures they feed.
template <class Base>
class Watched : public Base {
public:
    Watched() : Base(1124, false, 0) {}
    std::atomic<int> fed{0};

protected:
    void FeedStreamItem(const unsigned char* p, unsigned long len, long long* stamp) override
    {
        const bool h264 = p[2] == 0 && p[3] == 1;
        fed += h264 ? (p[4] & 0x1F) != 7 : p[3] == 0xB6;
        Base::FeedStreamItem(p, len, stamp);
    }
};

using codectest::Bytes;

// A video object layer header (from its start code to the next) without
// is_object_layer_identifier: the bit cleared, the version and priority
// after it dropped, the stuffing redone. Empty when it has no identifier.
Bytes LayerWithoutIdentifier(const Bytes& layer)
{
    const auto bit = [&](size_t p) { return (layer[p / 8] >> (7 - p % 8)) & 1; };
    const size_t identifier = 32 + 1 + 8; // start code, random_accessible_vol, type
    size_t end = layer.size() * 8 - 1;    // the stuffing's 0 bit
    while (end > identifier && bit(end))
        --end;
    if (layer.size() * 8 - end > 8 || !bit(identifier))
        return {};
    BitWriter w;
    for (size_t p = 0; p < identifier; ++p)
        w.Put(1, bit(p));
    w.Put(1, 0);
    for (size_t p = identifier + 1 + 4 + 3; p < end; ++p)
        w.Put(1, bit(p));
    w.Stuff();
    return w.bytes_;
}

// The stream as a camera whose layers give no version of their own sends
// it; ffmpeg must decode it exactly as the original.
Bytes WithoutLayerIdentifier(const Bytes& es)
{
    const std::vector<size_t> codes = videounits::StartCodes(es);
    Bytes out(es.begin(), es.begin() + long(codes.empty() ? es.size() : codes[0]));
    for (size_t k = 0; k < codes.size(); ++k) {
        Bytes part(es.begin() + long(codes[k]),
                   es.begin() + long(k + 1 < codes.size() ? codes[k + 1] : es.size()));
        if (part.size() > 4 && (part[3] & 0xF0) == 0x20) {
            part = LayerWithoutIdentifier(part);
            EXPECT_FALSE(part.empty()) << "a layer without identifier or stuffing";
        }
        out.insert(out.end(), part.begin(), part.end());
    }
    codectest::TempDir dir;
    codectest::WriteBytes(dir.Path("a.m4v"), es);
    codectest::WriteBytes(dir.Path("b.m4v"), out);
    EXPECT_TRUE(
        codectest::FFmpeg("-i " + dir.Path("a.m4v") + " -f framemd5 " + dir.Path("a.md5")) &&
        codectest::FFmpeg("-i " + dir.Path("b.m4v") + " -f framemd5 " + dir.Path("b.md5")));
    const std::string a = testsupport::ReadFile(dir.Path("a.md5"));
    EXPECT_NE(a.find("0,          0,"), std::string::npos);
    EXPECT_EQ(a, testsupport::ReadFile(dir.Path("b.md5")));
    return out;
}

// An elementary stream file in the camera's folder (rewritten by rewrite
// when given), and ffmpeg's pictures of it.
std::vector<Frame> MakeFile(const testsupport::HttpEmulator& cam, const std::string& name,
                            const std::vector<StreamSpec>& parts,
                            Bytes (*rewrite)(const Bytes&) = nullptr)
{
    std::vector<Frame> frames;
    Bytes all;
    for (const vdtest::Stream& s : vdtest::MakeStreams(parts)) {
        all.insert(all.end(), s.es.begin(), s.es.end());
        frames.insert(frames.end(), s.frames.begin(), s.frames.end());
    }
    codectest::WriteBytes(cam.Dir() + "/" + name, rewrite ? rewrite(all) : all);
    return frames;
}

double Psnr(const Delivery& d, const Frame& f)
{
    if (d.header.biWidth != f.width || -d.header.biHeight != f.height ||
        d.pixels.size() != f.rgba.size())
        return 0;
    const int rgb[3] = {0, 1, 2};
    return codectest::PsnrRgb(d.pixels.data(), 4, rgb, false, f.rgba.data(), f.width, f.height);
}

// The picture each delivery shows (-1: none of them, at 40 dB); the one
// after the last shown is tried first.
std::vector<int> Identify(const std::vector<Delivery>& log, const std::vector<Frame>& frames)
{
    std::vector<int> shown;
    int last = -1;
    for (const Delivery& d : log) {
        int found = -1;
        const int n = int(frames.size());
        for (int k = 0; k < n && found < 0; ++k) {
            const int i = (last + k + n) % n; // the same one again, then onwards
            if (Psnr(d, frames[size_t(i)]) >= 40)
                found = i;
        }
        shown.push_back(found);
        if (found >= 0)
            last = found;
    }
    return shown;
}

// Every picture is one of the frames; it repeats the last one, follows it,
// or after a gap (a drop) opens a GOP. Returns the number of gaps.
int ExpectInOrder(const std::vector<int>& shown, int gop, int frameCount)
{
    int gaps = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_GE(shown[i], 0) << "picture " << i << " is no frame of the stream";
        if (i == 0 || shown[i] < 0 || shown[i - 1] < 0)
            continue;
        const int step = (shown[i] - shown[i - 1] + frameCount) % frameCount;
        if (step > 1) {
            ++gaps;
            // An H.264 decoder shows the picture after an IDR first.
            EXPECT_LE(shown[i] % gop, 1) << "picture " << i << " resumes at " << shown[i];
        }
    }
    return gaps;
}

// With avi, recording into it; its handle goes to *handle.
template <class S>
S* StartStream(Recorder& ev, DeliveryLog* log, int port, const std::string& path,
               const std::string& avi = "", CAVIWriter** handle = nullptr)
{
    auto* s = new Watched<S>();
    ev.stream = reinterpret_cast<unsigned long>(static_cast<CHTTPCtrl*>(s));
    s->SetNotifyMessageCB(Recorder::OnEvent, &ev);
    if (!s->Create()) {
        s->Destroy();
        return nullptr;
    }
    if (!avi.empty()) {
        *handle = s->InitRecorder(avi.c_str(), nullptr);
        EXPECT_NE(*handle, nullptr);
    }
    if (log) {
        s->SetCallbackRenderMode(true, &DeliveryLog::Callback, log);
        EXPECT_TRUE(s->InitDecoder(false));
    }
    s->Connect("127.0.0.1", unsigned(port), path.c_str(), true);
    return s;
}

template <class S>
int Fed(S* s)
{
    return static_cast<Watched<S>*>(s)->fed.load();
}

template <class S>
void StopRecording(S* s, CAVIWriter* h)
{
    s->ReleaseRecorder(h);
    s->UninitRecorder();
}

// keys: more route keys, each followed by a comma.
std::string Route(const std::string& path, const std::string& args, bool framed = true,
                  const std::string& keys = "")
{
    return "\"" + path + "\":{" + keys + (framed ? "" : R"("content_type":"video/x-raw-es",)") +
           R"("body":{"generator":"media_packets:acvs","args":{)" + args +
           (framed ? "" : R"(,"framed":false)") + "}}}";
}

} // namespace

// Framed MPEG-4 whose layer gives no version of its own, joined in mid-GOP
// at the camera's rate: decoding starts at the next GOP, every picture is
// ffmpeg's, pictures come about 33 ms apart, and the recording opens at
// that GOP with the configuration.
TEST(VideoStreamPeer, Mpeg4FramedMidGopPacedAndRecorded)
{
    testsupport::HttpEmulator cam(
        R"({"routes":{)" +
        Route("/m4v",
              R"("file":"a.m4v","fps":30,"start_unit":10,"stamp_base":500,"end_magic":true)") +
        "}}");
    const auto frames =
        MakeFile(cam, "a.m4v", {{"mpeg4", 176, 144, 30, 100, 30, "-flags +bitexact"}},
                 WithoutLayerIdentifier);
    ASSERT_EQ(frames.size(), 100u);
    avitest::TempDir dir;
    const std::string avi = dir.Path("m4v.avi");
    Recorder ev;
    DeliveryLog log;
    CAVIWriter* h = nullptr;
    auto* s = StartStream<CHTTPMP4Strm>(ev, &log, cam.Port(), "/m4v", avi, &h);
    ASSERT_NE(s, nullptr);
    // Frames 30 to 99 come 33 ms apart; wait until the last has been shown.
    EXPECT_TRUE(Eventually([&] { return Fed(s) >= 90; }, kWait));
    EXPECT_TRUE(log.WaitFor(65, kWait));
    int cx = 0, cy = 0;
    double fps = 0;
    EXPECT_TRUE(s->GetVideoResolution(&cx, &cy));
    s->GetFPS(&fps);
    StopRecording(s, h);
    s->UninitDecoder();
    s->Destroy();
    EXPECT_EQ(cx, 176);
    EXPECT_EQ(cy, 144);
    EXPECT_TRUE(fps > 15 && fps < 60) << fps;

    const std::vector<Delivery> got = log.Take();
    ExpectCapacity(got);
    const std::vector<int> shown = Identify(got, frames);
    ASSERT_GE(shown.size(), 65u);
    EXPECT_EQ(shown[0], 30); // the P-planes before it were not decoded
    EXPECT_EQ(ExpectInOrder(shown, 30, 100), 0);
    const double mean = (got[64].time - got[4].time) / 60;
    EXPECT_TRUE(mean > 0.025 && mean < 0.045) << mean;

    EXPECT_TRUE(ev.Count(kRecordStarted) == 1 && ev.Count(kRecordError) == 0);
    auto video = avitest::ProbeFile(avi).Stream("video");
    EXPECT_EQ(video["codec_name"], "mpeg4");
    EXPECT_EQ(video["width"], "176");
    EXPECT_GE(std::atoi(video["nb_read_frames"].c_str()), 60);
}

// MPEG-4 with B-pictures (two between references) from ffmpeg's encoder
// and from Xvid, unpacked and in its own packed form (a P- and a B-picture
// in one unit, a small placeholder unit after them, which brings out the
// B-picture held back), framed, each sent at a steady rate: the decoder
// shows its pictures in their own order, which is not the order they come
// in, and paces them so: every picture is shown once, in order, none is
// dropped, each is ffmpeg's decode of the same units (the last stays held,
// as no picture comes after it). A recording of the packed stream asked
// for just before the placeholder that follows an I-picture (Xvid makes it
// an I-plane that is not coded) starts at the next I-picture: the
// placeholder starts nothing.
// The cameras send a little slower than the streams' own 30 a second, so
// that a loaded machine's stall leaves no backlog behind.
TEST(VideoStreamPeer, Mpeg4BPicturesShownInTheirOrder)
{
    const std::string b = "-bf 2";
    const std::vector<StreamSpec> specs = {
        {"mpeg4", 176, 144, 30, 90, 30, b},
        {"xvid", 176, 144, 30, 90, 30, b + " -flags +global_header -bsf:v dump_extra", "testsrc2",
         "", "", 2},
        {"xvid", 176, 144, 30, 90, 30, b, "testsrc2", "", "avi", 2},
    };
    const std::vector<std::string> names = {"a.m4v", "b.m4v", "c.avi"};
    // The packed stream's camera sends unit n once the file "go" says n.
    const size_t packed = 2;
    std::string routes;
    for (size_t i = 0; i < specs.size(); ++i)
        routes += (i ? "," : "") +
                  Route("/" + std::to_string(i),
                        R"("codec":"mpeg4","fps":25,"end_magic":true,"file":")" + names[i] +
                            (i == packed ? R"(","held_by":"go","slack":0)" : "\""),
                        true, R"("at_end":"stall",)");
    testsupport::HttpEmulator cam(R"({"routes":{)" + routes + "}}");
    std::vector<std::vector<Frame>> frames;
    for (size_t i = 0; i < specs.size(); ++i)
        frames.push_back(MakeFile(cam, names[i], {specs[i]}));
    // Units 0 to 28 are fed once 29 is in; 28 holds the I-picture 30 and 29
    // a B-picture, 30 is the placeholder.
    const std::string go = cam.Dir() + "/go";
    testsupport::WriteFile(go, "29", "test");
    std::vector<std::unique_ptr<Recorder>> events;
    std::vector<std::unique_ptr<DeliveryLog>> logs;
    std::vector<CHTTPMP4Strm*> streams;
    for (size_t i = 0; i < specs.size(); ++i) {
        events.emplace_back(new Recorder);
        logs.emplace_back(new DeliveryLog);
        streams.push_back(StartStream<CHTTPMP4Strm>(*events[i], logs[i].get(), cam.Port(),
                                                    "/" + std::to_string(i)));
        ASSERT_NE(streams[i], nullptr);
    }
    EXPECT_TRUE(Eventually([&] { return Fed(streams[packed]) >= 29; }, kWait));
    avitest::TempDir dir;
    const std::string avi = dir.Path("packed.avi");
    CAVIWriter* h = streams[packed]->InitRecorder(avi.c_str(), nullptr);
    ASSERT_NE(h, nullptr);
    testsupport::WriteFile(go, "100000", "test");
    for (size_t i = 0; i < specs.size(); ++i) {
        SCOPED_TRACE(names[i]);
        ASSERT_GE(frames[i].size(), 80u);
        std::vector<int> expected(frames[i].size() - 1);
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_TRUE(logs[i]->WaitFor(expected.size(), kWait));
        if (i == packed)
            StopRecording(streams[i], h);
        streams[i]->UninitDecoder();
        streams[i]->Destroy();
        const std::vector<Delivery> got = logs[i]->Take();
        ExpectCapacity(got);
        EXPECT_EQ(Identify(got, frames[i]), expected);
    }
    // The recording's first picture, behind the configuration in its
    // chunk, is a coded I-plane, not a placeholder.
    const avitest::AviFile file = avitest::ReadAvi(avi);
    ASSERT_EQ(file.error, "");
    std::string first;
    for (const avitest::Chunk& c : file.chunks)
        if (c.length > 0 && first.empty())
            first = c.Data(file.bytes);
    EXPECT_EQ(first.substr(0, 4), std::string("\0\0\1\xB0", 4));
    const size_t plane = first.find(std::string("\0\0\1\xB6", 4));
    ASSERT_NE(plane, std::string::npos);
    ASSERT_GT(first.size(), plane + 4);
    EXPECT_EQ(first[plane + 4] & 0xC0, 0);
    EXPECT_GT(first.size() - plane, 100u);
}

// Raw MPEG-4 sent faster than the decoder paces it: the
// queue overflows, units are dropped, decoding resumes at an I-plane and
// every picture stays ffmpeg's.
TEST(VideoStreamPeer, Mpeg4RawOverflowResyncs)
{
    testsupport::HttpEmulator cam(
        R"({"routes":{)" + Route("/m4v", R"("file":"a.m4v","repeat":true,"count":400)", false) +
        "}}");
    // At 15 pictures a second the decoder frees a buffer more slowly than the
    // stream waits for one.
    const auto frames = MakeFile(cam, "a.m4v", {{"mpeg4", 176, 144, 15, 60, 15, ""}});
    Recorder ev;
    DeliveryLog log;
    auto* s = StartStream<CHTTPMP4Strm>(ev, &log, cam.Port(), "/m4v");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(log.WaitFor(70, kWait));
    s->UninitDecoder();
    s->Destroy();
    const std::vector<Delivery> got = log.Take();
    ExpectCapacity(got);
    const std::vector<int> shown = Identify(got, frames);
    EXPECT_EQ(shown[0], 0);
    EXPECT_GE(ExpectInOrder(shown, 15, 60), 1);
}

// Framed H.264 with a delimiter and a long SEI before each picture, joined
// in mid-GOP, that changes its size to one whose parameter set has the same
// length: decoding starts after the next IDR, follows the change, and the
// recording started at that IDR stops at the change. The camera keeps no
// more than a few pictures ahead of those shown, so that a loaded machine
// cannot overflow the queue (which drops up to the next IDR), and it stays
// connected at its end, so that no reconnect replays the file.
TEST(VideoStreamPeer, H264FramedSeiSizeChangeAndRecording)
{
    std::string sei = "0605"
                      "28"; // user data unregistered, 40 bytes
    for (int i = 0; i < 40; ++i)
        sei += "a5";
    sei += "80";
    testsupport::HttpEmulator cam(
        R"({"routes":{)" +
        Route(
            "/h264",
            R"("file":"a.h264","fps":30,"start_unit":5,"aud":true,"end_magic":true,"held_by":"shown","lead_hex":")" +
                sei + "\"",
            true, R"("at_end":"stall",)") +
        "}}");
    const std::string opts = "-profile:v baseline -level 3.0 -b:v 300k";
    const auto frames =
        MakeFile(cam, "a.h264",
                 {{"h264", 320, 240, 30, 45, 15, opts}, {"h264", 336, 240, 30, 45, 15, opts}});
    ASSERT_EQ(frames.size(), 90u);
    // The two sequence parameter sets differ in their bytes only.
    const std::string es = testsupport::ReadFile(cam.Dir() + "/a.h264");
    const std::string spsCode("\0\0\0\1\x67", 5), next("\0\0\0\1", 4);
    const size_t first = es.find(spsCode), last = es.rfind(spsCode);
    const std::string sps1 = es.substr(first, es.find(next, first + 4) - first);
    const std::string sps2 = es.substr(last, es.find(next, last + 4) - last);
    ASSERT_EQ(sps1.size(), sps2.size());
    ASSERT_NE(sps1, sps2);
    avitest::TempDir dir;
    const std::string avi = dir.Path("h264.avi");
    Recorder ev;
    DeliveryLog log;
    log.CountInto(cam.Dir() + "/shown");
    CAVIWriter* h = nullptr;
    auto* s = StartStream<CHTTPH264Stream>(ev, &log, cam.Port(), "/h264", avi, &h);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(Eventually([&] { return Fed(s) >= 84; }, kWait));
    EXPECT_TRUE(log.WaitFor(73, kWait)); // 16 to 89 but 45
    int cx = 0, cy = 0;
    EXPECT_TRUE(Eventually([&] { return s->GetVideoResolution(&cx, &cy) && cx == 336; }, kWait));
    EXPECT_EQ(cy, 240);
    StopRecording(s, h);
    s->UninitDecoder();
    s->Destroy();

    const std::vector<Delivery> got = log.Take();
    ExpectCapacity(got);
    const std::vector<int> shown = Identify(got, frames);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0], 16);                    // the IDR at 15 configures the decoder
    EXPECT_EQ(ExpectInOrder(shown, 15, 90), 1); // the IDR after the change is not shown
    EXPECT_EQ(shown.back(), 89);
    EXPECT_EQ(cam.AcceptTimes().size(), 1u);

    EXPECT_EQ(ev.Count(kRecordStarted), 1u);
    EXPECT_EQ(ev.Count(kRecordStopped), 1u);
    auto video = avitest::ProbeFile(avi).Stream("video");
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["width"], "320");
    const int recorded = std::atoi(video["nb_read_frames"].c_str()); // frames 15 to 44
    EXPECT_TRUE(recorded >= 29 && recorded <= 31) << recorded;
}

// Raw Annex B H.264 recorded without live view, then decoded while it
// floods: the IDRs survive the cutting (recording starts, pictures after
// every overflow resume), and every picture is ffmpeg's.
TEST(VideoStreamPeer, H264RawRecordWithoutViewThenOverflow)
{
    testsupport::HttpEmulator cam(
        R"({"routes":{)" + Route("/slow", R"("file":"a.h264","fps":60,"start_unit":3)", false) +
        "," + Route("/fast", R"("file":"a.h264","repeat":true,"count":600)", false) + "}}");
    const auto frames =
        MakeFile(cam, "a.h264", {{"h264", 320, 240, 15, 60, 15, "-profile:v main -b:v 300k"}});
    avitest::TempDir dir;
    const std::string avi = dir.Path("raw.avi");
    {
        Recorder ev;
        CAVIWriter* h = nullptr;
        auto* s = StartStream<CHTTPH264Stream>(ev, nullptr, cam.Port(), "/slow", avi, &h);
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(Eventually([&] { return Fed(s) >= 55; }, kWait));
        StopRecording(s, h);
        s->Destroy();
        EXPECT_EQ(ev.Count(kRecordStarted), 1u);
        EXPECT_EQ(ev.Count(kRecordError), 0u);
    }
    auto video = avitest::ProbeFile(avi).Stream("video");
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["width"], "320");
    EXPECT_EQ(video["height"], "240");
    EXPECT_GE(std::atoi(video["nb_read_frames"].c_str()), 40); // from the IDR at 15

    Recorder ev;
    DeliveryLog log;
    auto* s = StartStream<CHTTPH264Stream>(ev, &log, cam.Port(), "/fast");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(log.WaitFor(70, kWait));
    s->UninitDecoder();
    s->Destroy();
    const std::vector<Delivery> got = log.Take();
    ExpectCapacity(got);
    const std::vector<int> shown = Identify(got, frames);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0], 1);
    EXPECT_GE(ExpectInOrder(shown, 15, 60), 1);
}
