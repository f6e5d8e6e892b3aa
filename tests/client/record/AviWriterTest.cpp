// The AVI writer on its own: the file layout byte by byte, the timeline of
// video slots and audio blocks, the limits, and what it refuses.
#include "AviTestUtil.h"
#include "record/CAVIWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace avitest;

namespace {

const uint64_t kMiB = 1048576;

// Releases the writer at the end of a test that failed half-way.
struct WriterRef {
    CAVIWriter* w = new CAVIWriter;
    ~WriterRef()
    {
        if (w)
            w->Release();
    }
    int Release()
    {
        int r = w->Release();
        w = nullptr;
        return r;
    }
    CAVIWriter* operator->() { return w; }
};

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

off_t SizeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

int WriteVideo(CAVIWriter* w, uint64_t stamp, size_t len, unsigned long value = 1)
{
    std::string data(len, 'v');
    return w->WriteFrame(rmtVideoMJPEG, Bytes(data), len, stamp, value);
}

struct FreeSpace {
    static int Fixed(const char*, uint64_t* bytes)
    {
        *bytes = value;
        return 0;
    }
    static int Failing(const char*, uint64_t*) { return -1; }
    static uint64_t value;
};
uint64_t FreeSpace::value = 0;

class AviWriterTest : public ::testing::Test {
protected:
    void TearDown() override { CAVIWriter::SetFreeSpaceFuncForTest(nullptr); }
    // A writer with a file and a 320 x 240 MJPEG stream.
    void Open(WriterRef& w, const std::string& path, long value = 3600, long kind = 0)
    {
        w->SetRecordingInterval(value, kind);
        ASSERT_TRUE(w->CreateFile(path.c_str()));
        ASSERT_NE(w->AddStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0), nullptr);
    }
    TempDir dir_;
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
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST_F(AviWriterTest, TimelineTable)
{
    const std::vector<TimelineCase> cases = {
        {"slots follow the stamps", true, 0, 0, 3600,
         {{'v', 1000, 1, 10, 3}, {'v', 1033, 2, 10, 0}, {'v', 1100, 3, 10, 0}, {'v', 1200, 4, 10, 0}},
         "v10 v10 v0 v10 v0 v0 v10"},
        {"a repeated stamp shares the slot", true, 0, 0, 3600,
         {{'v', 1000, 1, 10, 3}, {'v', 1000, 2, 10, 0}, {'v', 1033, 3, 10, 0}},
         "v10 v10 v10"},
        {"unstamped after stamped, size segments", true, 0, 16, 1000,
         {{'v', 1000, 1, 10, 3}, {'v', 0, 2, 10, 0}, {'v', 1033, 3, 10, 0}},
         "v10 v10"},
        {"unstamped after stamped, time segments", true, 0, 0, 60,
         {{'v', 1000, 1, 10, 3}, {'v', 0, 2, 10, 0}, {'v', 1033, 3, 10, 0}},
         "v10 v10"},
        {"lost packets become silence", false, rmtAudioPCM, 0, 3600,
         {{'a', 1000, 5, 64, 3}, {'a', 1012, 8, 64, 0}},
         "a64 a64 a64 a64"},
        {"audio lead of 500 ms", true, rmtAudioPCM, 0, 3600,
         {{'a', 900, 1, 1024, 0}, {'v', 1000, 1, 10, 3}, {'a', 1500, 2, 1024, 0}},
         "v10" + Repeat(" a1024", 7) + " a832 a1024"},
        {"an ADPCM lead counted in 64 bits", true, rmtAudioMSADPCM, 0, 3600,
         {{'v', 1000, 1, 10, 3}, {'a', 1500, 1, 256, 0}},
         "v10" + Repeat(" a256", 8) + " a256"},
        {"silence for a longer packet", false, rmtAudioPCM, 0, 3600,
         {{'a', 1000, 1, 64, 3}, {'a', 1068, 3, 1024, 0}},
         "a64 a1024 a1024"},
        {"a lead beyond 5 s is a new start", true, rmtAudioPCM, 0, 3600,
         {{'v', 1000, 1, 10, 3}, {'a', 7000, 1, 1024, 0}},
         "v10 a1024"},
        {"a loss beyond 2 s is a new start", false, rmtAudioPCM, 0, 3600,
         {{'a', 1000, 5, 64, 3}, {'a', 5000, 1006, 64, 0}},
         "a64 a64"},
        {"video lead after audio", false, rmtAudioPCM, 0, 3600,
         {{'a', 1000, 1, 64, 3}, {'v', 1100, 1, 10, 0}},
         "a64 v0 v0 v0 v10"},
        {"audio from before the video start is dropped", true, rmtAudioPCM, 0, 3600,
         {{'v', 1000, 1, 10, 3}, {'a', 900, 1, 64, 0}, {'a', 1000, 2, 64, 0}},
         "v10 a64"},
        {"a long video pause takes the next slot", true, 0, 0, 3600,
         {{'v', 1000, 1, 10, 3}, {'v', 301000, 2, 10, 0}},
         "v10 v10"},
        {"odd lengths are kept whole", true, rmtAudioPCM, 0, 3600,
         {{'v', 1000, 1, 1001, 3}, {'a', 1010, 1, 1001, 0}},
         "v1001 a160 a1001"},
        {"an unstamped frame ends the wait for video", true, rmtAudioPCM, 0, 3600,
         {{'v', 0, 1, 10, 3}, {'a', 1000, 1, 64, 0}, {'v', 0, 2, 10, 0}},
         "v10 a64 v10"},
        {"an ADPCM packet shorter than its block is refused", false, rmtAudioMSADPCM, 0, 3600,
         {{'a', 1000, 1, 100, 0}, {'a', 1000, 1, 256, 3}},
         "a256"},
    };
    int n = 0;
    for (const TimelineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.Path("t" + std::to_string(n++) + ".avi");
        WriterRef w;
        Open(w, path, c.value, c.kind);
        w->SetWaitForVideo(c.waitVideo);
        if (c.audioType) {
            WAVEFORMATEX f = c.audioType == rmtAudioPCM ? PcmFormat() : MsAdpcmFormat(256);
            ASSERT_NE(w->AddStream(c.audioType, 0, 0, &f, false, 0, 0), nullptr);
        }
        for (const Op& op : c.ops) {
            std::string data(op.len, op.kind);
            int r = op.kind == 'v'
                        ? w->WriteFrame(rmtVideoMJPEG, Bytes(data), op.len, op.stamp, op.seq)
                        : w->WriteSample(c.audioType, Bytes(data), op.len, op.stamp, op.seq);
            EXPECT_EQ(r, op.result) << op.kind << " stamp " << op.stamp;
        }
        EXPECT_EQ(w.Release(), -1);
        AviFile f = ReadAvi(path);
        EXPECT_EQ(f.error, "");
        EXPECT_EQ(f.Layout(), c.layout);
    }
}

// ---- the file, byte by byte

TEST_F(AviWriterTest, VideoOnlyFileLayout)
{
    const std::string path = dir_.Path("video.avi");
    WriterRef w;
    ASSERT_TRUE(w->CreateFile(path.c_str()));
    EXPECT_EQ(SizeOf(path), 88);
    ASSERT_NE(w->AddStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0), nullptr);
    EXPECT_EQ(SizeOf(path), 212 + 8);
    EXPECT_EQ(w->GetWrittenBytes(), 2048u);
    EXPECT_EQ(WriteVideo(w.w, 1000, 1000), rrStarted);
    EXPECT_EQ(WriteVideo(w.w, 1033, 1000), rrOK);
    EXPECT_EQ(WriteVideo(w.w, 1100, 1000), rrOK); // after an empty slot
    EXPECT_EQ(w->GetWrittenBytes(), 2048u + 3000u);
    EXPECT_EQ(w.Release(), -1);

