// The sample codecs on their own: IMA ADPCM state handling, the G.711
// encoders, and Microsoft ADPCM blocks that a camera could get wrong.
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
    std::vector<int16_t> Run(const Bytes& in, signed char index, short predictor)
    {
        Bytes out(in.size() * 4);
        EXPECT_EQ(int(out.size()),
                  Decode(in.data(), out.data(), long(in.size()), index, predictor));
        return ToSamples(out);
    }
    int Predictor() const { return m_predictor; }
    int Index() const { return m_index; }
};

// Decodes a block from a buffer of exactly its size into an output with a
// guard after the room the decoder may use.
std::vector<int16_t> DecodeBlock(const Bytes& block, unsigned channels)
{
    const size_t room = CAdpcmDecoder::MSOutputSize(block.size(), channels);
    Bytes exact(block), out(room + 64, 0xA5);
    const int n = CAdpcmDecoder::DecodeMS(exact.data(), out.data(), exact.size(), channels);
    EXPECT_EQ(size_t(n), room);
    EXPECT_EQ(Bytes(64, 0xA5), Bytes(out.begin() + long(room), out.end()));
    return ToSamples(out.data(), room);
}

Bytes MonoBlock(uint8_t predictor, int16_t delta, size_t len, uint8_t salt)
{
    Bytes b{predictor};
    PutLE16(b, uint16_t(delta));
    PutLE16(b, uint16_t(1000 * salt));
    PutLE16(b, uint16_t(-500));
    while (b.size() < len)
        b.push_back(uint8_t(b.size() * 29 + salt * 71));
    return b;
}

} // namespace

TEST(ImaAdpcm, StateCarriesOverAndRestarts)
{
    EXPECT_THROW(CAdpcmDecoder(8), std::invalid_argument);

    // 0x07 from predictor 0, index 0: 0 (index stays 0), then 0 + 7 + 3 + 1.
    ImaDecoder dec;
    EXPECT_EQ((std::vector<int16_t>{0, 11}), dec.Run({0x07}, 0, 0));
    EXPECT_EQ(11, dec.Predictor());
    EXPECT_EQ(8, dec.Index());

    // Continuing (-1) equals one call; a start index restarts; one beyond
    // the table is its end.
    Bytes stream(200);
    for (size_t i = 0; i < stream.size(); ++i)
        stream[i] = uint8_t(i * 37 + 11);
    ImaDecoder whole, split;
    const auto all = whole.Run(stream, 0, 0);
    auto parts = split.Run(Bytes(stream.begin(), stream.begin() + 77), 0, 0);
    const auto rest = split.Run(Bytes(stream.begin() + 77, stream.end()), -1, 0);
    parts.insert(parts.end(), rest.begin(), rest.end());
    EXPECT_EQ(all, parts);
    EXPECT_EQ(all, split.Run(stream, 0, 0));
    EXPECT_EQ(32767 / 8, split.Run({0x00}, 120, 0)[0]);

    // The encoder over two calls, an odd sample count: the last low nibble is
    // 0, and the decoder rebuilds exactly the encoder's predictor.
    std::vector<int16_t> input(1001);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = int16_t(std::lround(20000 * std::sin(2 * M_PI * double(i) / 40)));
    CAdpcmEncoder enc(16);
    Bytes code((input.size() + 1) / 2);
    const auto* pcm = reinterpret_cast<const uint8_t*>(input.data());
    uint16_t predictor = 0;
    int n = enc.Encode(pcm, code.data(), 600);
    n += enc.Encode(pcm + 600, code.data() + n, long(input.size()) * 2 - 600, nullptr, &predictor);
    ASSERT_EQ(int(code.size()), n);
    EXPECT_EQ(0, code.back() & 0x0F);
    const auto out = dec.Run(code, 0, 0);
    EXPECT_EQ(int16_t(predictor), out[input.size() - 1]);
    for (size_t i = 100; i < input.size(); ++i)
        ASSERT_NEAR(input[i], out[i], 2000) << i;
}

