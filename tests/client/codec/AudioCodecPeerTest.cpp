// The audio decoders against the ffmpeg command line's own decoders, on
// media that ffmpeg makes at test time: G.711 and Microsoft ADPCM sample for
// sample, AAC within a small tolerance.
#include "codec/CAACDec.h"
#include "codec/CAdpcmDecoder.h"
#include "codec/G711.h"

#include "CodecTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

using namespace codectest;

namespace {

// A signal that sweeps through every G.711 segment and stresses ADPCM.
const char kSignal[] =
    "aevalsrc='0.97*sin(2*PI*440*t)*sin(2*PI*1.5*t)+0.02*sin(2*PI*2900*t)':s=8000:d=2";

struct WavData {
    unsigned channels = 0;
    unsigned blockAlign = 0;
    Bytes data;
};

WavData ReadWav(const Bytes& file)
{
    WavData wav;
    for (size_t off = 12; off + 8 <= file.size();) {
        const uint32_t size = LE32(&file[off + 4]);
        const std::string id(file.begin() + long(off), file.begin() + long(off) + 4);
        if (id == "fmt " && off + 8 + 14 <= file.size()) {
            wav.channels = file[off + 10] | file[off + 11] << 8;
            wav.blockAlign = file[off + 20] | file[off + 21] << 8;
        } else if (id == "data") {
            const size_t end = std::min(file.size(), off + 8 + size);
            wav.data.assign(file.begin() + long(off) + 8, file.begin() + long(end));
        }
        off += 8 + size + (size & 1);
    }
    return wav;
}

// A Microsoft ADPCM WAV file around the given blocks.
Bytes MakeMSAdpcmWav(const std::vector<Bytes>& blocks, unsigned channels)
{
    const unsigned blockAlign = unsigned(blocks[0].size());
    const unsigned samplesPerBlock = (blockAlign - 7 * channels) * 2 / channels + 2;
    Bytes fmt;
    PutLE16(fmt, 2);
    PutLE16(fmt, channels);
    PutLE32(fmt, 8000);
    PutLE32(fmt, 8000 * blockAlign / samplesPerBlock);
    PutLE16(fmt, blockAlign);
    PutLE16(fmt, 4);
    PutLE16(fmt, 32);
    PutLE16(fmt, samplesPerBlock);
    PutLE16(fmt, 7);
    for (int i = 0; i < 7; ++i) {
        PutLE16(fmt, uint16_t(AdaptCoeff1[i]));
        PutLE16(fmt, uint16_t(AdaptCoeff2[i]));
    }
    Bytes data;
    for (const Bytes& b : blocks)
        data.insert(data.end(), b.begin(), b.end());
    Bytes wav{'R', 'I', 'F', 'F'};
    PutLE32(wav, uint32_t(4 + 8 + fmt.size() + 8 + data.size()));
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE32(wav, uint32_t(fmt.size()));
    wav.insert(wav.end(), fmt.begin(), fmt.end());
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    PutLE32(wav, uint32_t(data.size()));
    wav.insert(wav.end(), data.begin(), data.end());
    return wav;
}

// Every block of the file through DecodeMS, each from a buffer of exactly
// its size.
std::vector<int16_t> DecodeWavBlocks(const WavData& wav)
{
    std::vector<int16_t> out;
    for (size_t off = 0; off + wav.blockAlign <= wav.data.size(); off += wav.blockAlign) {
        Bytes block(wav.data.begin() + long(off), wav.data.begin() + long(off + wav.blockAlign));
        Bytes pcm(CAdpcmDecoder::MSOutputSize(block.size(), uint16_t(wav.channels)));
        const int n =
            CAdpcmDecoder::DecodeMS(block.data(), pcm.data(), block.size(), uint16_t(wav.channels));
        EXPECT_EQ(size_t(n), pcm.size());
        const auto s = ToSamples(pcm);
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

void ExpectSameSamples(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref)
{
    ASSERT_FALSE(ref.empty());
    const long at = FirstDifference(ours, ref);
    EXPECT_EQ(-1, at) << "sizes " << ours.size() << " and " << ref.size() << "; at " << at << ": "
                      << (at >= 0 && size_t(at) < ours.size() ? ours[size_t(at)] : 0) << " against "
                      << (at >= 0 && size_t(at) < ref.size() ? ref[size_t(at)] : 0);
}

// The ADTS frames of a file, cut by their headers' lengths.
std::vector<Bytes> AdtsFrames(const Bytes& file)
{
    std::vector<Bytes> frames;
    for (size_t off = 0; off + 7 <= file.size();) {
        if (file[off] != 0xFF || (file[off + 1] & 0xF0) != 0xF0)
            break;
        const size_t len = size_t(file[off + 3] & 3) << 11 | size_t(file[off + 4]) << 3 |
                           size_t(file[off + 5]) >> 5;
        if (len < 7 || off + len > file.size())
            break;
        frames.emplace_back(file.begin() + long(off), file.begin() + long(off + len));
        off += len;
    }
    return frames;
}

// Decodes the frames in packets of perPacket frames; every packet must
// decode.
std::vector<int16_t> DecodeAac(CAACDec& dec, const std::vector<Bytes>& frames, size_t perPacket)
{
    std::vector<int16_t> out;
    std::vector<uint8_t> pcm;
    for (size_t i = 0; i < frames.size(); i += perPacket) {
        Bytes packet;
        for (size_t k = i; k < std::min(frames.size(), i + perPacket); ++k)
            packet.insert(packet.end(), frames[k].begin(), frames[k].end());
        int len = -1;
        EXPECT_EQ(0, dec.dec_main(packet.data(), int(packet.size()), pcm, &len)) << "packet " << i;
        EXPECT_LE(size_t(len), pcm.size());
        const auto s = ToSamples(pcm.data(), size_t(std::max(len, 0)));
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

// skip: samples at the start not compared (the overlap with whatever the
// decoder decoded before).
void ExpectClose(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref, int tolerance,
                 size_t skip = 0)
{
    ASSERT_EQ(ref.size(), ours.size());
    int worst = 0;
    for (size_t i = skip; i < ref.size(); ++i)
        worst = std::max(worst, std::abs(int(ours[i]) - int(ref[i])));
    EXPECT_LE(worst, tolerance);
}

struct AacStream {
    std::vector<Bytes> frames;
    std::vector<int16_t> reference;
};

// An ADTS AAC stream made by ffmpeg from source, and ffmpeg's own decode of it.
AacStream MakeAac(const TempDir& dir, const std::string& name, const std::string& source,
                  const std::string& encoderArgs)
{
    AacStream s;
    const std::string aac = dir.Path(name + ".aac"), raw = dir.Path(name + ".raw");
    if (!FFmpeg("-f lavfi -i \"" + source + "\" -c:a aac " + encoderArgs + " -f adts " + aac) ||
        !FFmpeg("-i " + aac + " -f s16le " + raw))
        return s;
    s.frames = AdtsFrames(ReadBytes(aac));
    s.reference = ToSamples(ReadBytes(raw));
    return s;
}

} // namespace

TEST(G711Peer, MatchesFFmpegDecoders)
{
    TempDir dir;
    struct Law {
        const char* format;
        void (*dec)(const unsigned char*, short*, int);
        int (*single)(unsigned char);
    };
    const Law laws[] = {{"mulaw", mulaw_dec, ulaw_to_s16}, {"alaw", alaw_dec, alaw_to_s16}};
    // Both laws in one run each way.
    std::string encode = std::string("-f lavfi -i \"") + kSignal + "\"", decode, outputs;
    for (int i = 0; i < 2; ++i) {
        const std::string f = laws[i].format;
        encode += " -map 0 -f " + f + " " + dir.Path(f + ".raw");
        decode += " -f " + f + " -ar 8000 -ac 1 -i " + dir.Path(f + ".raw");
        outputs += " -map " + std::to_string(i) + " -f s16le " + dir.Path(f + ".s16");
    }
    ASSERT_TRUE(FFmpeg(encode));
    // Every code once more after ffmpeg's own.
    std::vector<Bytes> inputs;
    for (const Law& law : laws) {
        Bytes input = ReadBytes(dir.Path(std::string(law.format) + ".raw"));
        for (int c = 0; c < 256; ++c)
            input.push_back(uint8_t(c));
        WriteBytes(dir.Path(std::string(law.format) + ".raw"), input);
        inputs.push_back(input);
    }
    ASSERT_TRUE(FFmpeg(decode + outputs));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(laws[i].format);
        const Bytes& input = inputs[size_t(i)];
        std::vector<int16_t> ours(input.size());
        laws[i].dec(input.data(), ours.data(), int(input.size()));
        ExpectSameSamples(ours,
                          ToSamples(ReadBytes(dir.Path(std::string(laws[i].format) + ".s16"))));
        for (size_t k = 0; k < input.size(); ++k)
            ASSERT_EQ(ours[k], laws[i].single(input[k]));
    }
}

TEST(MSAdpcmPeer, MatchesFFmpegDecoder)
{
    TempDir dir;
    std::string encode = std::string("-f lavfi -i \"") + kSignal + "\"", decode, outputs;
    for (unsigned channels : {1u, 2u}) {
        const std::string name = dir.Path("ms" + std::to_string(channels));
        encode += " -map 0 -ac " + std::to_string(channels) + " -c:a adpcm_ms -block_size 256 " +
                  name + ".wav";
        decode += " -i " + name + ".wav";
        outputs += " -map " + std::to_string(channels - 1) + " -f s16le " + name + ".s16";
    }
    ASSERT_TRUE(FFmpeg(encode));
    ASSERT_TRUE(FFmpeg(decode + outputs));
    for (unsigned channels : {1u, 2u}) {
        SCOPED_TRACE(channels);
        const std::string name = dir.Path("ms" + std::to_string(channels));
        const WavData data = ReadWav(ReadBytes(name + ".wav"));
        ASSERT_EQ(channels, data.channels);
        ASSERT_EQ(256u, data.blockAlign);
        ExpectSameSamples(DecodeWavBlocks(data), ToSamples(ReadBytes(name + ".s16")));
    }
}

TEST(MSAdpcmPeer, ExtremeBlocksMatchFFmpeg)
{
    // Blocks no encoder makes: the largest header delta with the largest
    // steps (the delta's bound), negative deltas, every predictor pair and
    // arbitrary nibbles; ffmpeg decodes them from a WAV file of ours.
    std::vector<Bytes> blocks;
    uint32_t seed = 12345;
    for (int i = 0; i < 28; ++i) {
        Bytes b{uint8_t(i % 7)};
        PutLE16(b, uint16_t(i % 4 == 0 ? 32767 : i % 4 == 1 ? -300 : 16 + i * 1000));
        PutLE16(b, uint16_t(i * 2311 - 30000));
        PutLE16(b, uint16_t(30000 - i * 1777));
        while (b.size() < 512) {
            seed = seed * 1103515245u + 12345u;
            b.push_back(i % 4 == 0 ? 0x77 : i % 4 == 2 ? 0x88 : uint8_t(seed >> 16));
        }
        blocks.push_back(b);
    }
    TempDir dir;
    WriteBytes(dir.Path("x.wav"), MakeMSAdpcmWav(blocks, 1));
    ASSERT_TRUE(FFmpeg("-i " + dir.Path("x.wav") + " -f s16le " + dir.Path("x.s16")));
    ExpectSameSamples(DecodeWavBlocks(ReadWav(ReadBytes(dir.Path("x.wav")))),
                      ToSamples(ReadBytes(dir.Path("x.s16"))));
}

TEST(AacPeer, MatchesFFmpegDecodeInAnyPacketing)
{
    // At 32 kbit/s a stereo frame of about 90 bytes decodes to 4 KiB: all
    // frames in one packet give far more than 20 bytes out per byte in.
    TempDir dir;
    const AacStream stereo =
        MakeAac(dir, "stereo", "sine=f=440:r=44100:d=2,aformat=cl=stereo", "-b:a 32k");
    ASSERT_GT(stereo.frames.size(), 50u);
    size_t inBytes = 0;
    for (const Bytes& f : stereo.frames)
        inBytes += f.size();
    for (size_t perPacket : {size_t(1), size_t(7), stereo.frames.size()}) {
        CAACDec dec;
        ASSERT_EQ(0, dec.dec_init());
        const auto ours = DecodeAac(dec, stereo.frames, perPacket);
        ExpectClose(ours, stereo.reference, 1);
        EXPECT_GT(ours.size() * 2, inBytes * 20);
        EXPECT_EQ(44100, dec.GetSampleRate());
        EXPECT_EQ(2, dec.GetChannels());
    }
}

TEST(AacPeer, ReportsTheDecodedFormatAndRecoversFromBadPackets)
{
    TempDir dir;
    const AacStream mono = MakeAac(dir, "mono", "sine=f=300:r=16000:d=1", "-b:a 32k");
    // Without noise substitution: its generator's state would carry over
    // from the streams decoded before.
    const AacStream stereo =
        MakeAac(dir, "stereo", "sine=f=440:r=44100:d=1,aformat=cl=stereo", "-b:a 96k -aac_pns 0");
    ASSERT_FALSE(mono.frames.empty());
    ASSERT_FALSE(stereo.frames.empty());

    CAACDec dec;
    std::vector<uint8_t> pcm;
    int len = 7;
    EXPECT_EQ(-1, dec.dec_main(mono.frames[0].data(), int(mono.frames[0].size()), pcm, &len))
        << "decoded without dec_init";
    EXPECT_EQ(0, len);
    ASSERT_EQ(0, dec.dec_init());
    EXPECT_EQ(0, dec.GetSampleRate());

    // The format follows the stream when it changes on the same decoder.
    ExpectClose(DecodeAac(dec, mono.frames, 1), mono.reference, 1);
    EXPECT_EQ(16000, dec.GetSampleRate());
    EXPECT_EQ(1, dec.GetChannels());

    // Bytes that are not AAC, and a frame cut short: failures with no PCM.
    Bytes junk(400);
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = uint8_t(i * 97 + 3);
    Bytes cut(stereo.frames[5].begin(), stereo.frames[5].begin() + 9);
    for (const Bytes& bad : {junk, cut}) {
        len = 7;
        EXPECT_EQ(-1, dec.dec_main(bad.data(), int(bad.size()), pcm, &len));
        EXPECT_EQ(0, len);
    }
    // The first frame overlaps with what was decoded before.
    ExpectClose(DecodeAac(dec, stereo.frames, 3), stereo.reference, 1, 2 * 1024);
    EXPECT_EQ(44100, dec.GetSampleRate());
    EXPECT_EQ(2, dec.GetChannels());

    dec.dec_stop();
    EXPECT_EQ(-1, dec.dec_main(stereo.frames[0].data(), int(stereo.frames[0].size()), pcm, &len));
}

TEST(AacPeer, StopWaitsForADecodeInProgress)
{
    TempDir dir;
    const AacStream s = MakeAac(dir, "s", "sine=f=440:r=48000:d=1,aformat=cl=stereo", "-b:a 96k");
    ASSERT_GT(s.frames.size(), 10u);
    CAACDec dec;
    ASSERT_EQ(0, dec.dec_init());
    std::atomic<int> decoded{0};
    std::atomic<bool> cyclesDone{false};
    std::thread receiver([&] {
        std::vector<uint8_t> pcm;
        // Decodes while the cycles run, then one whole round on the last
        // decoder, which must give PCM.
        for (bool last = false; !last;) {
            last = cyclesDone;
            for (const Bytes& f : s.frames) {
                int len = 0;
                if (dec.dec_main(f.data(), int(f.size()), pcm, &len) == 0 && len > 0)
                    ++decoded;
            }
        }
    });
    for (int i = 0; i < 50; ++i) {
        dec.dec_stop();
        EXPECT_EQ(0, dec.dec_init());
    }
    cyclesDone = true;
    receiver.join();
    EXPECT_GT(decoded.load(), 0);
}
