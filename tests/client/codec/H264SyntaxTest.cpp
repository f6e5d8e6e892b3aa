// NAL classes, and the picture size read from sequence parameter sets: of
// streams made by libx264 in several sizes, formats and field modes against
// ffprobe, and of crafted sets that need emulation prevention bytes.
#include "codec/H264Syntax.h"

#include "BitWriter.h"
#include "CodecTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>

using namespace codectest;

namespace {

struct SizeCase {
    int width, height;
    const char* options;
};

// Both luma-only and chroma crop units, in frames and in fields.
const SizeCase kSizes[] = {
    {1920, 1080, "-pix_fmt yuv420p -profile:v high"},
    {350, 200, "-pix_fmt yuv420p -profile:v baseline"},
    {176, 144, "-pix_fmt yuv420p -profile:v baseline"},
    {640, 480, "-pix_fmt yuv420p -profile:v main"},
    {350, 198, "-pix_fmt yuv444p"},
    {350, 198, "-pix_fmt yuv422p"},
    {350, 202, "-pix_fmt gray"},
    {720, 568, "-pix_fmt yuv420p -flags +ildct+ilme -x264-params interlaced=1"},
};

std::string Probe(const std::string& path)
{
    const std::string cmd =
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
        "-of csv=p=0:s=x " +
        path;
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char line[64];
        while (fgets(line, sizeof line, p))
            out += line;
        EXPECT_EQ(0, pclose(p)) << cmd;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// The first sequence parameter set of an Annex B stream, from its header
// byte up to the next start code.
Bytes FirstSps(const Bytes& es)
{
    for (size_t i = 0; i + 3 < es.size(); ++i)
        if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1 && (es[i + 3] & 0x1F) == 7) {
            size_t end = i + 3;
            while (end + 2 < es.size() && !(es[end] == 0 && es[end + 1] == 0))
                ++end;
            return Bytes(es.begin() + long(i + 3), es.begin() + long(end));
        }
    return {};
}

// Inserts the 03 that keeps a payload from forming a start code.
Bytes Escape(const Bytes& rbsp)
{
    Bytes out;
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

// A baseline set of 320 x 100 after a crop of 2 x (2047 + 4095) rows: the
// two crop codes meet in a run of 23 zero bits. spsId and frameNumBits move
// the run against the byte boundaries.
Bytes CraftedSps(uint32_t spsId, uint32_t frameNumBits)
{
    BitWriter w;
    w.Put(8, 66);
    w.Put(8, 0xC0);
    w.Put(8, 30);
    w.PutUE(spsId);
    w.PutUE(frameNumBits);
    w.PutUE(2); // pic_order_cnt_type
    w.PutUE(1); // max_num_ref_frames
    w.Put(1, 0);
    w.PutUE(19);  // 20 macroblocks wide
    w.PutUE(773); // 774 high
    w.Put(1, 1);  // frame_mbs_only_flag
    w.Put(1, 1);
    w.Put(1, 1); // frame_cropping_flag
    w.PutUE(0);
    w.PutUE(0);
    w.PutUE(2047);
    w.PutUE(4095);
    w.Put(1, 0); // no VUI
    w.Trail();
    Bytes nal{0x67};
    nal.insert(nal.end(), w.bytes_.begin(), w.bytes_.end());
    return nal;
}

} // namespace

TEST(H264Syntax, NalClasses)
{
    const struct {
        unsigned char header;
        int nalClass;
    } cases[] = {
        {0x67, H264_NAL_SPS},        {0x27, H264_NAL_SPS},        {0x07, H264_NAL_OTHER},
        {0x68, H264_NAL_PPS},        {0x08, H264_NAL_OTHER},      {0x65, H264_NAL_IDR},
        {0x05, H264_NAL_IDR},        {0x41, H264_NAL_SLICE},      {0x01, H264_NAL_SLICE},
        {0x22, H264_NAL_PARTITION},  {0x03, H264_NAL_PARTITION},  {0x44, H264_NAL_PARTITION},
        {0x06, H264_NAL_DELIMITING}, {0x09, H264_NAL_DELIMITING}, {0x0A, H264_NAL_DELIMITING},
        {0x0B, H264_NAL_DELIMITING}, {0x0C, H264_NAL_DELIMITING}, {0x26, H264_NAL_OTHER},
        {0x29, H264_NAL_OTHER},      {0x0D, H264_NAL_OTHER},      {0x00, H264_NAL_OTHER},
        {0x1F, H264_NAL_OTHER},      {0xE5, H264_NAL_IDR},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nalClass, AnalyzeNALUnit(c.header)) << std::hex << int(c.header);
}

TEST(H264Syntax, SpsSizeMatchesFFprobe)
{
    TempDir dir;
    std::string make;
    for (size_t i = 0; i < std::size(kSizes); ++i)
        make += " -f lavfi -i testsrc2=size=" + std::to_string(kSizes[i].width) + "x" +
                std::to_string(kSizes[i].height) + ":rate=25:duration=0.2";
    for (size_t i = 0; i < std::size(kSizes); ++i)
        make += " -map " + std::to_string(i) + ":v -frames:v 1 -c:v libx264 -threads 1 " +
                kSizes[i].options + " -f h264 " + dir.Path(std::to_string(i) + ".h264");
    ASSERT_TRUE(FFmpeg(make));
    for (size_t i = 0; i < std::size(kSizes); ++i) {
        const SizeCase& c = kSizes[i];
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " + c.options);
        const std::string path = dir.Path(std::to_string(i) + ".h264");
        ASSERT_EQ(std::to_string(c.width) + "x" + std::to_string(c.height), Probe(path));
        const Bytes es = ReadBytes(path);
        int w = 0, h = 0;
        ASSERT_TRUE(FindH264PictureSize(es.data(), es.size(), &w, &h));
        EXPECT_EQ(c.width, w);
        EXPECT_EQ(c.height, h);

        // Cut anywhere: no size, or the right one (the cut fell after the
        // crop fields).
        const Bytes sps = FirstSps(es);
        ASSERT_FALSE(sps.empty());
        for (size_t n = 0; n <= sps.size(); ++n) {
            const Bytes cut(sps.begin(), sps.begin() + long(n));
            w = h = -1;
            if (ReadH264SPSSize(cut.data(), cut.size(), &w, &h)) {
                EXPECT_EQ(c.width, w) << n;
                EXPECT_EQ(c.height, h) << n;
            }
        }
    }
}

TEST(H264Syntax, SpsWithEmulationPrevention)
{
    bool escaped = false;
    for (uint32_t id = 0; id < 8 && !escaped; ++id)
        for (uint32_t bits = 0; bits < 8 && !escaped; ++bits) {
            const Bytes raw = CraftedSps(id, bits);
            const Bytes nal = Escape(raw);
            if (nal == raw)
                continue;
            escaped = true;
            int w = 0, h = 0;
            ASSERT_TRUE(ReadH264SPSSize(nal.data(), nal.size(), &w, &h));
            EXPECT_EQ(320, w);
            EXPECT_EQ(100, h);
            // In a stream, after a start code.
            Bytes es{0, 0, 0, 1};
            es.insert(es.end(), nal.begin(), nal.end());
            es.insert(es.end(), {0, 0, 0, 1, 0x68, 0xCE, 0x38, 0x80});
            w = h = 0;
            ASSERT_TRUE(FindH264PictureSize(es.data(), es.size(), &w, &h));
            EXPECT_EQ(320, w);
            EXPECT_EQ(100, h);
        }
    EXPECT_TRUE(escaped) << "no crafted set needed an emulation prevention byte";
}

TEST(H264Syntax, RefusesWhatIsNoUsableSps)
{
    int w = -1, h = -1;
    const Bytes sps = CraftedSps(0, 0);
    // Not a parameter set; no stream; sizes out of range.
    Bytes pps = sps;
    pps[0] = 0x68;
    EXPECT_FALSE(ReadH264SPSSize(pps.data(), pps.size(), &w, &h));
    EXPECT_FALSE(ReadH264SPSSize(nullptr, 10, &w, &h));
    EXPECT_FALSE(FindH264PictureSize(sps.data(), sps.size(), &w, &h)) << "no start code";
    const Bytes none{0, 0, 1, 0x65, 0x88, 0, 0, 1};
    EXPECT_FALSE(FindH264PictureSize(none.data(), none.size(), &w, &h));
    BitWriter huge;
    huge.Put(24, 0x42C01E);
    for (uint32_t v : {0u, 0u, 2u, 1u})
        huge.PutUE(v);
    huge.Put(1, 0);
    huge.PutUE(1023); // 16384 wide
    huge.PutUE(10);
    huge.Put(4, 0xC); // frame only, direct, no crop, no VUI
    huge.Trail();
    Bytes nal{0x67};
    nal.insert(nal.end(), huge.bytes_.begin(), huge.bytes_.end());
    EXPECT_FALSE(ReadH264SPSSize(nal.data(), nal.size(), &w, &h));
    EXPECT_EQ(-1, w);
    EXPECT_EQ(-1, h);
}
