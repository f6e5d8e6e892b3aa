// The AVI writer on its own: the file layout byte by byte, the timeline of
// video slots and audio blocks, the limits, and what it refuses.
#include "AviTestUtil.h"
#include "record/CAVIWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace avitest;

namespace {

int FreeSpace100MiB(const char*, uint64_t* bytes)
{
    *bytes = 100ull << 20;
    return 0;
}

int FreeSpaceFails(const char*, uint64_t*)
{
    return -1;
}

class AviWriterTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (w_)
            w_->Release();
        CAVIWriter::SetFreeSpaceFuncForTest(nullptr);
    }
    // A writer with a file and a 320 x 240 MJPEG stream.
    void Open(const std::string& name, long value = 3600, long kind = 0)
    {
        path_ = dir_.Path(name);
        w_ = new CAVIWriter;
        w_->SetRecordingInterval(value, kind);
        ASSERT_TRUE(w_->CreateFile(path_.c_str()));
        ASSERT_NE(w_->AddStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0), nullptr);
    }
    int Video(uint64_t stamp, size_t len = 10, bool key = true)
    {
        std::string data(len, 'v');
        return w_->WriteFrame(rmtVideoMJPEG, Bytes(data), len, stamp, 1, key);
    }
    int Close()
    {
        int r = w_->Release();
        w_ = nullptr;
        return r;
    }
    TempDir dir_;
    std::string path_;
    CAVIWriter* w_ = nullptr;
};

// ---- the timeline: one row per case, the chunks the file ends with

struct Op {
    char kind; // 'v' frame, 'a' sample
    uint64_t stamp;
    uint32_t seq;
    uint32_t len;
    int result;
};

struct TimelineCase {
    const char* name;
    bool waitVideo;
    int audioType; // 0: no audio stream
    long kind;
    long value;
    std::vector<Op> ops;
    std::string layout;
};

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

TEST_F(AviWriterTest, TimelineTable)
{
    const int pcm = rmtAudioPCM, adpcm = rmtAudioMSADPCM;
    const std::vector<TimelineCase> cases = {
        {"slots follow the stamps",
         true,
         0,
         0,
         3600,
         {{'v', 1000, 1, 10, 3},
          {'v', 1033, 2, 10, 0},
          {'v', 1100, 3, 10, 0},
          {'v', 1200, 4, 10, 0}},
         "v10 v10 v0 v10 v0 v0 v10"},
        {"a repeated stamp shares the slot",
         true,
         0,
         0,
         3600,
         {{'v', 1000, 1, 10, 3}, {'v', 1000, 2, 10, 0}, {'v', 1033, 3, 10, 0}},
         "v10 v10 v10"},
        {"unstamped after stamped, size segments",
         true,
         0,
         16,
         1000,
         {{'v', 1000, 1, 10, 3}, {'v', 0, 2, 10, 0}, {'v', 1033, 3, 10, 0}},
         "v10 v10"},
        {"unstamped after stamped, time segments",
         true,
         0,
         0,
         60,
         {{'v', 1000, 1, 10, 3}, {'v', 0, 2, 10, 0}, {'v', 1033, 3, 10, 0}},
         "v10 v10"},
        {"lost packets become silence",
         false,
         pcm,
         0,
         3600,
         {{'a', 1000, 5, 64, 3}, {'a', 1012, 8, 64, 0}},
         "a64 a64 a64 a64"},
        {"silence for a longer packet",
         false,
         pcm,
         0,
         3600,
         {{'a', 1000, 1, 64, 3}, {'a', 1068, 3, 1024, 0}},
         "a64 a1024 a1024"},
        {"audio lead of 500 ms",
         true,
         pcm,
         0,
         3600,
         {{'a', 900, 1, 1024, 0}, {'v', 1000, 1, 10, 3}, {'a', 1500, 2, 1024, 0}},
         "v10" + Repeat(" a1024", 7) + " a832 a1024"},
        {"an ADPCM lead counted in 64 bits",
         true,
         adpcm,
         0,
         3600,
         {{'v', 1000, 1, 10, 3}, {'a', 1500, 1, 256, 0}},
         "v10" + Repeat(" a256", 9)},
        {"a lead beyond 5 s is a new start",
         true,
         pcm,
         0,
         3600,
         {{'v', 1000, 1, 10, 3}, {'a', 7000, 1, 1024, 0}},
         "v10 a1024"},
        {"a loss beyond 2 s is a new start",
         false,
         pcm,
         0,
         3600,
         {{'a', 1000, 5, 64, 3}, {'a', 5000, 1006, 64, 0}},
         "a64 a64"},
        {"video lead after audio",
         false,
         pcm,
         0,
         3600,
         {{'a', 1000, 1, 64, 3}, {'v', 1100, 1, 10, 0}},
         "a64 v0 v0 v0 v10"},
        {"audio from before the video start is dropped",
         true,
         pcm,
         0,
         3600,
         {{'v', 1000, 1, 10, 3}, {'a', 900, 1, 64, 0}, {'a', 1000, 2, 64, 0}},
         "v10 a64"},
        {"a long video pause takes the next slot",
         true,
         0,
         0,
         3600,
         {{'v', 1000, 1, 10, 3}, {'v', 301000, 2, 10, 0}},
         "v10 v10"},
        {"odd lengths are kept whole",
         true,
         pcm,
         0,
         3600,
         {{'v', 1000, 1, 1001, 3}, {'a', 1010, 1, 1001, 0}},
         "v1001 a160 a1001"},
        {"an unstamped frame starts the file and ends the wait",
         true,
         pcm,
         0,
         3600,
         {{'v', 0, 1, 10, 3}, {'a', 1000, 1, 64, 0}, {'v', 0, 2, 10, 0}},
         "v10 a64 v10"},
        {"an ADPCM packet shorter than its block is refused",
         false,
         adpcm,
         0,
         3600,
         {{'a', 1000, 1, 100, 0}, {'a', 1000, 1, 256, 3}},
         "a256"},
    };
    int n = 0;
    for (const TimelineCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open("t" + std::to_string(n++) + ".avi", c.value, c.kind);
        w_->SetWaitForVideo(c.waitVideo);
        WAVEFORMATEX f = c.audioType == pcm ? PcmFormat() : MsAdpcmFormat(256);
        ASSERT_TRUE(!c.audioType || w_->AddStream(c.audioType, 0, 0, &f, false, 0, 0));
        for (const Op& op : c.ops) {
            std::string d(op.len, op.kind);
            int r = op.kind == 'v'
                        ? w_->WriteFrame(rmtVideoMJPEG, Bytes(d), op.len, op.stamp, op.seq)
                        : w_->WriteSample(c.audioType, Bytes(d), op.len, op.stamp, op.seq);
            EXPECT_EQ(r, op.result) << op.kind << " stamp " << op.stamp;
        }
        EXPECT_EQ(Close(), -1);
        AviFile f2 = ReadAvi(path_);
        EXPECT_EQ(f2.error, "");
        EXPECT_EQ(f2.Layout(), c.layout);
    }
}

