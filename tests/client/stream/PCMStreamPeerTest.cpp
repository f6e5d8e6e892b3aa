// The audio stream end to end on loopback against the emulated camera, one
// connection per tag, with media that ffmpeg makes at test time and its own
// decode as the reference; and recordings of the stream read back by
// ffprobe and ffmpeg.
#include "../codec/CodecTestUtil.h"
#include "../http/HttpCtrlTestUtil.h"
#include "../record/AviTestUtil.h"
#include "DiagCapture.h"
#include "PCMStreamTestUtil.h"

#include "Common.h"
#include "record/CAVIWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
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

    Announcements Told(AudioSink& sink)
    {
        Announcements b;
        const std::string fault = sink.Blocks(&b);
        EXPECT_EQ(fault, "");
        return b;
    }
};

// The media of every route, made once, and ffmpeg's decode of each.
class PCMStreamPeer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new TempDir;
        // Two ffmpeg runs: the media, then the references and the raw blocks.
        // The AAC is stereo at 16000 Hz, without noise substitution, whose
        // generator state would differ after the frame that fails.
        const std::string tone = " -map 0 -ac 1 ";
        s_made =
            Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1"
                   " -f lavfi -i sine=frequency=1000:sample_rate=16000:duration=1" +
                   tone + "-c:a pcm_mulaw -f mulaw " + P("tone.ul") + tone + "-f s16le " +
                   P("tone.s16") + tone + "-c:a adpcm_ms -block_size 256 " + P("ms256.wav") +
                   tone + "-c:a adpcm_ms -block_size 1024 " + P("ms1024.wav") +
                   " -map 1 -ac 2 -c:a aac -b:a 64k -aac_pns 0 -f adts " + P("tone.aac")) == 0 &&
            Ffmpeg("-f mulaw -ar 8000 -ac 1 -i " + P("tone.ul") + " -i " + P("ms256.wav") +
                   " -i " + P("ms1024.wav") + " -i " + P("tone.aac") + " -map 0:a -f s16le " +
                   P("ul.s16") + " -map 1:a -f s16le " + P("ms256.s16") +
                   " -map 1:a -c copy -f data " + P("ms256") + " -map 2:a -f s16le " +
                   P("ms1024.s16") + " -map 2:a -c copy -f data " + P("ms1024") +
                   " -map 3:a -f s16le " + P("aac.s16")) == 0;
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_made); }

    static std::string P(const std::string& name) { return s_dir->Path(name); }
    static Samples Ref(const std::string& name) { return ToSamples(ReadBytes(P(name))); }

    static TempDir* s_dir;
    static bool s_made;
};

TempDir* PCMStreamPeer::s_dir = nullptr;
bool PCMStreamPeer::s_made = false;

const size_t kMsBlockSamples = 500;   // a 256-byte mono block
const size_t kMsBigSamples = 2036;    // a 1024-byte mono block
const size_t kAacFrame = 2 * 1024;    // samples of a stereo frame

} // namespace

