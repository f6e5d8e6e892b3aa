// The audio stream's tag rules within a pass, and packets whose format it
// must refuse, fed straight through its receive path.
#include "MediaPacketTestUtil.h"
#include "PCMStreamTestUtil.h"

#include "DiagCapture.h"

#include <gtest/gtest.h>

#include <string>

using mediatest::Cat;
using mediatest::Fill;
using mediatest::Packet;
using mediatest::PacketSpec;
using namespace pcmtest;

namespace {

const Bytes kMagic = {0x00, 0x00, 0x01, 0xF6};

struct Pkt {
    uint16_t tag, channels, rate;
    Bytes payload;
    int64_t seq = -1; // -1: one more than the packet before
};

// Audio packets with rising sequence numbers; packet i is stamped i seconds
// and 2 ms. A magic at the end lets the reader take the last one.
Bytes Body(const std::vector<Pkt>& pkts, uint32_t firstSeq)
{
    Bytes out;
    for (size_t i = 0; i < pkts.size(); ++i) {
        PacketSpec s;
        s.magic = 0xF6010000u;
        s.seq = pkts[i].seq >= 0 ? uint32_t(pkts[i].seq) : firstSeq + uint32_t(i);
        s.sec = uint32_t(i);
        s.usec = 2000;
        s.tag = pkts[i].tag;
        s.channels = pkts[i].channels;
        s.rate = pkts[i].rate;
        out = Cat({out, Packet(pkts[i].payload, s)});
    }
    return Cat({out, kMagic});
}

// A data call of this packet index: its bytes' count and stamp.
struct Want {
    unsigned long kind;
    size_t bytes;
    Block block;
    long long stamp;
};

Want B(unsigned c, unsigned bits, unsigned rate, long long at)
{
    return Want{16, 12, Block{c, bits, rate}, at * 1000 + 2};
}

Want D(size_t bytes, long long at)
{
    return Want{0, bytes, Block{}, at * 1000 + 2};
}

void ExpectCalls(AudioSink& sink, const std::vector<Want>& want)
{
    const std::vector<Call> got = sink.Calls();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].kind, want[i].kind);
        EXPECT_EQ(got[i].data.size(), want[i].bytes);
        EXPECT_EQ(got[i].stamp, want[i].stamp);
        if (want[i].kind == 16) {
            const Block b = got[i].AsBlock();
            EXPECT_TRUE(b == want[i].block) << b.channels << " " << b.bits << " " << b.rate;
        }
    }
}

} // namespace

