// Recordings made from media that ffmpeg generated, read back by ffprobe and
// decoded by ffmpeg; and a recording whose disk gives out half-way.
#include "AviTestUtil.h"
#include "record/CAVIWriter.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

using namespace avitest;

namespace {

const int kFrames = 96; // 3.2 s at 30 per second

std::string Field(const std::map<std::string, std::string>& kv, const char* key)
{
    auto it = kv.find(key);
    return it == kv.end() ? "(none)" : it->second;
}

// 3.2 s of MJPEG video and audio packets, written in the order of their stamps.
struct Recording {
    struct Write {
        bool audio;
        std::string data;
        uint64_t stamp;
        uint32_t seq;
    };
    std::vector<Write> writes;
    int audioType = rmtAudioPCM;
    WAVEFORMATEX format = PcmFormat();

    void Add(bool audio, const std::string& data, uint64_t stamp, uint32_t seq)
    {
        writes.push_back({audio, data, stamp, seq});
        std::stable_sort(writes.begin(), writes.end(),
                         [](const Write& a, const Write& b) { return a.stamp < b.stamp; });
    }
    CAVIWriter* Open(const std::string& path) const
    {
        auto* w = new CAVIWriter;
        w->SetRecordingInterval(3600, CAVIWriter::skSeconds);
        if (!w->CreateFile(path.c_str()) ||
            !w->AddStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0) ||
            !w->AddStream(audioType, 0, 0, &format, false, 0, 0)) {
            w->Release();
            return nullptr;
        }
        return w;
    }
    // Writes the first count writes; the first result that is not 0 or 3.
    int WriteTo(CAVIWriter* w, size_t count) const
    {
        for (size_t i = 0; i < count && i < writes.size(); ++i) {
            const Write& x = writes[i];
            int r =
                x.audio
                    ? w->WriteSample(audioType, Bytes(x.data), x.data.size(), x.stamp, x.seq)
                    : w->WriteFrame(rmtVideoMJPEG, Bytes(x.data), x.data.size(), x.stamp, x.seq);
            if (r != rrOK && r != rrStarted)
                return r;
        }
        return rrOK;
    }
};

class AviPeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        frames_ = MakeJpegFrames(dir_, kFrames, 320, 240);
        // One frame of odd length: a byte after its end marker.
        if (frames_[10].size() % 2 == 0)
            frames_[10].push_back('\0');
        for (int i = 0; i < kFrames; ++i)
            rec_.Add(false, frames_[size_t(i)], 1000 + uint64_t(i) * 1000 / 30, uint32_t(i + 1));
    }
    void AddPcm()
    {
        pcm_ = MakeTone(3.2, "-f s16le", dir_.Path("tone.raw")).substr(0, 50 * 1024);
        for (uint32_t j = 0; j < 50; ++j)
            rec_.Add(true, pcm_.substr(j * 1024, 1024), 1000 + 64 * j, j + 1);
    }
    // Records everything; ffprobe's view of the file; its audio decoded.
    std::map<std::string, std::string> RecordAndProbe(const std::string& path, std::string* pcm)
    {
        CAVIWriter* w = rec_.Open(path);
        EXPECT_NE(w, nullptr);
        if (!w)
            return {};
        EXPECT_EQ(rec_.WriteTo(w, rec_.writes.size()), rrOK);
        EXPECT_EQ(w->Release(), -1);
        Probe p = ProbeFile(path);
        auto v = p.Stream("video");
        EXPECT_EQ(Field(v, "codec_name"), "mjpeg");
        EXPECT_EQ(Field(v, "width") + "x" + Field(v, "height"), "320x240");
        EXPECT_EQ(Field(v, "r_frame_rate"), "30/1");
        EXPECT_EQ(Field(v, "nb_read_frames"), std::to_string(kFrames));
        EXPECT_NEAR(std::atof(Field(v, "duration").c_str()), 3.2, 0.1);
        EXPECT_NEAR(p.duration, 3.2, 0.1);
        EXPECT_EQ(DecodeErrors(path, dir_.Path(""), pcm), "");
        auto a = p.Stream("audio");
        EXPECT_EQ(Field(a, "sample_rate") + "/" + Field(a, "channels"), "8000/1");
        return a;
    }
    TempDir dir_;
    std::vector<std::string> frames_;
    std::string pcm_;
    Recording rec_;
};