    AviFile f = ReadAvi(path);
    ASSERT_EQ(f.error, "");
    const std::string& b = f.bytes;
    EXPECT_EQ(f.riffSize, b.size() - 12);
    EXPECT_EQ(f.trailer, "JUNK");
    EXPECT_EQ(f.hdrlSize, 192u);
    ASSERT_EQ(f.junk.size(), 1u);
    EXPECT_EQ(f.junk[0], std::make_pair(uint64_t(212), uint32_t(1816)));
    EXPECT_EQ(b.substr(2036, 4), "LIST");
    EXPECT_EQ(b.substr(2044, 4), "movi");
    EXPECT_EQ(f.moviWord, 2044u);
    ASSERT_EQ(f.chunks.size(), 4u);
    EXPECT_EQ(f.chunks[0].offset, 2048u);
    EXPECT_EQ(f.chunks[0].id, "00dc");
    EXPECT_EQ(f.index[0].offset, 4u);
    EXPECT_EQ(f.index[2].flags, 0u); // the empty slot
    EXPECT_EQ(f.index[3].flags, 0x10u);
    EXPECT_EQ(f.moviSize, 4u + 3 * (8 + 1000) + 8);
    // Main header: 33333 us per frame, index and chunk-type flags, one stream.
    EXPECT_EQ(U32At(f.avih, 0), 33333u);
    EXPECT_EQ(f.MainFlags(), 0x810u);
    EXPECT_EQ(f.TotalFrames(), 4u);
    EXPECT_EQ(f.Streams(), 1u);
    EXPECT_EQ(U32At(f.avih, 32), 320u);
    EXPECT_EQ(U32At(f.avih, 36), 240u);
    ASSERT_EQ(f.streams.size(), 1u);
    const StreamInfo& v = f.streams[0];
    EXPECT_EQ(v.listOffset, 88u);
    EXPECT_EQ(v.Type(), "vids");
    EXPECT_EQ(v.Handler(), "MJPG");
    EXPECT_EQ(v.Scale(), 1000u);
    EXPECT_EQ(v.Rate(), 30000u);
    EXPECT_EQ(v.Length(), 4u);
    EXPECT_EQ(U32At(v.strh, 40), 0xFFFFFFFFu); // quality
    // Format: 24-bit picture of the stream's size, its fourcc as compression.
    ASSERT_EQ(v.strf.size(), 40u);
    EXPECT_EQ(U32At(v.strf, 0), 40u);
    EXPECT_EQ(U32At(v.strf, 4), 320u);
    EXPECT_EQ(U32At(v.strf, 8), 240u);
    EXPECT_EQ(U16At(v.strf, 12), 1u);
    EXPECT_EQ(U16At(v.strf, 14), 24u);
    EXPECT_EQ(v.strf.substr(16, 4), "MJPG");
    EXPECT_EQ(U32At(v.strf, 20), 960u * 240u);
}

