// The sample codecs on their own: IMA ADPCM state handling, G.711 values
// and round trips, and Microsoft ADPCM blocks that a camera could get wrong.
#include "codec/CAdpcmDecoder.h"
#include "codec/CAdpcmEncoder.h"
#include "codec/G711.h"

#include "CodecTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace codectest;

namespace {

// The decoder with its state in view.
class ImaDecoder : public CAdpcmDecoder {
public:
    ImaDecoder() : CAdpcmDecoder(16) {}
    int Predictor() const { return m_predictor; }
    int Index() const { return m_index; }
};

std::vector<int16_t> ImaDecode(ImaDecoder& dec, const Bytes& in, signed char index, short pred)
{
    Bytes out(in.size() * 4);
    EXPECT_EQ(int(out.size()), dec.Decode(in.data(), out.data(), long(in.size()), index, pred));
    return ToSamples(out);
}

std::vector<int16_t> Sine(size_t n, double amplitude, double period)
{
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * double(i) / period)));
    return s;
}

// Decodes a block from a buffer of exactly its size, into an output that
// carries a guard pattern after the room the decoder may use.
std::vector<int16_t> DecodeBlock(const Bytes& block, unsigned channels)
{
    const size_t room = CAdpcmDecoder::MSOutputSize(block.size(), channels);
    Bytes out(room + 64, 0xA5);
    Bytes exact(block);
    const int n = CAdpcmDecoder::DecodeMS(exact.data(), out.data(), exact.size(), channels);
    EXPECT_EQ(size_t(n), room);
    for (size_t i = room; i < out.size(); ++i)
        EXPECT_EQ(0xA5, out[i]) << "written past the output at " << i;
    return ToSamples(out.data(), size_t(n));
}

Bytes MonoHeader(uint8_t predictor, int16_t delta, int16_t s1, int16_t s2)
{
    Bytes b{predictor};
    PutLE16(b, uint16_t(delta));
    PutLE16(b, uint16_t(s1));
    PutLE16(b, uint16_t(s2));
    return b;
}

}  // namespace

TEST(ImaAdpcm, StateStepsAndBitDepth)
{
    try {
        CAdpcmDecoder bad(8);
        FAIL() << "8-bit samples accepted";
    } catch (const std::exception& e) {
        EXPECT_STREQ("CAdpcm only supports 16bits sample resolution", e.what());
    }

    // 0x07 from predictor 0, index 0: 0 (index stays 0), then 0 + 7 + 3 + 1.
    ImaDecoder dec;
    EXPECT_EQ((std::vector<int16_t>{0, 11}), ImaDecode(dec, {0x07}, 0, 0));
    EXPECT_EQ(11, dec.Predictor());
    EXPECT_EQ(8, dec.Index());

    // Continuing (-1) is the same as one call; a start index restarts.
    Bytes stream;
    for (int i = 0; i < 200; ++i)
        stream.push_back(uint8_t(i * 37 + 11));
    ImaDecoder whole;
    const auto all = ImaDecode(whole, stream, 0, 0);
    ImaDecoder split;
    auto first = ImaDecode(split, Bytes(stream.begin(), stream.begin() + 77), 0, 0);
    const auto rest = ImaDecode(split, Bytes(stream.begin() + 77, stream.end()), -1, 0);
    first.insert(first.end(), rest.begin(), rest.end());
    EXPECT_EQ(all, first);
    EXPECT_EQ(all, ImaDecode(split, stream, 0, 0));

    // Full-scale jumps keep predictor and index in range; a start index
    // beyond the table is taken as its end.
    ImaDecoder extreme;
    for (int16_t s : ImaDecode(extreme, Bytes(500, 0x77), 0, 32000))
        EXPECT_LE(s, 32767);
    EXPECT_EQ(88, extreme.Index());
    const auto fromTop = ImaDecode(extreme, {0x00}, 120, 0);
    EXPECT_EQ(32767 / 8, fromTop[0]);
}