// ---- the file, byte by byte

TEST_F(AviWriterTest, VideoOnlyFileLayout)
{
    Open("video.avi");
    EXPECT_EQ(testsupport::ReadFile(path_).size(), 212u + 8u); // headers, the padding chunk's head
    EXPECT_EQ(Video(1000, 1000), rrStarted);
    EXPECT_EQ(Video(1033, 1000, false), rrOK); // a picture no decode can start at
    EXPECT_EQ(Video(1100, 1000), rrOK);        // after an empty slot
    EXPECT_EQ(Video(1133, 0), rrOK);           // a picture of nothing
    EXPECT_EQ(w_->GetWrittenBytes(), 2048u + 3000u);
    EXPECT_EQ(Close(), -1);

    AviFile f = ReadAvi(path_);
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.riffSize, f.bytes.size() - 8);
    EXPECT_EQ(f.hdrlSize, 192u);
    EXPECT_EQ(f.junk, (std::vector<std::pair<uint64_t, uint32_t>>{{212, 1816}}));
    EXPECT_EQ(f.bytes.substr(2036, 4), "LIST");
    EXPECT_EQ(f.moviWord, 2044u);
    EXPECT_EQ(f.moviSize, 4u + 3 * (8 + 1000) + 2 * 8);
    ASSERT_EQ(f.chunks.size(), 5u);
    EXPECT_EQ(f.chunks[0].offset, 2048u);
    EXPECT_EQ(f.index[0].offset, 4u);
    EXPECT_EQ(f.index[0].flags, 0x10u);
    EXPECT_EQ(f.index[1].flags, 0u);
    EXPECT_EQ(f.index[2].flags, 0u); // the empty slot
    EXPECT_EQ(f.index[3].flags, 0x10u);
    EXPECT_EQ(f.index[4].flags, 0u);
    EXPECT_EQ(U32At(f.avih, 0), 33333u);
    EXPECT_EQ(f.MainFlags(), 0x810u);
    EXPECT_EQ(f.TotalFrames(), 5u);
    EXPECT_EQ(f.Streams(), 1u);
    ASSERT_EQ(f.streams.size(), 1u);
    EXPECT_EQ(f.streams[0].Handler(), "MJPG");
    EXPECT_EQ(f.streams[0].Length(), 5u);
    EXPECT_EQ(U32At(f.streams[0].strf, 20), 960u * 240u); // 24-bit rows of 4-byte multiples
}

