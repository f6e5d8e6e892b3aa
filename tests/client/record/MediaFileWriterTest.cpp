// The recording facade: new files and shared ones, and the reference counts
// that decide when a file is finished.
#include "AviTestUtil.h"
#include "record/CAVIWriter.h"
#include "record/CMediaFileWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace avitest;

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int FreeSpace150MiB(const char*, uint64_t* bytes)
{
    *bytes = 150ull << 20;
    return 0;
}

class MediaFileWriterTest : public ::testing::Test {
protected:
    void TearDown() override { CAVIWriter::SetFreeSpaceFuncForTest(nullptr); }
    TempDir dir_;
};

TEST_F(MediaFileWriterTest, VideoAndAudioShareOneFileUntilBothLetGo)
{
    const std::string path = dir_.Path("cam.avi");
    CMediaFileWriter video, audio;
    CAVIWriter* hVideo = video.SetWriteAVIFile(path.c_str(), nullptr); // count 2
    ASSERT_NE(hVideo, nullptr);
    CAVIWriter* hAudio = audio.SetWriteAVIFile(nullptr, hVideo); // count 4
    EXPECT_EQ(hAudio, hVideo);

    EXPECT_TRUE(video.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_TRUE(video.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    WAVEFORMATEX f = PcmFormat();
    EXPECT_TRUE(audio.StartRecordStream(rmtAudioPCM, 0, 0, &f, false, 0, 0));
    EXPECT_TRUE(audio.IsStreamStarted(rmtAudioPCM));
    EXPECT_FALSE(audio.IsStreamStarted(rmtVideoH264));

    std::string frame(100, 'v'), packet(64, 'a');
    EXPECT_EQ(audio.RecordAVISample(rmtAudioPCM, Bytes(packet), 64, 900, 1), rrOK); // waits for video
    EXPECT_EQ(video.RecordAVIFrame(rmtVideoMJPEG, Bytes(frame), 100, 1000, 1), rrStarted);
    EXPECT_EQ(audio.RecordAVISample(rmtAudioPCM, Bytes(packet), 64, 1000, 2), rrOK);
    EXPECT_EQ(video.GetWriteDataSize(), 2048u + 164u);

    // The video side stops: the file stays open for the audio side.
    EXPECT_EQ(hVideo->Release(), 3);
    video.CloseAVI();
    EXPECT_EQ(video.GetLastReleaseResult(), 2);
    EXPECT_EQ(video.RecordAVIFrame(rmtVideoMJPEG, Bytes(frame), 100, 1033, 2), rrOK); // no writer
    EXPECT_EQ(audio.RecordAVISample(rmtAudioPCM, Bytes(packet), 64, 1004, 3), rrOK);
    audio.CloseAVI();
    EXPECT_EQ(audio.GetLastReleaseResult(), 1);
    EXPECT_EQ(hAudio->Release(), -1); // the last one: finished and kept

    AviFile r = ReadAvi(path);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.streams.size(), 2u);
    EXPECT_EQ(r.Layout(), "v100 a64 a64");
    EXPECT_EQ(r.chunks[0].id, "00dc");
    EXPECT_EQ(r.chunks[1].id, "01wb");
}

TEST_F(MediaFileWriterTest, DefaultsAndFailures)
{
    CMediaFileWriter m;
    EXPECT_EQ(m.SetWriteAVIFile(nullptr, nullptr), nullptr);
    EXPECT_EQ(m.GetWriteDataSize(), 0u);
    EXPECT_FALSE(m.RequestForStop());
    EXPECT_FALSE(m.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 1000, 1), rrOK);
    EXPECT_EQ(m.SetWriteAVIFile(dir_.Path("missing/x.avi").c_str(), nullptr), nullptr);

    // Defaults: 60-second segments, a 200 MiB reserve.
    CAVIWriter::SetFreeSpaceFuncForTest(FreeSpace150MiB);
    const std::string reserve = dir_.Path("reserve.avi");
    CAVIWriter* h = m.SetWriteAVIFile(reserve.c_str(), nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(m.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 1000, 1), rrDiskReserve);
    h->Release();
    m.CloseAVI();
    EXPECT_EQ(m.GetLastReleaseResult(), 0); // nothing written: deleted
    EXPECT_FALSE(Exists(reserve));

    CAVIWriter::SetFreeSpaceFuncForTest(nullptr);
    const std::string seg = dir_.Path("segment.avi");
    h = m.SetWriteAVIFile(seg.c_str(), nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(m.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 1000, 1), rrStarted);
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 60999, 2), rrOK);
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 61000, 3), rrSegmentReached);

    // A new path while a writer is held lets go of the old one.
    const std::string next = dir_.Path("next.avi");
    CAVIWriter* h2 = m.SetWriteAVIFile(next.c_str(), nullptr);
    ASSERT_NE(h2, nullptr);
    EXPECT_EQ(h->Release(), -1); // the old file's last reference
    EXPECT_EQ(ReadAvi(seg).error, "");
    m.SetRecordingInterval(1, CAVIWriter::skMinutes);
    m.SetLimitSpace(0);
    m.SetVideoFirst(false);
    WAVEFORMATEX f = PcmFormat();
    ASSERT_TRUE(m.StartRecordStream(rmtAudioPCM, 0, 0, &f, false, 0, 0));
    EXPECT_EQ(m.RecordAVISample(rmtAudioPCM, Bytes("aa"), 2, 1000, 1), rrStarted);
    h2->Release();
    m.CloseAVI();
    EXPECT_EQ(m.GetLastReleaseResult(), -1);
}

} // namespace
