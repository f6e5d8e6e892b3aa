#ifndef RILO_CCLISOCKET_H
#define RILO_CCLISOCKET_H

#include "net/CTransport.h"

#include <sys/socket.h>

// Non-blocking TCP client socket: the connect completes on the poll thread.
class CCliSocket : public CTransport {
public:
    enum { kSendTimeoutMs = 5000 };

    CCliSocket(BLThreadID owner, unsigned int notifyMsg);
    ~CCliSocket() override;

    bool Create(int family, int type, int protocol);
    bool Connect(const char* host, unsigned int port, int family);
    int Send(const void* data, int length, int flags);
    int Receive(void* buffer, int size, int flags);
    bool SetSockOpt(int option, const void* value, int length);
    bool ShutDown();

    // CTransport
    bool Open(const TransportTarget& target) override;
    int EndSession() override;
    int SendWithin(const void* data, int length) override;
    void SetRecvDataProc(RecvDataProc pfnProc, void* user) override;

protected:
    int ReadSome(unsigned char* buf, int size) override;
    int WriteSome(const unsigned char* data, int size, pollfd* wait) override;
    PassResult Pass(short revents, short* waitEvents) override;
    void OnConnect(int nErrorCode) override;
    void OnClose(int nErrorCode) override;
    int NotifyThreadMsg(unsigned long wParam, unsigned long lParam) override;

private:
    // What a socket event means now: the connect's outcome, or data.
    PassResult OnSocketReady(short revents);
    // The address of host (numeric, else resolved) with port; false with
    // m_nLastError set when there is none.
    bool ResolveAddress(const char* host, unsigned int port, int family, sockaddr_storage* addr,
                        socklen_t* len);
    // One send or receive on the socket, locked unless on the socket thread:
    // -1 with EINVAL or EBADF, else io's result with errno kept on failure.
    template <typename Io>
    int LockedIo(bool argsValid, Io io);

    static const Names kNames;

    bool m_bConnectNotified; // the outcome of this connect attempt went out
};

#endif