TEST_F(AviWriterTest, AudioAddedAfterDataLandsInTheHeaderArea)
{
    const std::string path = dir_.Path("av.avi");
    WriterRef w;
    Open(w, path);
    EXPECT_EQ(WriteVideo(w.w, 1000, 100), rrStarted);
    WAVEFORMATEX adpcm = MsAdpcmFormat(256);
    AVIStreamContext* a = w->AddStream(rmtAudioMSADPCM, 0, 0, &adpcm, false, 0, 0);
    ASSERT_NE(a, nullptr);
    std::string block(256, 0);
    EXPECT_EQ(w->WriteSample(a, Bytes(block), 256, 1000, 1), rrOK);
    EXPECT_EQ(w->WriteSample(a, Bytes(block), 256, 1064, 2), rrOK);
    EXPECT_EQ(w.Release(), -1);

    AviFile f = ReadAvi(path);
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.hdrlSize, 326u);
    EXPECT_EQ(f.Streams(), 2u);
    ASSERT_EQ(f.junk.size(), 1u);
    EXPECT_EQ(f.junk[0], std::make_pair(uint64_t(346), uint32_t(1682)));
    EXPECT_EQ(f.chunks[0].offset, 2048u);
    EXPECT_EQ(f.Layout(), "v100 a256 a256");
    EXPECT_EQ(f.chunks[1].id, "01wb");
    ASSERT_EQ(f.streams.size(), 2u);
    const StreamInfo& s = f.streams[1];
    EXPECT_EQ(s.listOffset, 212u);
    EXPECT_EQ(s.Type(), "auds");
    EXPECT_EQ(s.Scale(), 256u);
    EXPECT_EQ(s.Rate(), 4096u);
    EXPECT_EQ(s.SampleSize(), 256u);
    EXPECT_EQ(s.Length(), 2u);
    ASSERT_EQ(s.strf.size(), 50u);
    EXPECT_EQ(U16At(s.strf, 0), 2u);
    EXPECT_EQ(U16At(s.strf, 18), 500u); // samples per block
    EXPECT_EQ(U16At(s.strf, 20), 7u);   // coefficient pairs
    const int16_t coeffs[14] = {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232};
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(int16_t(U16At(s.strf, 22 + 2 * i)), coeffs[i]) << i;
}

