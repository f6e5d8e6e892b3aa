#include "CHttpConnect.h"

#include "RecvBuffer.h"
#include "RiloAssert.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

uint64_t NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

// A socket BIO of our own: OpenSSL's writes with write() would raise SIGPIPE
// when a camera resets the connection; send() with MSG_NOSIGNAL does not,
// without touching the process's signal handling.
struct SockBioData {
    int fd;
    bool eof;
};

int SockBioWrite(BIO* b, const char* buf, int len)
{
    auto* d = static_cast<SockBioData*>(BIO_get_data(b));
    BIO_clear_retry_flags(b);
    if (!d || len < 0)
        return -1;
    ssize_t n = send(d->fd, buf, size_t(len), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(b);
    return int(n);
}

int SockBioRead(BIO* b, char* buf, int len)
{
    auto* d = static_cast<SockBioData*>(BIO_get_data(b));
    BIO_clear_retry_flags(b);
    if (!d || len < 0)
        return -1;
    ssize_t n = recv(d->fd, buf, size_t(len), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(b);
    if (n == 0 && len > 0)
        d->eof = true; // lets OpenSSL tell an end of stream from an error
    return int(n);
}

long SockBioCtrl(BIO* b, int cmd, long num, void*)
{
    auto* d = static_cast<SockBioData*>(BIO_get_data(b));
    switch (cmd) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        return d && d->eof ? 1 : 0;
    case BIO_CTRL_GET_CLOSE:
        return BIO_get_shutdown(b);
    case BIO_CTRL_SET_CLOSE:
        BIO_set_shutdown(b, int(num));
        return 1;
    default:
        return 0;
    }
}

int SockBioCreate(BIO* b)
{
    BIO_set_data(b, nullptr);
    BIO_set_init(b, 1);
    return 1;
}

int SockBioDestroy(BIO* b)
{
    // The descriptor belongs to CHttpConnect.
    delete static_cast<SockBioData*>(BIO_get_data(b));
    BIO_set_data(b, nullptr);
    return 1;
}

BIO_METHOD* SockBioMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "rilo socket");
        if (m) {
            BIO_meth_set_write(m, SockBioWrite);
            BIO_meth_set_read(m, SockBioRead);
            BIO_meth_set_ctrl(m, SockBioCtrl);
            BIO_meth_set_create(m, SockBioCreate);
            BIO_meth_set_destroy(m, SockBioDestroy);
        }
        return m;
    }();
    return method;
}

BIO* NewSockBio(int fd)
{
    BIO_METHOD* m = SockBioMethod();
    if (!m)
        return nullptr;
    BIO* b = BIO_new(m);
    if (!b)
        return nullptr;
    BIO_set_data(b, new SockBioData{fd, false});
    return b;
}

} // namespace

