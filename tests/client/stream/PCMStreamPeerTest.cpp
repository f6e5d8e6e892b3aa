// The audio stream end to end on loopback against the emulated camera, one
// connection per tag, with media that ffmpeg makes at test time and its own
// decode as the reference; the recordings' format records read back and
// their audio decoded by ffmpeg.
#include "../codec/CodecTestUtil.h"
#include "../http/HttpCtrlTestUtil.h"
#include "../record/AviTestUtil.h"
#include "DiagCapture.h"
#include "PCMStreamTestUtil.h"

#include "record/CAVIWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace pcmtest;
using avitest::Ffmpeg;
using avitest::TempDir;
using codectest::ReadBytes;
using codectest::ToSamples;
using httptest::Recorder;

namespace {

typedef std::vector<int16_t> Samples;

template <class V>
V Slice(const V& v, size_t from, size_t count)
{
    from = std::min(from, v.size());
    return V(v.begin() + long(from), v.begin() + long(std::min(v.size(), from + count)));
}

template <class V>
void Append(V* to, const V& v)
{
    to->insert(to->end(), v.begin(), v.end());
}

std::string Hex(const Bytes& b)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t v : b) {
        out += kDigits[v >> 4];
        out += kDigits[v & 15];
    }
    return out;
}

// The largest difference outside [skipFrom, skipTo); a huge one when the
// sizes differ.
int WorstDifference(const Samples& ours, const Samples& ref, size_t skipFrom, size_t skipTo)
{
    if (ours.size() != ref.size())
        return 1 << 20;
    int worst = 0;
    for (size_t i = 0; i < ref.size(); ++i)
        if (i < skipFrom || i >= skipTo)
            worst = std::max(worst, std::abs(int(ours[i]) - int(ref[i])));
    return worst;
}

// One audio stream to the emulated camera, with both callbacks and its
// owner's events.
struct StreamRun {
    Recorder events;
    AudioSink enc, render;
    CHTTPPCMStrm* stream = nullptr;

    bool Start(int port, const std::string& path, CAVIWriter** pRecording = nullptr,
               const std::string& file = "")
    {
        stream = new CHTTPPCMStrm(1124, false, 2);
        events.stream = reinterpret_cast<unsigned long>(stream);
        stream->SetNotifyMessageCB(Recorder::OnEvent, &events);
        if (!stream->Create()) {
            stream->Destroy();
            stream = nullptr;
            return false;
        }
        stream->SetGetEncAudioSampleCB(AudioSink::On, &enc);
        stream->SetRenderCallback(AudioSink::On, &render);
        stream->InitDecoder();
        if (pRecording) {
            // Audio alone: nothing to wait for.
            stream->SetVideoRecordingFirst(false);
            *pRecording = stream->InitRecorder(file.c_str(), nullptr);
        }
        return stream->Connect("127.0.0.1", unsigned(port), path.c_str(), false) != 0;
    }
    // The body is read to its end once the camera's close is reported.
    bool WaitClosed()
    {
        return httptest::Eventually(
            [&] {
                return events.Count(httptest::ConnEvent(cerClosed)) +
                           events.Count(httptest::ConnEvent(cerClosedError)) >
                       0;
            },
            30);
    }
    void Stop()
    {
        if (!stream)
            return;
        stream->UninitDecoder();
        stream->Destroy();
        stream = nullptr;
    }
    ~StreamRun() { Stop(); }
};

const size_t kMsBlockSamples = 2036; // in a 1024-byte mono block
const size_t kAacFrame = 2 * 1024;   // samples of a stereo frame

} // namespace

