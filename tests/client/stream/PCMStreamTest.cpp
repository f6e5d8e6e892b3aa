// The audio stream's tag rules within a pass, and packets whose format it
// must refuse, fed straight through its receive path.
#include "DiagCapture.h"
#include "MediaPacketTestUtil.h"
#include "PCMStreamTestUtil.h"

#include <gtest/gtest.h>

#include <string>

using mediatest::Fill;
using namespace pcmtest;

namespace {

struct Pkt {
    uint16_t tag, channels, rate;
    Bytes payload;
    int64_t seq = -1; // -1: one more than the packet before
};

// Audio packets from sequence number 1 on, packet i stamped i seconds and
// 2 ms, and a magic at the end so that the reader takes the last one.
Bytes Body(const std::vector<Pkt>& pkts)
{
    Bytes out;
    for (size_t i = 0; i < pkts.size(); ++i) {
        mediatest::PacketSpec s;
        s.magic = 0xF6010000u;
        s.seq = pkts[i].seq >= 0 ? uint32_t(pkts[i].seq) : uint32_t(i + 1);
        s.sec = uint32_t(i);
        s.usec = 2000;
        s.tag = pkts[i].tag;
        s.channels = pkts[i].channels;
        s.rate = pkts[i].rate;
        out = mediatest::Cat({out, mediatest::Packet(pkts[i].payload, s)});
    }
    return mediatest::Cat({out, Bytes{0x00, 0x00, 0x01, 0xF6}});
}

} // namespace

// A pass is one walk over the buffered packets. A tag outside the table is
// read as the tag before it in the pass; with none, or after a refused one,
// it is skipped. Formats the decoders cannot take are refused whatever the
// tag; a Microsoft ADPCM block shorter than its header and AAC that does not
// decode give no PCM; a larger block gets all its samples. A callback set
// later gets a block before its data.
TEST(PCMStream, TagsAndFormatsOfAPass)
{
    const Bytes ulaw = Fill(160, 0x2A), pcm8 = Fill(100, 0x80);
    // A header-only stereo block: predictors 0, deltas 16, then the samples.
    const Bytes adpcm = {0, 0, 16, 0, 16, 0, 1, 0, 2, 0, 3, 0, 4, 0};
    // A larger mono block after it: the output grows with the packet.
    Bytes adpcmMono = {0, 16, 0, 0, 0, 0, 0};
    adpcmMono.resize(256, 0x17);
    Bytes junk(400);
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = uint8_t(i * 97 + 3);
    FedPCMStrm s;
    AudioSink enc, render, later;
    s.SetGetEncAudioSampleCB(AudioSink::On, &enc);
    s.SetRenderCallback(AudioSink::On, &render);
    ASSERT_TRUE(s.InitDecoder());
    testsupport::CaptureDiagOut(true); // the AAC line goes to standard error
    s.Reply("audio/ACAS");
    s.Feed(Body({{3, 1, 8000, ulaw},      // unlisted, opens the pass: skipped
                 {1, 1, 8000, ulaw},      // u-law
                 {3, 1, 8000, ulaw},      // read as u-law
                 {4, 1, 8000, ulaw},      // refused
                 {3, 1, 8000, ulaw, 4},   // after a refused tag: skipped
                 {8, 1, 8000, pcm8},      // 8-bit, passed on
                 {64, 2, 16000, pcm8},    // 8-bit, another format
                 {16, 0, 8000, pcm8},     // no channels
                 {16, 9, 8000, pcm8},     // too many channels
                 {16, 1, 0, pcm8},        // no rate
                 {0, 1, 8000, {1, 2, 3}}, // ADPCM shorter than its header
                 {0, 2, 8000, adpcm},     // ADPCM, two channels
                 {0, 1, 8000, adpcmMono}, // ADPCM, 500 samples
                 {128, 1, 8000, pcm8}}),  // 16-bit, passed on
           65536);
    EXPECT_EQ(enc.Describe(), "{1,16,8000} 2x160 {1,8,8000} 100 {2,8,16000} 100 {1,16,8000} 3 "
                              "{2,16,8000} 14 {1,16,8000} 256 {1,16,8000} 100");
    EXPECT_EQ(render.Describe(), "{1,16,8000} 2x320 {1,8,8000} 100 {2,8,16000} 100 {2,16,8000} "
                                 "8 {1,16,8000} 1000 {1,16,8000} 100");
    EXPECT_EQ(render.Calls()[4].data, pcm8);
    EXPECT_EQ(render.Calls()[4].stamp, 5002);
    EXPECT_EQ(render.Calls()[8].data, Bytes({3, 0, 4, 0, 1, 0, 2, 0})); // older samples first

    // A new pass: an unlisted tag opens it again.
    s.SetRenderCallback(AudioSink::On, &later);
    s.Feed(Body({{3, 1, 8000, ulaw}, {4096, 1, 8000, junk}, {1, 1, 8000, ulaw, 2}}), 65536);
    const std::string diag = testsupport::TakeDiagOut();
    EXPECT_EQ(later.Describe(), "{1,16,8000} 320");
    EXPECT_EQ(enc.Calls().size(), 15u + 4u); // AAC and u-law: a block and the data each
    EXPECT_EQ(render.Calls().size(), 13u);
    s.UninitDecoder();
    for (const char* line : {"Content-type: : audio/ACAS\n", "Audio format changed!\n",
                             "Audio format refused: tag 16, channels 0, rate 8000\n",
                             "Audio format refused: tag 16, channels 1, rate 0\n",
                             "Audio Sequance ID isn't equal: Last 4, now 4\n",
                             "aac stream decoded and failed. return code=-1\n"})
        EXPECT_NE(diag.find(line), std::string::npos) << line;

    // Any other content: nothing is read.
    FedPCMStrm other;
    AudioSink none;
    other.SetRenderCallback(AudioSink::On, &none);
    other.Reply("audio/basic");
    other.Feed(Body({{1, 1, 8000, ulaw}}), 1000);
    EXPECT_TRUE(none.Calls().empty());
}
