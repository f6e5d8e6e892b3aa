// Recordings made from media that ffmpeg generated, read back by ffprobe and
// decoded by ffmpeg; and a recording whose disk gives out half-way.
#include "AviTestUtil.h"
#include "record/CAVIWriter.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

using namespace avitest;

namespace {

const int kFrames = 96; // 3.2 s at 30 per second

uint64_t FrameStamp(int i)
{
    return 1000 + uint64_t(i) * 1000 / 30;
}

double Num(const std::map<std::string, std::string>& kv, const char* key)
{
    auto it = kv.find(key);
    return it == kv.end() ? -1 : std::atof(it->second.c_str());
}

std::string Str(const std::map<std::string, std::string>& kv, const char* key)
{
    auto it = kv.find(key);
    return it == kv.end() ? "(none)" : it->second;
}

size_t CountVideoChunks(const AviFile& f)
{
    size_t n = 0;
    for (const Chunk& c : f.chunks)
        n += c.id == "00dc" && c.length > 0;
    return n;
}

// Video frames and audio packets in the order of their stamps.
struct Recording {
    std::vector<std::string> frames;
    std::vector<std::string> packets;
    std::vector<uint64_t> packetStamps;
    int audioType = rmtAudioPCM;
    WAVEFORMATEX format = PcmFormat();

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
    // Writes step k (frames and packets interleaved by stamp); false past the end.
    bool Step(CAVIWriter* w, size_t k, size_t* vi, size_t* ai, int* result) const
    {
        bool video = *vi < frames.size() &&
                     (*ai >= packets.size() || FrameStamp(int(*vi)) <= packetStamps[*ai]);
        if (k >= frames.size() + packets.size())
            return false;
        if (video) {
            const std::string& f = frames[*vi];
            *result = w->WriteFrame(rmtVideoMJPEG, Bytes(f), f.size(), FrameStamp(int(*vi)), *vi + 1);
            ++*vi;
        } else {
            const std::string& p = packets[*ai];
            *result = w->WriteSample(audioType, Bytes(p), p.size(), packetStamps[*ai], *ai + 1);
            ++*ai;
        }
        return true;
    }
    // Writes the first steps; returns the first result that is not 0 or 3.
    int Write(CAVIWriter* w, size_t steps) const
    {
        size_t vi = 0, ai = 0;
        int r = rrOK;
        for (size_t k = 0; k < steps && Step(w, k, &vi, &ai, &r); ++k)
            if (r != rrOK && r != rrStarted)
                return r;
        return rrOK;
    }
};

class AviPeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rec_.frames = MakeJpegFrames(dir_, kFrames, 320, 240);
        // One frame of odd length: a byte after its end marker.
        if (rec_.frames[10].size() % 2 == 0)
            rec_.frames[10].push_back('\0');
    }
    void AddPcm()
    {
        std::string pcm = MakePcm(dir_, 3.2);
        for (size_t j = 0; (j + 1) * 1024 <= pcm.size(); ++j) {
            rec_.packets.push_back(pcm.substr(j * 1024, 1024));
            rec_.packetStamps.push_back(1000 + 64 * j);
        }
    }
    // ffprobe's view of a 3.2 s recording with video and audio; its decoded audio.
    std::map<std::string, std::string> ExpectStreams(const std::string& path, std::string* pcm)
    {
        Probe p = ProbeFile(path);
        auto v = p.Stream("video");
        EXPECT_EQ(Str(v, "codec_name"), "mjpeg");
        EXPECT_EQ(Str(v, "width"), "320");
        EXPECT_EQ(Str(v, "height"), "240");
        EXPECT_EQ(Str(v, "r_frame_rate"), "30/1");
        EXPECT_EQ(Str(v, "nb_read_frames"), std::to_string(kFrames));
        EXPECT_NEAR(Num(v, "duration"), 3.2, 0.1);
        EXPECT_NEAR(p.duration, 3.2, 0.1);
        EXPECT_EQ(DecodeErrors(path, dir_.Path(""), pcm), "");
        auto a = p.Stream("audio");
        EXPECT_EQ(Str(a, "sample_rate"), "8000");
        EXPECT_EQ(Str(a, "channels"), "1");
        return a;
    }
    TempDir dir_;
    Recording rec_;
};

