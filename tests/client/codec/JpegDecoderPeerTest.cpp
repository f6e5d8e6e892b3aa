// The JPEG decoder against the ffmpeg command line's RGBA decode of the same
// pictures, with buffers that carry a guard after their capacity.
#include "codec/CJPEGDecoder.h"
#include "codec/OutputPixelFormat.h"

#include "CodecTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <thread>
#include <tuple>

using namespace codectest;

namespace {

const uint8_t kGuard = 0xA5;
const size_t kGuardBytes = 256;

// Every hue from black to white under a grid of black and white lines:
// sharp edges and every level, so that a range or channel mistake shows.
std::string Source(int w, int h)
{
    // Finite: ffmpeg 5.1 can spin for ever on an endless source once every
    // output has its frames.
    return "colorspectrum=type=all:size=" + std::to_string(w) + "x" + std::to_string(h) +
           ":duration=1,drawgrid=w=40:h=40:t=3:c=black,drawgrid=x=20:y=20:w=40:h=40:t=2:c=white";
}

struct Picture {
    int width = 0;
    int height = 0;
    Bytes jpeg;
    Bytes rgba; // ffmpeg's decode
};

struct PictureRecipe {
    const char* name;
    int width, height;
    const char* pixFmt;
    bool plain; // one colour, no reference decode
};

// Sizes that are no multiple of 8 or 16 test the row ends.
const PictureRecipe kPictures[] = {
    {"vga", 640, 480, "yuvj420p", false},     {"422", 318, 238, "yuvj422p", false},
    {"444", 202, 150, "yuvj444p", false},     {"gray", 161, 121, "gray", false},
    {"qvga", 320, 240, "yuvj420p", false},    {"svga", 800, 600, "yuvj420p", false},
    {"tiny", 64, 48, "yuvj420p", false},      {"odd420", 333, 241, "yuvj420p", false},
    {"odd422", 333, 241, "yuvj422p", false},  {"row", 65, 1, "yuvj420p", false},
    {"widest", 8192, 16, "yuvj420p", true},   {"too_wide", 8200, 16, "yuvj420p", true},
    {"too_high", 16, 8200, "yuvj420p", true},
};

// Pictures of kPictures, made in one ffmpeg run and decoded by it in
// another (starting ffmpeg is the slow part).
class PictureSet {
public:
    explicit PictureSet(std::initializer_list<const char*> names, bool withMisread = false)
    {
        std::string make, outputs, decode, refs;
        int input = 0;
        for (const char* name : names) {
            const PictureRecipe& p = Recipe(name);
            const std::string size = std::to_string(p.width) + "x" + std::to_string(p.height);
            const std::string jpg = m_dir.Path(std::string(name) + ".jpg");
            make += std::string(" -f lavfi -i \"") +
                    (p.plain ? "color=c=red:duration=1:size=" + size : Source(p.width, p.height)) +
                    "\"";
            outputs += " -map " + std::to_string(input) + ":v -frames:v 1 -pix_fmt " + p.pixFmt +
                       " -q:v 2 " + jpg;
            decode += " -i " + jpg;
            if (!p.plain)
                refs += " -map " + std::to_string(input) + ":v -f rawvideo -pix_fmt rgba " +
                        m_dir.Path(std::string(name) + ".rgba");
            ++input;
        }
        // ffmpeg itself told to read the first picture as limited range.
        if (withMisread)
            refs += " -map 0:v -vf scale=in_range=mpeg -f rawvideo -pix_fmt rgba " +
                    m_dir.Path("misread.rgba");
        m_made = FFmpeg(make + outputs) && (refs.empty() || FFmpeg(decode + refs));
    }
    bool Made() const { return m_made; }

    Picture Get(const std::string& name) const
    {
        const PictureRecipe& p = Recipe(name);
        Picture pic;
        pic.width = p.width;
        pic.height = p.height;
        pic.jpeg = ReadBytes(m_dir.Path(name + ".jpg"));
        if (!p.plain)
            pic.rgba = ReadBytes(m_dir.Path(name + ".rgba"));
        EXPECT_FALSE(pic.jpeg.empty()) << name;
        return pic;
    }
    Bytes Misread() const { return ReadBytes(m_dir.Path("misread.rgba")); }

private:
    static const PictureRecipe& Recipe(const std::string& name)
    {
        for (const PictureRecipe& p : kPictures)
            if (name == p.name)
                return p;
        throw std::invalid_argument(name);
    }

