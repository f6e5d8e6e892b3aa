#include "codec/CTransferQueue.h"
#include "Common.h"

#include "RiloAssert.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>

namespace {

std::atomic<uint32_t> g_putWaitMs{CTransferQueue::kPutWaitMs};
std::atomic<unsigned long> g_bufSizeForTest{0};

enum { kEmptyBufferTries = 16, kEmptyBufferPauseUs = 2000, kForceWaitMs = 1 };

} // namespace

void CTransferQueue::SetPutWaitForTest(uint32_t ms)
{
    g_putWaitMs = ms ? ms : uint32_t(kPutWaitMs);
}

void CTransferQueue::SetBufferSizeForTest(unsigned long dwBufSize)
{
    g_bufSizeForTest = dwBufSize;
}

CTransferQueue::CTransferQueue(int nSize, unsigned long dwBufSize)
    : m_nWritePos(0), m_nReadPos(0), m_nSize(nSize), m_nCount(0),
      m_semFree(nSize > 0 ? uint32_t(nSize) : 0, nSize > 0 ? uint32_t(nSize) : 0),
      m_semFilled(0, nSize > 0 ? uint32_t(nSize) : 0), m_dwPutWaitMs(g_putWaitMs)
{
    Initialize(nSize, dwBufSize);
}

CTransferQueue::~CTransferQueue() = default;

void CTransferQueue::Initialize(int nSize, unsigned long dwBufSize)
{
    RILO_ASSERT(nSize > 0);
    if (g_bufSizeForTest != 0)
        dwBufSize = g_bufSizeForTest;
    if (dwBufSize == 0)
        dwBufSize = kDefaultBufferSize;
    RILO_ASSERT(dwBufSize <= INT_MAX);
    m_QueueObjects.resize(size_t(nSize));
    for (int i = 0; i < nSize; ++i)
        m_FreeList.push_back(BufferPtr(new CSimpleBuffer(int(dwBufSize))));
}

CSimpleBuffer* CTransferQueue::GetEmptyBuffer()
{
    for (int i = 0; i < kEmptyBufferTries; ++i) {
        BufferPtr pBuffer;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_FreeList.empty()) {
                pBuffer = std::move(m_FreeList.front());
                m_FreeList.pop_front();
            }
        }
        // Also after a success: leaves the consumer room to run.
        usleep(kEmptyBufferPauseUs);
        if (pBuffer)
            return pBuffer.release();
    }
    return nullptr;
}

bool CTransferQueue::StoreAtWritePos(BufferPtr& pBuffer, const char* pszCountError)
{
    const int nSlot = m_nWritePos;
    if (m_QueueObjects[nSlot]) {
        DiagPrint(kDiagOut, "TransferQueue memory error in put_object!\n");
        m_nReadPos = nSlot;
        return false;
    }
    m_nWritePos = (nSlot + 1) % m_nSize;
    if (++m_nCount > m_nSize) {
        DiagPrint(kDiagOut, "%s\n", pszCountError);
        m_nCount = m_nSize;
    }
    m_QueueObjects[nSlot] = std::move(pBuffer);
    return true;
}

void CTransferQueue::Recycle(BufferPtr pBuffer)
{
    pBuffer->Flush();
    m_FreeList.push_back(std::move(pBuffer));
}

void CTransferQueue::PutWithFreeSlot(BufferPtr pBuffer, const char* pszCountError)
{
    bool bStored;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bStored = StoreAtWritePos(pBuffer, pszCountError);
        if (!bStored)
            Recycle(std::move(pBuffer));
    }
    // Counts and semaphores move together: a buffer not stored fills no
    // slot, so the slot taken for it is free again.
    if (bStored)
        m_semFilled.Signal();
    else
        m_semFree.Signal();
}

void CTransferQueue::PutQueueObject(CSimpleBuffer* pBuffer)
{
    if (pBuffer == nullptr)
        return;
    BufferPtr pOwned(pBuffer);
    if (!m_semFree.Wait(m_dwPutWaitMs)) {
        // Dropped, but kept: the queue must not run out of buffers.
        std::lock_guard<std::mutex> lock(m_mutex);
        Recycle(std::move(pOwned));
        return;
    }
    PutWithFreeSlot(std::move(pOwned), "TransferQueue error in put_object!");
}

bool CTransferQueue::AppendToNewest(const unsigned char* pData, unsigned long dwLen)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int nLast = (m_nWritePos + m_nSize - 1) % m_nSize;
    if (!m_QueueObjects[nLast])
        return false;
    m_QueueObjects[nLast]->Write(pData, dwLen);
    return true;
}

void CTransferQueue::ForcePutQueueTail(const unsigned char* pData, unsigned long dwLen)
{
    RILO_ASSERT(pData != NULL);
    RILO_ASSERT(dwLen != 0);
    if (!m_semFree.Wait(kForceWaitMs)) {
        if (AppendToNewest(pData, dwLen))
            return;
        // The consumer took the newest buffer after our wait, so its slot
        // is about to be given back.
        if (!m_semFree.Wait(m_dwPutWaitMs)) {
            DiagPrint(kDiagOut, "TransferQueue fatal error in ForcePutQueueTail, give it up!\n");
            return;
        }
    }
    BufferPtr pBuffer(GetEmptyBuffer());
    if (!pBuffer) {
        DiagPrint(kDiagOut, "TransferQueue fatal error in ForcePutQueueTail, give it up!\n");
        m_semFree.Signal();
        return;
    }
    pBuffer->Write(pData, dwLen);
    PutWithFreeSlot(std::move(pBuffer), "TransferQueue error in ForcePutQueueTail!");
}

CSimpleBuffer* CTransferQueue::GetQueueObject(unsigned long dwLimitMs)
{
    // The wait runs outside the queue mutex, so the producer is never held
    // up by an idle consumer.
    uint32_t dwWaitMs = kNoLimit;
    if (dwLimitMs != kNoLimit)
        dwWaitMs = dwLimitMs < kNoLimit - 2 ? uint32_t(dwLimitMs + 2) : kNoLimit - 1;
    if (!m_semFilled.Wait(dwWaitMs))
        return nullptr;
    BufferPtr pBuffer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int nSlot = m_nReadPos;
        m_nReadPos = (nSlot + 1) % m_nSize;
        if (--m_nCount < 0) {
            DiagPrint(kDiagOut, "TransferQueue error in get_object!\n");
            m_nCount = 0;
        }
        pBuffer = std::move(m_QueueObjects[nSlot]);
    }
    m_semFree.Signal();
    return pBuffer.release();
}

void CTransferQueue::CollectBuffer(CSimpleBuffer* pBuffer)
{
    if (pBuffer == nullptr)
        return;
    BufferPtr pOwned(pBuffer);
    std::lock_guard<std::mutex> lock(m_mutex);
    Recycle(std::move(pOwned));
}

void CTransferQueue::CleanEmptyList()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_FreeList.clear();
}

int CTransferQueue::GetQueueCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nCount;
}
