// Recordings made through the exported functions from the emulated camera,
// read as a user's programs read them: ffprobe and ffmpeg (counting,
// decoding, seeking), mediainfo and GStreamer's AVI demuxer, and the file's
// own chunks against what the camera sent.
#include "ClientApiTestUtil.h"
#include "DiagCapture.h"
#include "RiloClientLib.h"
#include "VideoUnits.h"
#include "record/AviTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
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

// A camera model and where its video comes from.
struct Model {
    unsigned modal;
    const char* path;  // of the video route
    const char* codec; // ffprobe's name of the video
};

// What a camera sends as pictures, and what a recording of them must hold.
struct Pictures {
    std::string config;              // in front of the first picture (H.264, MPEG-4)
    std::vector<std::string> chunks; // the recording's picture chunks
    std::vector<bool> keys;          // whether each starts a decode
};

// The pictures of an H.264 or MPEG-4 elementary stream as a framed camera
// stream carries them. The configuration is the stream's: without the
// MPEG-4 group header, whose time code changes at every group.
Pictures ElementaryPictures(const std::string& codec, const std::string& es)
{
    Pictures p;
    videounits::Bytes last;
    for (const videounits::Unit& u :
         videounits::CutUnits(codec, videounits::Bytes(es.begin(), es.end()), 0, &last)) {
        const std::string b(u.bytes.begin(), u.bytes.end());
        if (u.frame < 0) {
            if (p.config.empty())
                p.config = b.substr(0, b.find(std::string("\0\0\1\xB3", 4)));
            continue;
        }
        // After the start code: an IDR slice's header, an I-plane's type.
        const uint8_t next = b.size() > 4 ? uint8_t(b[4]) : 0xFF;
        p.keys.push_back(codec == "h264" ? (next & 0x1F) == 5 : (next & 0xC0) == 0);
        p.chunks.push_back(b);
    }
    if (!p.chunks.empty())
        p.chunks[0] = p.config + p.chunks[0];
    return p;
}

// How the readers take a recording of sent with sound: video is the first
// stream, the chunks and their index flags are the camera's pictures;
// ffmpeg decodes it without a word and each reader counts the pictures,
// none takes it for a file cut short; GStreamer sees the key pictures the
// camera sent; a seek to each of the pictures at seeks gives the picture
// decoded from the start.
void ExpectReadEverywhere(const std::string& path, const std::string& codec, const Pictures& sent,
                          const std::vector<int>& seeks)
{
    SCOPED_TRACE(path);
    const avitest::AviFile f = avitest::ReadAvi(path);
    ASSERT_EQ(f.error, "");
    // Video is stream 0, sound stream 1.
    ASSERT_EQ(f.streams.size(), 2u);
    EXPECT_EQ(f.streams[0].strh.substr(0, 4), "vids");
    EXPECT_EQ(f.streams[1].strh.substr(0, 4), "auds");
    std::vector<bool> keys;
    std::vector<std::string> pictures;
    for (size_t i = 0; i < f.chunks.size(); ++i) {
        const Chunk& c = f.chunks[i];
        EXPECT_TRUE(c.id == "00dc" || c.id == "01wb") << c.id;
        if (c.id.substr(2) == "dc" && c.length > 0) {
            keys.push_back(f.index[i].flags == 0x10);
            pictures.push_back(c.Data(f.bytes));
        }
    }
    const std::string count = std::to_string(sent.keys.size());
    EXPECT_EQ(pictures.size(), sent.keys.size());
    EXPECT_EQ(keys, sent.keys);
    if (!sent.chunks.empty()) {
        const auto diff =
            std::mismatch(pictures.begin(), pictures.end(), sent.chunks.begin(), sent.chunks.end());
        EXPECT_TRUE(diff.first == pictures.end() && diff.second == sent.chunks.end())
            << "picture chunk " << (diff.first - pictures.begin()) << " differs";
    }
    avitest::TempDir dir;
    EXPECT_EQ(avitest::DecodeErrors(path, dir.Path("")), "");
    const avitest::Probe probe = avitest::ProbeFile(path);
    ASSERT_EQ(probe.streams.size(), 2u);
    EXPECT_EQ(probe.streams[0].at("codec_type"), "video");
    auto video = probe.Stream("video");
    EXPECT_EQ(video["codec_name"], codec);
    EXPECT_EQ(probe.Stream("audio")["codec_name"], "pcm_s16le");
    EXPECT_EQ(video["nb_read_frames"], count);
    EXPECT_EQ(avitest::MediaInfo(path, "Video;%FrameCount%"), count);
    EXPECT_EQ(avitest::GstPictures(path), sent.keys);

    const std::string all = avitest::GreyPictures(path, dir.Path(""));
    const size_t size = 320 * 240;
    for (int k : seeks) {
        // ffmpeg lands on the picture or the next, by how it times pictures
        // of no presentation stamp; far from a key picture either way.
        const std::string one = avitest::GreyPictures(path, dir.Path(""), (k + 0.5) / 30);
        double best = 0;
        for (int i = k; i <= k + 1; ++i)
            best = std::max(best, avitest::Psnr(one, all.substr(size_t(i) * size, size)));
        EXPECT_GE(best, 40) << "seek to " << k;
    }
}

} // namespace