    TempDir m_dir;
    bool m_made = false;
};

// A buffer of capacity bytes followed by a guard.
struct Output {
    explicit Output(size_t capacity) : capacity(capacity), bytes(capacity + kGuardBytes, kGuard) {}
    bool GuardIntact() const
    {
        for (size_t i = capacity; i < bytes.size(); ++i)
            if (bytes[i] != kGuard)
                return false;
        return true;
    }
    size_t capacity;
    Bytes bytes;
};

double Psnr(const Bytes& ours, const Picture& p, int bytesPerPixel, const int order[3],
            bool bottomUp)
{
    return PsnrRgb(ours.data(), bytesPerPixel, order, bottomUp, p.rgba.data(), p.width, p.height);
}

const int kRgb[3] = {0, 1, 2};
const int kBgr[3] = {2, 1, 0};

double RgbaPsnr(const Bytes& ours, const Picture& p)
{
    return Psnr(ours, p, 4, kRgb, false);
}

bool Configure(CJPEGDecoder& dec, int format)
{
    JPGMediaInfo info{640, 480, format, 32};
    return dec.InitConfig(&info);
}

} // namespace

TEST(JpegPeer, PixelsMatchFFmpegInEveryFormat)
{
    // The source shows a colour-range mistake: ffmpeg itself, told to read
    // the picture as limited range, falls far below the bar.
    const PictureSet set({"vga", "422", "444", "gray"}, true);
    ASSERT_TRUE(set.Made());
    EXPECT_LT(RgbaPsnr(set.Misread(), set.Get("vga")), 35.0);

    for (const char* name : {"vga", "422", "444", "gray"}) {
        SCOPED_TRACE(name);
        const Picture p = set.Get(name);
        const int w = p.width, h = p.height;
        ASSERT_EQ(size_t(w) * h * 4, p.rgba.size());
        CJPEGDecoder dec;
        ASSERT_TRUE(dec.Create());
        const struct {
            int format, bytesPerPixel;
            const int* order;
            bool bottomUp;
        } formats[] = {
            {OPF_RGBA, 4, kRgb, false}, {OPF_BGRA, 4, kBgr, false}, {OPF_BGR24, 3, kBgr, true}};
        for (const auto& f : formats) {
            SCOPED_TRACE(f.format);
            ASSERT_TRUE(Configure(dec, f.format));
            const size_t need = size_t(w) * h * f.bytesPerPixel;
            // A buffer of exactly the picture's size, and one with room to spare.
            Output tight(need), roomy(need + CPictureConverter::kSpareBytes);
            for (Output* out : {&tight, &roomy}) {
                ASSERT_TRUE(dec.Decode(p.jpeg.data(), unsigned(p.jpeg.size()), out->bytes.data(),
                                       out->capacity));
                EXPECT_EQ(need, dec.GetOutputSize());
                EXPECT_TRUE(out->GuardIntact());
                EXPECT_GE(Psnr(out->bytes, p, f.bytesPerPixel, f.order, f.bottomUp), 40.0);
            }
            EXPECT_TRUE(std::equal(tight.bytes.begin(), tight.bytes.begin() + long(need),
                                   roomy.bytes.begin()));
            for (size_t i = 3; f.bytesPerPixel == 4 && i < need; i += 4)
                ASSERT_EQ(255, tight.bytes[i]);
        }
    }
}

