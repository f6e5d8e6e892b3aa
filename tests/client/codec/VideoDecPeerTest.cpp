// The MPEG-4 and H.264 decode threads on streams made by ffmpeg, fed through
// a transfer queue as the streams feed them; pictures are compared with
// ffmpeg's own RGBA decode of the same streams.
#include "VideoDecTestUtil.h"

#include "codec/H264Dec.h"
#include "codec/MPEG4ConfigParser.h"
#include "codec/OutputPixelFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>

using namespace vdtest;

namespace {

const double kWait = 60; // seconds; the machine may be loaded

// Decodes the whole feed with pacing off; the deliveries once the last
// unit has been handled.
std::vector<Delivery> DecodeAll(const std::string& codec, const Feed& feed, size_t expected,
                                int* width = nullptr, int* height = nullptr)
{
    UnitFeeder feeder(feed.units);
    DeliveryLog log(&feeder);
    auto dec = StartDecoder(codec, feeder, log, false);
    feeder.Start();
    EXPECT_TRUE(log.WaitFor(expected, kWait)) << log.Count() << " of " << expected;
    EXPECT_TRUE(log.WaitForUnit(int(feed.units.size()) - 1, kWait));
    int w = 0, h = 0;
    EXPECT_TRUE(StreamSize(*dec, &w, &h));
    if (width)
        *width = w;
    if (height)
        *height = h;
    dec->StopDecodingProc();
    return log.Take();
}

// Indexes of the pictures delivered, in order.
std::vector<int> Shown(const std::vector<Delivery>& log, const Feed& feed)
{
    std::vector<int> shown;
    for (const Delivery& d : log)
        shown.push_back(d.unit >= 0 ? feed.units[size_t(d.unit)].frame : -2);
    return shown;
}

std::vector<int> Range(int first, int last)
{
    std::vector<int> r(size_t(last - first + 1));
    std::iota(r.begin(), r.end(), first);
    return r;
}

double MeanInterval(const std::vector<Delivery>& log)
{
    return (log.back().time - log.front().time) / double(log.size() - 1);
}

// Puts value into the vop_time_increment field (bits wide) of a plane.
void SetTimeIncrement(Bytes& vop, int bits, uint32_t value)
{
    size_t pos = 32 + 2; // start code, vop_coding_type
    const auto bit = [&](size_t p) { return (vop[p / 8] >> (7 - p % 8)) & 1; };
    while (bit(pos))
        ++pos; // modulo_time_base
    pos += 2;  // its 0, the marker
    for (int i = bits - 1; i >= 0; --i, ++pos) {
        const uint8_t mask = uint8_t(0x80 >> (pos % 8));
        vop[pos / 8] = uint8_t((value >> i) & 1 ? vop[pos / 8] | mask : vop[pos / 8] & ~mask);
    }
}

} // namespace

TEST(VideoDecPeer, PicturesMatchFFmpeg)
{
    // Sizes that are no multiple of 16 test the row ends and the cropping.
    const std::vector<StreamSpec> specs = {
        {"mpeg4", 330, 246, 30, 45, 15, ""},
        {"h264", 330, 246, 30, 45, 15, "-profile:v baseline"},
        {"h264", 352, 288, 25, 45, 15, "-profile:v main"},
    };
    const std::vector<Feed> feeds = MakeFeeds(specs);
    for (size_t i = 0; i < specs.size(); ++i) {
        SCOPED_TRACE(specs[i].codec + " " + specs[i].options);
        const Feed& feed = feeds[i];
        ASSERT_EQ(size_t(specs[i].frames), feed.frames.size());
        // An H.264 decoder reads the size from the picture after a new
        // configuration and does not show it.
        const int first = specs[i].codec == "h264" ? 1 : 0;
        int w = 0, h = 0;
        const std::vector<Delivery> log =
            DecodeAll(specs[i].codec, feed, size_t(45 - first), &w, &h);
        EXPECT_EQ(Range(first, 44), Shown(log, feed));
        for (const Delivery& d : log)
            ExpectPicture(d, feed);
        EXPECT_EQ(specs[i].width, w);
        EXPECT_EQ(specs[i].height, h);
    }
}

