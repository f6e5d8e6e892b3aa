#include "net/CHttpConnect.h"

#include "Common.h"
#include "RiloAssert.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// OpenSSL's queued errors, through the library's diagnostic output.
void PrintSslErrors()
{
    ERR_print_errors_cb(
        [](const char* str, size_t len, void*) {
            DiagPrint(kDiagErr, "%.*s", int(len), str);
            return 1;
        },
        nullptr);
}

int Remaining(uint64_t deadline)
{
    uint64_t now = MonotonicMs();
    return now >= deadline ? 0 : int(deadline - now);
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

// Old cameras: any protocol version, any cipher, legacy renegotiation, and
// an end of stream without close_notify counts as a close. Their
// certificates are self-signed, so none is verified.
SslCtxPtr NewClientContext()
{
    SslCtxPtr ctx(SSL_CTX_new(TLS_client_method()));
    if (!ctx)
        return ctx;
    SSL_CTX_set_security_level(ctx.get(), 0);
    SSL_CTX_set_min_proto_version(ctx.get(), 0);
    SSL_CTX_set_cipher_list(ctx.get(), "ALL:!aNULL:!eNULL:@SECLEVEL=0");
    SSL_CTX_set_options(ctx.get(), SSL_OP_LEGACY_SERVER_CONNECT | SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(ctx.get(), SSL_MODE_AUTO_RETRY | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return ctx;
}

} // namespace

const CHttpConnect::Names CHttpConnect::kNames = {
    "CHttpConnect", "rilo-tls", "[CHttpConnect::OnReceive] ", "[CHttpConnect::OnReceive] "};

void SslFree::operator()(SSL* ssl) const
{
    SSL_free(ssl);
}

void SslCtxFree::operator()(SSL_CTX* ctx) const
{
    SSL_CTX_free(ctx);
}

CHttpConnect::CHttpConnect(BLThreadID owner, unsigned int notifyMsg)
    : CTransport(owner, notifyMsg, kNames, kDefaultTimeoutMs), m_bSslFailed(false),
      m_nWantEvents(0), m_nPort(0), m_szTarget(), m_nConnectTimeoutMs(kDefaultTimeoutMs)
{
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    int nRet = pthread_mutex_init(&m_sslMutex, nullptr);
    RILO_ASSERT(nRet == 0);
}

CHttpConnect::~CHttpConnect()
{
    RILO_ASSERT(!OnSocketThread());
    DoClose(false);
    pthread_mutex_destroy(&m_sslMutex);
}

void CHttpConnect::SetRecvDataProc(RecvDataProc pfnProc, void* context)
{
    RILO_ASSERT(pfnProc != NULL);
    CTransport::SetRecvDataProc(pfnProc, context);
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
        m_pCtx = NewClientContext();
        if (!m_pCtx) {
            m_nLastError = errno;
            DiagPrint(kDiagOut, "[CHttpConnect::Create] bio create failed, err = %d\n",
                      int(m_nLastError));
            return 0;
        }
    }

    m_strHost = h;
    m_nPort = port;
    m_bStop = false;
    m_bSslFailed = false;
    m_nHeld = 0;

    if (!StartThread()) {
        DiagPrint(kDiagOut, "[CHttpConnect::Create] can't create thread to handle socket = %d\n",
                  -1);
        return 0;
    }
    Lock();
    m_nState = stCreated;
    Unlock();
    return 1;
}

bool CHttpConnect::WaitFd(int fd, short events, int ms)
{
    // Short slices so that a close from another thread is seen promptly.
    const uint64_t deadline = MonotonicMs() + uint64_t(ms > 0 ? ms : 0);
    for (;;) {
        if (m_bStop)
            return false;
        uint64_t now = MonotonicMs();
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
    const uint64_t deadline = MonotonicMs() + m_nConnectTimeoutMs;
    int err = 0;
    AddrInfoList list = Resolve(&err);
    if (!list) {
        m_nLastError = err;
        return 0;
    }
    UniqueFd fd = ConnectTcp(list.get(), deadline, &err);
    list.reset();
    if (!fd.Valid()) {
        m_nLastError = err;
        return 0;
    }
    SslPtr ssl = Handshake(fd.Get(), deadline, &err);
    if (!ssl) {
        m_nLastError = err;
        return 0;
    }
    if (!Publish(std::move(ssl), std::move(fd))) {
        m_nLastError = ECANCELED;
        return 0;
    }
    Wake();
    return 1;
}

AddrInfoList CHttpConnect::Resolve(int* err)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[16];
    std::snprintf(service, sizeof service, "%u", m_nPort);
    addrinfo* res = nullptr;
    int rc = getaddrinfo(m_strHost.c_str(), service, &hints, &res);
    AddrInfoList list(res);
    if (rc != 0 || !list) {
        *err = (rc == EAI_SYSTEM) ? errno : EHOSTUNREACH;
        DiagPrint(kDiagErr, "[CHttpConnect::Connect] %s: %s\n", m_szTarget, gai_strerror(rc));
        list.reset();
    }
    return list;
}

UniqueFd CHttpConnect::ConnectTcp(const addrinfo* list, uint64_t deadline, int* err)
{
    *err = ETIMEDOUT;
    for (const addrinfo* ai = list; ai && Remaining(deadline) > 0 && !m_bStop; ai = ai->ai_next) {
        UniqueFd s(
            socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol));
        if (!s.Valid()) {
            *err = errno;
            continue;
        }
        if (connect(s.Get(), ai->ai_addr, ai->ai_addrlen) == 0)
            return s;
        if (errno != EINPROGRESS && errno != EINTR) {
            *err = errno;
            continue;
        }
        if (!WaitFd(s.Get(), POLLOUT, Remaining(deadline))) {
            *err = ETIMEDOUT;
            continue;
        }
        int soErr = PendingError(s.Get());
        if (soErr != 0) {
            *err = soErr;
            continue;
        }
        return s;
    }
    DiagPrint(kDiagErr, "[CHttpConnect::Connect] %s: %s\n", m_szTarget, std::strerror(*err));
    return UniqueFd();
}

