// Cutting multipart JPEG content: what is cut does not depend on how the
// bytes arrive, pictures keep EXIF thumbnails and their own stamps, an
// oversize picture is dropped, and the frame size and stamp readers.
#include "MjpegTestUtil.h"
#include "stream/MJPEGParse.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace mjpegtest;

namespace {

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool StartsWith(const Bytes& data, const Bytes& prefix)
{
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

} // namespace

TEST(MjpegCut, PicturesWholeWithTheirOwnStampsHoweverTheBytesArrive)
{
    const Bytes exif = ExifPicture(64, 48), plain = Picture(32, 16), third = Picture(8, 8);
    const Bytes content = Concat({{'j', 'u', 'n', 'k', 0xFF},
                                  Part(exif, 100500),
                                  Part(plain, 0),
                                  Part(third, 200000),
                                  Part(plain, 300000)});
    std::vector<Cut> first;
    for (size_t chunk : {content.size(), size_t(1), size_t(7), size_t(8192)}) {
        CutHarness h(1 << 16);
        h.Feed(content, chunk);
        ASSERT_EQ(h.cuts.size(), 3u) << "chunk " << chunk;
        // The EXIF thumbnail's start marker does not cut its picture; each
        // picture runs up to the next start marker with that part's headers.
        EXPECT_EQ(h.cuts[0].data, Concat({exif, {'\r', '\n'}, PartHead(plain, 0)}));
        EXPECT_TRUE(StartsWith(h.cuts[1].data, plain));
        EXPECT_TRUE(StartsWith(h.cuts[2].data, third));
        EXPECT_EQ(h.cuts[0].stamp, 100500);
        EXPECT_EQ(h.cuts[1].stamp, 0);
        EXPECT_EQ(h.cuts[2].stamp, 200000);
        if (first.empty())
            first = h.cuts;
        EXPECT_TRUE(h.cuts == first) << "chunk " << chunk;
    }
}

TEST(MjpegCut, OversizePictureIsDroppedAndTheNextOnesCut)
{
    const Bytes small = Picture(16, 16), big = Picture(640, 480, 0xC0, {}, 20000);
    const Bytes content = Concat({Part(small, 1000), Part(big, 2000), Part(small, 3000),
                                  Part(small, 4000), Part(small, 5000)});
    CutHarness h(4096);
    h.Feed(content, 1000);
    EXPECT_GE(h.drops, 1);
    EXPECT_EQ(h.stalls, 0);
    // The picture before the oversize one loses nothing: it was cut when the
    // oversize one started.
    ASSERT_EQ(h.cuts.size(), 3u);
    EXPECT_EQ(h.cuts[0].stamp, 1000);
    EXPECT_EQ(h.cuts[1].stamp, 3000);
    EXPECT_EQ(h.cuts[2].stamp, 4000);
    for (const Cut& c : h.cuts)
        EXPECT_TRUE(StartsWith(c.data, small));
}

TEST(MjpegCut, EmptiedBufferStartsAfresh)
{
    const Bytes pic = Picture(320, 240, 0xC0, {}, 3000);
    const Bytes content = Concat({Part(pic, 1000), Part(pic, 2000), Part(pic, 3000)});
    CutHarness h(1 << 16);
    h.Feed(content.data(), 2000); // the camera closes in mid-picture
    h.Empty();
    h.Feed(content, 512);
    ASSERT_EQ(h.cuts.size(), 2u);
    EXPECT_EQ(h.cuts[0].stamp, 1000);
    EXPECT_EQ(h.cuts[1].stamp, 2000);
    EXPECT_EQ(h.cuts[0].data, Concat({pic, {'\r', '\n'}, PartHead(pic, 2000)}));
}

TEST(MjpegParse, FrameSizeOfEveryFrameHeaderKindPastAThumbnail)
{
    int w = 0, h = 0;
    for (uint8_t sof : {0xC0, 0xC1, 0xC2}) {
        const Bytes pic = Picture(1280, 720, sof);
        ASSERT_TRUE(ScanJpegFrameSize(pic.data(), pic.size(), &w, &h)) << int(sof);
        EXPECT_EQ(w, 1280);
        EXPECT_EQ(h, 720);
    }
    const Bytes exif = ExifPicture(640, 480);
    ASSERT_TRUE(ScanJpegFrameSize(exif.data(), exif.size(), &w, &h));
    EXPECT_EQ(w, 640); // not the thumbnail's 16 x 8
    EXPECT_EQ(h, 480);
    const Bytes lossless = Picture(64, 64, 0xC3);
    EXPECT_FALSE(ScanJpegFrameSize(lossless.data(), lossless.size(), &w, &h));
    const Bytes cut(exif.begin(), exif.begin() + 40);
    EXPECT_FALSE(ScanJpegFrameSize(cut.data(), cut.size(), &w, &h));
}

TEST(MjpegParse, StampFieldsAreRangeChecked)
{
    const struct {
        const char* text;
        int64_t stamp;
    } cases[] = {
        {"x-ts-sec: 100\r\nx-ts-usec: 500000\r\n", 100500},
        {"X-TS-SEC:7\r\n", 7000},
        {"x-ts-usec: 999999\r\n", 999},
        {"x-ts-sec: 9223372036854774\r\nx-ts-usec: 999999\r\n", 9223372036854774999},
        {"x-ts-sec: 9223372036854775\r\n", 0},
        {"x-ts-sec: 99999999999999999999999\r\nx-ts-usec: 2000\r\n", 2},
        {"x-ts-sec: -5\r\n", 0},
        {"x-ts-sec: 12abc\r\n", 0},
        {"x-ts-sec: 3\r\nx-ts-usec: 1000000\r\n", 3000},
        {"x-ts-sec: 5", 0}, // no line end within the bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadPartStamp(c.text, std::strlen(c.text)), c.stamp) << c.text;
}
