// The H.264 stream's splitting on hand-made units, through its receive
// path without a connection: which pieces reach the feeding step.
#include "MediaPacketTestUtil.h"
#include "VideoStreamTestUtil.h"
#include "stream/H264Units.h"

#include <gtest/gtest.h>

using mediatest::Cat;
using mediatest::Packet;
using mediatest::PacketSpec;
using vstest::Bytes;
using vstest::FedVideoStream;

namespace {

Bytes Nal(uint8_t header, size_t body, bool longCode = true)
{
    Bytes out = longCode ? Bytes{0, 0, 0, 1, header} : Bytes{0, 0, 1, header};
    for (size_t i = 0; i < body; ++i)
        out.push_back(uint8_t(0x40 + i % 64));
    return out;
}

const Bytes kSps = Nal(0x67, 12), kPps = Nal(0x68, 4), kSei = Nal(0x06, 300), kAud = Nal(0x09, 1),
            kIdr = Nal(0x65, 200), kP = Nal(0x41, 80);

std::vector<Bytes> Fed(const std::vector<vstest::Piece>& pieces)
{
    std::vector<Bytes> out;
    for (const auto& p : pieces)
        out.push_back(p.data);
    return out;
}

} // namespace

TEST(VideoStreamCut, H264RawKeepsKeyPicturesApart)
{
    // Parameter sets, SEI and IDR in one raw unit, a slice with a 3-byte start code.
    const Bytes idrShort = Nal(0x65, 200, false);
    const Bytes body = Cat({kSps, kPps, kSei, kIdr, kP, kP, kSps, kPps, idrShort, kP, kP});
    FedVideoStream<CHTTPH264Stream> s(4096);
    s.Reply("video/h264");
    s.Feed(body, 7);
    const std::vector<Bytes> want = {Cat({kSps, kPps, kSei}),   kIdr, kP, kP, Cat({kSps, kPps}),
                                     Cat({Bytes{0}, idrShort}), kP};
    EXPECT_EQ(Fed(s.fed), want); // the last slice waits for the next start
    EXPECT_EQ(H264ConfigSpan(want[0].data(), uint32_t(want[0].size())), kSps.size() + kPps.size());
    EXPECT_TRUE(HasH264IDR(want[1].data(), uint32_t(want[1].size())));
    EXPECT_FALSE(HasH264IDR(want[2].data(), uint32_t(want[2].size())));
}

TEST(VideoStreamCut, H264FramedSkipsLeadingSeiOfAnyLength)
{
    PacketSpec spec;
    spec.sec = 7;
    const Bytes body =
        Cat({Packet(Cat({kAud, kSei, kSps, kPps, kIdr}), spec), Packet(Cat({kSei}), spec),
             Packet(Cat({kSei, kP}), spec), Packet(kP, spec), Bytes{0, 0, 1, 0xF5}});
    FedVideoStream<CHTTPH264Stream> s;
    s.Reply("video/ACVS");
    s.Feed(body, 1000);
    const std::vector<Bytes> want = {Cat({kSps, kPps}), kIdr, kP, kP};
    EXPECT_EQ(Fed(s.fed), want);
    for (const auto& p : s.fed)
        EXPECT_EQ(p.stamp, 7000);
}
