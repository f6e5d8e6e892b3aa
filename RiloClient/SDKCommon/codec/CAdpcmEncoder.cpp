#include "codec/CAdpcmEncoder.h"

#include <cstring>

unsigned CAdpcmEncoder::EncodeSample(int sample)
{
    int diff = sample - m_predictor;
    unsigned code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    int step = CurrentStep();
    if (diff >= step) {
        code |= 4;
        diff -= step;
    }
    step >>= 1;
    if (diff >= step) {
        code |= 2;
        diff -= step;
    }
    step >>= 1;
    if (diff >= step)
        code |= 1;
    Step(code);
    return code;
}

int CAdpcmEncoder::Encode(const uint8_t* in, uint8_t* out, long len, uint8_t* outIndex,
                          uint16_t* outPredictor)
{
    const long samples = len > 0 ? len / 2 : 0;
    long written = 0;
    for (long i = 0; i < samples; i += 2) {
        int16_t s;
        std::memcpy(&s, in + 2 * i, 2);
        unsigned byte = EncodeSample(s) << 4;
        if (i + 1 < samples) {
            std::memcpy(&s, in + 2 * (i + 1), 2);
            byte |= EncodeSample(s);
        }
        out[written++] = uint8_t(byte);
    }
    if (outIndex)
        *outIndex = m_index;
    if (outPredictor)
        *outPredictor = uint16_t(m_predictor);
    return int(written);
}
