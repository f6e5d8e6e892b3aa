#include "net/CTimerService.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    Clock::time_point due;
    bool suspended;
    uint32_t intervalMs;
    CTimerService::TimerProc proc;
    void* user;
};

} // namespace

struct CTimerService::Impl {
    std::mutex mu;
    std::condition_variable wake; // the service thread's wait
    std::condition_variable done; // a callback has returned
    std::map<uint64_t, Timer> timers;
    uint64_t nextId = 1;
    uint64_t running = 0; // id whose callback runs now
    bool started = false;
    std::thread::id serviceThread;

    void Start()
    {
        // Started on first use, so a process that never streams has no such thread.
        if (started)
            return;
        started = true;
        std::thread t([this] { Loop(); });
        serviceThread = t.get_id();
        t.detach();
    }

    void Loop()
    {
        pthread_setname_np(pthread_self(), "rilo-timer");
        std::unique_lock<std::mutex> g(mu);
        for (;;) {
            auto now = Clock::now();
            auto next = Clock::time_point::max();
            uint64_t dueId = 0;
            for (auto& kv : timers) {
                const Timer& t = kv.second;
                if (t.suspended)
                    continue;
                if (t.due <= now) {
                    dueId = kv.first;
                    break;
                }
                if (t.due < next)
                    next = t.due;
            }
            if (dueId == 0) {
                if (next == Clock::time_point::max())
                    wake.wait(g);
                else
                    wake.wait_until(g, next);
                continue;
            }
            Timer& t = timers[dueId];
            TimerProc proc = t.proc;
            void* user = t.user;
            if (t.intervalMs == 0) {
                timers.erase(dueId);
            } else {
                t.due = now + std::chrono::milliseconds(t.intervalMs);
            }
            running = dueId;
            g.unlock();
            proc(user, dueId);
            g.lock();
            running = 0;
            done.notify_all();
        }
    }
};

CTimerService::CTimerService() : m_p(new Impl) {}

CTimerService& CTimerService::Instance()
{
    // Never destroyed: worker threads may still remove timers during exit.
    static CTimerService* s = new CTimerService;
    return *s;
}

uint64_t CTimerService::Add(uint32_t firstMs, uint32_t intervalMs, TimerProc proc, void* user)
{
    if (!proc)
        return 0;
    std::lock_guard<std::mutex> g(m_p->mu);
    m_p->Start();
    uint64_t id = m_p->nextId++;
    Timer t;
    t.suspended = firstMs == kNever;
    t.due = Clock::now() + std::chrono::milliseconds(t.suspended ? 0 : firstMs);
    t.intervalMs = intervalMs;
    t.proc = proc;
    t.user = user;
    m_p->timers[id] = t;
    m_p->wake.notify_all();
    return id;
}

bool CTimerService::SetNextFire(uint64_t timerId, uint32_t delayMs)
{
    std::lock_guard<std::mutex> g(m_p->mu);
    auto it = m_p->timers.find(timerId);
    if (it == m_p->timers.end())
        return false;
    it->second.suspended = delayMs == kNever;
    if (!it->second.suspended)
        it->second.due = Clock::now() + std::chrono::milliseconds(delayMs);
    m_p->wake.notify_all();
    return true;
}

bool CTimerService::Remove(uint64_t timerId)
{
    std::unique_lock<std::mutex> g(m_p->mu);
    bool known = m_p->timers.erase(timerId) != 0;
    if (m_p->running == timerId && std::this_thread::get_id() != m_p->serviceThread) {
        known = true;
        m_p->done.wait(g, [&] { return m_p->running != timerId; });
    }
    m_p->wake.notify_all();
    return known;
}
