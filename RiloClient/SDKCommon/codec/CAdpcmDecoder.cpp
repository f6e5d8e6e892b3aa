#include "codec/CAdpcmDecoder.h"

#include "ByteOrder.h"

#include <climits>
#include <cstring>

const int AdaptationTable[16] = {
    230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230,
};
const int AdaptCoeff1[7] = {256, 512, 0, 192, 240, 460, 392};
const int AdaptCoeff2[7] = {0, -256, 0, 64, 0, -208, -232};

namespace {

// Above this the next adaptation step (at most x 768) would overflow an int.
const int kMaxDelta = INT_MAX / 768;
const unsigned long kHeaderBytesPerChannel = 7;

int16_t ReadLE16(const uint8_t* p)
{
    return static_cast<int16_t>(GetLE16(p));
}

void WriteSample(uint8_t*& out, int16_t sample)
{
    std::memcpy(out, &sample, 2);
    out += 2;
}

} // namespace

int CAdpcmDecoder::av_clip(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

int CAdpcmDecoder::Decode(const uint8_t* in, uint8_t* out, long len, signed char startIndex,
                          short startPredictor)
{
    if (startIndex >= 0) {
        m_index = uint8_t(startIndex > 88 ? 88 : startIndex);
        m_predictor = startPredictor;
    }
    if (len <= 0)
        return 0;
    for (long i = 0; i < len; ++i) {
        WriteSample(out, Step(in[i] >> 4));
        WriteSample(out, Step(in[i] & 0x0F));
    }
    return int(len * 4);
}

size_t CAdpcmDecoder::MSOutputSize(unsigned long len, unsigned short channels)
{
    if (channels < 1 || channels > kMaxMSChannels)
        return 0;
    const unsigned long header = kHeaderBytesPerChannel * channels;
    if (len < header)
        return 0;
    // Two header samples per channel, then two per byte.
    const size_t bytes = (size_t(2) * channels + size_t(2) * (len - header)) * 2;
    return bytes > size_t(INT_MAX) ? 0 : bytes;
}

short CAdpcmDecoder::adpcm_ms_expand_nibble(ADPCMChannelStatus& status, char nibble)
{
    const unsigned code = uint8_t(nibble) & 0x0F;
    const int n = code >= 8 ? int(code) - 16 : int(code);
    const int prediction = (status.sample1 * status.coeff1 + status.sample2 * status.coeff2) / 256;
    const int16_t value = int16_t(av_clip(prediction + n * status.idelta, -32768, 32767));
    status.sample2 = status.sample1;
    status.sample1 = value;
    status.idelta = av_clip((AdaptationTable[code] * status.idelta) >> 8, 16, kMaxDelta);
    return value;
}

int CAdpcmDecoder::DecodeMS(const uint8_t* in, uint8_t* out, unsigned long len,
                            unsigned short channels)
{
    const size_t outBytes = MSOutputSize(len, channels);
    if (outBytes == 0)
        return 0;
    ADPCMChannelStatus status[kMaxMSChannels];
    const unsigned ch = channels;
    // Header: each field for every channel in turn.
    for (unsigned c = 0; c < ch; ++c) {
        const unsigned predictor = in[c] > 6 ? 6 : in[c];
        status[c].coeff1 = AdaptCoeff1[predictor];
        status[c].coeff2 = AdaptCoeff2[predictor];
        status[c].idelta = ReadLE16(in + ch + 2 * c);
        status[c].sample1 = ReadLE16(in + 3 * ch + 2 * c);
        status[c].sample2 = ReadLE16(in + 5 * ch + 2 * c);
    }
    for (unsigned c = 0; c < ch; ++c)
        WriteSample(out, status[c].sample2);
    for (unsigned c = 0; c < ch; ++c)
        WriteSample(out, status[c].sample1);
    // Nibbles, high first, go to the channels in turn.
    unsigned c = 0;
    for (unsigned long i = kHeaderBytesPerChannel * ch; i < len; ++i) {
        WriteSample(out, adpcm_ms_expand_nibble(status[c], char(in[i] >> 4)));
        c = c + 1 == ch ? 0 : c + 1;
        WriteSample(out, adpcm_ms_expand_nibble(status[c], char(in[i] & 0x0F)));
        c = c + 1 == ch ? 0 : c + 1;
    }
    return int(outBytes);
}
