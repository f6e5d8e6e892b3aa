#ifndef RILO_CBLTHREAD_H
#define RILO_CBLTHREAD_H

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

// Threads are addressed by a process-wide serial that is never reused, so a
// message for a thread that has ended cannot reach a later one (pthread_t
// values are recycled). 0 means "no thread".
typedef uint64_t BLThreadID;

enum : unsigned int {
    WM_BLTHREAD_QUIT = 2,     // ends the target's message loop
    WM_HTTPCTRL_FIRST = 1025, // command to an HTTP worker
    WM_HTTPCTRL_LAST = 1026,  // transport notification to an HTTP worker
};

// One queued message. The parameters are pointer-sized: they carry pointers.
struct t_thrdmsg {
    BLThreadID target;
    uint32_t message;
    uintptr_t wParam;
    uintptr_t lParam;
};

typedef int (*BLThreadMsgHandler)(void* user, unsigned int message, unsigned long wParam,
                                  unsigned long lParam);

// Queues a message for the thread with that id. Returns 1, or 0 when nothing
// was queued (no memory, or no live thread has that id).
int PostThreadMessage(BLThreadID target, unsigned int message, unsigned long wParam,
                      unsigned long lParam);

// A fresh id whose messages are kept until it is released.
BLThreadID AllocThreadMessageID();
// Forgets the id and frees the messages still queued for it.
void ReleaseThreadMessageID(BLThreadID id);
// Messages queued for id (for diagnostics and tests).
size_t CountThreadMessages(BLThreadID id);

class CBLThread {
public:
    explicit CBLThread(unsigned int nNotifyMsg);
    CBLThread();
    virtual ~CBLThread();

    CBLThread(const CBLThread&) = delete;
    CBLThread& operator=(const CBLThread&) = delete;

    virtual bool BeginThread();
    // Waits without limit for the thread to end; the arguments are kept for
    // callers that pass a time-out. Deletes the object when auto-delete is on.
    virtual int CloseThread(unsigned long dwTimeout, bool bFlag);
    virtual bool InitInstance();
    virtual int ExitInstance();
    virtual int Run();
    virtual int OnThreadMessage(unsigned int message, unsigned long wParam, unsigned long lParam);

    int Lock();
    int Unlock();
    BLThreadID GetThreadID();
    int RunThreadProc();
    void SetAutoDelete(bool bAutoDelete) { m_bAutoDelete = bAutoDelete; }
    unsigned int GetNotifyMsg() const { return nNotifyMsg; }

    static void* CurrentThreadProc(void* param);
    static int ThreadMessageHandler(void* user, unsigned int message, unsigned long wParam,
                                    unsigned long lParam);
    // The message loop of the thread with id self; returns on the quit message.
    static int ProcessThreadMessage(BLThreadID self, BLThreadMsgHandler handler, void* user);

protected:
    bool m_bAutoDelete;
    pthread_mutex_t m_mutex;
    unsigned int nNotifyMsg;
    std::atomic<bool> m_bClosing;
    std::atomic<bool> m_bRunning;
    std::atomic<BLThreadID> m_idThread;

private:
    pthread_t m_hThread;
    bool m_bThreadCreated; // m_hThread is valid and not yet joined
};

// Holds a thread object's lock for a scope.
class CObjectLock {
public:
    explicit CObjectLock(CBLThread& t) : m_t(t) { m_t.Lock(); }
    ~CObjectLock() { m_t.Unlock(); }
    CObjectLock(const CObjectLock&) = delete;
    CObjectLock& operator=(const CObjectLock&) = delete;

private:
    CBLThread& m_t;
};

#endif