TEST(ImaAdpcm, EncoderAndDecoderStayInStep)
{
    const auto input = Sine(1001, 20000, 40); // odd: the last byte has a low nibble 0
    CAdpcmEncoder enc(16);
    Bytes code((input.size() + 1) / 2);
    uint8_t index = 0xFF;
    uint16_t predictor = 0;
    // In two calls, so the state has to carry over.
    int n = enc.Encode(reinterpret_cast<const uint8_t*>(input.data()), code.data(), 600);
    n += enc.Encode(reinterpret_cast<const uint8_t*>(input.data() + 300), code.data() + n,
                    long(input.size() - 300) * 2, &index, &predictor);
    ASSERT_EQ(int(code.size()), n);
    EXPECT_EQ(0, code.back() & 0x0F);

    // The decoder rebuilds exactly the encoder's predictor values.
    ImaDecoder dec;
    const auto out = ImaDecode(dec, code, 0, 0);
    EXPECT_EQ(int16_t(predictor), out[input.size() - 1]);
    EXPECT_LE(index, 88);
    for (size_t i = 100; i < input.size(); ++i)
        EXPECT_NEAR(input[i], out[i], 2000) << i;
}

TEST(G711, ValuesAndRoundTrips)
{
    EXPECT_EQ(0xD5, s16_to_alaw(0));
    EXPECT_EQ(0x55, s16_to_alaw(-1));
    EXPECT_EQ(0x2A, s16_to_alaw(-32768));
    EXPECT_EQ(0xFF, s16_to_ulaw(0));
    EXPECT_EQ(0x80, s16_to_ulaw(32767));
    EXPECT_EQ(0x00, s16_to_ulaw(-32768));
    EXPECT_EQ(0, ulaw_to_s16(0xFF));
    EXPECT_EQ(8, alaw_to_s16(0xD5));
    EXPECT_EQ(0, val_seg(255));
    EXPECT_EQ(1, val_seg(256));
    EXPECT_EQ(7, val_seg(32767));
    // Outside the 16-bit range: the nearest end, not a wrapped code.
    EXPECT_EQ(s16_to_ulaw(32767), s16_to_ulaw(100000));
    EXPECT_EQ(s16_to_alaw(-32768), s16_to_alaw(-100000));

    // Every code's value encodes back to the code (u-law's negative zero,
    // 0x7F, becomes 0xFF); the array forms agree with the single ones.
    unsigned char codes[256];
    for (int c = 0; c < 256; ++c)
        codes[c] = static_cast<unsigned char>(c);
    short ulaw[256], alaw[256];
    mulaw_dec(codes, ulaw, 256);
    alaw_dec(codes, alaw, 256);
    char ulawBack[256], alawBack[256];
    mulaw_enc(ulaw, ulawBack, 512);
    alaw_enc(alaw, alawBack, 512);
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(ulaw_to_s16(codes[c]), ulaw[c]);
        EXPECT_EQ(alaw_to_s16(codes[c]), alaw[c]);
        EXPECT_EQ(c == 0x7F ? 0xFF : c, uint8_t(ulawBack[c])) << c;
        EXPECT_EQ(c, uint8_t(alawBack[c])) << c;
    }
}

TEST(MSAdpcm, BlockSizesAndHeaders)
{
    // 256-byte mono block: 2 + 2 x 249 samples.
    Bytes block = MonoHeader(0, 16, 100, 50);
    for (int i = 7; i < 256; ++i)
        block.push_back(uint8_t(i * 13));
    const auto mono = DecodeBlock(block, 1);
    ASSERT_EQ(500u, mono.size());
    EXPECT_EQ(50, mono[0]); // sample 2 is the earlier one
    EXPECT_EQ(100, mono[1]);

    // A predictor index above 6 uses the last pair.
    Bytes seven = block, six = block;
    seven[0] = 7;
    six[0] = 6;
    EXPECT_EQ(DecodeBlock(six, 1), DecodeBlock(seven, 1));

    // The header alone gives its two samples.
    EXPECT_EQ((std::vector<int16_t>{50, 100}), DecodeBlock(MonoHeader(0, 16, 100, 50), 1));
}

