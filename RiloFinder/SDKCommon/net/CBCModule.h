#ifndef RILO_CBCMODULE_H
#define RILO_CBCMODULE_H

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

// Handed every datagram of a callback-mode Receive; non-zero accepts it.
typedef int (*BCRecvCallback)(void* context, uint8_t* datagram, unsigned long length,
                              sockaddr_in* sender, uint32_t* boundAddress);

// A UDP socket for one broadcast exchange: bind, send single datagrams
// (255.255.255.255 by default), receive replies with a quiet-time limit.
class CBCModule {
public:
    // Largest receive: one datagram, or everything gathered in buffer mode.
    static constexpr size_t kMaxReceive = 65536;
    // Timeout value that never ends a receive.
    static constexpr unsigned long kNoTimeout = 0xFFFFFFFFul;
    // A gather of exactly this many bytes is complete whatever was asked.
    static constexpr size_t kGatherStop = 106;

    CBCModule() = default;
    // Closes a socket its owner forgot, so no descriptor leaks.
    virtual ~CBCModule();
    CBCModule(const CBCModule&) = delete;
    CBCModule& operator=(const CBCModule&) = delete;

    // address: network order, NULL = any; port 0 = any free port.
    int Create(const uint32_t* address, uint16_t port, int noBroadcast);
    // destination NULL = 255.255.255.255; port 0 = the bound port. source is
    // not used.
    int Send(const uint8_t* data, unsigned long length, const uint32_t* destination, uint16_t port,
             int newSocket, const uint32_t* source);
    // Gathers into buffer (callback NULL) or hands each datagram to callback,
    // until timeoutMs pass without an accepted datagram.
    int Receive(unsigned long timeoutMs, uint8_t* buffer, unsigned long bufferLength,
                uint32_t* firstSender, BCRecvCallback callback, void* context);
    int Destroy();
    // Asks the kernel for a receive buffer of this many bytes (it grants up
    // to net.core.rmem_max, and counts its own bookkeeping in). Returns the
    // size granted as the kernel reports it, or -1 without a socket.
    int SetReceiveBuffer(int bytes);

    int GetSocket() const { return m_Socket; }
    uint16_t GetBoundPort() const { return m_BoundPort; }
    uint32_t GetBoundAddr() const { return m_BoundAddr; }

private:
    int m_Socket = -1;
    uint16_t m_BoundPort = 0; // host order
    uint32_t m_BoundAddr = 0; // network order, 0 = any
};

#endif