// A pass is one walk over the buffered packets. A tag outside the table is
// read as the tag before it in the pass; with none, or after a refused one,
// it is skipped. Formats the decoders cannot take are refused, whatever the
// tag; a Microsoft ADPCM block shorter than its header gives no PCM. A
// callback set later still gets a block before its first data.
TEST(PCMStream, TagsAndFormatsOfAPass)
{
    const Bytes ulaw = Fill(160, 0x2A), pcm8 = Fill(100, 0x80);
    // Header only: two samples per channel. Predictor 0, delta 16.
    Bytes adpcmStereo = {0, 0, 16, 0, 16, 0, 1, 0, 2, 0, 3, 0, 4, 0};
    const std::vector<Pkt> first = {
        {3, 1, 8000, ulaw},            // 0 unlisted, opens the pass: skipped
        {1, 1, 8000, ulaw},            // 1 u-law: 320 bytes of PCM
        {3, 1, 8000, ulaw},            // 2 read as u-law
        {4, 1, 8000, ulaw},            // 3 refused
        {3, 1, 8000, ulaw},            // 4 after a refused tag: skipped
        {8, 1, 8000, pcm8},            // 5 8-bit, passed on
        {64, 2, 16000, pcm8},          // 6 8-bit, another format
        {16, 0, 8000, pcm8},           // 7 no channels
        {16, 9, 8000, pcm8},           // 8 too many channels
        {16, 1, 0, pcm8},              // 9 no rate
        {0, 1, 8000, Bytes{1, 2, 3}},  // 10 ADPCM block shorter than its header
        {0, 2, 8000, adpcmStereo},     // 11 ADPCM, two channels
        {128, 1, 8000, pcm8},          // 12 16-bit, passed on
    };
    FedPCMStrm s;
    AudioSink enc, render, later;
    s.SetGetEncAudioSampleCB(AudioSink::On, &enc);
    s.SetRenderCallback(AudioSink::On, &render);
    ASSERT_TRUE(s.InitDecoder());
    s.Reply("audio/ACAS");
    s.Feed(Body(first, 1), 65536);

    ExpectCalls(enc, {B(1, 16, 8000, 1), D(160, 1), D(160, 2), B(1, 8, 8000, 5), D(100, 5),
                      B(2, 8, 16000, 6), D(100, 6), B(1, 16, 8000, 10), D(3, 10),
                      B(2, 16, 8000, 11), D(14, 11), B(1, 16, 8000, 12), D(100, 12)});
    ExpectCalls(render, {B(1, 16, 8000, 1), D(320, 1), D(320, 2), B(1, 8, 8000, 5), D(100, 5),
                         B(2, 8, 16000, 6), D(100, 6), B(2, 16, 8000, 11), D(8, 11),
                         B(1, 16, 8000, 12), D(100, 12)});
    EXPECT_EQ(render.Calls()[4].data, pcm8);
    EXPECT_EQ(render.Calls()[8].data, Bytes({3, 0, 4, 0, 1, 0, 2, 0})); // older samples first

    // A new pass: an unlisted tag opens it again. AAC that fails to decode
    // reaches only the encoded-sample callback. A new render callback is told
    // the format before its first data.
    s.SetRenderCallback(AudioSink::On, &later);
    Bytes junk(400);
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = uint8_t(i * 97 + 3);
    const std::vector<Pkt> second = {
        {3, 1, 8000, ulaw}, {4096, 1, 8000, junk}, {1, 1, 8000, ulaw}};
    testsupport::CaptureDiagOut(true); // the AAC line goes to standard error
    s.Feed(Body(second, 100), 65536);
    const std::string err = testsupport::TakeDiagOut();
    ExpectCalls(later, {B(1, 16, 8000, 2), D(320, 2)});
    EXPECT_EQ(enc.Calls().size(), 13u + 4u); // AAC and u-law: a block and the data each
    EXPECT_EQ(render.Calls().size(), 11u);
    EXPECT_NE(err.find("aac stream decoded and failed. return code=-1\n"), std::string::npos);
    s.UninitDecoder();
}

TEST(PCMStream, DiagnosticsAndOtherContent)
{
    FedPCMStrm s;
    AudioSink render;
    s.SetRenderCallback(AudioSink::On, &render);
    testsupport::CaptureDiagOut();
    s.Reply("audio/ACAS");
    const Bytes ulaw = Fill(160, 0x2A);
    // The sequence number 1 comes twice.
    s.Feed(Body({{1, 1, 8000, ulaw}, {16, 0, 8000, ulaw}, {16, 1, 0, ulaw, 1}}, 1), 1000);
    const std::string out = testsupport::TakeDiagOut();
    EXPECT_NE(out.find("Content-type: : audio/ACAS\n"), std::string::npos);
    EXPECT_NE(out.find("Audio format changed!\n"), std::string::npos);
    EXPECT_NE(out.find("Audio format refused: tag 16, channels 0, rate 8000\n"), std::string::npos);
    EXPECT_NE(out.find("Audio format refused: tag 16, channels 1, rate 0\n"), std::string::npos);
    EXPECT_NE(out.find("Audio Sequance ID isn't equal: Last 2, now 1\n"), std::string::npos);
    EXPECT_EQ(render.Calls().size(), 2u);

    // Any other content: nothing is read.
    FedPCMStrm other;
    AudioSink none;
    other.SetRenderCallback(AudioSink::On, &none);
    other.Reply("audio/basic");
    other.Feed(Body({{1, 1, 8000, ulaw}}, 1), 1000);
    EXPECT_TRUE(none.Calls().empty());
}