// H.264, MPEG-4 and MJPEG cameras at 30 pictures a second with sound,
// recorded from their first picture, a key picture every half second, the
// pictures held back until the sound's track is in the file: video is
// still stream 0, the configuration opens the first picture's chunk and
// has none of its own, only key pictures are flagged as such, and ffmpeg,
// mediainfo and GStreamer read the file, count the pictures sent and seek
// to any of them.
TEST(ClientApiRecording, EveryReaderReadsAndSeeks)
{
    const std::pair<Model, const char*> cases[] = {
        {{0x0104, "/video/ACVS-H264.cgi", "h264"},
         "-c:v libx264 -profile:v baseline -x264-params "
         "repeat-headers=1:keyint=15:min-keyint=15:scenecut=0 -f h264"},
        {{0x0100, "/video/ACVS.cgi", "mpeg4"}, "-c:v mpeg4 -bf 0 -g 15 -f m4v"},
        {{0x0101, "/video/mjpg.cgi", "mjpeg"}, ""},
    };
    const int kPictures = 60;
    for (const auto& [c, encoder] : cases) {
        SCOPED_TRACE(c.codec);
        const bool mjpeg = std::string(c.codec) == "mjpeg";
        std::string video;
        if (mjpeg) {
            // One part more than is recorded: a picture is cut at the next.
            std::string parts;
            for (int i = 1; i <= kPictures; ++i)
                parts += (i > 1 ? "," : "") + std::string(R"({"file": "f)") + std::to_string(i) +
                         R"(.jpg"})";
            video = R"({"body": {"multipart": {"parts": [)" + parts + R"(], "fps": 30, "count": )" +
                    std::to_string(kPictures + 1) +
                    R"(, "stamp_base_ms": 1000, "stamp_step_ms": 33}}, "at_end": "stall",
                    "body_after_file": "go"})";
        } else {
            video = std::string(R"({"body": {"generator": "media_packets:acvs", "args": {"file":
                "v.es", "codec": ")") +
                    c.codec + R"(", "fps": 30, "stamp_base": 1, "end_magic": true}},
                "at_end": "stall", "body_after_file": "go"})";
        }
        const std::string audio =
            R"({"body": {"generator": "media_packets:acas", "args": {"file": "tone.raw",
            "interval_ms": 64}}, "at_end": "stall"})";
        auto cam = apitest::CameraWithRoutes("", {{c.path, video}, {"/audio/ACAS.cgi", audio}});
        const std::string d = cam->Dir() + "/";
        ASSERT_EQ(Ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=30 -frames:v " +
                         std::to_string(kPictures) + " " +
                         (mjpeg ? "-q:v 6 -start_number 1 '" + d + "f%d.jpg'"
                                : std::string(encoder) + " '" + d + "v.es'")),
                  0);
        ASSERT_EQ(Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000 -t 6 -f s16le '" + d +
                         "tone.raw'"),
                  0);
        Pictures sent;
        if (mjpeg)
            sent.keys.assign(kPictures, true);
        else
            sent = ElementaryPictures(c.codec, testsupport::ReadFile(d + "v.es"));
        ASSERT_EQ(sent.keys.size(), size_t(kPictures));

        avitest::TempDir dir;
        const std::string path = dir.Path(std::string(c.codec) + ".avi");
        void* h = apitest::Stream(c.modal, cam->Port());
        ASSERT_EQ(RiloReserveDiskFreeSpace(h, 1), 0);
        ASSERT_EQ(RiloStartRecordingStreamIn(h, 0, path.c_str(), 3), 0);
        // The pictures start once the sound's track is in the file.
        EXPECT_TRUE(Eventually(
            [&] {
                return testsupport::ReadFile(path).substr(0, 2048).find("auds") !=
                       std::string::npos;
            },
            kWait));
        testsupport::WriteFile(d + "go", "", "recording test");
        EXPECT_TRUE(Holds(path, kPictures, 1));
        EXPECT_EQ(RiloStopRecordingStreamIn(h, 0), 0);
        EXPECT_TRUE(apitest::Recording(h, 0, 0));
        EXPECT_EQ(RiloDestroyStream(h), 0);
        ExpectReadEverywhere(path, c.codec, sent, {22, 38, 52});
    }
}

// AAC cameras (H.264 at 8000 Hz mono, MJPEG at 48000 Hz stereo) recorded
// without live audio, or with live audio started and stopped meanwhile: the
// file has its sound track, and every sound chunk is the next frame of
// ffmpeg's decode of the ADTS frames the camera sent, within 1; no packet
// fails to decode.
TEST(ClientApiRecording, AacWithoutLiveAudio)
{
    struct Case {
        Model model;
        const char* videoRoute;
        int rate, channels;
        bool live; // live audio starts and stops while it records
    };
    const Case cases[] = {
        {{0x0144, "/video/ACVS-H264.cgi", "h264"},
         R"({"body": {"generator": "media_packets:acvs", "args": {"file": "a.h264", "fps": 30,
            "repeat": true}}})",
         8000,
         1,
         true},
        {{0x0141, "/video/mjpg.cgi", "mjpeg"},
         R"({"body": {"multipart": {"parts": [{"file": "f1.jpg"}, {"file": "f2.jpg"}],
            "fps": 30, "timestamps": true}}})",
         48000,
         2,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model.codec);
        const std::string aac =
            R"({"body": {"generator": "media_packets:acas", "args": {"file": "s.aac",
            "split": "adts", "tag": 4096, "rate": )" +
            std::to_string(c.rate) + R"(, "channels": )" + std::to_string(c.channels) +
            R"(, "interval_ms": )" + std::to_string(1024000.0 / c.rate) +
            R"(}}, "at_end": "stall"})";
        auto cam = apitest::CameraWithRoutes(
            "", {{c.model.path, c.videoRoute}, {"/audio/ACAS-AAC.cgi", aac}});
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
        void* h = apitest::Stream(c.model.modal, cam->Port());
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
        EXPECT_EQ(probe.Stream("video")["codec_name"], c.model.codec);
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
