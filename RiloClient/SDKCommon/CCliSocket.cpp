#include "CCliSocket.h"

#include "RecvBuffer.h"
#include "RiloAssert.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void SleepMs(long ms)
{
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

} // namespace

CCliSocket::CCliSocket(BLThreadID owner, unsigned int notifyMsg)
    : m_hSocket(-1), m_nLastError(0), m_thSocketHandlerID(), m_bThreadStarted(false),
      m_nState(stConstructed), m_bConnectNotified(false), m_bPassRead(false), m_RecvBuf(),
      m_nHeld(0), m_pRecvDataProc(nullptr), m_pRecvUser(nullptr), m_OwnerThreadID(owner),
      m_nNotifyMsg(notifyMsg), m_wakeFd(-1)
{
    int nRet = pthread_mutex_init(&m_mutex, nullptr);
    RILO_ASSERT(nRet == 0);
    // Without it the poll thread still notices a close within its 1 s wait.
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CCliSocket::~CCliSocket()
{
    RILO_ASSERT(!OnSocketThread());
    DoClose(false);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
    pthread_mutex_destroy(&m_mutex);
}

bool CCliSocket::OnSocketThread() const
{
    return m_bThreadStarted && pthread_equal(m_thSocketHandlerID, pthread_self());
}

bool CCliSocket::LockUnlessSocketThread()
{
    // The poll thread holds the mutex while it runs the callbacks, and the
    // callbacks may call back into the socket.
    if (OnSocketThread())
        return false;
    Lock();
    return true;
}

void CCliSocket::JoinSocketThread()
{
    if (!m_bThreadStarted || OnSocketThread())
        return;
    pthread_join(m_thSocketHandlerID, nullptr);
    m_thSocketHandlerID = pthread_t();
    m_bThreadStarted = false;
}

void CCliSocket::Wake()
{
    if (m_wakeFd < 0)
        return;
    uint64_t one = 1;
    ssize_t n = write(m_wakeFd, &one, sizeof one);
    (void)n; // a saturated counter still wakes the thread
}

// The poll thread clears the handle when the peer closes.
int CCliSocket::GetSocketHandle()
{
    bool locked = LockUnlessSocketThread();
    int fd = m_hSocket;
    if (locked)
        Unlock();
    return fd;
}

int CCliSocket::Lock()
{
    int nRet = pthread_mutex_lock(&m_mutex);
    if (nRet != 0)
        std::fprintf(stderr, "[CCliSocket::Lock]nRet = %d\n", nRet);
    return nRet;
}

int CCliSocket::Unlock()
{
    int nRet = pthread_mutex_unlock(&m_mutex);
    if (nRet != 0)
        std::fprintf(stderr, "[CCliSocket::UnLock]nRet = %d\n", nRet);
    return nRet;
}

bool CCliSocket::Create(int family, int type, int protocol)
{
    // Creating again from inside a callback would have the thread wait for itself.
    RILO_ASSERT(!OnSocketThread());
    // The previous connection's thread must be gone before a new handle
    // exists, or it would go on serving the new one.
    DoClose(false);

    int fd = socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        m_nLastError = errno;
        std::printf("socket create failed, err = %d\n", int(m_nLastError));
        std::printf("socket unknown failed, err = %d\n", int(m_nLastError));
        return false;
    }
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        m_nLastError = errno;
        std::printf("socket fcntl failed, err = %d\n", int(m_nLastError));
        close(fd);
        std::printf("socket unknown failed, err = %d\n", int(m_nLastError));
        return false;
    }

    Lock();
    m_hSocket = fd;
    m_nState = stCreated;
    m_bConnectNotified = false;
    m_nHeld = 0;
    Unlock();

    RILO_ASSERT(!m_bThreadStarted); // "m_thSocketHandlerID == 0"
    if (pthread_create(&m_thSocketHandlerID, nullptr, DoHandleSocketProc, this) != 0) {
        m_thSocketHandlerID = pthread_t();
        std::printf("can't create thread to handle socket = %d\n", fd);
        return false;
    }
    m_bThreadStarted = true;
    return true;
}