SslPtr CHttpConnect::Handshake(int fd, uint64_t deadline, int* err)
{
    SslPtr ssl(SSL_new(m_pCtx.get()));
    BIO* bio = ssl ? NewSockBio(fd) : nullptr;
    if (!bio) {
        PrintSslErrors();
        *err = ENOMEM;
        return nullptr;
    }
    SSL_set_bio(ssl.get(), bio, bio);
    in6_addr probe;
    if (inet_pton(AF_INET, m_strHost.c_str(), &probe) != 1 &&
        inet_pton(AF_INET6, m_strHost.c_str(), &probe) != 1)
        SSL_set_tlsext_host_name(ssl.get(), m_strHost.c_str());
    SSL_set_connect_state(ssl.get());

    // The poll thread does not touch the session before it is published, so
    // the handshake needs no lock.
    for (;;) {
        ERR_clear_error();
        errno = 0;
        int r = SSL_connect(ssl.get());
        if (r == 1)
            return ssl;
        int e = SSL_get_error(ssl.get(), r);
        short events = 0;
        if (e == SSL_ERROR_WANT_READ)
            events = POLLIN;
        else if (e == SSL_ERROR_WANT_WRITE)
            events = POLLOUT;
        if (events == 0) {
            *err = errno ? errno : ECONNABORTED;
            PrintSslErrors();
            return nullptr;
        }
        if (!WaitFd(fd, events, Remaining(deadline))) {
            *err = m_bStop ? ECANCELED : ETIMEDOUT;
            DiagPrint(kDiagErr, "[CHttpConnect::Connect] %s: handshake %s\n", m_szTarget,
                      m_bStop ? "cancelled" : "timed out");
            return nullptr;
        }
    }
}

bool CHttpConnect::Publish(SslPtr ssl, UniqueFd fd)
{
    Lock();
    const bool open = !m_bStop && m_nState == stCreated;
    if (open) {
        pthread_mutex_lock(&m_sslMutex);
        m_pSSL = std::move(ssl);
        m_fd = std::move(fd);
        pthread_mutex_unlock(&m_sslMutex);
        m_nState = stConnecting;
    }
    Unlock();
    return open;
}

