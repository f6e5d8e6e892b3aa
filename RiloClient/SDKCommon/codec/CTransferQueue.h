#ifndef RILO_CTRANSFERQUEUE_H
#define RILO_CTRANSFERQUEUE_H

#include "codec/CCountingSemaphore.h"
#include "codec/CSimpleBuffer.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// Bounded hand-over of coded pictures from one producer thread (a stream's
// receive side) to one consumer thread (its decoder): a ring of filled
// buffers and a free list of empty ones, all allocated at construction.
// Every buffer is on the free list, in the ring, or held by the producer
// (GetEmptyBuffer .. PutQueueObject) or the consumer (GetQueueObject ..
// CollectBuffer). A buffer handed to PutQueueObject belongs to the queue
// again, whether it is queued or dropped.
class CTransferQueue {
public:
    enum : unsigned long { kDefaultBufferSize = 196608 };
    enum : uint32_t {
        kNoLimit = 0xFFFFFFFFu, // GetQueueObject waits without limit
        kPutWaitMs = 1002,      // how long a put waits for a free slot
    };

    // nSize slots and as many buffers of dwBufSize bytes (0: the default).
    CTransferQueue(int nSize, unsigned long dwBufSize);
    ~CTransferQueue();

    CTransferQueue(const CTransferQueue&) = delete;
    CTransferQueue& operator=(const CTransferQueue&) = delete;

    // Producer side. An empty buffer, or null when none came free after 16
    // short tries.
    CSimpleBuffer* GetEmptyBuffer();
    // Queues the buffer; when no slot comes free within the put wait it is
    // dropped back onto the free list.
    void PutQueueObject(CSimpleBuffer* pBuffer);
    // Queues a copy of the data even when the ring is full: then it is
    // appended to the newest queued buffer as far as that has room.
    void ForcePutQueueTail(const unsigned char* pData, unsigned long dwLen);

    // Consumer side. The oldest queued buffer, waiting up to dwLimitMs
    // (kNoLimit: for ever); null when none came.
    CSimpleBuffer* GetQueueObject(unsigned long dwLimitMs);
    // Hands a buffer from GetQueueObject back, emptied, to the free list.
    void CollectBuffer(CSimpleBuffer* pBuffer);

    void CleanEmptyList();
    // Buffers waiting in the ring.
    int GetQueueCount();

    // Tests only: the put wait of queues constructed afterwards (0: default).
    static void SetPutWaitForTest(uint32_t ms);
    // Tests only: the buffer size of queues constructed afterwards, in place
    // of the one asked for (0: as asked).
    static void SetBufferSizeForTest(unsigned long dwBufSize);

private:
    typedef std::unique_ptr<CSimpleBuffer> BufferPtr;

    void Initialize(int nSize, unsigned long dwBufSize);
    // With the queue mutex held: stores the buffer at the write position.
    // False when that slot is still taken; the buffer is then left to the
    // caller.
    bool StoreAtWritePos(BufferPtr& pBuffer, const char* pszCountError);
    // With the queue mutex held.
    void Recycle(BufferPtr pBuffer);
    // Queues a buffer for which a free slot has been taken; on failure the
    // buffer is recycled and the slot given back.
    void PutWithFreeSlot(BufferPtr pBuffer, const char* pszCountError);
    bool AppendToNewest(const unsigned char* pData, unsigned long dwLen);

    std::vector<BufferPtr> m_QueueObjects;
    std::mutex m_mutex;
    int m_nWritePos;
    int m_nReadPos;
    int m_nSize;
    int m_nCount;
    std::deque<BufferPtr> m_FreeList;
    CCountingSemaphore m_semFree;
    CCountingSemaphore m_semFilled;
    const uint32_t m_dwPutWaitMs;
};

#endif
