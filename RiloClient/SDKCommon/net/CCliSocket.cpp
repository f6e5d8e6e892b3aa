#include "net/CCliSocket.h"
#include "net/NetResolve.h"

#include "Common.h"
#include "RiloAssert.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

const CCliSocket::Names CCliSocket::kNames = {"CCliSocket", "rilo-sock", "CCliSocket::OnReceive ",
                                              "CliSocket "};

CCliSocket::CCliSocket(BLThreadID owner, unsigned int notifyMsg)
    : CTransport(owner, notifyMsg, kNames, kSendTimeoutMs), m_bConnectNotified(false)
{
}

CCliSocket::~CCliSocket()
{
    RILO_ASSERT(!OnSocketThread());
    DoClose(false);
}

void CCliSocket::SetRecvDataProc(RecvDataProc pfnProc, void* user)
{
    RILO_ASSERT(pfnProc != NULL);
    CTransport::SetRecvDataProc(pfnProc, user);
}

bool CCliSocket::Create(int family, int type, int protocol)
{
    // Creating again from inside a callback would have the thread wait for itself.
    RILO_ASSERT(!OnSocketThread());
    // The previous connection's thread must be gone before a new handle
    // exists, or it would go on serving the new one.
    DoClose(false);

    UniqueFd fd(socket(family, type | SOCK_CLOEXEC, protocol));
    if (!fd.Valid()) {
        m_nLastError = errno;
        DiagPrint(kDiagOut, "socket create failed, err = %d\n", int(m_nLastError));
        DiagPrint(kDiagOut, "socket unknown failed, err = %d\n", int(m_nLastError));
        return false;
    }
    int flags = fcntl(fd.Get(), F_GETFL, 0);
    if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags | O_NONBLOCK) < 0) {
        m_nLastError = errno;
        DiagPrint(kDiagOut, "socket fcntl failed, err = %d\n", int(m_nLastError));
        fd.Reset();
        DiagPrint(kDiagOut, "socket unknown failed, err = %d\n", int(m_nLastError));
        return false;
    }

    const int handle = fd.Get();
    Lock();
    m_fd = std::move(fd);
    m_nState = stCreated;
    m_bStop = false;
    m_bConnectNotified = false;
    m_nHeld = 0;
    Unlock();

    if (!StartThread()) {
        DiagPrint(kDiagOut, "can't create thread to handle socket = %d\n", handle);
        return false;
    }
    return true;
}

bool CCliSocket::ResolveAddress(const char* host, unsigned int port, int family,
                                sockaddr_storage* addr, socklen_t* len)
{
    static const ResolveDiag kDiag = {kDiagErr, "[CCliSocket::Connect]",
                                      "[CCliSocket::CreateSocket]"};
    int err = ResolveHostAddress(host, uint16_t(port), family, addr, len, kDiag);
    if (err != 0)
        m_nLastError = err;
    return err == 0;
}

bool CCliSocket::Connect(const char* host, unsigned int port, int family)
{
    if (!host || port > 65535) {
        m_nLastError = EINVAL;
        return false;
    }
    Lock();
    int fd = m_fd.Get();
    Unlock();
    if (fd == -1) {
        m_nLastError = EBADF;
        return false;
    }
    sockaddr_storage addr;
    socklen_t len;
    if (!ResolveAddress(host, port, family, &addr, &len))
        return false;

    int rc = connect(fd, reinterpret_cast<sockaddr*>(&addr), len);
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
        m_nLastError = errno;
        return false;
    }
    Lock();
    if (m_fd.Get() == fd) {
        m_nState = stConnecting;
        m_bConnectNotified = false;
    }
    Unlock();
    Wake();
    return true;
}

bool CCliSocket::Open(const TransportTarget& target)
{
    if (IsConnected()) {
        DiagPrint(kDiagErr, "[CHTTPCtrl::ConnectSvr]before close...m_pSocket = %d\n",
                  GetSocketHandle());
        Close();
    }
    if (GetSocketHandle() != -1) {
        DiagPrint(kDiagOut, "[HTTPCtrl] ConnectSvr with m_hSocket != INVALID_SOCKET: %s:%u\n",
                  target.host, target.port);
        return false;
    }
    if (!Create(target.family, SOCK_STREAM, 0)) {
        DiagPrint(kDiagOut, "m_pSocket->Create failed, err = %d\n", GetLastError());
        return false;
    }
    bool ok;
    if (target.proxy) {
        DiagPrint(kDiagOut, "[HTTPCtrl] Socket Connect %s:%u to %s:%u\n", target.proxy,
                  target.proxyPort, target.host, target.port);
        ok = Connect(target.proxy, target.proxyPort, AF_INET);
    } else {
        DiagPrint(kDiagOut, "[HTTPCtrl] Socket Connect %s:%u\n", target.host, target.port);
        ok = Connect(target.address, target.port, target.family);
    }
    if (!ok) {
        DiagPrint(kDiagOut, "[HTTPCtrl] Socket connect %s:%u Error:%u\n", target.host, target.port,
                  unsigned(GetLastError()));
    }
    return ok;
}