CHttpConnect::CHttpConnect(BLThreadID owner, unsigned int notifyMsg)
    : m_pCtx(nullptr), m_pSSL(nullptr), m_fd(-1), m_nLastError(0), m_thSocketHandlerID(),
      m_bThreadStarted(false), m_nState(stConstructed), m_bStop(false), m_bSslFailed(false),
      m_RecvBuf(), m_nHeld(0), m_bPassRead(false), m_nWantEvents(0), m_pRecvDataProc(nullptr),
      m_pRecvContext(nullptr), m_OwnerThreadID(owner), m_nNotifyMsg(notifyMsg), m_nPort(0),
      m_szTarget(), m_nConnectTimeoutMs(kDefaultTimeoutMs), m_nSendTimeoutMs(kDefaultTimeoutMs),
      m_wakeFd(-1)
{
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    int nRet = pthread_mutex_init(&m_mutex, nullptr);
    RILO_ASSERT(nRet == 0);
    nRet = pthread_mutex_init(&m_sslMutex, nullptr);
    RILO_ASSERT(nRet == 0);
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CHttpConnect::~CHttpConnect()
{
    RILO_ASSERT(!OnSocketThread());
    DoClose(false);
    if (m_pCtx)
        SSL_CTX_free(m_pCtx);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
    pthread_mutex_destroy(&m_sslMutex);
    pthread_mutex_destroy(&m_mutex);
}

bool CHttpConnect::OnSocketThread() const
{
    return m_bThreadStarted && pthread_equal(m_thSocketHandlerID, pthread_self());
}

void CHttpConnect::JoinSocketThread()
{
    if (!m_bThreadStarted || OnSocketThread())
        return;
    pthread_join(m_thSocketHandlerID, nullptr);
    m_thSocketHandlerID = pthread_t();
    m_bThreadStarted = false;
}

void CHttpConnect::Wake()
{
    if (m_wakeFd < 0)
        return;
    uint64_t one = 1;
    ssize_t n = write(m_wakeFd, &one, sizeof one);
    (void)n;
}

int CHttpConnect::Lock()
{
    int nRet = pthread_mutex_lock(&m_mutex);
    if (nRet != 0)
        std::fprintf(stderr, "[CHttpConnect::Lock]nRet = %d\n", nRet);
    return nRet;
}

int CHttpConnect::Unlock()
{
    int nRet = pthread_mutex_unlock(&m_mutex);
    if (nRet != 0)
        std::fprintf(stderr, "[CHttpConnect::UnLock]nRet = %d\n", nRet);
    return nRet;
}

void CHttpConnect::SetRecvDataProc(RecvDataProc pfnProc, void* context)
{
    RILO_ASSERT(pfnProc != NULL);
    const bool locked = !OnSocketThread();
    if (locked)
        Lock();
    m_pRecvDataProc = pfnProc;
    m_pRecvContext = context;
    if (locked)
        Unlock();
}

int CHttpConnect::Create(const char* host, unsigned int port)
{
    RILO_ASSERT(!OnSocketThread());
    // The previous connection and its thread go first.
    DoClose(false);

    if (!host || port == 0 || port > 65535) {
        m_nLastError = EINVAL;
        return 0;
    }
    std::string h(host);
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']')
        h = h.substr(1, h.size() - 2);
    int n = std::snprintf(m_szTarget, sizeof m_szTarget, "%s:%d", host, int(port));
    if (h.empty() || n < 0 || size_t(n) >= sizeof m_szTarget) {
        m_nLastError = EINVAL;
        return 0;
    }

    if (!m_pCtx) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
        if (!ctx) {
            m_nLastError = errno;
            std::printf("[CHttpConnect::Create] bio create failed, err = %d\n", int(m_nLastError));
            return 0;
        }
        // Old cameras: any protocol version, any cipher, legacy renegotiation,
        // and an end of stream without close_notify counts as a close. Their
        // certificates are self-signed, so none is verified.
        SSL_CTX_set_security_level(ctx, 0);
        SSL_CTX_set_min_proto_version(ctx, 0);
        SSL_CTX_set_cipher_list(ctx, "ALL:!aNULL:!eNULL:@SECLEVEL=0");
        SSL_CTX_set_options(ctx, SSL_OP_LEGACY_SERVER_CONNECT | SSL_OP_IGNORE_UNEXPECTED_EOF);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
        SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        m_pCtx = ctx;
    }

    m_strHost = h;
    m_nPort = port;
    m_bStop = false;
    m_bSslFailed = false;
    m_nHeld = 0;

    RILO_ASSERT(!m_bThreadStarted); // "m_thSocketHandlerID == 0"
    if (pthread_create(&m_thSocketHandlerID, nullptr, DoHandleSocketProc, this) != 0) {
        m_thSocketHandlerID = pthread_t();
        std::printf("[CHttpConnect::Create] can't create thread to handle socket = %d\n", -1);
        return 0;
    }
    m_bThreadStarted = true;
    Lock();
    m_nState = stCreated;
    Unlock();
    return 1;
}

