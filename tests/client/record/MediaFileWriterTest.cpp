// The recording facade: new files and shared ones, and the reference counts
// that decide when a file is finished.
#include "AviTestUtil.h"
#include "record/CAVIWriter.h"
#include "record/CMediaFileWriter.h"

#include <gtest/gtest.h>

using namespace avitest;

namespace {

int FreeSpace150MiB(const char*, uint64_t* bytes)
{
    *bytes = 150ull << 20;
    return 0;
}

TEST(MediaFileWriter, VideoAndAudioShareOneFileUntilBothLetGo)
{
    TempDir dir;
    const std::string path = dir.Path("cam.avi");
    CMediaFileWriter video, audio;
    CAVIWriter* hVideo = video.SetWriteAVIFile(path.c_str(), nullptr); // count 2
    ASSERT_NE(hVideo, nullptr);
    EXPECT_EQ(audio.SetWriteAVIFile(nullptr, hVideo), hVideo); // count 4
    EXPECT_TRUE(video.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_TRUE(video.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0)); // once
    WAVEFORMATEX f = PcmFormat();
    EXPECT_TRUE(audio.StartRecordStream(rmtAudioPCM, 0, 0, &f, false, 0, 0));
    EXPECT_TRUE(audio.IsStreamStarted(rmtAudioPCM));

    std::string frame(100, 'v'), packet(64, 'a');
    EXPECT_EQ(audio.RecordAVISample(rmtAudioPCM, Bytes(packet), 64, 900, 1),
              rrOK); // waits for video
    EXPECT_EQ(video.RecordAVIFrame(rmtVideoMJPEG, Bytes(frame), 100, 1000, 1), rrStarted);
    EXPECT_EQ(audio.RecordAVISample(rmtAudioPCM, Bytes(packet), 64, 1000, 2), rrOK);
    EXPECT_EQ(video.GetWriteDataSize(), 2048u + 164u);

    // The video side stops: the file stays open for the audio side.
    EXPECT_EQ(hVideo->Release(), 3);
    video.CloseAVI();
    EXPECT_EQ(video.GetLastReleaseResult(), 2);
    EXPECT_EQ(audio.RecordAVISample(rmtAudioPCM, Bytes(packet), 64, 1004, 3), rrOK);
    audio.CloseAVI();
    EXPECT_EQ(audio.GetLastReleaseResult(), 1);
    EXPECT_EQ(hVideo->Release(), -1); // the audio handle, the last: finished and kept

    AviFile r = ReadAvi(path);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.Layout(), "v100 a64 a64");
}

TEST(MediaFileWriter, DefaultsAndFailures)
{
    TempDir dir;
    CMediaFileWriter m;
    EXPECT_EQ(m.SetWriteAVIFile(nullptr, nullptr), nullptr);
    EXPECT_FALSE(m.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 1000, 1), rrOK);
    EXPECT_EQ(m.SetWriteAVIFile(dir.Path("missing/x.avi").c_str(), nullptr), nullptr);

    // Defaults: a 200 MiB reserve and 60-second segments.
    CAVIWriter::SetFreeSpaceFuncForTest(FreeSpace150MiB);
    CAVIWriter* h = m.SetWriteAVIFile(dir.Path("reserve.avi").c_str(), nullptr);
    ASSERT_TRUE(h && m.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 1000, 1), rrDiskReserve);
    h->Release();
    m.CloseAVI();
    EXPECT_EQ(m.GetLastReleaseResult(), 0); // nothing written: deleted
    CAVIWriter::SetFreeSpaceFuncForTest(nullptr);

    h = m.SetWriteAVIFile(dir.Path("segment.avi").c_str(), nullptr);
    ASSERT_TRUE(h && m.StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 1000, 1), rrStarted);
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 60999, 2), rrOK);
    EXPECT_EQ(m.RecordAVIFrame(rmtVideoMJPEG, Bytes("x"), 1, 61000, 3), rrSegmentReached);

    // A new path while a writer is held lets go of the old one; settings
    // made now reach the new writer.
    CAVIWriter* h2 = m.SetWriteAVIFile(dir.Path("next.avi").c_str(), nullptr);
    ASSERT_NE(h2, nullptr);
    EXPECT_EQ(h->Release(), -1); // the old file's last reference
    m.SetVideoFirst(false);
    WAVEFORMATEX f = PcmFormat();
    ASSERT_TRUE(m.StartRecordStream(rmtAudioPCM, 0, 0, &f, false, 0, 0));
    EXPECT_EQ(m.RecordAVISample(rmtAudioPCM, Bytes("aa"), 2, 1000, 1), rrStarted);
    h2->Release();
    m.CloseAVI();
    EXPECT_EQ(m.GetLastReleaseResult(), -1);
}

} // namespace