int CCliSocket::EndSession()
{
    if (IsConnected()) {
        DiagPrint(kDiagOut, "[HTTPCtrl] OnDisconnected Close Socket!!!\n");
        DiagPrint(kDiagErr, "[CHTTPCtrl::AfterDisconnected] before close...m_pSocket = %d\n",
                  GetSocketHandle());
        Close();
    }
    if (GetSocketHandle() != -1)
        DiagPrint(kDiagOut, "[HTTPCtrl] OnDisconnected Socket is valid, so close it now\n");
    return Close();
}

int CCliSocket::SendWithin(const void* data, int length)
{
    DiagPrint(kDiagOut, "[Before sendrequest] %.*s\n", data && length > 0 ? length : 0,
              data ? static_cast<const char*>(data) : "");
    return CTransport::SendWithin(data, length);
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
    if (!m_fd.Valid()) {
        m_nLastError = EBADF;
    } else {
        ssize_t r = io(m_fd.Get());
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
    return LockedIo(buffer && size >= 0,
                    [&](int fd) { return recv(fd, buffer, size_t(size), flags); });
}

bool CCliSocket::SetSockOpt(int option, const void* value, int length)
{
    bool locked = LockUnlessSocketThread();
    bool ok =
        m_fd.Valid() && setsockopt(m_fd.Get(), SOL_SOCKET, option, value, socklen_t(length)) == 0;
    if (!ok)
        m_nLastError = m_fd.Valid() ? errno : EBADF;
    if (locked)
        Unlock();
    return ok;
}

bool CCliSocket::ShutDown()
{
    bool locked = LockUnlessSocketThread();
    bool ok = m_fd.Valid() && shutdown(m_fd.Get(), SHUT_RDWR) == 0;
    if (!ok) {
        m_nLastError = m_fd.Valid() ? errno : EBADF;
        DiagPrint(kDiagOut, "[CCliSocket:ShutDown] get error = %d\n", int(m_nLastError));
    }
    if (locked)
        Unlock();
    return ok;
}

int CCliSocket::NotifyThreadMsg(unsigned long wParam, unsigned long lParam)
{
    DiagPrint(kDiagOut,
              "[CCliSocket::NotifyThreadMsg]wParam = %08x, lParam = %08x, m_OwnerThreadID =%08x\n",
              unsigned(wParam), unsigned(lParam), unsigned(OwnerThreadID()));
    return CTransport::NotifyThreadMsg(wParam, lParam);
}

CTransport::PassResult CCliSocket::Pass(short revents, short* waitEvents)
{
    const PassResult result = revents ? OnSocketReady(revents) : kPassIdle;
    if (m_nState == stConnecting && !m_bConnectNotified)
        *waitEvents = POLLOUT;
    else
        *waitEvents = m_nState == stConnected ? POLLIN : 0;
    return result;
}

CTransport::PassResult CCliSocket::OnSocketReady(short revents)
{
    const bool errFlag = (revents & POLLERR) != 0;
    if (m_nState == stConnecting && !m_bConnectNotified) {
        // A refused connect shows as writable too: only SO_ERROR tells.
        int soErr = PendingError(m_fd.Get());
        int code = (errFlag || soErr != 0) ? 1 : 0;
        if (code) {
            DiagPrint(kDiagOut, "errFDs is occured\n");
            m_nLastError = soErr ? soErr : ECONNREFUSED;
        }
        OnConnect(code);
        return kPassProgress;
    }
    if (m_nState != stConnected)
        return kPassIdle;
    m_bPassRead = false;
    OnReceive(errFlag ? 1 : 0);
    return (m_bPassRead || m_bStop) ? kPassProgress : kPassStalled;
}

int CCliSocket::ReadSome(unsigned char* buf, int size)
{
    ssize_t n = recv(m_fd.Get(), buf, size_t(size), 0);
    if (n >= 0)
        return int(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return kReadAgain;
    m_nLastError = errno;
    return kReadFailed;
}

int CCliSocket::WriteSome(const unsigned char* data, int size, pollfd* wait)
{
    int r = Send(data, size, 0);
    if (r > 0)
        return r;
    int err = r < 0 ? GetLastError() : EIO;
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) {
        // A full send buffer: wait until it drains, within the time-out.
        *wait = pollfd{GetSocketHandle(), POLLOUT, 0};
        if (wait->fd >= 0)
            return -1;
        err = EBADF;
    }
    m_nLastError = err;
    return -1;
}

void CCliSocket::OnConnect(int nErrorCode)
{
    DiagPrint(kDiagOut, "[CCliSocket::OnConnect]nErrorCode = %d\n", nErrorCode);
    // The kernel's receive buffer is left as it is: shrunk to 8 KiB on an
    // established Linux connection, it drops segments larger than itself and
    // the stream stalls in retransmission back-off.
    // One report per attempt; the owner decides what follows a failure.
    m_bConnectNotified = true;
    CTransport::OnConnect(nErrorCode);
}

void CCliSocket::OnClose(int nErrorCode)
{
    DiagPrint(kDiagOut, "[CCliSocket::OnClose]nErrorCode = %d\n", nErrorCode);
    CTransport::OnClose(nErrorCode);
}