TEST(VideoDecPeer, PacesAtTheStreamRate)
{
    // The H.264 rate comes from the stream's frame rate: its time base
    // counts fields (1/50 for 25 frames a second).
    const std::vector<StreamSpec> specs = {
        {"mpeg4", 320, 240, 30, 70, 30, ""},
        {"h264", 320, 240, 25, 70, 25, "-profile:v main"},
    };
    const std::vector<Feed> feeds = MakeFeeds(specs);
    std::vector<std::unique_ptr<UnitFeeder>> feeders;
    std::vector<std::unique_ptr<DeliveryLog>> logs;
    std::vector<std::unique_ptr<CVideoDecThread>> decs;
    for (size_t i = 0; i < specs.size(); ++i) {
        feeders.emplace_back(new UnitFeeder(feeds[i].units));
        logs.emplace_back(new DeliveryLog(feeders[i].get(), false));
        decs.push_back(StartDecoder(specs[i].codec, *feeders[i], *logs[i], true));
    }
    for (auto& feeder : feeders)
        feeder->Start();
    // The rate of the best window of about a second while the pictures go
    // out (a loaded machine may stall one), for both at once.
    const size_t expected[] = {70, 69};
    std::vector<double> best(specs.size(), 0);
    std::vector<unsigned long> bps(specs.size(), 0);
    for (int n = 0; n < 600; ++n) {
        bool done = true;
        for (size_t i = 0; i < specs.size(); ++i) {
            double fps = 0;
            decs[i]->GetFPS(&fps);
            best[i] = std::max(best[i], fps);
            if (!bps[i])
                decs[i]->GetBPS(&bps[i]);
            done = done && logs[i]->Count() >= expected[i];
        }
        if (done)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (size_t i = 0; i < specs.size(); ++i) {
        SCOPED_TRACE(specs[i].codec);
        ASSERT_TRUE(logs[i]->WaitFor(expected[i], 1));
        decs[i]->StopDecodingProc();
        EXPECT_GT(best[i], 0.75 * specs[i].rate);
        EXPECT_LT(best[i], 1.3 * specs[i].rate);
        EXPECT_GT(bps[i], 0u);
        const std::vector<Delivery> log = logs[i]->Take();
        const double interval = 1.0 / specs[i].rate;
        EXPECT_GE(MeanInterval(log), 0.75 * interval);
        EXPECT_LE(MeanInterval(log), 1.8 * interval);
    }
}

TEST(VideoDecPeer, FollowsResolutionChanges)
{
    // Up and down: the output follows each picture, never a header.
    for (const std::string codec : {"mpeg4", "h264"}) {
        SCOPED_TRACE(codec);
        const std::vector<StreamSpec> specs = {
            {codec, 320, 240, 30, 12, 12, ""},
            {codec, 640, 360, 30, 12, 12, ""},
            {codec, 176, 144, 30, 12, 12, ""},
        };
        const Feed feed = Concatenate(codec, MakeStreams(specs));
        ASSERT_EQ(36u, feed.frames.size());
        std::vector<int> expected;
        for (int segment = 0; segment < 3; ++segment) {
            // Each new H.264 configuration re-creates the decoder, whose
            // first picture goes to reading the size.
            const std::vector<int> r = Range(segment * 12 + (codec == "h264"), segment * 12 + 11);
            expected.insert(expected.end(), r.begin(), r.end());
        }
        int w = 0, h = 0;
        const std::vector<Delivery> log = DecodeAll(codec, feed, expected.size(), &w, &h);
        EXPECT_EQ(expected, Shown(log, feed));
        for (const Delivery& d : log)
            ExpectPicture(d, feed);
        ExpectCapacity(log);
        EXPECT_EQ(640ul * 360 * 4, log.back().bytes); // kept after the picture shrank
        EXPECT_EQ(176, w);
        EXPECT_EQ(144, h);
    }
}

TEST(VideoDecPeer, StartsInMidGop)
{
    // The configuration, then pictures from the middle of the first group
    // on: from the next key picture on, every picture is right.
    const std::vector<StreamSpec> specs = {
        {"mpeg4", 320, 240, 30, 60, 30, ""},
        {"h264", 320, 240, 30, 60, 30, "-profile:v baseline"},
    };
    const std::vector<Feed> feeds = MakeFeeds(specs);
    for (size_t i = 0; i < specs.size(); ++i) {
        const std::string& codec = specs[i].codec;
        SCOPED_TRACE(codec);
        Feed feed = feeds[i];
        ASSERT_EQ(-1, feed.units[0].frame);
        ASSERT_EQ(0, feed.units[1].frame);
        feed.units.erase(feed.units.begin() + 1, feed.units.begin() + 11);
        ASSERT_EQ(10, feed.units[1].frame);
        const int firstGood = codec == "h264" ? 31 : 30;
        const std::vector<Delivery> log = DecodeAll(codec, feed, size_t(60 - firstGood));
        std::vector<int> good;
        for (const Delivery& d : log)
            if (feed.units[size_t(d.unit)].frame >= firstGood) {
                good.push_back(feed.units[size_t(d.unit)].frame);
                ExpectPicture(d, feed);
            }
        EXPECT_EQ(Range(firstGood, 59), good);
    }
}

TEST(VideoDecPeer, DecodesUnitsLargerThan256KiB)
{
    // Key pictures of about 330 KB: more than the 0x40000 bytes a pull was
    // once cut at, less than the stream queue's buffers.
    const std::vector<StreamSpec> specs = {
        {"h264", 960, 540, 25, 30, 15, "-profile:v high -qp 22", "testsrc2", ",noise=alls=20"},
    };
    const Feed feed = Concatenate("h264", MakeStreams(specs));
    ASSERT_EQ(30u, feed.frames.size());
    size_t largest = 0;
    for (const Unit& u : feed.units)
        largest = std::max(largest, u.bytes.size());
    ASSERT_GT(largest, 0x40000u);
    ASSERT_LE(largest, 0x60000u);
    const std::vector<Delivery> log = DecodeAll("h264", feed, 29);
    EXPECT_EQ(Range(1, 29), Shown(log, feed));
    for (const Delivery& d : log)
        ExpectPicture(d, feed);
}

TEST(VideoDecPeer, DeliveryRules)
{
    const std::vector<StreamSpec> specs = {
        {"h264", 160, 120, 30, 6, 6, "-profile:v baseline"},
        {"mpeg4", 160, 120, 30, 6, 6, ""},
    };
    const std::vector<Feed> feeds = MakeFeeds(specs);
    for (size_t i = 0; i < specs.size(); ++i) {
        const std::string& codec = specs[i].codec;
        SCOPED_TRACE(codec);
        Feed feed = feeds[i];
        ASSERT_EQ(7u, feed.units.size());
        std::vector<Unit>& u = feed.units;
        // Nothing is shown before the first picture: pictures before any
        // configuration. Then: a unit that gives no picture (an access
        // unit delimiter; a cut plane) shows the last picture again; a unit
        // of 5 bytes is ignored; a unit of no known kind is skipped.
        const Unit noPicture = codec == "h264" ? Unit{{0, 0, 0, 1, 0x09, 0xF0}, -3}
                                               : Unit{{0, 0, 1, 0xB6, 0x10, 0x00}, -3};
        const Unit tiny{{0, 0, 0, 1, 0x09}, -4};
        const Unit unknown{{0, 0, 1, 0xC5, 1, 2, 3, 4}, -5};
        const bool h264 = codec == "h264";
        std::vector<Unit> units = {u[2], u[3], u[0], u[1], u[2], noPicture, tiny};
        if (!h264) // every H.264 unit but a parameter set is a picture
            units.push_back(unknown);
        units.insert(units.end(), {u[3], u[4], u[5], u[6]});
        feed.units = units;
        const std::vector<Delivery> log = DecodeAll(codec, feed, h264 ? 6 : 7);
        std::vector<int> kinds;
        for (const Delivery& d : log)
            kinds.push_back(feed.units[size_t(d.unit)].frame);
        const std::vector<int> expected =
            h264 ? std::vector<int>{1, -3, 2, 3, 4, 5} : std::vector<int>{0, 1, -3, 2, 3, 4, 5};
        ASSERT_EQ(expected, kinds);
        for (size_t k = 0; k < log.size(); ++k) {
            if (kinds[k] == -3) {
                EXPECT_EQ(log[k - 1].pixels, log[k].pixels);
                EXPECT_EQ(0, std::memcmp(&log[k - 1].header, &log[k].header, 40));
            } else {
                ExpectPicture(log[k], feed);
            }
        }
    }
}

TEST(VideoDecPeer, NoSleepForABackwardTimeIncrement)
{
    // Increments 29, 31, 0: the second step is one tick backwards (31 is
    // beyond the resolution of 30 but fits the field). Such a step is not
    // slept; pacing goes on from there.
    const std::vector<StreamSpec> specs = {{"mpeg4", 160, 120, 30, 40, 40, ""}};
    Feed feed = Concatenate("mpeg4", MakeStreams(specs));
    ASSERT_EQ(41u, feed.units.size());
    tagMPEG4StrmConfig config{};
    ASSERT_TRUE(
        ParseMPEG4ConfigData(feed.units[0].bytes.data(), feed.units[0].bytes.size(), &config));
    ASSERT_EQ(30u, config.dwTimeIncResolution);
    SetTimeIncrement(feed.units[31].bytes, 5, 31);
    SetTimeIncrement(feed.units[32].bytes, 5, 0);

    UnitFeeder feeder(feed.units);
    DeliveryLog log(&feeder);
    auto dec = StartDecoder("mpeg4", feeder, log, true);
    feeder.Start();
    ASSERT_TRUE(log.WaitFor(40, kWait));
    dec->StopDecodingProc();
    const std::vector<Delivery> d = log.Take();
    EXPECT_EQ(Range(0, 39), Shown(d, feed));
    for (const Delivery& one : d)
        ExpectPicture(one, feed);
    EXPECT_LT(d[31].time - d[30].time, 0.5);
    EXPECT_GE(MeanInterval(d), 0.75 / 30);
    EXPECT_LE(MeanInterval(d), 1.8 / 30);
}

// H264Dec's planar output beside RGBA, picture by picture: at any pitch
// that holds a row, the planes are ffmpeg's decode byte for byte and the
// bytes after each row are left alone; the RGBA picture is ffmpeg's.
// Without such a pitch there is no output.
TEST(VideoDecPeer, H264PlanarBesideRgba)
{
    const StreamSpec spec{"h264", 330, 246, 30, 10, 5, "-profile:v baseline"};
    const std::vector<vdtest::Stream> streams = MakeStreams({spec});
    const Feed feed = Concatenate("h264", streams);
    codectest::TempDir dir;
    codectest::WriteBytes(dir.Path("a.h264"), streams[0].es);
    ASSERT_TRUE(codectest::FFmpeg("-i " + dir.Path("a.h264") + " -f rawvideo -pix_fmt yuv420p " +
                                  dir.Path("a.yuv")));
    const Bytes yuv = codectest::ReadBytes(dir.Path("a.yuv"));
    const size_t widths[3] = {330, 165, 165}, rows[3] = {246, 123, 123};
    const size_t frameBytes = 330 * 246 + 2 * 165 * 123;
    ASSERT_EQ(frameBytes * 10, yuv.size());
    const uint8_t kUntouched = 0xA5;

    H264Dec dec;
    ASSERT_EQ(0, dec.dec_init());
    H264MediaInfo rgba{0, 0, OPF_RGBA, 32, 0, 0, 0};
    int pictures = 0;
    for (const Unit& u : feed.units) {
        const int result = dec.DecodeUnit(u.bytes.data(), u.bytes.size());
        if (u.frame < 0)
            continue;
        ASSERT_EQ(CFFVideoDecoder::kPicture, result) << "picture " << u.frame;
        ++pictures;
        for (int pitch : {330, 401}) {
            SCOPED_TRACE("picture " + std::to_string(u.frame) + " pitch " + std::to_string(pitch));
            H264MediaInfo planar{0, 0, OPF_PLANAR, 12, 0, 0, pitch};
            ASSERT_EQ(0, dec.dec_config(&planar));
            const size_t pitches[3] = {size_t(pitch), size_t(pitch) / 2, size_t(pitch) / 2};
            const size_t need = pitches[0] * rows[0] + 2 * pitches[1] * rows[1];
            ASSERT_EQ(need, dec.GetOutputSize());
            Bytes out(need + 64, kUntouched);
            ASSERT_TRUE(dec.ConvertPicture(out.data(), need));
            const uint8_t* ref = yuv.data() + frameBytes * size_t(u.frame);
            const uint8_t* got = out.data();
            for (int plane = 0; plane < 3; ++plane) {
                for (size_t r = 0; r < rows[plane];
                     ++r, ref += widths[plane], got += pitches[plane]) {
                    ASSERT_EQ(0, std::memcmp(ref, got, widths[plane]))
                        << "plane " << plane << " row " << r;
                    ASSERT_TRUE(std::all_of(got + widths[plane], got + pitches[plane],
                                            [&](uint8_t b) { return b == kUntouched; }));
                }
            }
            EXPECT_TRUE(std::all_of(out.begin() + long(need), out.end(),
                                    [&](uint8_t b) { return b == kUntouched; }));
        }
        ASSERT_EQ(0, dec.dec_config(&rgba));
        Bytes px(330 * 246 * 4);
        ASSERT_TRUE(dec.ConvertPicture(px.data(), px.size()));
        const Frame& f = feed.frames[size_t(u.frame)];
        const int rgb[3] = {0, 1, 2};
        EXPECT_GE(codectest::PsnrRgb(px.data(), 4, rgb, false, f.rgba.data(), f.width, f.height),
                  40.0);
    }
    EXPECT_EQ(10, pictures);

    // No pitch, one whose chroma rows are a byte short, a negative one.
    for (int pitch : {0, 329, -400}) {
        H264MediaInfo planar{0, 0, OPF_PLANAR, 12, 0, 0, pitch};
        EXPECT_EQ(0, dec.dec_config(&planar));
        EXPECT_EQ(0u, dec.GetOutputSize()) << pitch;
        Bytes out(400 * 246 * 2, kUntouched);
        EXPECT_FALSE(dec.ConvertPicture(out.data(), out.size())) << pitch;
        EXPECT_EQ(Bytes(out.size(), kUntouched), out);
    }
    H264MediaInfo unknown{0, 0, 4, 32, 0, 0, 0};
    EXPECT_EQ(-3, dec.dec_config(&unknown));
    dec.dec_stop();
}