TEST(G711, EncodersInvertTheDecoders)
{
    EXPECT_EQ(0xD5, s16_to_alaw(0));
    EXPECT_EQ(0x55, s16_to_alaw(-1));
    EXPECT_EQ(0x2A, s16_to_alaw(-32768));
    EXPECT_EQ(0xFF, s16_to_ulaw(0));
    EXPECT_EQ(0x80, s16_to_ulaw(32767));
    EXPECT_EQ(0x00, s16_to_ulaw(-32768));
    // Outside the 16-bit range: the nearest end, not a wrapped code.
    EXPECT_EQ(0x80, s16_to_ulaw(100000));
    EXPECT_EQ(0x2A, s16_to_alaw(-100000));

    // Every code's value encodes back to the code (u-law's negative zero,
    // 0x7F, becomes 0xFF).
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
        EXPECT_EQ(c == 0x7F ? 0xFF : c, uint8_t(ulawBack[c])) << c;
        EXPECT_EQ(c, uint8_t(alawBack[c])) << c;
    }
}

TEST(MSAdpcm, BlockLayoutAndBadBlocks)
{
    // 256-byte mono block: 2 + 2 x 249 samples, sample 2 first; a predictor
    // index above 6 uses the last pair.
    Bytes seven = MonoBlock(7, 16, 256, 1), six = MonoBlock(6, 16, 256, 1);
    const auto mono = DecodeBlock(six, 1);
    ASSERT_EQ(500u, mono.size());
    EXPECT_EQ(-500, mono[0]);
    EXPECT_EQ(1000, mono[1]);
    EXPECT_EQ(mono, DecodeBlock(seven, 1));

    // Channel counts out of range and blocks shorter than their header give
    // nothing and touch nothing (the sanitizer build checks the reads).
    Bytes out(1024, 0xA5);
    const std::pair<size_t, unsigned> bad[] = {{40, 0}, {40, 9}, {40, 65535}, {0, 1},
                                               {6, 1},  {13, 2}, {34, 5}};
    for (const auto& [len, channels] : bad) {
        const Bytes exact(six.begin(), six.begin() + long(len));
        EXPECT_EQ(0, CAdpcmDecoder::DecodeMS(exact.data(), out.data(), len, channels)) << len;
        EXPECT_EQ(0u, CAdpcmDecoder::MSOutputSize(len, channels));
    }
    EXPECT_EQ(Bytes(1024, 0xA5), out);
    EXPECT_EQ((std::vector<int16_t>{-500, 1000}), DecodeBlock(MonoBlock(0, 16, 7, 1), 1));
}

TEST(MSAdpcm, ManyChannelsInterleave)
{
    // A three-channel block holds each header field for every channel in
    // turn, then nibbles for the channels in turn: three mono blocks.
    const unsigned ch = 3;
    std::vector<Bytes> monos;
    for (unsigned c = 0; c < ch; ++c)
        monos.push_back(MonoBlock(uint8_t(c + 2), int16_t(20 + c), 27, uint8_t(c)));
    Bytes block;
    const unsigned fieldOffsets[4] = {0, 1, 3, 5}, fieldSizes[4] = {1, 2, 2, 2};
    for (unsigned f = 0; f < 4; ++f)
        for (unsigned c = 0; c < ch; ++c)
            for (unsigned k = 0; k < fieldSizes[f]; ++k)
                block.push_back(monos[c][fieldOffsets[f] + k]);
    std::vector<uint8_t> nibbles;
    for (unsigned i = 0; i < 2 * 20; ++i)
        for (unsigned c = 0; c < ch; ++c)
            nibbles.push_back(i % 2 ? monos[c][7 + i / 2] & 0x0F : monos[c][7 + i / 2] >> 4);
    for (size_t i = 0; i < nibbles.size(); i += 2)
        block.push_back(uint8_t(nibbles[i] << 4 | nibbles[i + 1]));

    const auto multi = DecodeBlock(block, ch);
    ASSERT_EQ(42u * ch, multi.size());
    for (size_t i = 0; i < multi.size(); ++i)
        ASSERT_EQ(DecodeBlock(monos[i % ch], 1)[i / ch], multi[i]) << i;
}
