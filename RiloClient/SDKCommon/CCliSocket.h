#ifndef RILO_CCLISOCKET_H
#define RILO_CCLISOCKET_H

#include "CBLThread.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>

// Receive callback of a transport: returns how many bytes it consumed from
// the front of data.
typedef unsigned long (*RecvDataProc)(void* user, unsigned char* data, unsigned long length);

// Notification wParam values posted to the owner thread.
enum : unsigned long {
    CLISOCK_NOTIFY_CONNECT = 2, // lParam 0 connected, else the connect failed
    CLISOCK_NOTIFY_CLOSE = 3,   // the transport closed itself
};

// Non-blocking TCP client socket with its own poll thread.
class CCliSocket {
public:
    enum { kRecvBufSize = 8192 };
    enum State { stConstructed = -1, stCreated = 0, stConnecting = 1, stConnected = 2, stClosed = 3 };

    CCliSocket(BLThreadID owner, unsigned int notifyMsg);
    virtual ~CCliSocket();

    CCliSocket(const CCliSocket&) = delete;
    CCliSocket& operator=(const CCliSocket&) = delete;

    bool Create(int family, int type, int protocol);
    bool Connect(const char* host, unsigned int port, int family);
    int Send(const void* data, int length, int flags);
    int Receive(void* buffer, int size, int flags);
    void SetRecvDataProc(RecvDataProc pfnProc, void* user);
    bool SetSockOpt(int option, const void* value, int length);
    bool ShutDown();
    int Close();
    bool IsConnected();
    int GetSocketHandle();
    int GetLastError() const { return m_nLastError; }
    int GetState();

    int Lock();
    int Unlock();

protected:
    virtual void OnConnect(int nErrorCode);
    virtual void OnReceive(int nErrorCode);
    virtual void OnClose(int nErrorCode);

    int NotifyThreadMsg(unsigned long wParam, unsigned long lParam);
    void InternalClose();
    int DoClose(bool bLocked);

private:
    static void* DoHandleSocketProc(void* param);
    void HandleSocketProc();
    bool OnSocketThread() const;
    void JoinSocketThread();
    void Wake();
    bool LockUnlessSocketThread();
    // One send or receive on the socket, locked unless on the socket thread:
    // -1 with EINVAL or EBADF, else io's result with errno kept on failure.
    template <typename Io>
    int LockedIo(bool argsValid, Io io);

    int m_hSocket;
    std::atomic<int> m_nLastError;
    pthread_t m_thSocketHandlerID;
    bool m_bThreadStarted; // m_thSocketHandlerID is valid and not yet joined
    std::atomic<int> m_nState; // written under m_mutex, read anywhere
    bool m_bConnectNotified; // the outcome of this connect attempt went out
    bool m_bPassRead;        // the current receive pass read bytes
    pthread_mutex_t m_mutex;
    unsigned char m_RecvBuf[kRecvBufSize];
    int m_nHeld;
    RecvDataProc m_pRecvDataProc;
    void* m_pRecvUser;
    BLThreadID m_OwnerThreadID;
    unsigned int m_nNotifyMsg;
    int m_wakeFd; // eventfd that interrupts the poll thread's wait
};

#endif