TEST(JpegPeer, OutputFollowsEachDecodedPicture)
{
    const PictureSet set({"vga", "qvga", "svga"});
    ASSERT_TRUE(set.Made());
    const Picture vga = set.Get("vga"), small = set.Get("qvga"), large = set.Get("svga");
    CJPEGDecoder dec;
    ASSERT_TRUE(dec.Create());
    ASSERT_TRUE(Configure(dec, OPF_RGBA));
    int w = -1, h = -1;

    Output out(640 * 480 * 4);
    ASSERT_TRUE(
        dec.Decode(vga.jpeg.data(), unsigned(vga.jpeg.size()), out.bytes.data(), out.capacity));
    EXPECT_GE(RgbaPsnr(out.bytes, vga), 40.0);

    // Smaller: converted at its own size into the larger buffer.
    ASSERT_TRUE(
        dec.Decode(small.jpeg.data(), unsigned(small.jpeg.size()), out.bytes.data(), out.capacity));
    dec.GetPictureSize(&w, &h);
    EXPECT_EQ(320, w);
    EXPECT_EQ(240, h);
    EXPECT_EQ(307200u, dec.GetOutputSize());
    EXPECT_GE(RgbaPsnr(out.bytes, small), 40.0);

    // Larger than the buffer (whatever the configured size says): refused
    // untouched, its size told, converted once the buffer has grown.
    const Bytes before = out.bytes;
    EXPECT_FALSE(
        dec.Decode(large.jpeg.data(), unsigned(large.jpeg.size()), out.bytes.data(), out.capacity));
    EXPECT_EQ(before, out.bytes);
    dec.GetPictureSize(&w, &h);
    EXPECT_EQ(800, w);
    EXPECT_EQ(600, h);
    ASSERT_EQ(1920000u, dec.GetOutputSize());
    Output grown(dec.GetOutputSize());
    ASSERT_TRUE(dec.ConvertPicture(grown.bytes.data(), grown.capacity));
    EXPECT_TRUE(grown.GuardIntact());
    EXPECT_GE(RgbaPsnr(grown.bytes, large), 40.0);
}

// Odd heights (the last row converted apart): every format holds the same
// pixels as RGBA, rows in their place, and writes nothing past its picture.
TEST(JpegPeer, OddHeightsAlikeInEveryFormat)
{
    const PictureSet set({"odd420", "odd422", "row"});
    ASSERT_TRUE(set.Made());
    for (const char* name : {"odd420", "odd422", "row"}) {
        SCOPED_TRACE(name);
        const Picture p = set.Get(name);
        const size_t pixels = size_t(p.width) * size_t(p.height);
        CJPEGDecoder dec;
        ASSERT_TRUE(dec.Create());
        ASSERT_TRUE(Configure(dec, OPF_RGBA));
        Output rgba(pixels * 4 + CPictureConverter::kSpareBytes);
        ASSERT_TRUE(
            dec.Decode(p.jpeg.data(), unsigned(p.jpeg.size()), rgba.bytes.data(), rgba.capacity));
        for (const auto& f :
             {std::make_tuple(OPF_BGRA, 4, false), std::make_tuple(OPF_BGR24, 3, true)}) {
            const int bpp = std::get<1>(f);
            ASSERT_TRUE(Configure(dec, std::get<0>(f)));
            Output out(pixels * size_t(bpp));
            ASSERT_TRUE(
                dec.Decode(p.jpeg.data(), unsigned(p.jpeg.size()), out.bytes.data(), out.capacity));
            EXPECT_TRUE(out.GuardIntact());
            for (int y = 0; y < p.height; ++y) {
                const int row = std::get<2>(f) ? p.height - 1 - y : y;
                for (int x = 0; x < p.width; ++x) {
                    const uint8_t* a = rgba.bytes.data() + (size_t(y) * p.width + x) * 4;
                    const uint8_t* b = out.bytes.data() + (size_t(row) * p.width + x) * bpp;
                    ASSERT_TRUE(a[0] == b[2] && a[1] == b[1] && a[2] == b[0])
                        << "pixel " << x << "," << y << " of format " << std::get<0>(f);
                }
            }
        }
    }
}

