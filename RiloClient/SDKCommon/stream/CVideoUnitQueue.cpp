#include "stream/CVideoUnitQueue.h"

#include "codec/CVideoDecThread.h"

#include <cstring>
#include <new>

namespace {

const unsigned long kSourceWaitMs = 100;

} // namespace

CVideoUnitQueue::CVideoUnitQueue(int nBuffers, unsigned long dwBufferSize, bool& waitForKey)
    : m_queue(nBuffers, dwBufferSize), m_bWaitForKey(waitForKey), m_bConfigSent(false)
{
}

bool CVideoUnitQueue::IsCachedConfig(const uint8_t* p, uint32_t len) const
{
    return len == m_config.size() && len > 0 && std::memcmp(p, m_config.data(), len) == 0;
}

bool CVideoUnitQueue::CacheConfig(const uint8_t* p, uint32_t len)
{
    try {
        m_config.assign(p, p + len);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CVideoUnitQueue::Restart()
{
    while (CSimpleBuffer* stale = m_queue.GetQueueObject(0))
        m_queue.CollectBuffer(stale);
    m_bConfigSent = false;
    m_bWaitForKey = true;
}

void CVideoUnitQueue::PutConfig()
{
    if (m_config.empty())
        return;
    m_bConfigSent = true;
    if (CSimpleBuffer* buffer = m_queue.GetEmptyBuffer()) {
        buffer->Write(m_config.data(), m_config.size());
        m_queue.PutQueueObject(buffer);
        return;
    }
    m_queue.ForcePutQueueTail(m_config.data(), m_config.size());
}

void CVideoUnitQueue::PutUnit(const uint8_t* p, uint32_t len, bool bKey)
{
    if (m_bWaitForKey && !bKey)
        return;
    // A decoder that has no configuration cannot use the unit.
    if (!m_bConfigSent) {
        if (m_config.empty())
            return;
        PutConfig();
    }
    CSimpleBuffer* buffer = m_queue.GetEmptyBuffer();
    if (!buffer) {
        m_bWaitForKey = true;
        return;
    }
    m_bWaitForKey = false;
    buffer->Write(p, len);
    m_queue.PutQueueObject(buffer);
}

unsigned long CVideoUnitQueue::GetFrameData(unsigned int, unsigned char* pBuffer,
                                            unsigned long dwCapacity, void* pContext,
                                            unsigned int* pBacklog, unsigned long)
{
    auto* self = static_cast<CVideoUnitQueue*>(pContext);
    return TakeQueuedUnit(&self->m_queue, kSourceWaitMs, pBuffer, dwCapacity, pBacklog);
}
