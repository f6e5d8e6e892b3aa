#ifndef RILO_CADPCMENCODER_H
#define RILO_CADPCMENCODER_H

#include "codec/CAdpcm.h"

// The IMA ADPCM encoding side.
class CAdpcmEncoder : public CAdpcm {
public:
    explicit CAdpcmEncoder(unsigned short bits) : CAdpcm(bits) {}

    // Encodes len / 2 host-order 16-bit samples from in, two per output byte,
    // the first of a pair in the high nibble (an odd last sample leaves the
    // low nibble 0). The state continues from the previous call; the new
    // index and predictor also go to the optional outputs. Returns the number
    // of bytes written: (len / 2 + 1) / 2.
    int Encode(const uint8_t* in, uint8_t* out, long len, uint8_t* outIndex = nullptr,
               uint16_t* outPredictor = nullptr);

private:
    unsigned EncodeSample(int sample);
};

#endif