bool CHttpConnect::WaitFd(int fd, short events, int ms)
{
    // Short slices so that a close from another thread is seen promptly.
    const uint64_t deadline = NowMs() + uint64_t(ms > 0 ? ms : 0);
    for (;;) {
        if (m_bStop)
            return false;
        uint64_t now = NowMs();
        if (now >= deadline)
            return false;
        uint64_t left = deadline - now;
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, int(left < 100 ? left : 100));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

int CHttpConnect::Connect()
{
    RILO_ASSERT(!OnSocketThread());
    if (m_nState != stCreated || !m_pCtx) {
        m_nLastError = ENOTCONN;
        return 0;
    }
    const uint64_t deadline = NowMs() + m_nConnectTimeoutMs;
    auto remaining = [deadline]() -> int {
        uint64_t now = NowMs();
        return now >= deadline ? 0 : int(deadline - now);
    };

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[16];
    std::snprintf(service, sizeof service, "%u", m_nPort);
    addrinfo* res = nullptr;
    int rc = getaddrinfo(m_strHost.c_str(), service, &hints, &res);
    if (rc != 0 || !res) {
        std::fprintf(stderr, "[CHttpConnect::Connect] %s: %s\n", m_szTarget, gai_strerror(rc));
        m_nLastError = (rc == EAI_SYSTEM) ? errno : EHOSTUNREACH;
        return 0;
    }

    int fd = -1;
    int err = ETIMEDOUT;
    for (addrinfo* ai = res; ai && fd < 0 && remaining() > 0 && !m_bStop; ai = ai->ai_next) {
        int s = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                       ai->ai_protocol);
        if (s < 0) {
            err = errno;
            continue;
        }
        if (connect(s, ai->ai_addr, ai->ai_addrlen) == 0) {
            fd = s;
            break;
        }
        if (errno != EINPROGRESS && errno != EINTR) {
            err = errno;
            close(s);
            continue;
        }
        if (!WaitFd(s, POLLOUT, remaining())) {
            err = ETIMEDOUT;
            close(s);
            continue;
        }
        int soErr = 0;
        socklen_t len = sizeof soErr;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0)
            soErr = errno;
        if (soErr != 0) {
            err = soErr;
            close(s);
            continue;
        }
        fd = s;
    }
    freeaddrinfo(res);
    if (fd < 0) {
        std::fprintf(stderr, "[CHttpConnect::Connect] %s: %s\n", m_szTarget, std::strerror(err));
        m_nLastError = err;
        return 0;
    }

    SSL* ssl = SSL_new(m_pCtx);
    BIO* bio = ssl ? NewSockBio(fd) : nullptr;
    if (!ssl || !bio) {
        ERR_print_errors_fp(stderr);
        if (ssl)
            SSL_free(ssl);
        close(fd);
        m_nLastError = ENOMEM;
        return 0;
    }
    SSL_set_bio(ssl, bio, bio);
    in6_addr probe;
    if (inet_pton(AF_INET, m_strHost.c_str(), &probe) != 1 &&
        inet_pton(AF_INET6, m_strHost.c_str(), &probe) != 1)
        SSL_set_tlsext_host_name(ssl, m_strHost.c_str());
    SSL_set_connect_state(ssl);

    // The socket thread does not touch the session before it is published
    // below, so the handshake needs no lock.
    bool ok = false;
    err = ETIMEDOUT;
    for (;;) {
        ERR_clear_error();
        errno = 0;
        int r = SSL_connect(ssl);
        if (r == 1) {
            ok = true;
            break;
        }
        int e = SSL_get_error(ssl, r);
        short events = 0;
        if (e == SSL_ERROR_WANT_READ)
            events = POLLIN;
        else if (e == SSL_ERROR_WANT_WRITE)
            events = POLLOUT;
        if (events == 0) {
            err = errno ? errno : ECONNABORTED;
            ERR_print_errors_fp(stderr);
            break;
        }
        if (!WaitFd(fd, events, remaining())) {
            err = m_bStop ? ECANCELED : ETIMEDOUT;
            std::fprintf(stderr, "[CHttpConnect::Connect] %s: handshake %s\n", m_szTarget,
                         m_bStop ? "cancelled" : "timed out");
            break;
        }
    }
    if (ok) {
        Lock();
        if (!m_bStop && m_nState == stCreated) {
            pthread_mutex_lock(&m_sslMutex);
            m_pSSL = ssl;
            m_fd = fd;
            pthread_mutex_unlock(&m_sslMutex);
            m_nState = stConnected;
        } else {
            ok = false;
            err = ECANCELED;
        }
        Unlock();
    }
    if (!ok) {
        SSL_free(ssl);
        close(fd);
        m_nLastError = err;
        return 0;
    }
    Wake();
    return 1;
}