bool CCliSocket::Connect(const char* host, unsigned int port, int family)
{
    if (!host || port > 65535) {
        m_nLastError = EINVAL;
        return false;
    }
    Lock();
    int fd = m_hSocket;
    Unlock();
    if (fd == -1) {
        m_nLastError = EBADF;
        return false;
    }

    sockaddr_storage addr{};
    socklen_t len = 0;
    if (family == AF_INET6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&addr);
        if (inet_pton(AF_INET6, host, &a6->sin6_addr) == 1) {
            a6->sin6_family = AF_INET6;
            len = sizeof(sockaddr_in6);
        }
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&addr);
        if (inet_pton(AF_INET, host, &a4->sin_addr) == 1) {
            a4->sin_family = AF_INET;
            len = sizeof(sockaddr_in);
        }
    }
    if (len != 0) {
        std::fprintf(stderr, "[CCliSocket::Connect]inet_pton successful, family=%d, len=%d\n",
                     family, int(len));
    } else {
        std::fprintf(stderr, "[CCliSocket::Connect]Before gethostbyname = %s\n", host);
        addrinfo hints{};
        hints.ai_family = family;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        int rc = getaddrinfo(host, nullptr, &hints, &res);
        if (rc != 0 || !res || res->ai_addrlen > sizeof addr) {
            std::fprintf(stderr, "[CCliSocket::CreateSocket]gethostbyname failed, err = %d\n", rc);
            if (res)
                freeaddrinfo(res);
            m_nLastError = (rc == EAI_SYSTEM) ? errno : EHOSTUNREACH;
            return false;
        }
        std::memcpy(&addr, res->ai_addr, res->ai_addrlen);
        len = res->ai_addrlen;
        freeaddrinfo(res);
    }
    if (addr.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port = htons(uint16_t(port));
    else
        reinterpret_cast<sockaddr_in*>(&addr)->sin_port = htons(uint16_t(port));

    int rc = connect(fd, reinterpret_cast<sockaddr*>(&addr), len);
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
        m_nLastError = errno;
        return false;
    }
    Lock();
    if (m_hSocket == fd) {
        m_nState = stConnecting;
        m_bConnectNotified = false;
    }
    Unlock();
    Wake();
    return true;
}

template <typename Io>
int CCliSocket::LockedIo(bool argsValid, Io io)
{
    if (!argsValid) {
        m_nLastError = EINVAL;
        return -1;
    }
    bool locked = LockUnlessSocketThread();
    int n = -1;
    if (m_hSocket == -1) {
        m_nLastError = EBADF;
    } else {
        ssize_t r = io(m_hSocket);
        if (r < 0)
            m_nLastError = errno;
        n = int(r);
    }
    if (locked)
        Unlock();
    return n;
}

int CCliSocket::Send(const void* data, int length, int flags)
{
    return LockedIo(data && length >= 0, [&](int fd) {
        // MSG_NOSIGNAL: a camera that resets the connection must not end the process.
        return send(fd, data, size_t(length), flags | MSG_NOSIGNAL);
    });
}

int CCliSocket::Receive(void* buffer, int size, int flags)
{
    return LockedIo(buffer && size >= 0, [&](int fd) { return recv(fd, buffer, size_t(size), flags); });
}

void CCliSocket::SetRecvDataProc(RecvDataProc pfnProc, void* user)
{
    RILO_ASSERT(pfnProc != NULL);
    bool locked = LockUnlessSocketThread();
    m_pRecvDataProc = pfnProc;
    m_pRecvUser = user;
    if (locked)
        Unlock();
}

bool CCliSocket::SetSockOpt(int option, const void* value, int length)
{
    bool locked = LockUnlessSocketThread();
    bool ok = m_hSocket != -1 &&
              setsockopt(m_hSocket, SOL_SOCKET, option, value, socklen_t(length)) == 0;
    if (!ok)
        m_nLastError = (m_hSocket == -1) ? EBADF : errno;
    if (locked)
        Unlock();
    return ok;
}

bool CCliSocket::ShutDown()
{
    bool locked = LockUnlessSocketThread();
    bool ok = m_hSocket != -1 && shutdown(m_hSocket, SHUT_RDWR) == 0;
    if (!ok) {
        m_nLastError = (m_hSocket == -1) ? EBADF : errno;
        std::printf("[CCliSocket:ShutDown] get error = %d\n", int(m_nLastError));
    }
    if (locked)
        Unlock();
    return ok;
}

int CCliSocket::Close()
{
    return DoClose(false);
}

bool CCliSocket::IsConnected()
{
    return m_nState == stConnected;
}

int CCliSocket::GetState()
{
    return m_nState;
}

int CCliSocket::DoClose(bool bLocked)
{
    const bool onThread = OnSocketThread();
    // A close from inside a callback already holds the mutex.
    const bool takeLock = !bLocked && !onThread;
    if (takeLock)
        Lock();
    const int fd = m_hSocket;
    if (fd != -1) {
        m_hSocket = -1;
        m_nState = stClosed;
    }
    if (takeLock)
        Unlock();

    if (fd == -1) {
        // The thread may have ended after a close of its own; join it anyway.
        JoinSocketThread();
        return 0;
    }

    // The poll thread may be waiting on fd: the descriptor stays open until
    // the thread is gone, so its number cannot be reused under it.
    bool closeNow = onThread || !m_bThreadStarted;
    if (!closeNow) {
        Wake();
        JoinSocketThread();
    }
    int junk = close(fd);
    if (junk != 0) {
        std::printf("[CCliSocket::DoClose]close socket failed, err = %d\n", errno);
        RILO_ASSERT(junk == 0 || errno == EINTR);
    }
    m_nLastError = 0;
    return 1;
}

void CCliSocket::InternalClose()
{
    DoClose(true);
    OnClose(0);
}

