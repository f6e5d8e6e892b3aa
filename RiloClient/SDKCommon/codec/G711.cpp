#include "codec/G711.h"

namespace {

int ClampS16(int x)
{
    return x < -32768 ? -32768 : (x > 32767 ? 32767 : x);
}

// The segment and the four bits below its leading one: the code of a
// magnitude before the sign mask is applied.
int SegmentCode(int magnitude)
{
    const int seg = val_seg(magnitude);
    return (seg << 4) | ((magnitude >> (seg + 3)) & 0x0F);
}

} // namespace

extern "C" {

int val_seg(int magnitude)
{
    int seg = 0;
    for (int m = magnitude >> 8; m != 0; m >>= 1)
        ++seg;
    return seg;
}

unsigned char s16_to_alaw(int sample)
{
    const int x = ClampS16(sample);
    if (x == -32768)
        return 0x2A;
    const int mask = x >= 0 ? 0xD5 : 0x55;
    const int magnitude = x >= 0 ? x : -x;
    const int code = magnitude < 256 ? magnitude >> 4 : SegmentCode(magnitude);
    return static_cast<unsigned char>(code ^ mask);
}

int alaw_to_s16(unsigned char code)
{
    const int v = code ^ 0x55;
    const int t = v & 0x7F;
    const int magnitude = t < 16 ? t * 16 + 8 : ((t & 0x0F) * 16 + 0x108) << ((t >> 4) - 1);
    return (code & 0x80) ? magnitude : -magnitude;
}

unsigned char s16_to_ulaw(int sample)
{
    const int x = ClampS16(sample);
    const int m = x >= 0 ? x + 0x84 : 0x84 - x;
    if (m > 0x7FFF)
        return x >= 0 ? 0x80 : 0x00;
    const int mask = x >= 0 ? 0xFF : 0x7F;
    return static_cast<unsigned char>(SegmentCode(m) ^ mask);
}

int ulaw_to_s16(unsigned char code)
{
    const int inv = ~code & 0xFF;
    const int t = ((inv & 0x0F) * 8 + 0x84) << ((inv >> 4) & 7);
    return (code & 0x80) ? t - 0x84 : 0x84 - t;
}

void mulaw_enc(const short* samples, char* out, int len)
{
    for (int i = 0; i < len / 2; ++i)
        out[i] = static_cast<char>(s16_to_ulaw(samples[i]));
}

void alaw_enc(const short* samples, char* out, int len)
{
    for (int i = 0; i < len / 2; ++i)
        out[i] = static_cast<char>(s16_to_alaw(samples[i]));
}

void mulaw_dec(const unsigned char* codes, short* samples, int count)
{
    for (int i = 0; i < count; ++i)
        samples[i] = static_cast<short>(ulaw_to_s16(codes[i]));
}

void alaw_dec(const unsigned char* codes, short* samples, int count)
{
    for (int i = 0; i < count; ++i)
        samples[i] = static_cast<short>(alaw_to_s16(codes[i]));
}

} // extern "C"