TEST_F(AviWriterTest, AudioAddedAfterDataLandsInTheHeaderArea)
{
    Open("av.avi");
    EXPECT_EQ(Video(1000, 100), rrStarted);
    WAVEFORMATEX adpcm = MsAdpcmFormat(256);
    AVIStreamContext* a = w_->AddStream(rmtAudioMSADPCM, 0, 0, &adpcm, false, 0, 0);
    ASSERT_NE(a, nullptr);
    std::string block(256, 0);
    EXPECT_EQ(w_->WriteSample(a, Bytes(block), 256, 1000, 1), rrOK);
    EXPECT_EQ(w_->WriteSample(a, Bytes(block), 256, 1064, 2), rrOK);
    EXPECT_EQ(Close(), -1);

    AviFile f = ReadAvi(path_);
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.hdrlSize, 326u);
    EXPECT_EQ(f.Streams(), 2u);
    EXPECT_EQ(f.junk, (std::vector<std::pair<uint64_t, uint32_t>>{{346, 1682}}));
    EXPECT_EQ(f.Layout(), "v100 a256 a256");
    EXPECT_EQ(f.chunks[1].id, "01wb");
    ASSERT_EQ(f.streams.size(), 2u);
    const StreamInfo& s = f.streams[1];
    EXPECT_EQ(s.listOffset, 212u);
    EXPECT_EQ(s.Scale(), 256u);
    EXPECT_EQ(s.Rate(), 4096u);
    EXPECT_EQ(s.Length(), 2u);
    ASSERT_EQ(s.strf.size(), 50u);
    EXPECT_EQ(U16At(s.strf, 18), 500u); // samples per block
    EXPECT_EQ(U16At(s.strf, 20), 7u);   // coefficient pairs
    const int16_t coeffs[14] = {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232};
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(int16_t(U16At(s.strf, 22 + 2 * i)), coeffs[i]) << i;
}

// The sound track added first, as when a sound packet comes before the first
// key picture: the video track is still stream 0, its header first.
TEST_F(AviWriterTest, VideoIsStreamZeroWhicheverTrackComesFirst)
{
    path_ = dir_.Path("order.avi");
    w_ = new CAVIWriter;
    ASSERT_TRUE(w_->CreateFile(path_.c_str()));
    WAVEFORMATEX pcm = PcmFormat();
    AVIStreamContext* a = w_->AddStream(rmtAudioPCM, 0, 0, &pcm, false, 0, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(w_->WriteSample(a, Bytes(std::string(512, 's')), 512, 900, 1), rrOK); // waits
    ASSERT_NE(w_->AddStream(rmtVideoH264, 320, 240, nullptr, false, 0, 0), nullptr);
    EXPECT_EQ(w_->WriteFrame(rmtVideoH264, Bytes("key"), 3, 1000, 1), rrStarted);
    EXPECT_EQ(w_->WriteSample(a, Bytes(std::string(512, 's')), 512, 1000, 2), rrOK);
    EXPECT_EQ(Close(), -1);

    AviFile f = ReadAvi(path_);
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.streams.size(), 2u);
    EXPECT_EQ(f.streams[0].listOffset, 88u);
    EXPECT_EQ(f.streams[0].strh.substr(0, 8), "vidsH264");
    EXPECT_EQ(f.streams[0].Length(), 1u);
    EXPECT_EQ(f.streams[1].listOffset, 212u);
    EXPECT_EQ(f.streams[1].strh.substr(0, 4), "auds");
    EXPECT_EQ(f.streams[1].Length(), 256u);
    EXPECT_EQ(f.hdrlSize, 326u);
    EXPECT_EQ(f.junk, (std::vector<std::pair<uint64_t, uint32_t>>{{346, 1682}}));
    ASSERT_EQ(f.chunks.size(), 2u);
    EXPECT_EQ(f.chunks[0].id, "00dc");
    EXPECT_EQ(f.chunks[1].id, "01wb");
}

TEST_F(AviWriterTest, IndexGrowsPastTheOldFixedArea)
{
    Open("long.avi");
    const int frames = 40000;
    for (int i = 0; i < frames; ++i)
        ASSERT_EQ(Video(0, 2), i == 0 ? rrStarted : rrOK) << i;
    EXPECT_EQ(Close(), -1);
    AviFile f = ReadAvi(path_);
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.index.size(), size_t(frames));
}

