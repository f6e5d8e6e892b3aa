#include "CBLThread.h"

#include "Common.h"
#include "RiloAssert.h"

#include <deque>
#include <new>
#include <unordered_set>

namespace {

// The process-wide queue. Allocated once and never destroyed, so threads that
// outlive static destruction still find it.
struct MsgQueue {
    std::deque<t_thrdmsg*> g_MsgQueue;
    std::unordered_set<BLThreadID> live;
    BLThreadID nextId = 1;
    pthread_mutex_t g_qlock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t g_qready = PTHREAD_COND_INITIALIZER;
};

MsgQueue& Queue()
{
    static MsgQueue* q = new MsgQueue;
    return *q;
}

} // namespace

int PostThreadMessage(BLThreadID target, unsigned int message, unsigned long wParam,
                      unsigned long lParam)
{
    t_thrdmsg* msg = new (std::nothrow) t_thrdmsg;
    if (!msg)
        return 0;
    msg->target = target;
    msg->message = message;
    msg->wParam = wParam;
    msg->lParam = lParam;

    MsgQueue& q = Queue();
    pthread_mutex_lock(&q.g_qlock);
    if (q.live.count(target) == 0) {
        pthread_mutex_unlock(&q.g_qlock);
        delete msg;
        DiagPrint(kDiagErr, "msg %u for ended thread %08x dropped\n", message, unsigned(target));
        return 0;
    }
    q.g_MsgQueue.push_back(msg);
    pthread_mutex_unlock(&q.g_qlock);
    pthread_cond_broadcast(&q.g_qready);
    return 1;
}

BLThreadID AllocThreadMessageID()
{
    MsgQueue& q = Queue();
    pthread_mutex_lock(&q.g_qlock);
    BLThreadID id = q.nextId++;
    q.live.insert(id);
    pthread_mutex_unlock(&q.g_qlock);
    return id;
}

void ReleaseThreadMessageID(BLThreadID id)
{
    MsgQueue& q = Queue();
    std::deque<t_thrdmsg*> dropped;
    pthread_mutex_lock(&q.g_qlock);
    q.live.erase(id);
    for (auto it = q.g_MsgQueue.begin(); it != q.g_MsgQueue.end();) {
        if ((*it)->target == id) {
            dropped.push_back(*it);
            it = q.g_MsgQueue.erase(it);
        } else {
            ++it;
        }
    }
    pthread_mutex_unlock(&q.g_qlock);
    for (t_thrdmsg* m : dropped)
        delete m;
}

size_t CountThreadMessages(BLThreadID id)
{
    MsgQueue& q = Queue();
    size_t n = 0;
    pthread_mutex_lock(&q.g_qlock);
    for (const t_thrdmsg* m : q.g_MsgQueue)
        n += (m->target == id);
    pthread_mutex_unlock(&q.g_qlock);
    return n;
}

CBLThread::CBLThread(unsigned int notifyMsg)
    : m_bAutoDelete(true), nNotifyMsg(notifyMsg), m_bClosing(false), m_bRunning(false),
      m_idThread(0), m_hThread(), m_bThreadCreated(false)
{
    int nRet = pthread_mutex_init(&m_mutex, nullptr);
    RILO_ASSERT(nRet == 0);
}

CBLThread::CBLThread() : CBLThread(0u) {}

CBLThread::~CBLThread()
{
    // Deleting a running thread's object would leave it on freed memory.
    RILO_ASSERT(!m_bThreadCreated);
    pthread_mutex_destroy(&m_mutex);
}

bool CBLThread::BeginThread()
{
    if (m_bRunning || m_idThread != 0)
        return true;
    m_bClosing = false;
    // The id exists before the thread does, so messages posted to it at once
    // (the quit of an early close among them) are kept for the loop.
    m_idThread = AllocThreadMessageID();
    int nRet = pthread_create(&m_hThread, nullptr, CurrentThreadProc, this);
    if (nRet != 0) {
        ReleaseThreadMessageID(m_idThread);
        Lock();
        m_idThread = 0;
        Unlock();
        return false;
    }
    m_bThreadCreated = true;
    return true;
}

