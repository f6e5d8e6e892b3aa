#include "codec/CSimpleBuffer.h"

#include "RiloAssert.h"

#include <cstring>

CSimpleBuffer::CSimpleBuffer(int nCapacity)
    : m_pData(new unsigned char[nCapacity > 0 ? nCapacity : 0]()),
      m_dwCapacity(nCapacity > 0 ? uint32_t(nCapacity) : 0), m_dwLength(0)
{
}

unsigned long CSimpleBuffer::DataLen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dwLength;
}

void CSimpleBuffer::Flush()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dwLength = 0;
}

unsigned long CSimpleBuffer::Write(const unsigned char* pData, unsigned long dwLen)
{
    if (dwLen == 0)
        return 0;
    RILO_ASSERT(pData != NULL);
    std::lock_guard<std::mutex> lock(m_mutex);
    const unsigned long dwFree = m_dwCapacity - m_dwLength;
    if (dwLen > dwFree)
        dwLen = dwFree;
    if (dwLen > 0)
        std::memcpy(m_pData.get() + m_dwLength, pData, dwLen);
    m_dwLength += uint32_t(dwLen);
    return dwLen;
}