// Every tag on its own connection: the format block before the data on
// both callbacks; u-law and MS ADPCM sample for sample as ffmpeg decodes
// them, AAC within 1; the packets as they came to the encoded-sample
// callback; a refused tag, a huge length and a lost packet skipped, a
// duplicate reported; AAC that does not decode gives no PCM, and with a
// header that claims mono at 8000 Hz the render side is told the decoded
// format. The PCM and MS ADPCM streams are recorded: PCM until its format
// changes (result 2), MS ADPCM as it came with its byte rate following from
// its block size; ffmpeg decodes both files to the camera's audio.
TEST(PCMStreamPeer, EveryTagEndToEnd)
{
    TempDir dir;
    auto P = [&](const std::string& name) { return dir.Path(name); };
    auto Ref = [&](const std::string& name) { return ToSamples(ReadBytes(P(name))); };
    // Two ffmpeg runs: the media, then the references and the raw blocks.
    // The AAC is stereo at 16000 Hz, without noise substitution, whose
    // generator state would differ after the frame that fails.
    const std::string tone = " -map 0 -ac 1 ";
    ASSERT_EQ(Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1"
                     " -f lavfi -i sine=frequency=1000:sample_rate=16000:duration=1" +
                     tone + "-c:a pcm_mulaw -f mulaw " + P("tone.ul") + tone + "-f s16le " +
                     P("tone.s16") + tone + "-c:a adpcm_ms -block_size 1024 " + P("ms.wav") +
                     " -map 1 -ac 2 -c:a aac -b:a 64k -aac_pns 0 -f adts " + P("tone.aac")),
              0);
    ASSERT_EQ(Ffmpeg("-f mulaw -ar 8000 -ac 1 -i " + P("tone.ul") + " -i " + P("ms.wav") + " -i " +
                     P("tone.aac") + " -map 0:a -f s16le " + P("ul.s16") + " -map 1:a -f s16le " +
                     P("ms.s16") + " -map 1:a -c copy -f data " + P("ms") + " -map 2:a -f s16le " +
                     P("aac.s16")),
              0);
    Bytes junk(300);
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = uint8_t(i * 97 + 3);
    const std::string acas = R"({"body": {"generator": "media_packets:acas", "args": {
        "end_magic": true, "stamp_base": 5, "file": ")";
    testsupport::HttpEmulator cam(R"({"routes": {
      "/ulaw": )" + acas + P("tone.ul") +
                                  R"(", "packet_bytes": 160, "tag": 1, "interval_ms": 10,
          "faults": {"6": {"tag": 4}, "10": {"length": 4294967295}, "12": {"drop": true},
                     "15": {"seq": 14}, "20": {"rate": 16000}}}}},
      "/adpcm": )" + acas + P("ms") +
                                  R"(", "packet_bytes": 1024, "tag": 0}}},
      "/pcm": )" + acas + P("tone.s16") +
                                  R"(", "packet_bytes": 320, "tag": 16,
          "faults": {"3": {"tag": 8}, "4": {"tag": 64, "channels": 2, "rate": 16000},
                     "5": {"tag": 128}}}}},
      "/aac": )" + acas + P("tone.aac") +
                                  R"(", "split": "adts", "tag": 4096, "channels": 1,
          "rate": 8000, "faults": {"5": {"payload_hex": ")" +
                                  Hex(junk) + R"("}}}}}}})");
    std::map<std::string, StreamRun> runs;
    std::map<std::string, CAVIWriter*> files = {{"/adpcm", nullptr}, {"/pcm", nullptr}};
    testsupport::CaptureDiagOut(true); // some of the lines go to standard error
    for (const char* path : {"/ulaw", "/adpcm", "/pcm", "/aac"}) {
        CAVIWriter** file = files.count(path) ? &files[path] : nullptr;
        ASSERT_TRUE(runs[path].Start(cam.Port(), path, file, P(path + 1) + ".avi")) << path;
    }
    for (auto& r : runs)
        EXPECT_TRUE(r.second.WaitClosed()) << r.first;
    for (auto& f : files) {
        runs[f.first].stream->ReleaseRecorder(f.second);
        EXPECT_EQ(runs[f.first].stream->UninitRecorder(), -1); // the file is kept
    }
    for (auto& r : runs)
        r.second.Stop();
    const std::string diag = testsupport::TakeDiagOut();
    EXPECT_NE(diag.find("Audio Sequance ID isn't equal: Last 14, now 14\n"), std::string::npos);
    EXPECT_NE(diag.find("aac stream decoded and failed. return code=-1\n"), std::string::npos);

    {
        SCOPED_TRACE("u-law");
        StreamRun& r = runs["/ulaw"];
        const Bytes ul = ReadBytes(P("tone.ul"));
        const Samples ref = Ref("ul.s16");
        ASSERT_EQ(ul.size(), 8000u);
        Bytes packets;
        Samples pcm;
        for (size_t i = 0; i < 50; ++i) {
            if (i == 6 || i == 10 || i == 12) // refused, huge length, never sent
                continue;
            Append(&packets, Slice(ul, i * 160, 160));
            Append(&pcm, Slice(ref, i * 160, 160));
        }
        EXPECT_EQ(r.enc.Data(), packets);
        EXPECT_EQ(ToSamples(r.render.Data()), pcm);
        EXPECT_EQ(r.render.Describe(), "{1,16,8000} 17x320 {1,16,16000} 320 {1,16,8000} 29x320");
        EXPECT_EQ(r.enc.Describe(), "{1,16,8000} 17x160 {1,16,16000} 160 {1,16,8000} 29x160");
        EXPECT_EQ(r.render.Calls().back().stamp, 5000 + 10 * 49);
    }
    {
        SCOPED_TRACE("MS ADPCM");
        StreamRun& r = runs["/adpcm"];
        const Bytes ms = ReadBytes(P("ms"));
        const Samples ref = Ref("ms.s16");
        ASSERT_EQ(ms.size(), 4u * 1024);
        EXPECT_EQ(r.enc.Data(), ms);
        EXPECT_EQ(ToSamples(r.render.Data()), ref);
        EXPECT_EQ(r.render.Describe(), "{1,16,8000} 4x" + std::to_string(2 * kMsBlockSamples));
        EXPECT_EQ(r.enc.Describe(), "{1,16,8000} 4x1024");
        EXPECT_EQ(r.events.Count(uint32_t(rrStarted * 65536 + 2)), 1u);

        const avitest::AviFile a = avitest::ReadAvi(P("adpcm.avi"));
        ASSERT_TRUE(a.error.empty() && a.streams.size() == 1);
        const std::string& f = a.streams[0].strf;
        ASSERT_GE(f.size(), 20u);
        EXPECT_EQ(avitest::U16At(f, 0), 2); // MS ADPCM
        EXPECT_EQ(avitest::U32At(f, 4), 8000u);
        EXPECT_EQ(avitest::U32At(f, 8), 8000u * 1024 / kMsBlockSamples); // bytes per second
        EXPECT_EQ(avitest::U16At(f, 12), 1024);                          // block align: the packet
        EXPECT_EQ(avitest::U16At(f, 16), 32);
        EXPECT_EQ(avitest::U16At(f, 18), kMsBlockSamples);
        // So the file lasts as long as its samples.
        const avitest::StreamInfo& info = a.streams[0];
        EXPECT_NEAR(double(info.Length()) * info.Scale() / info.Rate(), double(ref.size()) / 8000,
                    0.01);
        const std::string decoded = avitest::DecodeAudio(P("adpcm.avi"), dir.Path(""));
        EXPECT_EQ(ToSamples(Bytes(decoded.begin(), decoded.end())), ref);
    }
    {
        SCOPED_TRACE("PCM");
        StreamRun& r = runs["/pcm"];
        const Bytes s16 = ReadBytes(P("tone.s16"));
        EXPECT_EQ(r.enc.Data(), s16);
        EXPECT_EQ(r.render.Data(), s16);
        // Every change of tag is announced, also one to the same sample format.
        const std::string want =
            "{1,16,8000} 3x320 {1,8,8000} 320 {2,8,16000} 320 {1,16,8000} 320 {1,16,8000} 44x320";
        EXPECT_EQ(r.enc.Describe(), want);
        EXPECT_EQ(r.render.Describe(), want);

        // The recording ends at the first change: one start, one result 2.
        EXPECT_EQ(r.events.Count(uint32_t(rrStarted * 65536 + 2)), 1u);
        EXPECT_EQ(r.events.Count(uint32_t(rrAddStreamFailed * 65536 + 2)), 1u);
        const avitest::AviFile u = avitest::ReadAvi(P("pcm.avi"));
        ASSERT_TRUE(u.error.empty() && u.streams.size() == 1);
        // PCM, mono, 8000 Hz, 16000 B/s, 2-byte blocks, 16 bits.
        EXPECT_EQ(
            u.streams[0].strf.substr(0, 16),
            std::string("\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00", 16));
        const std::string decoded = avitest::DecodeAudio(P("pcm.avi"), dir.Path(""));
        EXPECT_EQ(Bytes(decoded.begin(), decoded.end()), Slice(s16, 0, 3 * 320));
    }
    {
        SCOPED_TRACE("AAC");
        StreamRun& r = runs["/aac"];
        const Samples ref = Ref("aac.s16");
        ASSERT_GT(ref.size(), 10 * kAacFrame);
        Samples want = Slice(ref, 0, 5 * kAacFrame);
        Append(&want, Slice(ref, 6 * kAacFrame, ref.size()));
        // Frame 5 did not decode: the frame after it overlaps with frame 4.
        EXPECT_LE(WorstDifference(ToSamples(r.render.Data()), want, 5 * kAacFrame, 6 * kAacFrame),
                  1);
        const std::string told = r.render.Describe();
        EXPECT_EQ(told.substr(0, told.find(' ')), "{2,16,16000}");
        EXPECT_EQ(std::count(told.begin(), told.end(), '{'), 1);
        const std::vector<Call> enc = r.enc.Calls();
        ASSERT_GT(enc.size(), 6u);
        EXPECT_EQ(r.enc.Describe().substr(0, 12), "{1,16,8000} ");
        EXPECT_EQ(enc[6].data, junk); // the packet as it came
        EXPECT_EQ(enc.size(), ref.size() / kAacFrame + 1);
    }
}
