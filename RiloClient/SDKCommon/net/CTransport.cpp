#include "net/CTransport.h"

#include "Common.h"
#include "RiloAssert.h"

#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace {

// What the data callback did not take moves to the front and the freed tail
// is zeroed, so the next read appends to it. Returns the count still held.
int KeepUnconsumed(unsigned char* buf, int held, unsigned long consumed)
{
    if (consumed >= static_cast<unsigned long>(held))
        return 0;
    size_t rest = size_t(held) - consumed;
    std::memmove(buf, buf + consumed, rest);
    std::memset(buf + rest, 0, consumed);
    return int(rest);
}

} // namespace

CTransport::CTransport(BLThreadID owner, unsigned int notifyMsg, const Names& names,
                       unsigned int sendTimeoutMs)
    : m_nLastError(0), m_nState(stConstructed), m_bStop(false), m_bPassRead(false), m_nHeld(0),
      m_nSendTimeoutMs(sendTimeoutMs), m_names(names), m_thSocketHandlerID(),
      m_bThreadStarted(false), m_RecvBuf(), m_pRecvDataProc(nullptr), m_pRecvUser(nullptr),
      m_OwnerThreadID(owner), m_nNotifyMsg(notifyMsg)
{
    int nRet = pthread_mutex_init(&m_mutex, nullptr);
    RILO_ASSERT(nRet == 0);
    // Without it the poll thread still notices a close within its wait.
    m_wakeFd.Reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

CTransport::~CTransport()
{
    // Subclasses close first, while their part of the object still exists.
    RILO_ASSERT(!OnSocketThread());
    DoClose(false);
    pthread_mutex_destroy(&m_mutex);
}

bool CTransport::OnSocketThread() const
{
    return m_bThreadStarted && pthread_equal(m_thSocketHandlerID, pthread_self());
}

bool CTransport::LockUnlessSocketThread()
{
    // The poll thread holds the mutex while it runs the callbacks, and the
    // callbacks may call back into the transport.
    if (OnSocketThread())
        return false;
    Lock();
    return true;
}

void CTransport::JoinSocketThread()
{
    if (!m_bThreadStarted || OnSocketThread())
        return;
    pthread_join(m_thSocketHandlerID, nullptr);
    m_thSocketHandlerID = pthread_t();
    m_bThreadStarted = false;
}

void CTransport::Wake()
{
    if (!m_wakeFd.Valid())
        return;
    uint64_t one = 1;
    ssize_t n = write(m_wakeFd.Get(), &one, sizeof one);
    (void)n; // a saturated counter still wakes the thread
}

int CTransport::PendingError(int fd)
{
    int soErr = 0;
    socklen_t len = sizeof soErr;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0)
        soErr = errno;
    return soErr;
}

int CTransport::Lock()
{
    int nRet = pthread_mutex_lock(&m_mutex);
    if (nRet != 0)
        DiagPrint(kDiagErr, "[%s::Lock]nRet = %d\n", m_names.cls, nRet);
    return nRet;
}

int CTransport::Unlock()
{
    int nRet = pthread_mutex_unlock(&m_mutex);
    if (nRet != 0)
        DiagPrint(kDiagErr, "[%s::UnLock]nRet = %d\n", m_names.cls, nRet);
    return nRet;
}

void CTransport::SetRecvDataProc(RecvDataProc pfnProc, void* user)
{
    bool locked = LockUnlessSocketThread();
    m_pRecvDataProc = pfnProc;
    m_pRecvUser = user;
    if (locked)
        Unlock();
}

bool CTransport::StartThread()
{
    RILO_ASSERT(!m_bThreadStarted); // "m_thSocketHandlerID == 0"
    if (pthread_create(&m_thSocketHandlerID, nullptr, DoHandleSocketProc, this) != 0) {
        m_thSocketHandlerID = pthread_t();
        return false;
    }
    m_bThreadStarted = true;
    return true;
}

int CTransport::Close()
{
    return DoClose(false);
}

int CTransport::EndSession()
{
    return Close();
}

void CTransport::ReleaseSession(bool) {}

int CTransport::DoClose(bool bLocked)
{
    const bool onThread = OnSocketThread();
    // A close from inside a callback already holds the mutex.
    const bool takeLock = !bLocked && !onThread;

    // Tell the poll thread, and a connect in progress, to stop.
    m_bStop = true;
    if (!onThread)
        Wake();
    if (takeLock)
        Lock();
    const bool open = m_fd.Valid() && m_nState != stClosed;
    ReleaseSession(onThread);
    // At once, so that the camera sees the close and nothing goes on waiting
    // on the socket.
    if (m_fd.Valid())
        shutdown(m_fd.Get(), SHUT_RDWR);
    if (m_nState != stConstructed)
        m_nState = stClosed;
    if (takeLock)
        Unlock();

    if (!onThread) {
        // The descriptor is closed only once the poll thread is gone, so its
        // number cannot be reused under a poll.
        JoinSocketThread();
        int junk = m_fd.Reset();
        if (junk != 0) {
            DiagPrint(kDiagOut, "[%s::DoClose]close socket failed, err = %d\n", m_names.cls, errno);
            RILO_ASSERT(junk == 0 || errno == EINTR);
        }
    }
    m_nLastError = 0;
    return open ? 1 : 0;
}