bool CHttpConnect::Open(const TransportTarget& target)
{
    if (IsConnected())
        Close();
    if (!Create(target.host, target.port))
        DiagPrint(kDiagOut, "m_pHttpConnect->Create failed, err = %d\n", GetLastError());
    else if (Connect())
        return true;
    DiagPrint(kDiagOut, "[HTTPCtrl] Http connect %s:%u Error:%u\n", target.host, target.port,
              unsigned(GetLastError()));
    return false;
}

int CHttpConnect::Send(const void* data, int length)
{
    int n = SendWithin(data, length);
    return (n == length || n > 0) ? n : -1;
}

int CHttpConnect::WriteSome(const unsigned char* data, int size, pollfd* wait)
{
    pthread_mutex_lock(&m_sslMutex);
    SSL* ssl = m_pSSL.get();
    const int fd = m_fd.Get();
    const bool live = ssl && !m_bStop;
    int r = -1, e = SSL_ERROR_SYSCALL;
    if (live) {
        ERR_clear_error();
        errno = 0;
        r = SSL_write(ssl, data, size);
        e = r > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl, r);
        if (r <= 0 && (e == SSL_ERROR_SYSCALL || e == SSL_ERROR_SSL))
            m_bSslFailed = true;
    }
    const int sysErr = errno;
    pthread_mutex_unlock(&m_sslMutex);
    if (!live) {
        m_nLastError = ENOTCONN;
        return -1;
    }
    if (r > 0)
        return r;
    if (e == SSL_ERROR_WANT_WRITE || e == SSL_ERROR_WANT_READ) {
        *wait = pollfd{fd, short(e == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0};
        return -1;
    }
    m_nLastError = sysErr ? sysErr : EIO;
    return -1;
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
        int r = SSL_read(m_pSSL.get(), buffer, length);
        if (r > 0) {
            result = r;
        } else {
            int e = SSL_get_error(m_pSSL.get(), r);
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
    std::string v = m_pSSL ? SSL_get_version(m_pSSL.get()) : "";
    pthread_mutex_unlock(&m_sslMutex);
    return v;
}

void CHttpConnect::ReleaseSession(bool onThread)
{
    pthread_mutex_lock(&m_sslMutex);
    if (m_pSSL) {
        if (!onThread && !m_bSslFailed) {
            ERR_clear_error();
            SSL_shutdown(m_pSSL.get()); // one non-blocking try at close_notify
        }
        m_pSSL.reset();
    }
    ERR_clear_error();
    pthread_mutex_unlock(&m_sslMutex);
}

CTransport::PassResult CHttpConnect::Pass(short, short* waitEvents)
{
    // The session decides what is ready, so every pass reads.
    PassResult result = kPassIdle;
    if (m_nState == stConnecting) {
        OnConnect(0);
        result = kPassProgress;
    } else if (m_nState == stConnected) {
        m_bPassRead = false;
        m_nWantEvents = 0;
        OnReceive(0);
        result = m_bPassRead ? kPassProgress : kPassIdle;
    }
    *waitEvents = m_nState == stConnected ? m_nWantEvents : 0;
    return result;
}

int CHttpConnect::ReadSome(unsigned char* buf, int size)
{
    pthread_mutex_lock(&m_sslMutex);
    int r = -1, e = SSL_ERROR_SYSCALL, sysErr = 0;
    if (m_pSSL) {
        ERR_clear_error();
        errno = 0;
        r = SSL_read(m_pSSL.get(), buf, size);
        e = r > 0 ? SSL_ERROR_NONE : SSL_get_error(m_pSSL.get(), r);
        sysErr = errno;
        if (r <= 0 && (e == SSL_ERROR_SYSCALL || e == SSL_ERROR_SSL)) {
            m_bSslFailed = true;
            PrintSslErrors();
        }
    }
    pthread_mutex_unlock(&m_sslMutex);

    if (r > 0)
        return r;
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
        m_nWantEvents = e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        return kReadAgain;
    }
    if (e == SSL_ERROR_ZERO_RETURN)
        return kReadEnd;
    m_nLastError = sysErr ? sysErr : EIO;
    return kReadFailed;
}