TEST(MSAdpcm, BadBlocksYieldNothing)
{
    Bytes block = MonoHeader(0, 16, 1, 2);
    block.resize(40, 0x5A);
    Bytes out(1024, 0xA5);
    // Channel counts out of range, and blocks shorter than their header.
    for (unsigned channels : {0u, 9u, 65535u})
        EXPECT_EQ(0, CAdpcmDecoder::DecodeMS(block.data(), out.data(), block.size(), channels));
    const std::pair<size_t, unsigned> shortBlocks[] = {{0, 1}, {6, 1}, {13, 2}, {34, 5}};
    for (const auto& [len, channels] : shortBlocks) {
        Bytes exact(block.begin(), block.begin() + long(len));
        EXPECT_EQ(0, CAdpcmDecoder::DecodeMS(exact.data(), out.data(), len, channels)) << len;
        EXPECT_EQ(0u, CAdpcmDecoder::MSOutputSize(len, channels));
    }
    for (uint8_t b : out)
        ASSERT_EQ(0xA5, b);
    EXPECT_EQ(0u, CAdpcmDecoder::MSOutputSize(block.size(), 0));
    EXPECT_EQ(size_t(2 * 2 + 2 * (40 - 14)) * 2, CAdpcmDecoder::MSOutputSize(40, 2));
}

TEST(MSAdpcm, DeltaGrowthIsBounded)
{
    // The largest step again and again: the delta would pass INT_MAX after
    // about twenty steps if it were not held (the sanitizer build checks the
    // arithmetic); samples stay within 16 bits.
    for (uint8_t nibbles : {0x77, 0x88, 0x7F}) {
        Bytes block = MonoHeader(1, 32767, 32767, -32768);
        block.resize(4096, nibbles);
        for (int16_t s : DecodeBlock(block, 1))
            ASSERT_TRUE(s >= -32768 && s <= 32767);
    }
    // A negative delta in the header is taken as it stands, then adapts.
    Bytes negative = MonoHeader(0, -32768, 0, 0);
    negative.resize(64, 0x11);
    const auto s = DecodeBlock(negative, 1);
    EXPECT_EQ(-32768, s[2]);
}

TEST(MSAdpcm, ManyChannelsInterleave)
{
    // Channel c of a three-channel block takes the nibbles c, c + 3, ... and
    // its header fields in turn: the same as three mono blocks.
    const unsigned ch = 3, bytesPerChannel = 20;
    std::vector<Bytes> monos;
    for (unsigned c = 0; c < ch; ++c) {
        Bytes m = MonoHeader(uint8_t(c + 2), int16_t(20 + c), int16_t(1000 * c), int16_t(-500));
        for (unsigned i = 0; i < bytesPerChannel; ++i)
            m.push_back(uint8_t(i * 29 + c * 71 + 5));
        monos.push_back(m);
    }
    Bytes block;
    const unsigned fieldOffsets[4] = {0, 1, 3, 5}, fieldSizes[4] = {1, 2, 2, 2};
    for (unsigned f = 0; f < 4; ++f)
        for (unsigned c = 0; c < ch; ++c)
            for (unsigned k = 0; k < fieldSizes[f]; ++k)
                block.push_back(monos[c][fieldOffsets[f] + k]);
    std::vector<uint8_t> nibbles;
    for (unsigned i = 0; i < 2 * bytesPerChannel; ++i)
        for (unsigned c = 0; c < ch; ++c) {
            const uint8_t b = monos[c][7 + i / 2];
            nibbles.push_back(i % 2 ? b & 0x0F : b >> 4);
        }
    for (size_t i = 0; i < nibbles.size(); i += 2)
        block.push_back(uint8_t(nibbles[i] << 4 | nibbles[i + 1]));

    const auto multi = DecodeBlock(block, ch);
    std::vector<std::vector<int16_t>> single;
    for (const Bytes& m : monos)
        single.push_back(DecodeBlock(m, 1));
    ASSERT_EQ(single[0].size() * ch, multi.size());
    for (size_t i = 0; i < multi.size(); ++i)
        ASSERT_EQ(single[i % ch][i / ch], multi[i]) << i;
}
