#ifndef RILO_CHTTPCONNECT_H
#define RILO_CHTTPCONNECT_H

#include "CBLThread.h"
#include "net/CCliSocket.h"

#include <pthread.h>

#include <atomic>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

// TLS client connection with the owner contract of CCliSocket: the same
// receive callback and the same connected/closed notifications.
//
// The socket is non-blocking and every SSL_* call runs under one lock, so a
// send never runs at the same time as a read on the session, and a close
// never waits for a read.
class CHttpConnect {
public:
    enum { kRecvBufSize = 8192, kDefaultTimeoutMs = 10000 };
    enum State { stConstructed = -1, stCreated = 0, stConnected = 1, stAnnounced = 2, stClosed = 3 };

    CHttpConnect(BLThreadID owner, unsigned int notifyMsg);
    virtual ~CHttpConnect();

    CHttpConnect(const CHttpConnect&) = delete;
    CHttpConnect& operator=(const CHttpConnect&) = delete;

    void SetRecvDataProc(RecvDataProc pfnProc, void* context);
    // host may be a name, an IPv4 address or an IPv6 address (with or
    // without square brackets).
    int Create(const char* host, unsigned int port);
    int Connect();
    int Send(const void* data, int length);
    int Receive(void* buffer, int length);
    int Close();
    bool IsConnected();
    int GetLastError() const { return m_nLastError; }
    int GetState() const { return m_nState; }
    // The negotiated protocol ("TLSv1.2", ...), or "" when not connected.
    std::string GetTlsVersion();
    int NotifyThreadMsg(unsigned long w, unsigned long l);
    int Lock();
    int Unlock();

    // Limits for the TCP connect plus handshake, and for one Send.
    void SetConnectTimeout(unsigned int ms) { m_nConnectTimeoutMs = ms; }
    void SetSendTimeout(unsigned int ms) { m_nSendTimeoutMs = ms; }

protected:
    virtual void OnConnect(int nErrorCode);
    virtual void OnReceive(int nErrorCode);
    virtual void OnClose(int nErrorCode);

    void InternalClose();
    int DoClose(bool bLocked);

private:
    static void* DoHandleSocketProc(void* param);
    void HandleSocketProc();
    bool OnSocketThread() const;
    void JoinSocketThread();
    void Wake();
    // Waits for fd to become ready for events, at most ms; false on a
    // time-out or when the connection is being closed.
    bool WaitFd(int fd, short events, int ms);

    SSL_CTX* m_pCtx;
    SSL* m_pSSL;
    int m_fd;
    std::atomic<int> m_nLastError;
    pthread_t m_thSocketHandlerID;
    bool m_bThreadStarted;
    std::atomic<int> m_nState;
    std::atomic<bool> m_bStop; // the socket thread is to end
    bool m_bSslFailed;         // the session had a fatal error: no close_notify
    pthread_mutex_t m_mutex;
    pthread_mutex_t m_sslMutex; // around every SSL_* call on m_pSSL
    unsigned char m_RecvBuf[kRecvBufSize];
    int m_nHeld;
    bool m_bPassRead;
    short m_nWantEvents; // what the last read waits for
    RecvDataProc m_pRecvDataProc;
    void* m_pRecvContext;
    BLThreadID m_OwnerThreadID;
    unsigned int m_nNotifyMsg;
    std::string m_strHost;
    unsigned int m_nPort;
    char m_szTarget[1024];
    unsigned int m_nConnectTimeoutMs;
    unsigned int m_nSendTimeoutMs;
    int m_wakeFd;
};

#endif