// Every tag on its own connection: the format block before the data on
// both callbacks; u-law and MS ADPCM sample for sample as ffmpeg decodes
// them, AAC within 1; the packets as they came to the encoded-sample
// callback; sequence gaps, a duplicate, a refused tag and a huge length
// skipped or reported; a packet larger than the ones before; a block
// shorter than its header and AAC that does not decode give no PCM. The
// AAC header claims mono at 8000 Hz: the render side is told the decoded
// stream's format, the encoded side the header's.
TEST_F(PCMStreamPeer, EveryTagEndToEnd)
{
    const Bytes ms1024 = ReadBytes(P("ms1024"));
    ASSERT_GE(ms1024.size(), 1024u);
    const Bytes big(ms1024.begin(), ms1024.begin() + 1024);
    Bytes junk(300);
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = uint8_t(i * 97 + 3);
    const std::string config = R"({"routes": {
      "/ulaw": {"body": {"generator": "media_packets:acas", "args": {
          "file": ")" + P("tone.ul") + R"(", "packet_bytes": 160, "tag": 1, "stamp_base": 5,
          "interval_ms": 10, "end_magic": true,
          "faults": {"6": {"tag": 4}, "10": {"length": 4294967295}, "12": {"drop": true},
                     "15": {"seq": 14}, "20": {"rate": 16000}}}}},
      "/adpcm": {"body": {"generator": "media_packets:acas", "args": {
          "file": ")" + P("ms256") + R"(", "packet_bytes": 256, "tag": 0, "end_magic": true,
          "faults": {"5": {"payload_hex": ")" + Hex(big) + R"("},
                     "9": {"payload_hex": "0102"}}}}},
      "/pcm": {"body": {"generator": "media_packets:acas", "args": {
          "file": ")" + P("tone.s16") + R"(", "packet_bytes": 320, "tag": 16, "end_magic": true,
          "faults": {"3": {"tag": 8}, "4": {"tag": 64, "channels": 2, "rate": 16000},
                     "5": {"tag": 128}}}}},
      "/aac": {"body": {"generator": "media_packets:acas", "args": {
          "file": ")" + P("tone.aac") + R"(", "split": "adts", "tag": 4096, "channels": 1,
          "rate": 8000, "end_magic": true,
          "faults": {"5": {"payload_hex": ")" + Hex(junk) + R"("}}}}},
      "/other": {"content_type": "audio/basic", "body": {"generator": "media_packets:acas",
          "args": {"file": ")" + P("tone.ul") + R"(", "packet_bytes": 160, "tag": 1}}}}})";
    testsupport::HttpEmulator cam(config);
    const char* paths[] = {"/ulaw", "/adpcm", "/pcm", "/aac", "/other"};
    std::map<std::string, std::unique_ptr<StreamRun>> runs;
    testsupport::CaptureDiagOut(true); // some of the lines go to standard error
    for (const char* path : paths) {
        runs[path].reset(new StreamRun);
        ASSERT_TRUE(runs[path]->Start(cam.Port(), path)) << path;
    }
    for (const char* path : paths)
        EXPECT_TRUE(runs[path]->WaitClosed()) << path;
    for (const char* path : paths)
        runs[path]->Stop();
    const std::string diag = testsupport::TakeDiagOut();

    const Bytes ul = ReadBytes(P("tone.ul"));
    ASSERT_EQ(ul.size(), 8000u);
    {
        SCOPED_TRACE("u-law");
        StreamRun& r = *runs["/ulaw"];
        // Refused (6), cut by its huge length (10), never sent (12).
        std::vector<size_t> kept;
        for (size_t i = 0; i < 50; ++i)
            if (i != 6 && i != 10 && i != 12)
                kept.push_back(i);
        const Samples ref = Ref("ul.s16");
        Bytes packets;
        Samples pcm;
        for (size_t i : kept) {
            Append(&packets, Slice(ul, i * 160, 160));
            Append(&pcm, Slice(ref, i * 160, 160));
        }
        EXPECT_EQ(r.enc.Data(), packets);
        EXPECT_EQ(ToSamples(r.render.Data()), pcm);
        // The rate change of packet 20 (the 17th kept) is announced, and its undoing.
        const Announcements want({{0, {1, 16, 8000}}, {17, {1, 16, 16000}}, {18, {1, 16, 8000}}});
        EXPECT_EQ(r.Told(r.enc), want);
        EXPECT_EQ(r.Told(r.render), want);
        // Each packet with its header's stamp: the gaps are gaps.
        size_t k = 0;
        for (const Call& c : r.render.Calls()) {
            if (c.kind == 0 && k < kept.size()) {
                EXPECT_EQ(c.stamp, 5000 + 10 * (long long)kept[k++]);
            }
        }
        EXPECT_NE(diag.find("Audio Sequance ID isn't equal: Last 14, now 14\n"), std::string::npos);
        EXPECT_NE(diag.find("Audio Token is not at corrent position."), std::string::npos);
    }
    {
        SCOPED_TRACE("MS ADPCM");
        StreamRun& r = *runs["/adpcm"];
        const Bytes ms = ReadBytes(P("ms256"));
        const Samples ref = Ref("ms256.s16"), refBig = Ref("ms1024.s16");
        ASSERT_EQ(ms.size() % 256, 0u);
        const size_t blocks = ms.size() / 256;
        Bytes packets;
        Samples pcm;
        for (size_t i = 0; i < blocks; ++i) {
            if (i == 5) {
                Append(&packets, big);
                Append(&pcm, Slice(refBig, 0, kMsBigSamples));
            } else if (i == 9) {
                Append(&packets, Bytes{1, 2});
            } else {
                Append(&packets, Slice(ms, i * 256, 256));
                Append(&pcm, Slice(ref, i * kMsBlockSamples, kMsBlockSamples));
            }
        }
        EXPECT_EQ(r.enc.Data(), packets);
        EXPECT_EQ(ToSamples(r.render.Data()), pcm);
        EXPECT_EQ(r.Told(r.render), Announcements({{0, {1, 16, 8000}}}));
        EXPECT_EQ(r.Told(r.enc), Announcements({{0, {1, 16, 8000}}}));
    }
    {
        SCOPED_TRACE("PCM");
        StreamRun& r = *runs["/pcm"];
        const Bytes s16 = ReadBytes(P("tone.s16"));
        EXPECT_EQ(r.enc.Data(), s16);
        EXPECT_EQ(r.render.Data(), s16);
        // Every change of tag is announced, also one to the same sample format.
        const Announcements want({{0, {1, 16, 8000}}, {3, {1, 8, 8000}}, {4, {2, 8, 16000}},
                                       {5, {1, 16, 8000}}, {6, {1, 16, 8000}}});
        EXPECT_EQ(r.Told(r.enc), want);
        EXPECT_EQ(r.Told(r.render), want);
    }
    {
        SCOPED_TRACE("AAC");
        StreamRun& r = *runs["/aac"];
        const Samples ref = Ref("aac.s16");
        ASSERT_GT(ref.size(), 10 * kAacFrame);
        Samples want = Slice(ref, 0, 5 * kAacFrame);
        Append(&want, Slice(ref, 6 * kAacFrame, ref.size()));
        // Frame 5 did not decode: the frame after it overlaps with frame 4.
        EXPECT_LE(WorstDifference(ToSamples(r.render.Data()), want, 5 * kAacFrame, 6 * kAacFrame),
                  1);
        EXPECT_EQ(r.Told(r.render), Announcements({{0, {2, 16, 16000}}}));
        EXPECT_EQ(r.Told(r.enc), Announcements({{0, {1, 16, 8000}}}));
        // The packets as they came: the file around the bad frame, and the frame.
        std::vector<Bytes> frames;
        for (const Call& c : r.enc.Calls())
            if (c.kind == 0)
                frames.push_back(c.data);
        ASSERT_GT(frames.size(), 6u);
        EXPECT_EQ(frames[5], junk);
        Bytes head, tail;
        for (size_t i = 0; i < frames.size(); ++i)
            if (i != 5)
                Append(i < 5 ? &head : &tail, frames[i]);
        const Bytes aac = ReadBytes(P("tone.aac"));
        ASSERT_GT(aac.size(), head.size() + tail.size());
        EXPECT_TRUE(std::equal(head.begin(), head.end(), aac.begin()));
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), aac.end() - long(tail.size())));
        EXPECT_NE(diag.find("aac stream decoded and failed. return code=-1\n"), std::string::npos);
    }
    EXPECT_TRUE(runs["/other"]->enc.Calls().empty());
    EXPECT_TRUE(runs["/other"]->render.Calls().empty());
}

