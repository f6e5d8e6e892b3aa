#ifndef RILO_BITSTREAMDATA_H
#define RILO_BITSTREAMDATA_H

#include <cstdint>

// Reads bits most significant first from a byte buffer it does not own.
class BitStreamData {
public:
    BitStreamData(const unsigned char* pData, unsigned long dwLen);

    // The next n bits (at most 32) as an unsigned number; the position moves
    // on unless bPeek. A read past the end answers 0, leaves the position
    // where it is and marks the reader as overrun.
    uint32_t GetBits(int n, bool bPeek = false);
    // Moves the position by up to n bits, never past the end.
    void SkipBits(uint32_t n);

    uint32_t Position() const { return m_dwPos; }
    uint32_t LengthInBits() const { return m_dwLen * 8; }
    uint32_t BitsLeft() const { return LengthInBits() - m_dwPos; }
    bool IsByteAligned() const { return (m_dwPos & 7) == 0; }
    bool Overrun() const { return m_bOverrun; }

private:
    const unsigned char* m_pData;
    uint32_t m_dwPos;
    uint32_t m_dwLen; // bytes
    bool m_bOverrun;
};

#endif