int CHttpConnect::Send(const void* data, int length)
{
    if (!data || length < 0) {
        m_nLastError = EINVAL;
        return -1;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    const uint64_t deadline = NowMs() + m_nSendTimeoutMs;
    int sent = 0;
    while (sent < length) {
        pthread_mutex_lock(&m_sslMutex);
        SSL* ssl = m_pSSL;
        int fd = m_fd;
        int r = -1, e = SSL_ERROR_SYSCALL;
        // Decided under the lock: a peer that answers and closes at once may
        // stop the session right after a write that went out whole.
        const bool open = ssl && !m_bStop;
        if (open) {
            ERR_clear_error();
            errno = 0;
            r = SSL_write(ssl, p + sent, length - sent);
            e = r > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl, r);
            if (r <= 0 && (e == SSL_ERROR_SYSCALL || e == SSL_ERROR_SSL))
                m_bSslFailed = true;
        }
        int sysErr = errno;
        pthread_mutex_unlock(&m_sslMutex);
        if (!open) {
            m_nLastError = ENOTCONN;
            return sent > 0 ? sent : -1;
        }
        if (r > 0) {
            sent += r;
            continue;
        }
        if (e == SSL_ERROR_WANT_WRITE || e == SSL_ERROR_WANT_READ) {
            uint64_t now = NowMs();
            if (now >= deadline) {
                m_nLastError = ETIMEDOUT;
                return sent > 0 ? sent : -1;
            }
            // Short waits: the socket thread may take the bytes a renegotiation waits for.
            uint64_t left = deadline - now;
            pollfd pfd{fd, short(e == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0};
            poll(&pfd, 1, int(left < 50 ? left : 50));
            continue;
        }
        m_nLastError = sysErr ? sysErr : EIO;
        return sent > 0 ? sent : -1;
    }
    return sent;
}

int CHttpConnect::Receive(void* buffer, int length)
{
    if (!buffer || length < 0) {
        m_nLastError = EINVAL;
        return -1;
    }
    pthread_mutex_lock(&m_sslMutex);
    int result = -1;
    if (!m_pSSL) {
        m_nLastError = ENOTCONN;
    } else {
        ERR_clear_error();
        errno = 0;
        int r = SSL_read(m_pSSL, buffer, length);
        if (r > 0) {
            result = r;
        } else {
            int e = SSL_get_error(m_pSSL, r);
            if (e == SSL_ERROR_ZERO_RETURN) {
                result = 0;
            } else if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
                m_nLastError = EAGAIN;
            } else {
                m_bSslFailed = true;
                m_nLastError = errno ? errno : EIO;
            }
        }
    }
    pthread_mutex_unlock(&m_sslMutex);
    return result;
}

std::string CHttpConnect::GetTlsVersion()
{
    pthread_mutex_lock(&m_sslMutex);
    std::string v = m_pSSL ? SSL_get_version(m_pSSL) : "";
    pthread_mutex_unlock(&m_sslMutex);
    return v;
}

bool CHttpConnect::IsConnected()
{
    return m_nState == stAnnounced;
}

int CHttpConnect::NotifyThreadMsg(unsigned long w, unsigned long l)
{
    return PostThreadMessage(m_OwnerThreadID, m_nNotifyMsg, w, l);
}

int CHttpConnect::Close()
{
    return DoClose(false);
}

