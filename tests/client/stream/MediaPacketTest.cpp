// The packet header codec and the framing edge cases of the three readers,
// each input fed whole and byte by byte through a worker-like buffer.
#include "DiagCapture.h"
#include "MediaPacketTestUtil.h"

#include <gtest/gtest.h>

#include <string>

using namespace mediatest;

namespace {

const uint32_t kVideo = 0xF5010000u;
const uint32_t kAudio = 0xF6010000u;

Bytes VideoMagic()
{
    return {0x00, 0x00, 0x01, 0xF5};
}
Bytes AudioMagic()
{
    return {0x00, 0x00, 0x01, 0xF6};
}

// A NAL behind a 4-byte start code, with n body bytes that hold no zero.
Bytes Nal(uint8_t header, size_t n)
{
    return Cat({{0, 0, 0, 1, header}, Fill(n, 0x11)});
}
// An MPEG-4 start code and n body bytes.
Bytes Code4(uint8_t code, size_t n)
{
    return Cat({{0, 0, 1, code}, Fill(n, 0x22)});
}

Bytes VPacket(const Bytes& payload, uint32_t seq, uint32_t sec = 0, uint32_t usec = 0,
              int64_t lengthDelta = 0)
{
    PacketSpec s;
    s.magic = kVideo;
    s.seq = seq;
    s.sec = sec;
    s.usec = usec;
    s.lengthDelta = lengthDelta;
    return Packet(payload, s);
}

PacketSpec Audio(uint32_t seq)
{
    PacketSpec s;
    s.magic = kAudio;
    s.seq = seq;
    s.sec = 1;
    s.usec = 999999;
    s.tag = 1;
    s.channels = 1;
    s.rate = 8000;
    s.bits = 16;
    return s;
}

Got V(const Bytes& data, int64_t stamp, uint32_t seq)
{
    return Got{data, stamp, seq};
}
Got A(const Bytes& data, uint32_t seq)
{
    return Got{data, 1999, seq, 1, 1, 8000};
}

enum Kind { H264Framed, H264Raw, MPEG4Framed, MPEG4Raw, AudioWalk };

struct Case {
    const char* name;
    Kind kind;
    Bytes input;
    std::vector<Got> want;
    std::vector<std::string> says; // diagnostics of a whole feed; none: it says nothing
    uint32_t arrivals = 0;         // framed video, whole feed
    size_t left = size_t(-1);      // bytes still buffered after a whole feed (-1: not checked)
    uint32_t cap = 65536;
};

FeedResult Feed(const Case& c, size_t chunk, std::string* said)
{
    testsupport::CaptureDiagOut();
    FeedResult run;
    if (c.kind == AudioWalk) {
        CAudioPacketReader reader;
        run = DriveAudio(reader, c.input, c.cap, chunk);
    } else {
        const bool h264 = c.kind == H264Framed || c.kind == H264Raw;
        CVideoPacketReader reader(h264 ? CVideoPacketReader::codecH264
                                       : CVideoPacketReader::codecMPEG4);
        const bool raw = c.kind == H264Raw || c.kind == MPEG4Raw;
        reader.SetForm(raw ? CVideoPacketReader::formRaw : CVideoPacketReader::formFramed);
        run = DriveVideo(reader, c.input, c.cap, chunk);
    }
    *said = testsupport::TakeDiagOut();
    return run;
}

std::vector<Case> Cases()
{
    const Bytes h1 = Nal(0x65, 20), h2 = Nal(0x41, 30), h3 = Nal(0x41, 11);
    const Bytes config = Cat({Code4(0xB0, 1), Code4(0xB5, 2), Code4(0x00, 0), Code4(0x20, 9)});
    const Bytes vop1 = Code4(0xB6, 12), vop2 = Code4(0xB6, 20), vop3 = Code4(0xB6, 5);
    const Bytes p1 = Fill(160, 0x5A), p2 = Fill(160, 0x6B), p3 = Fill(80, 0x7C);
    const Bytes a1 = Packet(p1, Audio(1)), a2 = Packet(p2, Audio(2)), a3 = Packet(p3, Audio(3));
    PacketSpec huge = Audio(9);
    huge.lengthSet = true;
    huge.length = 0xFFFFFFFFu;
    PacketSpec beyond = Audio(10);
    beyond.lengthSet = true;
    beyond.length = 200 - 40 - 3; // with the next magic, 1 byte more than the buffer
    PacketSpec dup = Audio(2);
    const std::string stray =
        "Audio Token is not at corrent position. position:" + std::to_string(a1.size() + 3) +
        ", Read:" + std::to_string(a1.size() + 3 + a2.size() + a3.size() + 4);
    return {
        {"a video packet waits for the next magic",
         H264Framed,
         VPacket(h1, 7),
         {},
         {},
         0,
         h1.size() + 40},
        {"the next magic cuts it; 1 s 999999 us is stamp 1999",
         H264Framed,
         Cat({VPacket(h1, 7, 1, 999999), VideoMagic()}),
         {V(h1, 1999, 7)},
         {},
         1,
         4},
        {"seconds 2^32-1 give a stamp above 2^32",
         H264Framed,
         Cat({VPacket(h1, 1, 0xFFFFFFFFu, 999999), VideoMagic()}),
         {V(h1, 4294967295999LL, 1)},
         {},
         1},
        {"a payload length off by one is dropped, the next packet is read",
         H264Framed,
         Cat({VPacket(h1, 1, 0, 0, 1), VPacket(h2, 2), VideoMagic()}),
         {V(h2, 0, 2)},
         {"Len dismatch. Payloadlen:" + std::to_string(h1.size() + 1) +
          ", Actual: " + std::to_string(h1.size())},
         2},
        {"a packet of 40 bytes or fewer is skipped silently",
         H264Framed,
         Cat({VideoMagic(), Fill(36, 0x33), VPacket(h2, 2), VideoMagic()}),
         {V(h2, 0, 2)},
         {},
         1},
        {"a payload without the 4-byte start code is dropped",
         H264Framed,
         Cat({VPacket(Bytes(h1.begin() + 1, h1.end()), 1), VPacket(h2, 2), VideoMagic()}),
         {V(h2, 0, 2)},
         {"pTestData is "},
         1},
        {"a packet under 45 bytes is dropped, not read into the next magic",
         H264Framed,
         Cat({VPacket({0, 0, 0, 1}, 1), VPacket(h2, 2), VideoMagic()}),
         {V(h2, 0, 2)},
         {"pTestData is 2C, pPacket is 0"},
         1},
        {"a full buffer keeps its last bytes, so a magic across the end is found",
         H264Framed,
         Cat({Fill(198, 0x44), VPacket(h3, 3), VideoMagic()}),
         {V(h3, 0, 3)},
         {"Content buffer full!!,3"},
         1,
         size_t(-1),
         200},
        {"raw H.264: junk dropped, SPS PPS IDR one unit, units start at SPS or slice",
         H264Raw,
         Cat({Fill(5, 0x33), Nal(0x67, 6), Nal(0x68, 3), Nal(0x07, 2), h1, h2, h3, Nal(0x67, 4)}),
         {V(Cat({Nal(0x67, 6), Nal(0x68, 3), Nal(0x07, 2), h1}), 0, 0), V(h2, 0, 0), V(h3, 0, 0)},
         {"pTestData is 5, pPacket is 0"}},
        {"framed MPEG-4: configuration and picture in one payload give two units",
         MPEG4Framed,
         Cat({VPacket(Cat({config, vop1}), 4, 2, 500), VPacket(vop2, 5, 2, 40000), VideoMagic()}),
         {V(config, 2000, 4), V(vop1, 2000, 4), V(vop2, 2040, 5)},
         {},
         2},
        {"framed MPEG-4: a payload without a start code and a wrong length are skipped "
         "silently; a short plane (a placeholder) is not",
         MPEG4Framed,
         Cat({VPacket(Fill(20, 0x55), 1), VPacket(vop1, 2, 0, 0, -1), VPacket(Code4(0xB6, 2), 3),
              VPacket(vop2, 4), VideoMagic()}),
         {V(Code4(0xB6, 2), 0, 3), V(vop2, 0, 4)},
         {},
         3},
        {"raw MPEG-4: junk dropped, configuration first, VOP to VOP",
         MPEG4Raw,
         Cat({Fill(10, 0x66), config, vop1, vop2, vop3}),
         {V(config, 0, 0), V(vop1, 0, 0), V(vop2, 0, 0)},
         {}},
        {"audio packets with their format; the last waits for all of the next magic",
         AudioWalk,
         Cat({a1, a2, {0, 0, 1}}),
         {A(p1, 1)},
         {},
         0,
         a2.size() + 3},
        {"audio stray bytes before the next magic: packet dropped, the rest read",
         AudioWalk,
         Cat({a1, {0xAB, 0xCD, 0xEF}, a2, a3, AudioMagic()}),
         {A(p2, 2), A(p3, 3)},
         {stray}},
        {"an audio sequence number equal to the last is reported and used",
         AudioWalk,
         Cat({a2, Packet(p1, dup), AudioMagic()}),
         {A(p2, 2), A(p1, 2)},
         {"Audio Sequance ID isn't equal: Last 2, now 2"}},
        {"a huge audio length resynchronises at the next magic",
         AudioWalk,
         Cat({Packet(Fill(10, 1), huge), a2, a3, AudioMagic()}),
         {A(p2, 2), A(p3, 3)},
         {"Audio Token is not at corrent position. position:50"}},
        {"an audio packet that cannot fit the buffer resynchronises",
         AudioWalk,
         Cat({Packet(Fill(157, 2), beyond), a3, AudioMagic()}),
         {A(p3, 3)},
         {"Audio Token is not at corrent position."},
         0,
         4,
         200},
        {"junk at the start of the buffer is skipped to the first magic",
         AudioWalk,
         Cat({Fill(7, 0x99), a1, a2, AudioMagic()}),
         {A(p1, 1), A(p2, 2)},
         {"Audio Token is not at corrent position. position:7"}},
    };
}

} // namespace

