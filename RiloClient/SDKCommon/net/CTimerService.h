#ifndef RILO_CTIMERSERVICE_H
#define RILO_CTIMERSERVICE_H

#include <cstdint>

// Process-wide timers on one thread of the client library; the stand-in for
// the event-loop timers of the original platform. Callbacks run on the
// service thread and must only post messages: they may not take locks that
// a caller of Remove holds.
class CTimerService {
public:
    typedef void (*TimerProc)(void* user, uint64_t timerId);
    enum : uint32_t { kNever = 0xFFFFFFFFu };

    static CTimerService& Instance();

    // A timer that fires firstMs from now, then every intervalMs (0: once,
    // after which it is gone). Returns its id (never 0, never reused), or 0.
    uint64_t Add(uint32_t firstMs, uint32_t intervalMs, TimerProc proc, void* user);
    // Next firing delayMs from now; kNever suspends it. False for an unknown id.
    bool SetNextFire(uint64_t timerId, uint32_t delayMs);
    // Removes the timer. When its callback is running on the service thread,
    // waits until it has returned (unless called from that callback), so
    // that afterwards the callback never runs again. False for an unknown id.
    bool Remove(uint64_t timerId);

    CTimerService(const CTimerService&) = delete;
    CTimerService& operator=(const CTimerService&) = delete;

private:
    CTimerService();
    ~CTimerService() = delete; // lives as long as the process
    struct Impl;
    Impl* m_p;
};

#endif