int CHttpConnect::DoClose(bool bLocked)
{
    const bool onThread = OnSocketThread();
    const bool takeLock = !bLocked && !onThread;

    // Tell the socket thread and a connect in progress to stop, and shut the
    // socket down so that nothing can go on waiting on it.
    m_bStop = true;
    if (!onThread) {
        Wake();
    }
    if (takeLock)
        Lock();
    pthread_mutex_lock(&m_sslMutex);
    SSL* ssl = m_pSSL;
    m_pSSL = nullptr;
    const int fd = m_fd;
    if (ssl) {
        if (!onThread && !m_bSslFailed) {
            ERR_clear_error();
            SSL_shutdown(ssl); // one non-blocking try at close_notify
        }
        SSL_free(ssl);
    }
    if (fd >= 0)
        shutdown(fd, SHUT_RDWR);
    ERR_clear_error();
    pthread_mutex_unlock(&m_sslMutex);
    if (m_nState != stConstructed)
        m_nState = stClosed;
    if (takeLock)
        Unlock();

    if (!onThread) {
        // The descriptor is closed only once the socket thread is gone, so
        // its number cannot be reused under a poll.
        JoinSocketThread();
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    m_nLastError = 0;
    return ssl ? 1 : 0;
}

void CHttpConnect::InternalClose()
{
    DoClose(true);
    OnClose(0);
}

void* CHttpConnect::DoHandleSocketProc(void* param)
{
    static_cast<CHttpConnect*>(param)->HandleSocketProc();
    return nullptr;
}

void CHttpConnect::HandleSocketProc()
{
    pthread_setname_np(pthread_self(), "rilo-tls");
    while (!m_bStop) {
        bool progress = false;
        short want = 0;
        int fd = -1;
        Lock();
        if (!m_bStop) {
            if (m_nState == stConnected) {
                OnConnect(0);
                progress = true;
            } else if (m_nState == stAnnounced) {
                m_bPassRead = false;
                m_nWantEvents = 0;
                OnReceive(0);
                progress = m_bPassRead;
                want = m_nWantEvents;
                fd = m_fd;
            }
        }
        Unlock();
        if (m_bStop)
            break;
        if (progress)
            continue; // the session may hold more decrypted bytes

        pollfd p[2];
        int nfds = 0;
        if (want && fd >= 0)
            p[nfds++] = pollfd{fd, want, 0};
        if (m_wakeFd >= 0)
            p[nfds++] = pollfd{m_wakeFd, POLLIN, 0};
        if (nfds == 0) {
            timespec ts{0, 10 * 1000000L};
            nanosleep(&ts, nullptr);
            continue;
        }
        int n = poll(p, nfds, 1000);
        if (n > 0 && m_wakeFd >= 0 && p[nfds - 1].revents) {
            uint64_t v;
            ssize_t r = read(m_wakeFd, &v, sizeof v);
            (void)r;
        }
    }
}

void CHttpConnect::OnConnect(int nErrorCode)
{
    if (nErrorCode == 0)
        m_nState = stAnnounced;
    NotifyThreadMsg(CLISOCK_NOTIFY_CONNECT, unsigned(nErrorCode));
}

void CHttpConnect::OnReceive(int nErrorCode)
{
    RILO_ASSERT(m_pRecvDataProc != NULL);
    if (m_nHeld >= kRecvBufSize || nErrorCode != 0) {
        std::puts("[CHttpConnect::OnReceive] Socket Get Data Buffer full!");
        InternalClose();
        return;
    }

    pthread_mutex_lock(&m_sslMutex);
    int r = -1, e = SSL_ERROR_SYSCALL, sysErr = 0;
    if (m_pSSL) {
        ERR_clear_error();
        errno = 0;
        r = SSL_read(m_pSSL, m_RecvBuf + m_nHeld, kRecvBufSize - m_nHeld);
        e = r > 0 ? SSL_ERROR_NONE : SSL_get_error(m_pSSL, r);
        sysErr = errno;
        if (r <= 0 && (e == SSL_ERROR_SYSCALL || e == SSL_ERROR_SSL)) {
            m_bSslFailed = true;
            ERR_print_errors_fp(stderr);
        }
    }
    pthread_mutex_unlock(&m_sslMutex);

    if (r <= 0) {
        if (e == SSL_ERROR_WANT_READ) {
            m_nWantEvents = POLLIN;
        } else if (e == SSL_ERROR_WANT_WRITE) {
            m_nWantEvents = POLLOUT;
        } else if (e == SSL_ERROR_ZERO_RETURN) {
            std::puts("[CHttpConnect::OnReceive] Receive DATA: 0 byte!");
            InternalClose();
        } else {
            m_nLastError = sysErr ? sysErr : EIO;
            std::puts("[CHttpConnect::OnReceive] Socket Error occurred!");
            InternalClose();
        }
        return;
    }

    m_bPassRead = true;
    m_nHeld += r;
    unsigned long consumed =
        m_pRecvDataProc(m_pRecvContext, m_RecvBuf, static_cast<unsigned long>(m_nHeld));
    if (m_bStop) {
        // The callback closed the connection.
        m_nHeld = 0;
        return;
    }
    if (consumed == 0 && m_nHeld > 0)
        std::printf("[CHttpConnect::OnReceive] Data wasn't consumed: %u!\n", unsigned(m_nHeld));
    m_nHeld = RiloKeepUnconsumed(m_RecvBuf, m_nHeld, consumed);
}

void CHttpConnect::OnClose(int nErrorCode)
{
    m_nHeld = 0;
    NotifyThreadMsg(CLISOCK_NOTIFY_CLOSE, unsigned(nErrorCode));
}