int CCliSocket::NotifyThreadMsg(unsigned long wParam, unsigned long lParam)
{
    std::printf("[CCliSocket::NotifyThreadMsg]wParam = %08x, lParam = %08x, m_OwnerThreadID =%08x\n",
                unsigned(wParam), unsigned(lParam), unsigned(m_OwnerThreadID));
    return PostThreadMessage(m_OwnerThreadID, m_nNotifyMsg, wParam, lParam);
}

void* CCliSocket::DoHandleSocketProc(void* param)
{
    static_cast<CCliSocket*>(param)->HandleSocketProc();
    return nullptr;
}

void CCliSocket::HandleSocketProc()
{
    pthread_setname_np(pthread_self(), "rilo-sock");
    for (;;) {
        Lock();
        const int fd = m_hSocket;
        const int state = m_nState;
        const bool awaitConnect = state == stConnecting && !m_bConnectNotified;
        Unlock();
        if (fd == -1)
            break;

        pollfd p[2];
        p[0].fd = fd;
        p[0].events = awaitConnect ? POLLOUT : (state == stConnected ? POLLIN : 0);
        p[0].revents = 0;
        if (p[0].events == 0)
            p[0].fd = -1; // an idle socket reports POLLHUP: do not spin on it
        p[1].fd = m_wakeFd;
        p[1].events = POLLIN;
        p[1].revents = 0;
        int n = poll(p, m_wakeFd >= 0 ? 2 : 1, 1000);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::printf("HandleSocketProc gets error: %d\n", errno);
            break;
        }
        if (m_wakeFd >= 0 && p[1].revents) {
            uint64_t v;
            ssize_t r = read(m_wakeFd, &v, sizeof v);
            (void)r;
        }
        if (p[0].fd < 0 || p[0].revents == 0)
            continue;

        bool progress = true;
        Lock();
        if (m_hSocket == fd) {
            const bool errFlag = (p[0].revents & POLLERR) != 0;
            if (m_nState == stConnecting && !m_bConnectNotified) {
                // A refused connect shows as writable too: only SO_ERROR tells.
                int soErr = 0;
                socklen_t len = sizeof soErr;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0)
                    soErr = errno;
                int code = (errFlag || soErr != 0) ? 1 : 0;
                if (code) {
                    std::puts("errFDs is occured");
                    m_nLastError = soErr ? soErr : ECONNREFUSED;
                }
                OnConnect(code);
            } else if (m_nState == stConnected) {
                m_bPassRead = false;
                OnReceive(errFlag ? 1 : 0);
                progress = m_bPassRead || m_hSocket != fd;
            }
        }
        Unlock();
        // Sleep only when the pass got nowhere, so a busy stream is not throttled.
        if (!progress)
            SleepMs(10);
    }
}

void CCliSocket::OnConnect(int nErrorCode)
{
    std::printf("[CCliSocket::OnConnect]nErrorCode = %d\n", nErrorCode);
    if (nErrorCode == 0)
        m_nState = stConnected;
    // The kernel's receive buffer is left as it is: shrunk to 8 KiB on an
    // established Linux connection, it drops segments larger than itself and
    // the stream stalls in retransmission back-off.
    // One report per attempt; the owner decides what follows a failure.
    m_bConnectNotified = true;
    NotifyThreadMsg(CLISOCK_NOTIFY_CONNECT, unsigned(nErrorCode));
}

void CCliSocket::OnReceive(int nErrorCode)
{
    RILO_ASSERT(m_pRecvDataProc != NULL);
    if (m_nHeld >= kRecvBufSize || nErrorCode != 0) {
        std::puts("CCliSocket::OnReceive Socket Get Data Buffer full!");
        InternalClose();
        return;
    }
    const int fd = m_hSocket;
    ssize_t n = recv(fd, m_RecvBuf + m_nHeld, size_t(kRecvBufSize - m_nHeld), 0);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return;
        m_nLastError = errno;
        std::puts("CCliSocket::OnReceive Socket Error occurred!");
        InternalClose();
        return;
    }
    if (n == 0) {
        std::puts("CCliSocket::OnReceive Receive DATA: 0 byte!");
        InternalClose();
        return;
    }
    m_bPassRead = true;
    m_nHeld += int(n);
    unsigned long consumed = m_pRecvDataProc(m_pRecvUser, m_RecvBuf, static_cast<unsigned long>(m_nHeld));
    if (m_hSocket != fd) {
        // The callback closed the connection.
        m_nHeld = 0;
        return;
    }
    if (consumed == 0 && m_nHeld > 0)
        std::printf("CliSocket Data wasn't consumed: %u!\n", unsigned(m_nHeld));
    m_nHeld = RiloKeepUnconsumed(m_RecvBuf, m_nHeld, consumed);
}

void CCliSocket::OnClose(int nErrorCode)
{
    m_nHeld = 0;
    std::printf("[CCliSocket::OnClose]nErrorCode = %d\n", nErrorCode);
    NotifyThreadMsg(CLISOCK_NOTIFY_CLOSE, unsigned(nErrorCode));
}