// Recordings of the stream alone: u-law as 16-bit PCM until a rate change
// stops it with result 2; MS ADPCM as it came, its byte rate following from
// its block size.
TEST_F(PCMStreamPeer, RecordsPCMAndMSADPCM)
{
    const std::string config = R"({"routes": {
      "/ulaw": {"body": {"generator": "media_packets:acas", "args": {
          "file": ")" + P("tone.ul") + R"(", "packet_bytes": 160, "tag": 1, "stamp_base": 5,
          "interval_ms": 20, "end_magic": true, "faults": {"30": {"rate": 16000}}}}},
      "/adpcm": {"body": {"generator": "media_packets:acas", "args": {
          "file": ")" + P("ms1024") + R"(", "packet_bytes": 1024, "tag": 0, "stamp_base": 5,
          "interval_ms": 254.5, "end_magic": true}}}}})";
    testsupport::HttpEmulator cam(config);
    StreamRun ulaw, adpcm;
    CAVIWriter *hUlaw = nullptr, *hAdpcm = nullptr;
    ASSERT_TRUE(ulaw.Start(cam.Port(), "/ulaw", &hUlaw, P("ulaw.avi")));
    ASSERT_TRUE(adpcm.Start(cam.Port(), "/adpcm", &hAdpcm, P("adpcm.avi")));
    ASSERT_TRUE(hUlaw && hAdpcm);
    EXPECT_TRUE(ulaw.WaitClosed());
    EXPECT_TRUE(adpcm.WaitClosed());
    EXPECT_EQ(ulaw.events.Count(uint32_t(rrStarted * 65536 + 2)), 1u);
    EXPECT_EQ(ulaw.events.Count(uint32_t(rrAddStreamFailed * 65536 + 2)), 1u);
    EXPECT_EQ(adpcm.events.Count(uint32_t(rrAddStreamFailed * 65536 + 2)), 0u);
    ulaw.stream->ReleaseRecorder(hUlaw);
    adpcm.stream->ReleaseRecorder(hAdpcm);
    EXPECT_EQ(ulaw.stream->UninitRecorder(), -1);
    EXPECT_EQ(adpcm.stream->UninitRecorder(), -1);

    // The format records as written, and ffmpeg's decode of each file.
    const avitest::AviFile u = avitest::ReadAvi(P("ulaw.avi"));
    ASSERT_EQ(u.error, "");
    ASSERT_EQ(u.streams.size(), 1u);
    EXPECT_EQ(u.streams[0].strf.substr(0, 16),
              std::string("\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00",
                          16)); // PCM, mono, 8000 Hz, 16000 B/s, 2-byte blocks, 16 bits
    const std::string recorded = avitest::DecodeAudio(P("ulaw.avi"), s_dir->Path(""));
    EXPECT_EQ(ToSamples(Bytes(recorded.begin(), recorded.end())),
              Slice(Ref("ul.s16"), 0, 30 * 160));

    const avitest::AviFile f = avitest::ReadAvi(P("adpcm.avi"));
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.streams.size(), 1u);
    const std::string& strf = f.streams[0].strf;
    ASSERT_GE(strf.size(), 20u);
    EXPECT_EQ(avitest::U16At(strf, 0), 2);      // MS ADPCM
    EXPECT_EQ(avitest::U32At(strf, 4), 8000u);
    EXPECT_EQ(avitest::U32At(strf, 8), 8000u * 1024 / kMsBigSamples); // bytes per second
    EXPECT_EQ(avitest::U16At(strf, 12), 1024);  // block align: the packet
    EXPECT_EQ(avitest::U16At(strf, 16), 32);
    EXPECT_EQ(avitest::U16At(strf, 18), kMsBigSamples);
    // So the file lasts as long as its samples.
    const Samples ref = Ref("ms1024.s16");
    const avitest::StreamInfo& a = f.streams[0];
    EXPECT_NEAR(double(a.Length()) * a.Scale() / a.Rate(), double(ref.size()) / 8000, 0.01);
    const std::string decoded = avitest::DecodeAudio(P("adpcm.avi"), s_dir->Path(""));
    EXPECT_EQ(ToSamples(Bytes(decoded.begin(), decoded.end())), ref);
}
