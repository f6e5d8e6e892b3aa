#include "codec/CSimpleBuffer.h"

#include "RiloAssert.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// calloc, not new[]() and a fill: large zeroed blocks then come as fresh
// pages that are only faulted in where written.
unsigned char* ZeroedBytes(int nCapacity)
{
    void* p = std::calloc(nCapacity > 0 ? size_t(nCapacity) : 1, 1);
    if (!p)
        throw std::bad_alloc();
    return static_cast<unsigned char*>(p);
}

} // namespace

void CSimpleBuffer::FreeBytes::operator()(unsigned char* p) const
{
    std::free(p);
}

CSimpleBuffer::CSimpleBuffer(int nCapacity)
    : m_pData(ZeroedBytes(nCapacity)), m_dwCapacity(nCapacity > 0 ? uint32_t(nCapacity) : 0),
      m_dwLength(0)
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