TEST_F(AviWriterTest, RefusesWhatCannotBeWritten)
{
    w_ = new CAVIWriter;
    EXPECT_FALSE(w_->CreateFile("no-folder.avi"));
    EXPECT_FALSE(w_->CreateFile("/root-only.avi"));
    EXPECT_FALSE(w_->CreateFile(dir_.Path("missing/x.avi").c_str()));
    EXPECT_EQ(w_->AddStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0), nullptr); // no file
    Close();
    Open("r.avi");
    const WAVEFORMATEX pcm = PcmFormat();
    WAVEFORMATEX bad[5] = {pcm, pcm, pcm, MsAdpcmFormat(256)};
    bad[0].nChannels = 0;
    bad[1].nBlockAlign = 0;
    bad[2].nAvgBytesPerSec = 0;
    bad[3].nBlockAlign = 6; // shorter than an ADPCM block's own header
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(w_->AddStream(i == 3 ? rmtAudioMSADPCM : rmtAudioPCM, 0, 0, &bad[i], false, 0, 0),
                  nullptr)
            << i;
    EXPECT_EQ(w_->AddStream(rmtAudioPCM, 0, 0, nullptr, false, 0, 0), nullptr);
    EXPECT_EQ(w_->AddStream(19, 0, 0, nullptr, false, 0, 0), nullptr);
    EXPECT_EQ(w_->AddStream(rmtVideoH264, 320, 240, nullptr, false, 0, 0),
              nullptr);                                                     // a second video
    EXPECT_EQ(w_->WriteSample(rmtAudioPCM, Bytes("xx"), 2, 1000, 1), rrOK); // no such stream
    // The file is still sound; a stop is for good.
    EXPECT_EQ(Video(1000), rrStarted);
    EXPECT_TRUE(w_->RequestForStop());
    EXPECT_EQ(Video(1033), rrStopped);
    EXPECT_EQ(Close(), -1);
    AviFile r = ReadAvi(path_);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.streams.size(), 1u);
}

// ---- limits

TEST_F(AviWriterTest, SegmentsEndAndStayEnded)
{
    Open("min.avi", 1, CAVIWriter::skMinutes);
    EXPECT_EQ(Video(1000), rrStarted);
    EXPECT_EQ(Video(60999), rrOK);
    EXPECT_EQ(Video(61000), rrSegmentReached);
    EXPECT_EQ(Video(61033), rrStopped);
    EXPECT_EQ(Close(), -1);

    Open("size.avi", 1, CAVIWriter::skMiB);
    int accepted = 0, r = rrOK;
    for (int i = 0; i < 20 && (r == rrOK || r == rrStarted); ++i)
        accepted += ((r = Video(1000 + 33 * i, 100000)) == rrOK || r == rrStarted);
    EXPECT_EQ(r, rrSegmentReached);
    EXPECT_EQ(accepted, 11); // 2048 + 11 x 100000 bytes pass 1 MiB
    EXPECT_EQ(Close(), -1);

    // Without stamps the monotonic clock ends a time segment.
    Open("mono.avi", 1, CAVIWriter::skSeconds);
    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    r = Video(0);
    while (r != rrSegmentReached && seconds() < 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        r = Video(0);
    }
    EXPECT_EQ(r, rrSegmentReached);
    EXPECT_GE(seconds(), 0.99);
}

TEST_F(AviWriterTest, DiskReserveStopsAndQueryFailureDoesNot)
{
    CAVIWriter::SetFreeSpaceFuncForTest(FreeSpace100MiB); // below the default 200 MiB
    Open("full.avi");
    EXPECT_EQ(Video(1000), rrDiskReserve);
    EXPECT_EQ(Video(1033), rrStopped);
    EXPECT_EQ(Close(), 0); // nothing reached the file: deleted
    EXPECT_EQ(testsupport::ReadFile(path_), "");

    Open("reserve.avi");
    w_->SetLimitSpace(50ull << 20);
    EXPECT_EQ(Video(1000), rrStarted);
    EXPECT_EQ(Close(), -1);

    CAVIWriter::SetFreeSpaceFuncForTest(FreeSpaceFails);
    Open("query.avi");
    EXPECT_EQ(Video(1000), rrSpaceQueryFailed);
    EXPECT_EQ(Video(1033), rrStarted); // not stopped; the next check is due in 10 s
}

} // namespace
