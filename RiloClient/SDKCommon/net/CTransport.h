#ifndef RILO_CTRANSPORT_H
#define RILO_CTRANSPORT_H

#include "CBLThread.h"
#include "net/NetHandles.h"

#include <poll.h>
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

// Where the HTTP worker connects.
struct TransportTarget {
    const char* host;    // as the caller gave it: an IPv6 address in square brackets
    const char* address; // host without the brackets
    int family;          // AF_INET6 for a bracketed host, else AF_INET
    unsigned int port;
    const char* proxy; // nullptr: no proxy
    unsigned int proxyPort;
};

// A client connection with a poll thread of its own, the interface the HTTP
// worker holds. The poll thread runs the receive callback with the lock held;
// the owner thread gets CLISOCK_NOTIFY_CONNECT once per connect attempt and
// CLISOCK_NOTIFY_CLOSE when the transport closes itself (never for a close
// the owner asked for). Subclasses supply the socket or session work only.
class CTransport {
public:
    enum { kRecvBufSize = 8192 };
    // stConnecting: a TCP connect under way (CCliSocket), or an established
    // TLS session the poll thread has yet to announce (CHttpConnect).
    enum State {
        stConstructed = -1,
        stCreated = 0,
        stConnecting = 1,
        stConnected = 2,
        stClosed = 3
    };

    virtual ~CTransport();

    CTransport(const CTransport&) = delete;
    CTransport& operator=(const CTransport&) = delete;

    // The HTTP worker's connect step. True when the connect is under way or
    // done; its outcome is notified.
    virtual bool Open(const TransportTarget& target) = 0;
    // The HTTP worker's close after a session; also joins the thread of a
    // connection that closed itself.
    virtual int EndSession();
    // Sends all of data within the send time-out. Returns the count sent:
    // less than length after a failure, which GetLastError() names.
    virtual int SendWithin(const void* data, int length);
    virtual void SetRecvDataProc(RecvDataProc pfnProc, void* user);

    // 1 when a connection was closed, 0 when there was none.
    int Close();
    bool IsConnected() const { return m_nState == stConnected; }
    int GetState() const { return m_nState; }
    int GetLastError() const { return m_nLastError; }
    // The connection's socket; -1 once it is closed.
    int GetSocketHandle() const { return m_nState == stClosed ? -1 : m_fd.Get(); }
    void SetSendTimeout(unsigned int ms) { m_nSendTimeoutMs = ms; }

    int Lock();
    int Unlock();

protected:
    // Texts of the diagnostics that name the class.
    struct Names {
        const char* cls;        // as in "[<cls>::Lock]nRet = %d"
        const char* thread;     // the poll thread's name
        const char* recv;       // start of the receive pass's lines
        const char* unconsumed; // start of the "Data wasn't consumed" line
    };
    // ReadSome's results beside a byte count.
    enum { kReadEnd = 0, kReadAgain = -1, kReadFailed = -2 };
    // What a pass of the poll thread came to.
    enum PassResult {
        kPassIdle,     // nothing to do: wait
        kPassProgress, // pass again before waiting
        kPassStalled,  // the socket was ready, yet nothing came of it
    };

    CTransport(BLThreadID owner, unsigned int notifyMsg, const Names& names,
               unsigned int sendTimeoutMs);

    // One read into buf: a count, kReadEnd at the end of the stream,
    // kReadAgain when nothing can be read now, or kReadFailed with
    // m_nLastError set. On the poll thread, with the lock held.
    virtual int ReadSome(unsigned char* buf, int size) = 0;
    // One write: a count, or -1 with *wait the descriptor and events to wait
    // for before trying again (wait->fd -1: failed, m_nLastError says why).
    virtual int WriteSome(const unsigned char* data, int size, pollfd* wait) = 0;
    // One pass of the poll thread, with the lock held. revents is what the
    // last wait saw on the socket (0 after a wake, a time-out or a progress);
    // *waitEvents gets the socket events to wait for before the next pass.
    virtual PassResult Pass(short revents, short* waitEvents) = 0;
    // With the lock held, as a close begins: frees what the subclass keeps
    // for the connection.
    virtual void ReleaseSession(bool onThread);

    virtual void OnConnect(int nErrorCode);
    virtual void OnReceive(int nErrorCode);
    virtual void OnClose(int nErrorCode);
    virtual int NotifyThreadMsg(unsigned long wParam, unsigned long lParam);

    // Starts the poll thread of a new connection; false (nothing started)
    // when the system refuses.
    bool StartThread();
    void InternalClose();
    int DoClose(bool bLocked);
    bool OnSocketThread() const;
    bool LockUnlessSocketThread();
    void Wake();
    // The pending error of a socket whose connect has finished (SO_ERROR).
    static int PendingError(int fd);
    BLThreadID OwnerThreadID() const { return m_OwnerThreadID; }

    // The connection's socket: set by the owner, with the lock held once the
    // poll thread runs.
    UniqueFd m_fd;
    std::atomic<int> m_nLastError;
    std::atomic<int> m_nState; // written under the lock, read anywhere
    std::atomic<bool> m_bStop; // the connection is closing: its thread ends
    bool m_bPassRead;          // the current receive pass read bytes
    int m_nHeld;               // bytes in the receive buffer
    unsigned int m_nSendTimeoutMs;

private:
    static void* DoHandleSocketProc(void* param);
    void HandleSocketProc();
    // Waits for sock's events or a wake; false when waiting is impossible.
    bool WaitForEvents(pollfd sock, short* revents);
    void JoinSocketThread();

    const Names m_names;
    pthread_mutex_t m_mutex;
    pthread_t m_thSocketHandlerID;
    bool m_bThreadStarted; // m_thSocketHandlerID is valid and not yet joined
    unsigned char m_RecvBuf[kRecvBufSize];
    RecvDataProc m_pRecvDataProc;
    void* m_pRecvUser;
    BLThreadID m_OwnerThreadID;
    unsigned int m_nNotifyMsg;
    UniqueFd m_wakeFd; // eventfd that interrupts the poll thread's wait
};

#endif
