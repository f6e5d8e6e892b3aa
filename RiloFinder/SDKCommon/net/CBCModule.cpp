#include "net/CBCModule.h"

#include "net/BCCommon.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

int OpenUdpSocket()
{
    return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
}

// Waits up to a second for a datagram: 1 readable, 0 nothing yet, -1 error.
int WaitReadable(int s)
{
    for (;;) {
        pollfd p{};
        p.fd = s;
        p.events = POLLIN;
        int ready = poll(&p, 1, 1000);
        if (ready >= 0)
            return ready;
        if (errno != EINTR) {
            BCPrint("select socket errno = %d\n", errno);
            return -1;
        }
    }
}

// One Receive: the quiet-time clock, the gather and the accepted count.
struct ReceiveRun {
    ReceiveRun(unsigned long timeoutMs, unsigned long bufferLength, uint32_t* firstSender,
               BCRecvCallback callback, void* context)
        : timeoutMs(timeoutMs), noLimit(timeoutMs >= CBCModule::kNoTimeout),
          // Never gather more than the internal buffer holds, whatever was asked.
          capacity(bufferLength == 0 || bufferLength > CBCModule::kMaxReceive
                       ? CBCModule::kMaxReceive
                       : size_t(bufferLength)),
          internal(CBCModule::kMaxReceive, 0), reference(MonotonicMs()), firstSender(firstSender),
          callback(callback), context(context)
    {
    }

    // Reads the waiting datagram: -1 on a receive error, 1 when a gather is
    // complete, else 0.
    int TakeDatagram(int s, uint32_t* boundAddr)
    {
        uint8_t* dst = callback ? internal.data() : internal.data() + gathered;
        size_t room = callback ? CBCModule::kMaxReceive : capacity - gathered;
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        ssize_t n = recvfrom(s, dst, room, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0) {
            BCPrint("socket recv error! GetLastError()=%d\n", errno);
            return -1;
        }
        // Our own datagrams (socket bound to a real address) are not
        // replies; an empty datagram gives nothing to gather. Neither
        // holds the deadline off, so a stream of them cannot keep the
        // receive alive.
        bool ignore =
            (*boundAddr != 0 && from.sin_addr.s_addr == *boundAddr) || (!callback && n == 0);
        if (ignore) {
            NoteQuiet();
            return 0;
        }
        return Accept(dst, size_t(n), &from, boundAddr) ? 1 : 0;
    }

    // An accepted datagram restarts the quiet time; true when the gather is complete.
    bool Accept(uint8_t* dst, size_t n, sockaddr_in* from, uint32_t* boundAddr)
    {
        if (firstSender && !haveFirst) {
            *firstSender = from->sin_addr.s_addr;
            haveFirst = true;
        }
        bool complete = false;
        if (callback) {
            if (callback(context, dst, static_cast<unsigned long>(n), from, boundAddr))
                ++result;
        } else {
            gathered += n;
            complete = gathered == capacity || gathered == CBCModule::kGatherStop;
        }
        if (!noLimit)
            reference = MonotonicMs();
        elapsed = 0;
        return complete;
    }

    void NoteQuiet() { elapsed = MonotonicMs() - reference; }

    bool Expired()
    {
        if (noLimit)
            return false;
        if (elapsed == 0)
            elapsed = 1;
        return elapsed >= timeoutMs;
    }

    int CopyGathered(uint8_t* buffer, unsigned long bufferLength) const
    {
        size_t copy = gathered < bufferLength ? gathered : size_t(bufferLength);
        std::memcpy(buffer, internal.data(), copy);
        return int(copy);
    }

    const unsigned long timeoutMs;
    const bool noLimit;
    const size_t capacity;
    std::vector<uint8_t> internal;
    uint64_t reference;
    uint64_t elapsed = 0;
    int result = 0;
    size_t gathered = 0;
    bool haveFirst = false;
    uint32_t* const firstSender;
    const BCRecvCallback callback;
    void* const context;
};

} // namespace

CBCModule::~CBCModule()
{
    Destroy();
}

int CBCModule::Create(const uint32_t* address, uint16_t port, int noBroadcast)
{
    if (m_Socket >= 0)
        return -1;
    int s = OpenUdpSocket();
    if (s < 0)
        return -1;

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address ? *address : htonl(INADDR_ANY);
    m_BoundAddr = address ? *address : 0;

    int rc = bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local);
    if (rc != 0) {
        BCPrint("socket bind error: %d!, errno = %d\n", rc, errno);
        close(s);
        m_Socket = -1;
        m_BoundAddr = 0;
        return -1;
    }
    m_Socket = s;

    sockaddr_in real{};
    socklen_t len = sizeof real;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&real), &len) == 0) {
        BCPrint("Real binding addr and port: %s, %u\n", inet_ltoa(real.sin_addr.s_addr).c_str(),
                unsigned(ntohs(real.sin_port)));
        m_BoundPort = ntohs(real.sin_port);
    }
    if (!noBroadcast) {
        int on = 1;
        setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    return 0;
}

int CBCModule::Send(const uint8_t* data, unsigned long length, const uint32_t* destination,
                    uint16_t port, int newSocket, const uint32_t* /*source*/)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination ? *destination : htonl(INADDR_BROADCAST);
    to.sin_port = htons(port ? port : m_BoundPort);

    int s = m_Socket;
    bool temporary = false;
    if (s < 0 || newSocket) {
        s = OpenUdpSocket();
        if (s < 0) {
            BCPrint("sendto iRet = %d, errno = %d\n", -1, errno);
            return -1;
        }
        temporary = true;
        // The default destination is the broadcast address.
        int on = 1;
        setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    ssize_t rc = sendto(s, data, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to);
    int err = errno;
    if (temporary)
        close(s);
    if (rc < 0)
        BCPrint("sendto iRet = %d, errno = %d\n", int(rc), err);
    return int(rc);
}

int CBCModule::Receive(unsigned long timeoutMs, uint8_t* buffer, unsigned long bufferLength,
                       uint32_t* firstSender, BCRecvCallback callback, void* context)
{
    if (m_Socket < 0)
        return -1;
    ReceiveRun run(timeoutMs, bufferLength, firstSender, callback, context);
    for (;;) {
        int ready = WaitReadable(m_Socket);
        if (ready < 0) {
            run.result = -1;
            break;
        }
        if (ready == 0) {
            run.NoteQuiet();
        } else {
            int taken = run.TakeDatagram(m_Socket, &m_BoundAddr);
            if (taken < 0) {
                run.result = -1;
                break;
            }
            if (taken > 0)
                break;
        }
        if (run.Expired())
            break;
    }
    return buffer ? run.CopyGathered(buffer, bufferLength) : run.result;
}

int CBCModule::SetReceiveBuffer(int bytes)
{
    if (m_Socket < 0)
        return -1;
    setsockopt(m_Socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = -1;
    socklen_t len = sizeof granted;
    if (getsockopt(m_Socket, SOL_SOCKET, SO_RCVBUF, &granted, &len) != 0)
        return -1;
    return granted;
}

int CBCModule::Destroy()
{
    if (m_Socket >= 0) {
        close(m_Socket);
        m_Socket = -1;
    }
    m_BoundPort = 0;
    return 0;
}