TEST_F(AviPeerTest, MjpegAndPcm)
{
    AddPcm();
    const std::string path = dir_.Path("pcm.avi");
    std::string decoded;
    EXPECT_EQ(Field(RecordAndProbe(path, &decoded), "codec_name"), "pcm_s16le");
    EXPECT_TRUE(decoded == pcm_) << "audio differs from what was written";

    // The odd-length frame is stored whole, its pad byte after it.
    AviFile f = ReadAvi(path);
    ASSERT_EQ(f.error, "");
    std::vector<const Chunk*> video;
    for (const Chunk& c : f.chunks)
        if (c.id == "00dc")
            video.push_back(&c);
    ASSERT_EQ(video.size(), size_t(kFrames));
    EXPECT_EQ(video[10]->length % 2, 1u);
    EXPECT_TRUE(video[10]->Data(f.bytes) == frames_[10]);
}

TEST_F(AviPeerTest, MjpegAndMsAdpcm)
{
    std::string wav;
    std::vector<std::string> blocks = MakeMsAdpcmBlocks(dir_, 3.2, 256, &wav);
    ASSERT_GE(blocks.size(), 51u);
    rec_.audioType = rmtAudioMSADPCM;
    rec_.format = MsAdpcmFormat(256);
    for (uint32_t j = 0; j < 51; ++j)
        rec_.Add(true, blocks[j], 1000 + j * 500 / 8, j + 1); // 500 samples at 8000 Hz
    std::string fromAvi;
    EXPECT_EQ(Field(RecordAndProbe(dir_.Path("adpcm.avi"), &fromAvi), "codec_name"), "adpcm_ms");
    // The same samples as ffmpeg decodes from the blocks' own WAV file.
    EXPECT_TRUE(fromAvi == DecodeAudio(wav, dir_.Path("")).substr(0, 51 * 500 * 2));
}

// In a child whose files may not grow past limit (SIGXFSZ ignored): writes
// until a write fails, then checks that the file is stopped and kept.
// Exit status 0 when all held.
int RecordUntilFull(const Recording& rec, const std::string& path, rlim_t limit)
{
    pid_t pid = fork();
    if (pid != 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
    }
    signal(SIGXFSZ, SIG_IGN);
    CAVIWriter* w = rec.Open(path);
    struct rlimit rl = {limit, limit};
    if (!w || setrlimit(RLIMIT_FSIZE, &rl) != 0)
        _exit(1);
    if (rec.WriteTo(w, rec.writes.size()) != rrWriteError)
        _exit(2);
    if (w->WriteFrame(rmtVideoMJPEG, Bytes("x"), 1, 99000, 1) != rrStopped)
        _exit(3);
    _exit(w->Release() == -1 ? 0 : 4);
}

TEST_F(AviPeerTest, FullDiskLeavesAPlayableFile)
{
    AddPcm();
    // Once where the index still fits after the failed chunk, once where it
    // does not: the limit 4 bytes past the end of the first 40 writes.
    const std::string dry = dir_.Path("dry.avi");
    CAVIWriter* w = rec_.Open(dry);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(rec_.WriteTo(w, 40), rrOK);
    const rlim_t tight = testsupport::ReadFile(dry).size() + 4;
    w->Release();

    for (rlim_t limit : {rlim_t(150000), tight}) {
        SCOPED_TRACE(limit);
        const std::string path = dir_.Path("full" + std::to_string(limit) + ".avi");
        ASSERT_EQ(RecordUntilFull(rec_, path, limit), 0);
        AviFile f = ReadAvi(path);
        ASSERT_EQ(f.error, "");
        EXPECT_LE(f.bytes.size(), limit);
        EXPECT_EQ(f.MainFlags() & 0x10u, f.hasIndex ? 0x10u : 0u);
        if (limit == tight) {
            EXPECT_FALSE(f.hasIndex);
        }
        size_t video = 0;
        for (const Chunk& c : f.chunks)
            video += c.id == "00dc" && c.length > 0;
        EXPECT_EQ(Field(ProbeFile(path).Stream("video"), "nb_read_frames"), std::to_string(video));
        EXPECT_EQ(DecodeErrors(path, dir_.Path("")), "");
    }
}

} // namespace
