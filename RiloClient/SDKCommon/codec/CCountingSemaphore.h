#ifndef RILO_CCOUNTINGSEMAPHORE_H
#define RILO_CCOUNTINGSEMAPHORE_H

#include <condition_variable>
#include <cstdint>
#include <mutex>

// A counting semaphore with a maximum and millisecond waits on the monotonic
// clock (std::counting_semaphore has no maximum, sem_timedwait runs on the
// wall clock).
class CCountingSemaphore {
public:
    enum : uint32_t { kInfinite = 0xFFFFFFFFu };

    CCountingSemaphore(uint32_t dwInitial, uint32_t dwMaximum);

    CCountingSemaphore(const CCountingSemaphore&) = delete;
    CCountingSemaphore& operator=(const CCountingSemaphore&) = delete;

    // Takes one unit, waiting up to dwTimeoutMs (kInfinite: no limit).
    // False when none came in time.
    bool Wait(uint32_t dwTimeoutMs);
    // Gives one unit back; false (and nothing changes) at the maximum.
    bool Signal();

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    uint32_t m_dwCount;
    const uint32_t m_dwMaximum;
};

#endif