TEST(JpegPeer, RefusesOversizeAndIncompletePictures)
{
    const PictureSet set({"widest", "too_wide", "too_high", "tiny"});
    ASSERT_TRUE(set.Made());
    CJPEGDecoder dec;
    ASSERT_TRUE(dec.Create());
    ASSERT_TRUE(Configure(dec, OPF_RGBA));
    int w = -1, h = -1;

    // The largest side accepted, and more on either side.
    for (const char* name : {"widest", "too_wide", "too_high"}) {
        SCOPED_TRACE(name);
        const Picture p = set.Get(name);
        const bool ok = p.width <= 8192 && p.height <= 8192;
        EXPECT_EQ(ok, dec.DecodePicture(p.jpeg.data(), unsigned(p.jpeg.size())));
        dec.GetPictureSize(&w, &h);
        EXPECT_EQ(ok ? p.width : 0, w);
        EXPECT_EQ(ok ? p.height : 0, h);
    }

    // A header claiming 60000 x 60000, and the headers without their scan.
    const Picture p = set.Get("tiny");
    Bytes huge = p.jpeg;
    size_t sof = 2;
    while (sof + 9 < huge.size() && !(huge[sof] == 0xFF && huge[sof + 1] == 0xC0))
        ++sof;
    ASSERT_LT(sof + 9, huge.size());
    huge[sof + 5] = huge[sof + 7] = 0xEA;
    huge[sof + 6] = huge[sof + 8] = 0x60;
    size_t sos = sof;
    while (sos + 1 < p.jpeg.size() && !(p.jpeg[sos] == 0xFF && p.jpeg[sos + 1] == 0xDA))
        ++sos;
    const Bytes headers(p.jpeg.begin(), p.jpeg.begin() + long(sos));
    Output out(64 * 48 * 4);
    for (const Bytes& bad : {huge, headers, Bytes(100, 0x42)}) {
        EXPECT_FALSE(dec.Decode(bad.data(), unsigned(bad.size()), out.bytes.data(), out.capacity));
        EXPECT_EQ(0u, dec.GetOutputSize());
        EXPECT_EQ(Bytes(out.bytes.size(), kGuard), out.bytes);
    }
    EXPECT_FALSE(dec.Decode(p.jpeg.data(), 0, out.bytes.data(), out.capacity));
    // Still decoding after all that.
    EXPECT_TRUE(dec.Decode(p.jpeg.data(), unsigned(p.jpeg.size()), out.bytes.data(), out.capacity));
}

TEST(JpegPeer, FormatSurvivesDestroyAndCreateOnAnyThread)
{
    const PictureSet set({"qvga"});
    ASSERT_TRUE(set.Made());
    const Picture p = set.Get("qvga");
    CJPEGDecoder dec;
    Output out(320 * 240 * 4);
    const auto decode = [&] {
        return dec.Decode(p.jpeg.data(), unsigned(p.jpeg.size()), out.bytes.data(), out.capacity);
    };
    EXPECT_FALSE(decode()) << "decoded before Create";
    ASSERT_TRUE(dec.Create());
    // No format chosen yet: the picture decodes, nothing is written.
    EXPECT_FALSE(decode());
    EXPECT_TRUE(dec.DecodePicture(p.jpeg.data(), unsigned(p.jpeg.size())));
    EXPECT_EQ(0u, dec.GetOutputSize());
    // Unknown codes are refused and keep the format; the planar code is
    // taken but gives no packed output.
    EXPECT_FALSE(Configure(dec, 28));
    EXPECT_TRUE(Configure(dec, OPF_PLANAR));
    EXPECT_FALSE(decode());
    EXPECT_TRUE(Configure(dec, OPF_RGBA));
    EXPECT_FALSE(Configure(dec, 99));
    ASSERT_TRUE(decode());
    const Bytes first = out.bytes;

    // Stopped and started again at the same size, with no new InitConfig
    // (the stream configures only when the size changes).
    dec.Destroy();
    EXPECT_FALSE(decode());
    std::fill(out.bytes.begin(), out.bytes.end(), kGuard);
    ASSERT_TRUE(dec.Create());
    ASSERT_TRUE(decode());
    EXPECT_EQ(first, out.bytes);
    ASSERT_TRUE(dec.Reset());
    ASSERT_TRUE(decode());
    EXPECT_EQ(first, out.bytes);

    // Destroy on one thread waits for a decode on another.
    std::atomic<int> decoded{0};
    std::atomic<bool> cycled{false};
    std::thread receiver([&] {
        Output own(320 * 240 * 4);
        // One decode more once the cycles are over: on a busy machine every
        // earlier one may find the decoder destroyed.
        for (int i = 0, last = 0; !last; ++i) {
            last = i >= 150 && cycled;
            decoded +=
                dec.Decode(p.jpeg.data(), unsigned(p.jpeg.size()), own.bytes.data(), own.capacity);
        }
    });
    for (int i = 0; i < 60; ++i) {
        dec.Destroy();
        EXPECT_TRUE(dec.Create());
    }
    cycled = true;
    receiver.join();
    EXPECT_GT(decoded.load(), 0);
}
