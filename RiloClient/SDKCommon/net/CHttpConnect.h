#ifndef RILO_CHTTPCONNECT_H
#define RILO_CHTTPCONNECT_H

#include "net/CTransport.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

struct SslFree {
    void operator()(SSL* ssl) const;
};
struct SslCtxFree {
    void operator()(SSL_CTX* ctx) const;
};
using SslPtr = std::unique_ptr<SSL, SslFree>;
using SslCtxPtr = std::unique_ptr<SSL_CTX, SslCtxFree>;

// TLS client connection. Connect runs the TCP connect and the handshake on
// the caller's thread; the poll thread then announces the connection.
//
// The socket is non-blocking and every SSL_* call on the session runs under
// one lock, so a send never runs at the same time as a read on the session,
// and a close never waits for a read.
class CHttpConnect : public CTransport {
public:
    enum { kDefaultTimeoutMs = 10000 };

    CHttpConnect(BLThreadID owner, unsigned int notifyMsg);
    ~CHttpConnect() override;

    bool Open(const TransportTarget& target) override;
    void SetRecvDataProc(RecvDataProc pfnProc, void* context) override;

    // host may be a name, an IPv4 address or an IPv6 address (with or
    // without square brackets).
    int Create(const char* host, unsigned int port);
    int Connect();
    int Send(const void* data, int length);
    int Receive(void* buffer, int length);
    // The negotiated protocol ("TLSv1.2", ...), or "" when not connected.
    std::string GetTlsVersion();

    // Limit for the TCP connect plus handshake (a send's is SetSendTimeout).
    void SetConnectTimeout(unsigned int ms) { m_nConnectTimeoutMs = ms; }

protected:
    int ReadSome(unsigned char* buf, int size) override;
    int WriteSome(const unsigned char* data, int size, pollfd* wait) override;
    PassResult Pass(short revents, short* waitEvents) override;
    void ReleaseSession(bool onThread) override;

private:
    // The three steps of Connect; each reports a failure in *err.
    AddrInfoList Resolve(int* err);
    UniqueFd ConnectTcp(const addrinfo* list, uint64_t deadline, int* err);
    SslPtr Handshake(int fd, uint64_t deadline, int* err);
    // Hands the session to the poll thread; false when a close came first.
    bool Publish(SslPtr ssl, UniqueFd fd);
    // Waits for fd to become ready for events, at most ms; false on a
    // time-out or when the connection is being closed.
    bool WaitFd(int fd, short events, int ms);

    static const Names kNames;

    SslCtxPtr m_pCtx;
    SslPtr m_pSSL;
    bool m_bSslFailed;          // the session had a fatal error: no close_notify
    pthread_mutex_t m_sslMutex; // around every SSL_* call on m_pSSL
    short m_nWantEvents;        // what the last read waits for
    std::string m_strHost;
    unsigned int m_nPort;
    char m_szTarget[1024];
    unsigned int m_nConnectTimeoutMs;
};

#endif
