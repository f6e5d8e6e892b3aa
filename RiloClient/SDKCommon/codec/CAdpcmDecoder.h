#ifndef RILO_CADPCMDECODER_H
#define RILO_CADPCMDECODER_H

#include "codec/CAdpcm.h"

#include <cstddef>

// Microsoft ADPCM: the adaptation table and the seven predictor coefficient
// pairs (the AVI writer's format record carries the same pairs).
extern const int AdaptationTable[16];
extern const int AdaptCoeff1[7];
extern const int AdaptCoeff2[7];

// One channel's Microsoft ADPCM state within a block.
struct ADPCMChannelStatus {
    int16_t sample1; // the latest sample
    int16_t sample2; // the one before
    int coeff1;
    int coeff2;
    int idelta;
};

// The IMA ADPCM decoding side, and the Microsoft ADPCM block decoder.
class CAdpcmDecoder : public CAdpcm {
public:
    enum { kMaxMSChannels = 8 };

    explicit CAdpcmDecoder(unsigned short bits) : CAdpcm(bits) {}

    // Decodes len IMA ADPCM bytes, high nibble first, into 4 * len bytes of
    // host-order 16-bit samples. A negative startIndex continues from the
    // stored state; otherwise decoding starts at startIndex (at most 88) and
    // startPredictor. The final state is stored. Returns the bytes written.
    int Decode(const uint8_t* in, uint8_t* out, long len, signed char startIndex,
               short startPredictor);

    // Decodes one Microsoft ADPCM block of len bytes with channels (1 to 8)
    // interleaved channels into host-order 16-bit samples. out must hold
    // MSOutputSize(len, channels) bytes. Returns the bytes written; 0 for a
    // channel count out of range or a block shorter than its header.
    static int DecodeMS(const uint8_t* in, uint8_t* out, unsigned long len,
                        unsigned short channels);
    // The output size of such a block in bytes, 0 when it yields nothing.
    static size_t MSOutputSize(unsigned long len, unsigned short channels);

    static short adpcm_ms_expand_nibble(ADPCMChannelStatus& status, char nibble);
    static int av_clip(int value, int low, int high);
};

#endif