TEST_F(AviWriterTest, IndexGrowsPastTheOldFixedArea)
{
    const std::string path = dir_.Path("long.avi");
    WriterRef w;
    Open(w, path);
    const int frames = 40000;
    for (int i = 0; i < frames; ++i)
        ASSERT_EQ(WriteVideo(w.w, 0, 2), i == 0 ? rrStarted : rrOK) << i;
    EXPECT_EQ(w.Release(), -1);
    AviFile f = ReadAvi(path);
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.index.size(), size_t(frames));
    EXPECT_EQ(f.streams[0].Length(), uint32_t(frames));
}

// ---- keeping, deleting and stopping

TEST_F(AviWriterTest, KeptOnlyWithDataAndStoppedForGood)
{
    const std::string empty = dir_.Path("empty.avi");
    {
        WriterRef w;
        Open(w, empty);
        EXPECT_EQ(w->DuplicatePoint(), w.w);
        EXPECT_EQ(w->Release(), 1); // still held
        EXPECT_FALSE(w->IsStreamClose());
        EXPECT_EQ(w.Release(), 0);
    }
    EXPECT_FALSE(Exists(empty));

    const std::string kept = dir_.Path("kept.avi");
    WriterRef w;
    Open(w, kept);
    EXPECT_EQ(WriteVideo(w.w, 0, 10), rrStarted); // no stamp, still a recording
    EXPECT_TRUE(w->RequestForStop());
    EXPECT_EQ(WriteVideo(w.w, 0, 10), rrStopped);
    EXPECT_EQ(w.Release(), -1);
    EXPECT_EQ(ReadAvi(kept).Layout(), "v10");
}

TEST_F(AviWriterTest, RefusesWhatCannotBeWritten)
{
    WriterRef w;
    EXPECT_FALSE(w->CreateFile("no-folder.avi"));
    EXPECT_FALSE(w->CreateFile("/root-only.avi"));
    EXPECT_FALSE(w->CreateFile(dir_.Path("missing/x.avi").c_str()));
    EXPECT_EQ(w->AddStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0), nullptr); // no file
    Open(w, dir_.Path("r.avi"));

    WAVEFORMATEX f = PcmFormat();
    f.nChannels = 0;
    EXPECT_EQ(w->AddStream(rmtAudioPCM, 0, 0, &f, false, 0, 0), nullptr);
    f = PcmFormat();
    f.nBlockAlign = 0;
    EXPECT_EQ(w->AddStream(rmtAudioPCM, 0, 0, &f, false, 0, 0), nullptr);
    f = PcmFormat();
    f.nAvgBytesPerSec = 0;
    EXPECT_EQ(w->AddStream(rmtAudioPCM, 0, 0, &f, false, 0, 0), nullptr);
    f = MsAdpcmFormat(256);
    f.nBlockAlign = 6; // shorter than its own header
    EXPECT_EQ(w->AddStream(rmtAudioMSADPCM, 0, 0, &f, false, 0, 0), nullptr);
    EXPECT_EQ(w->AddStream(rmtAudioPCM, 0, 0, nullptr, false, 0, 0), nullptr);
    EXPECT_EQ(w->AddStream(19, 0, 0, nullptr, false, 0, 0), nullptr);
    EXPECT_EQ(w->AddStream(rmtVideoH264, 320, 240, nullptr, false, 0, 0), nullptr); // a second video
    EXPECT_EQ(w->AddStream(rmtVideoH264, -1, 240, nullptr, false, 0, 0), nullptr);
    EXPECT_EQ(w->WriteSample(rmtAudioPCM, Bytes("xx"), 2, 1000, 1), rrOK); // no such stream

    // The file is still sound.
    EXPECT_EQ(WriteVideo(w.w, 1000, 10), rrStarted);
    EXPECT_EQ(w.Release(), -1);
    AviFile r = ReadAvi(dir_.Path("r.avi"));
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.streams.size(), 1u);
}

