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

}  // namespace

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

    const bool noLimit = timeoutMs >= kNoTimeout;
    // Never gather more than the internal buffer holds, whatever was asked.
    size_t capacity = bufferLength == 0 ? kMaxReceive : size_t(bufferLength);
    if (capacity > kMaxReceive)
        capacity = kMaxReceive;
    std::vector<uint8_t> internal(kMaxReceive, 0);

    uint64_t reference = MonotonicMs();
    uint64_t elapsed = 0;
    int result = 0;
    size_t gathered = 0;
    bool haveFirst = false;

    for (;;) {
        pollfd p{};
        p.fd = m_Socket;
        p.events = POLLIN;
        int ready = poll(&p, 1, 1000);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            BCPrint("select socket errno = %d\n", errno);
            result = -1;
            break;
        }
        if (ready == 0) {
            elapsed = MonotonicMs() - reference;
        } else {
            uint8_t* dst = callback ? internal.data() : internal.data() + gathered;
            size_t room = callback ? kMaxReceive : capacity - gathered;
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            ssize_t n = recvfrom(m_Socket, dst, room, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 0) {
                BCPrint("socket recv error! GetLastError()=%d\n", errno);
                result = -1;
                break;
            }
            // Our own datagrams (socket bound to a real address) are not
            // replies; an empty datagram gives nothing to gather. Neither
            // holds the deadline off, so a stream of them cannot keep the
            // receive alive.
            bool ignore = (m_BoundAddr != 0 && from.sin_addr.s_addr == m_BoundAddr) ||
                          (!callback && n == 0);
            if (ignore) {
                elapsed = MonotonicMs() - reference;
            } else {
                if (firstSender && !haveFirst) {
                    *firstSender = from.sin_addr.s_addr;
                    haveFirst = true;
                }
                bool complete = false;
                if (callback) {
                    if (callback(context, dst, static_cast<unsigned long>(n), &from, &m_BoundAddr))
                        ++result;
                } else {
                    gathered += size_t(n);
                    complete = gathered == capacity || gathered == kGatherStop;
                }
                if (!noLimit)
                    reference = MonotonicMs();
                elapsed = 0;
                if (complete)
                    break;
            }
        }
        if (!noLimit) {
            if (elapsed == 0)
                elapsed = 1;
            if (elapsed >= timeoutMs)
                break;
        }
    }

    if (buffer) {
        size_t copy = gathered < bufferLength ? gathered : size_t(bufferLength);
        std::memcpy(buffer, internal.data(), copy);
        return int(copy);
    }
    return result;
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
