#ifndef RILO_CADPCM_H
#define RILO_CADPCM_H

#include <cstdint>

// IMA/DVI ADPCM state shared by the encoding and decoding sides: the last
// sample value and the step index. It carries over from call to call, as the
// camera's stream has no block headers.
class CAdpcm {
public:
    // Throws std::invalid_argument for any bit depth but 16.
    explicit CAdpcm(unsigned short bits);

    // Back to predictor 0 and index 0 (a new stream).
    void Reset();

    static const int indexTable[16];
    static const int stepsizeTable[89];

protected:
    // One reconstruction step for a 4-bit code: moves predictor and index on
    // and returns the new predictor. Encoder and decoder share it, so both
    // sides stay in step.
    int16_t Step(unsigned code);
    // The step size at the current index.
    int CurrentStep() const { return stepsizeTable[m_index]; }

    int16_t m_predictor;
    uint8_t m_index; // 0 to 88
};

#endif
