#include "codec/BitStreamData.h"
#include "Common.h"

#include "RiloAssert.h"

#include <climits>
#include <cstdio>

namespace {

// Longest buffer whose bit count still fits the diagnostics' int.
const unsigned long kMaxBytes = INT_MAX / 8;

} // namespace

BitStreamData::BitStreamData(const unsigned char* pData, unsigned long dwLen)
    : m_pData(pData), m_dwPos(0), m_dwLen(uint32_t(dwLen < kMaxBytes ? dwLen : kMaxBytes)),
      m_bOverrun(false)
{
    RILO_ASSERT(pData != NULL);
}

uint32_t BitStreamData::GetBits(int n, bool bPeek)
{
    if (n > 32) {
        DiagPrint(kDiagOut, "Overflow in GetBits: %d\n", n);
        n = 32;
    }
    if (n <= 0)
        return 0;
    const uint32_t dwEnd = m_dwPos + uint32_t(n);
    if (LengthInBits() < dwEnd) {
        DiagPrint(kDiagOut, "Overflow! out of length boundary:%d, request up to:%u\n",
                  int(LengthInBits()), dwEnd);
        m_bOverrun = true;
        return 0;
    }
    // At most five bytes hold the field; gather them in 64 bits so that a
    // 32-bit field never needs a 32-bit shift.
    uint64_t qwBits = 0;
    for (uint32_t i = m_dwPos / 8; i <= (dwEnd - 1) / 8; ++i)
        qwBits = (qwBits << 8) | m_pData[i];
    qwBits >>= (8 - dwEnd % 8) % 8;
    if (!bPeek)
        m_dwPos = dwEnd;
    return uint32_t(qwBits & ((uint64_t(1) << n) - 1));
}

void BitStreamData::SkipBits(uint32_t n)
{
    m_dwPos += n < BitsLeft() ? n : BitsLeft();
}