// ---- limits

TEST_F(AviWriterTest, MinuteSegmentEndsOnTheStamps)
{
    const std::string path = dir_.Path("min.avi");
    WriterRef w;
    Open(w, path, 1, CAVIWriter::skMinutes);
    WAVEFORMATEX f = PcmFormat();
    ASSERT_NE(w->AddStream(rmtAudioPCM, 0, 0, &f, false, 0, 0), nullptr);
    EXPECT_EQ(WriteVideo(w.w, 1000, 10), rrStarted);
    EXPECT_EQ(WriteVideo(w.w, 60999, 10), rrOK);
    EXPECT_EQ(WriteVideo(w.w, 61000, 10), rrSegmentReached);
    EXPECT_EQ(WriteVideo(w.w, 61033, 10), rrStopped);
    EXPECT_EQ(w->WriteSample(rmtAudioPCM, Bytes("xx"), 2, 61000, 1), rrStopped);
    EXPECT_EQ(w.Release(), -1);
    AviFile r = ReadAvi(path);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.chunks.back().length, 10u);
}

TEST_F(AviWriterTest, SizeSegmentEndsOnTheBytesWritten)
{
    WriterRef w;
    Open(w, dir_.Path("size.avi"), 1, CAVIWriter::skMiB);
    int accepted = 0;
    int r = rrOK;
    for (int i = 0; i < 20 && (r == rrOK || r == rrStarted); ++i) {
        r = WriteVideo(w.w, 1000 + 33 * i, 100000);
        accepted += (r == rrOK || r == rrStarted);
    }
    EXPECT_EQ(r, rrSegmentReached);
    EXPECT_EQ(accepted, 11); // 2048 + 11 x 100000 bytes pass 1 MiB
    EXPECT_EQ(WriteVideo(w.w, 5000, 10), rrStopped);
}

TEST_F(AviWriterTest, UnstampedTimeSegmentEndsOnTheMonotonicClock)
{
    WriterRef w;
    Open(w, dir_.Path("mono.avi"), 1, CAVIWriter::skSeconds);
    const auto start = std::chrono::steady_clock::now();
    int r = WriteVideo(w.w, 0, 10);
    EXPECT_EQ(r, rrStarted);
    while (r != rrSegmentReached && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        r = WriteVideo(w.w, 0, 10);
        ASSERT_TRUE(r == rrOK || r == rrSegmentReached) << r;
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r, rrSegmentReached);
    EXPECT_GE(took, 0.99);
}

TEST_F(AviWriterTest, DiskReserveStopsAndQueryFailureDoesNot)
{
    CAVIWriter::SetFreeSpaceFuncForTest(FreeSpace::Fixed);
    FreeSpace::value = 100 * kMiB; // below the default reserve of 200 MiB
    {
        WriterRef w;
        Open(w, dir_.Path("full.avi"));
        EXPECT_EQ(WriteVideo(w.w, 1000, 10), rrDiskReserve);
        EXPECT_EQ(WriteVideo(w.w, 1033, 10), rrStopped);
        EXPECT_EQ(w.Release(), 0); // nothing reached the file
    }
    {
        WriterRef w;
        Open(w, dir_.Path("reserve.avi"));
        w->SetLimitSpace(50 * kMiB);
        EXPECT_EQ(WriteVideo(w.w, 1000, 10), rrStarted);
        EXPECT_EQ(w.Release(), -1);
    }
    CAVIWriter::SetFreeSpaceFuncForTest(FreeSpace::Failing);
    WriterRef w;
    Open(w, dir_.Path("query.avi"));
    EXPECT_EQ(WriteVideo(w.w, 1000, 10), rrSpaceQueryFailed);
    // Not stopped: the next check is due only after 10 s.
    EXPECT_EQ(WriteVideo(w.w, 1033, 10), rrStarted);
    EXPECT_EQ(w.Release(), -1);
}

} // namespace
