#include "codec/CCountingSemaphore.h"

#include "RiloAssert.h"

#include <chrono>

CCountingSemaphore::CCountingSemaphore(uint32_t dwInitial, uint32_t dwMaximum)
    : m_dwCount(dwInitial), m_dwMaximum(dwMaximum)
{
    RILO_ASSERT(dwInitial <= dwMaximum);
}

bool CCountingSemaphore::Wait(uint32_t dwTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto available = [this] { return m_dwCount > 0; };
    if (dwTimeoutMs == kInfinite)
        m_cond.wait(lock, available);
    else if (!m_cond.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs), available))
        return false;
    --m_dwCount;
    return true;
}

bool CCountingSemaphore::Signal()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_dwCount >= m_dwMaximum)
            return false;
        ++m_dwCount;
    }
    m_cond.notify_one();
    return true;
}
