// Recordings made through the exported functions from the emulated camera,
// read as a user's programs read them: ffprobe and ffmpeg, and the file's
// own chunks against what the camera sent.
#include "ClientApiTestUtil.h"
#include "DiagCapture.h"
#include "RiloClientLib.h"
#include "record/AviTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using apitest::kWait;
using avitest::Chunk;
using avitest::Ffmpeg;
using httptest::Eventually;

namespace {

using Samples = std::vector<int16_t>;

Samples ToSamples(const std::string& bytes)
{
    Samples s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

size_t DataChunks(const std::vector<Chunk>& chunks, const char* kind)
{
    size_t n = 0;
    for (const Chunk& c : chunks)
        n += c.id.substr(2) == kind && c.length > 0;
    return n;
}

// Whether the file at path comes to hold at least pictures video chunks
// and sounds audio chunks with data.
bool Holds(const std::string& path, size_t pictures, size_t sounds)
{
    return Eventually(
        [&] {
            const auto chunks = avitest::WrittenChunks(testsupport::ReadFile(path));
            return DataChunks(chunks, "dc") >= pictures && DataChunks(chunks, "wb") >= sounds;
        },
        kWait);
}

void OnSound(void* u, unsigned char*, unsigned long, unsigned long kind, long long*)
{
    if (kind == 0)
        ++*static_cast<std::atomic<int>*>(u);
}

bool IsSilence(const std::string& chunk)
{
    return chunk.find_first_not_of('\0') == std::string::npos;
}

// Whether sound, from its first chunk that is not silence on, is ref's
// frames (frame samples each) from some frame on, every sample within 1.
// The chunks compared go to *pCompared.
bool SoundIsReference(const std::vector<std::string>& sound, const Samples& ref, size_t frame,
                      size_t* pCompared)
{
    size_t first = 0;
    while (first < sound.size() && IsSilence(sound[first]))
        ++first;
    *pCompared = sound.size() - first;
    for (size_t start = 0; first < sound.size() && (start + 1) * frame <= ref.size(); ++start) {
        bool same = true;
        for (size_t i = first; same && i < sound.size(); ++i) {
            const Samples got = ToSamples(sound[i]);
            const size_t at = (start + i - first) * frame;
            same = got.size() == frame && at + frame <= ref.size();
            for (size_t k = 0; same && k < frame; ++k)
                same = std::abs(int(got[k]) - int(ref[at + k])) <= 1;
        }
        if (same)
            return true;
    }
    return false;
}

} // namespace

// AAC cameras (H.264 at 8000 Hz mono, MJPEG at 48000 Hz stereo) recorded
// without live audio, or with live audio started and stopped meanwhile: the
// file has its sound track, and every sound chunk is the next frame of
// ffmpeg's decode of the ADTS frames the camera sent, within 1; no packet
// fails to decode.
TEST(ClientApiRecording, AacWithoutLiveAudio)
{
    struct Case {
        unsigned modal;
        const char* videoPath;
        const char* videoRoute;
        const char* video;
        int rate, channels;
        bool live; // live audio starts and stops while it records
    };
    const Case cases[] = {
        {0x0144, "/video/ACVS-H264.cgi",
         R"({"body": {"generator": "media_packets:acvs", "args": {"file": "a.h264", "fps": 30,
            "repeat": true}}})",
         "h264", 8000, 1, true},
        {0x0141, "/video/mjpg.cgi",
         R"({"body": {"multipart": {"parts": [{"file": "f1.jpg"}, {"file": "f2.jpg"}],
            "fps": 30, "timestamps": true}}})",
         "mjpeg", 48000, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.video);
        const std::string aac =
            R"({"body": {"generator": "media_packets:acas", "args": {"file": "s.aac",
            "split": "adts", "tag": 4096, "rate": )" +
            std::to_string(c.rate) + R"(, "channels": )" + std::to_string(c.channels) +
            R"(, "interval_ms": )" + std::to_string(1024000.0 / c.rate) +
            R"(}}, "at_end": "stall"})";
        auto cam = apitest::CameraWithRoutes(
            "", {{c.videoPath, c.videoRoute}, {"/audio/ACAS-AAC.cgi", aac}});
        const std::string d = cam->Dir() + "/";
        const std::string layout = c.channels == 2 ? ",aformat=cl=stereo" : "";
        ASSERT_EQ(Ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=30:duration=1 -c:v libx264 "
                         "-profile:v baseline -x264-params repeat-headers=1 -f h264 '" +
                         d + "a.h264' -frames:v 2 -q:v 6 '" + d + "f%d.jpg'"),
                  0);
        ASSERT_EQ(Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(c.rate) +
                         ":duration=6" + layout + " -c:a aac -b:a 64k -f adts '" + d + "s.aac'"),
                  0);
        ASSERT_EQ(Ffmpeg("-i '" + d + "s.aac' -f s16le '" + d + "s.raw'"), 0);
        const Samples ref = ToSamples(testsupport::ReadFile(d + "s.raw"));

        avitest::TempDir dir;
        const std::string path = dir.Path("aac.avi");
        void* h = apitest::Stream(c.modal, cam->Port());
        ASSERT_EQ(RiloReserveDiskFreeSpace(h, 1), 0);
        testsupport::CaptureDiagOut(true);
        ASSERT_EQ(RiloStartRecordingStreamIn(h, 0, path.c_str(), 3), 0);
        if (c.live) {
            // Live audio that comes and goes leaves the recording's decoder alone.
            std::atomic<int> heard{0};
            EXPECT_TRUE(Holds(path, 1, 3));
            ASSERT_EQ(RiloStartAudioStreamRenderCB(h, OnSound, &heard), 0);
            EXPECT_TRUE(Eventually([&] { return heard > 2; }, kWait));
            EXPECT_EQ(RiloStopAudioStream(h), 0);
        }
        // About two seconds of sound.
        EXPECT_TRUE(Holds(path, 30, size_t(2 * c.rate / 1024)));
        EXPECT_EQ(RiloStopRecordingStreamIn(h, 0), 0);
        EXPECT_TRUE(apitest::Recording(h, 0, 0));
        EXPECT_EQ(RiloDestroyStream(h), 0);
        const std::string said = testsupport::TakeDiagOut();
        EXPECT_EQ(said.find("aac stream decoded and failed"), std::string::npos);

        const avitest::Probe probe = avitest::ProbeFile(path);
        auto audio = probe.Stream("audio");
        EXPECT_EQ(probe.Stream("video")["codec_name"], c.video);
        EXPECT_EQ(audio["codec_name"], "pcm_s16le");
        EXPECT_EQ(audio["sample_rate"], std::to_string(c.rate));
        EXPECT_EQ(audio["channels"], std::to_string(c.channels));
        const avitest::AviFile f = avitest::ReadAvi(path);
        ASSERT_EQ(f.error, "");
        std::vector<std::string> sound;
        for (const Chunk& ch : f.chunks)
            if (ch.id.substr(2) == "wb" && ch.length > 0)
                sound.push_back(ch.Data(f.bytes));
        size_t compared = 0;
        EXPECT_TRUE(SoundIsReference(sound, ref, size_t(1024 * c.channels), &compared));
        EXPECT_GE(compared, size_t(c.rate / 1024));
    }
}