void CTransport::InternalClose()
{
    DoClose(true);
    OnClose(0);
}

int CTransport::NotifyThreadMsg(unsigned long wParam, unsigned long lParam)
{
    return PostThreadMessage(m_OwnerThreadID, m_nNotifyMsg, wParam, lParam);
}

int CTransport::SendWithin(const void* data, int length)
{
    if (!data || length < 0) {
        m_nLastError = EINVAL;
        return -1;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    const uint64_t deadline = MonotonicMs() + m_nSendTimeoutMs;
    int sent = 0;
    while (sent < length) {
        pollfd wait{-1, 0, 0};
        int r = WriteSome(p + sent, length - sent, &wait);
        if (r > 0) {
            sent += r;
            continue;
        }
        if (wait.fd < 0)
            return sent;
        uint64_t now = MonotonicMs();
        if (now >= deadline) {
            m_nLastError = ETIMEDOUT;
            return sent;
        }
        // Short waits: the poll thread may take the bytes a TLS
        // renegotiation waits for.
        uint64_t left = deadline - now;
        poll(&wait, 1, int(left < 50 ? left : 50));
    }
    return sent;
}

void* CTransport::DoHandleSocketProc(void* param)
{
    static_cast<CTransport*>(param)->HandleSocketProc();
    return nullptr;
}

void CTransport::HandleSocketProc()
{
    pthread_setname_np(pthread_self(), m_names.thread);
    short revents = 0;
    for (;;) {
        Lock();
        pollfd sock{m_fd.Get(), 0, 0};
        const PassResult result = m_bStop ? kPassIdle : Pass(revents, &sock.events);
        const bool stop = m_bStop;
        Unlock();
        if (stop)
            break;
        revents = 0;
        // A TLS session may hold more decrypted bytes than the socket shows.
        if (result == kPassProgress)
            continue;
        // Only a pass that got nowhere waits, so a busy stream is not throttled.
        if (result == kPassStalled)
            SleepMs(10);
        if (!WaitForEvents(sock, &revents))
            break;
    }
}

bool CTransport::WaitForEvents(pollfd sock, short* revents)
{
    if (sock.events == 0)
        sock.fd = -1; // an idle socket reports POLLHUP: do not spin on it
    pollfd p[2] = {sock, {m_wakeFd.Get(), POLLIN, 0}};
    // Without a wake descriptor only the time-out ends the wait.
    int n = poll(p, 2, m_wakeFd.Valid() ? 1000 : 10);
    if (n < 0) {
        if (errno == EINTR)
            return true;
        DiagPrint(kDiagOut, "HandleSocketProc gets error: %d\n", errno);
        return false;
    }
    if (p[1].revents) {
        uint64_t v;
        ssize_t r = read(m_wakeFd.Get(), &v, sizeof v);
        (void)r;
    }
    *revents = p[0].revents;
    return true;
}

void CTransport::OnConnect(int nErrorCode)
{
    if (nErrorCode == 0)
        m_nState = stConnected;
    NotifyThreadMsg(CLISOCK_NOTIFY_CONNECT, unsigned(nErrorCode));
}

void CTransport::OnReceive(int nErrorCode)
{
    RILO_ASSERT(m_pRecvDataProc != NULL);
    if (m_nHeld >= kRecvBufSize || nErrorCode != 0) {
        DiagPrint(kDiagOut, "%sSocket Get Data Buffer full!\n", m_names.recv);
        InternalClose();
        return;
    }
    int n = ReadSome(m_RecvBuf + m_nHeld, kRecvBufSize - m_nHeld);
    if (n == kReadAgain)
        return;
    if (n == kReadFailed || n == kReadEnd) {
        DiagPrint(kDiagOut,
                  n == kReadEnd ? "%sReceive DATA: 0 byte!\n" : "%sSocket Error occurred!\n",
                  m_names.recv);
        InternalClose();
        return;
    }
    m_bPassRead = true;
    m_nHeld += n;
    unsigned long consumed =
        m_pRecvDataProc(m_pRecvUser, m_RecvBuf, static_cast<unsigned long>(m_nHeld));
    if (m_bStop) {
        // The callback closed the connection.
        m_nHeld = 0;
        return;
    }
    if (consumed == 0 && m_nHeld > 0)
        DiagPrint(kDiagOut, "%sData wasn't consumed: %u!\n", m_names.unconsumed, unsigned(m_nHeld));
    m_nHeld = KeepUnconsumed(m_RecvBuf, m_nHeld, consumed);
}

void CTransport::OnClose(int nErrorCode)
{
    m_nHeld = 0;
    NotifyThreadMsg(CLISOCK_NOTIFY_CLOSE, unsigned(nErrorCode));
}