TEST(MediaPacketHeader, EncodesAndDecodesEveryFieldAtItsOffset)
{
    PacketSpec s;
    s.magic = kAudio;
    s.seq = 0x01020304;
    s.sec = 0xA0B0C0D0;
    s.usec = 999999;
    s.lengthSet = true;
    s.length = 0x11223344;
    s.tag = 4096;
    s.channels = 2;
    s.rate = 44100;
    s.bits = 16;
    const Bytes wire = Packet({}, s);
    const MediaPacketHeader h = MediaPacketHeader::Decode(wire.data());
    EXPECT_EQ(h.dwMagic, MediaPacketHeader::kAudioMagic);
    EXPECT_EQ(h.dwHeaderLen, 40u);
    EXPECT_EQ(h.dwPayloadLen, 0x11223344u);
    EXPECT_EQ(h.dwSequence, 0x01020304u);
    EXPECT_EQ(h.wFormatTag, 4096);
    EXPECT_EQ(h.wChannels, 2);
    EXPECT_EQ(h.wSampleRate, 44100);
    EXPECT_EQ(h.wBitsPerSample, 16);
    EXPECT_EQ(h.Stamp(), 0xA0B0C0D0LL * 1000 + 999);
    Bytes back(40, 0xEE);
    h.Encode(back.data());
    EXPECT_EQ(back, wire);
}

TEST(MediaPacketReaders, FramingEdgeCases)
{
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        std::string said;
        const FeedResult whole = Feed(c, c.input.size(), &said);
        EXPECT_FALSE(whole.stuck);
        EXPECT_EQ(whole.units, c.want);
        if (c.kind == H264Framed || c.kind == MPEG4Framed) {
            EXPECT_EQ(whole.arrivals, c.arrivals);
        }
        if (c.left != size_t(-1)) {
            EXPECT_EQ(whole.left, c.left);
        }
        if (c.says.empty()) {
            EXPECT_EQ(said, "");
        }
        for (auto& text : c.says)
            EXPECT_NE(said.find(text), std::string::npos) << said;
        // Byte by byte the resume offsets and compaction must give the same.
        for (size_t chunk : {size_t(1), size_t(7)}) {
            const FeedResult parts = Feed(c, chunk, &said);
            EXPECT_FALSE(parts.stuck);
            EXPECT_EQ(parts.units, c.want) << "chunks of " << chunk;
        }
    }
}