TEST_F(AviPeerTest, MjpegAndPcm)
{
    AddPcm();
    ASSERT_EQ(rec_.packets.size(), 50u);
    const std::string path = dir_.Path("pcm.avi");
    CAVIWriter* w = rec_.Open(path);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(rec_.Write(w, 10000), rrOK);
    EXPECT_EQ(w->Release(), -1);

    std::string decoded;
    EXPECT_EQ(Str(ExpectStreams(path, &decoded), "codec_name"), "pcm_s16le");
    std::string all;
    for (const std::string& p : rec_.packets)
        all += p;
    EXPECT_TRUE(decoded == all) << "audio differs from what was written";

    // The odd-length frame is stored whole, its pad byte after it.
    AviFile f = ReadAvi(path);
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.riffSize, f.bytes.size() - 12);
    std::vector<const Chunk*> video;
    for (const Chunk& c : f.chunks)
        if (c.id == "00dc")
            video.push_back(&c);
    ASSERT_EQ(video.size(), size_t(kFrames));
    ASSERT_EQ(video[10]->length % 2, 1u);
    EXPECT_TRUE(video[10]->Data(f.bytes) == rec_.frames[10]);
}

TEST_F(AviPeerTest, MjpegAndMsAdpcm)
{
    std::string wav;
    std::vector<std::string> blocks = MakeMsAdpcmBlocks(dir_, 3.2, 256, &wav);
    ASSERT_GE(blocks.size(), 51u);
    blocks.resize(51);
    rec_.audioType = rmtAudioMSADPCM;
    rec_.format = MsAdpcmFormat(256);
    for (size_t j = 0; j < blocks.size(); ++j) {
        rec_.packets.push_back(blocks[j]);
        rec_.packetStamps.push_back(1000 + j * 500 / 8); // 500 samples at 8000 Hz
    }
    const std::string path = dir_.Path("adpcm.avi");
    CAVIWriter* w = rec_.Open(path);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(rec_.Write(w, 10000), rrOK);
    EXPECT_EQ(w->Release(), -1);

    std::string fromAvi;
    EXPECT_EQ(Str(ExpectStreams(path, &fromAvi), "codec_name"), "adpcm_ms");
    // The same samples as ffmpeg decodes from the blocks' own WAV file.
    std::string fromWav = DecodeAudio(wav, dir_.Path("")).substr(0, 51 * 500 * 2);
    EXPECT_EQ(fromAvi.size(), fromWav.size());
    EXPECT_TRUE(fromAvi == fromWav) << "audio differs from the WAV's";
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
    if (rec.Write(w, 100000) != rrWriteError)
        _exit(2);
    if (w->WriteFrame(rmtVideoMJPEG, Bytes(rec.frames[0]), rec.frames[0].size(), 99000, 1) !=
        rrStopped)
        _exit(3);
    _exit(w->Release() == -1 ? 0 : 4);
}

TEST_F(AviPeerTest, FullDiskLeavesAPlayableFile)
{
    AddPcm();
    // Once where the index still fits after the failed chunk, once where it does not.
    const std::string dry = dir_.Path("dry.avi");
    CAVIWriter* w = rec_.Open(dry);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(rec_.Write(w, 40), rrOK);
    struct stat st;
    ASSERT_EQ(stat(dry.c_str(), &st), 0);
    w->Release();

    const std::pair<const char*, rlim_t> runs[] = {{"room.avi", 150000},
                                                   {"tight.avi", rlim_t(st.st_size) + 4}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.first);
        const std::string path = dir_.Path(run.first);
        ASSERT_EQ(RecordUntilFull(rec_, path, run.second), 0);
        AviFile f = ReadAvi(path);
        ASSERT_EQ(f.error, "");
        EXPECT_LE(f.bytes.size(), run.second);
        EXPECT_TRUE(f.trailer == "JUNK" || f.trailer.empty());
        EXPECT_EQ(f.MainFlags() & 0x10u, f.hasIndex ? 0x10u : 0u);
        if (run.second != 150000) {
            EXPECT_FALSE(f.hasIndex);
            EXPECT_EQ(f.trailer, "JUNK");
        }
        auto v = ProbeFile(path).Stream("video");
        EXPECT_EQ(Str(v, "nb_read_frames"), std::to_string(CountVideoChunks(f)));
        EXPECT_EQ(DecodeErrors(path, dir_.Path("")), "");
    }
}

} // namespace