int CBLThread::CloseThread(unsigned long /*dwTimeout*/, bool /*bFlag*/)
{
    int result = 0;
    m_bClosing = true;
    m_bRunning = false;
    if (m_bThreadCreated) {
        RILO_ASSERT(!pthread_equal(m_hThread, pthread_self()));
        PostThreadMessage(m_idThread, WM_BLTHREAD_QUIT, 0, 0);
        pthread_join(m_hThread, nullptr);
        m_bThreadCreated = false;
        m_idThread = 0;
        result = 1;
    }
    if (m_bAutoDelete)
        delete this;
    return result;
}

bool CBLThread::InitInstance()
{
    return true;
}

int CBLThread::ExitInstance()
{
    return 0;
}

int CBLThread::Run()
{
    ProcessThreadMessage(GetThreadID(), ThreadMessageHandler, this);
    return 1;
}

int CBLThread::OnThreadMessage(unsigned int, unsigned long, unsigned long)
{
    return 0;
}

int CBLThread::Lock()
{
    return pthread_mutex_lock(&m_mutex);
}

int CBLThread::Unlock()
{
    return pthread_mutex_unlock(&m_mutex);
}

BLThreadID CBLThread::GetThreadID()
{
    return m_idThread;
}

int CBLThread::RunThreadProc()
{
    const BLThreadID self = m_idThread;
    pthread_setname_np(pthread_self(), "rilo-worker");
    int code = -1;
    if (InitInstance()) {
        // A close that came before this point has already posted its quit;
        // the loop below ends on it either way.
        if (!m_bClosing)
            m_bRunning = true;
        do {
            Run();
        } while (m_bRunning && !m_bClosing);
        ExitInstance();
        code = 0;
    }
    ReleaseThreadMessageID(self);
    return code;
}

void* CBLThread::CurrentThreadProc(void* param)
{
    if (!param)
        return reinterpret_cast<void*>(intptr_t(-1));
    return reinterpret_cast<void*>(intptr_t(static_cast<CBLThread*>(param)->RunThreadProc()));
}

int CBLThread::ThreadMessageHandler(void* user, unsigned int message, unsigned long wParam,
                                    unsigned long lParam)
{
    if (!user)
        return -1;
    return static_cast<CBLThread*>(user)->OnThreadMessage(message, wParam, lParam);
}

int CBLThread::ProcessThreadMessage(BLThreadID self, BLThreadMsgHandler handler, void* user)
{
    MsgQueue& q = Queue();
    for (;;) {
        pthread_mutex_lock(&q.g_qlock);
        while (q.g_MsgQueue.empty())
            pthread_cond_wait(&q.g_qready, &q.g_qlock);

        t_thrdmsg* msg = nullptr;
        int i = 0;
        for (auto it = q.g_MsgQueue.begin(); it != q.g_MsgQueue.end(); ++it, ++i) {
            if ((*it)->target != self) {
                DiagPrint(kDiagErr, "%d msg %d is not handled, id = %08x, idThread = %08x\n", i,
                          int((*it)->message), unsigned((*it)->target), unsigned(self));
                continue;
            }
            msg = *it;
            q.g_MsgQueue.erase(it);
            break;
        }
        if (!msg) {
            pthread_cond_wait(&q.g_qready, &q.g_qlock);
            pthread_mutex_unlock(&q.g_qlock);
            continue;
        }
        DiagPrint(kDiagErr, "msg %d is handled in thread %08x\n", int(msg->message),
                  unsigned(self));
        pthread_mutex_unlock(&q.g_qlock);

        if (msg->message == WM_BLTHREAD_QUIT) {
            delete msg;
            return 0;
        }
        if (handler)
            handler(user, msg->message, msg->wParam, msg->lParam);
        delete msg;
    }
}
