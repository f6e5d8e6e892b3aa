// CLANCamFinder: the host interface a camera was found on, a free address
// on it, and the DHCP probe.
#include "api/CLANCamFinder.h"

#include "net/CBCModule.h"

#include <cerrno>
#include <cstring>
#include <string>

FinderResult CLANCamFinder::GetIntfMAC(const uint32_t* intfAddr, MAC_ADDR* out)
{
    if (!out)
        return kFinderFail;
    CAdapterEnumerator& adapters = m_Mgr.GetAdapters();
    int idx = adapters.FindAdapterIP(intfAddr);
    MAC_ADDR mac{};
    if (idx < 0 || !adapters.GetAdapterMAC(idx, &mac))
        return kFinderFail;
    static const uint8_t kNone[6] = {};
    if (std::memcmp(mac.addr, kNone, sizeof kNone) == 0)
        return kFinderFail;
    *out = mac;
    return kFinderOk;
}

FinderResult CLANCamFinder::GetFreeIP(const uint32_t* intfAddr, char* text, short* length)
{
    if (!text || !length)
        return kFinderFail;
    CAdapterEnumerator& adapters = m_Mgr.GetAdapters();
    int idx = adapters.FindAdapterIP(intfAddr);
    if (idx < 0)
        return kFinderFail;
    if (adapters.GetFreeIP(idx, text, length))
        return kFinderOk;
    // The enumerator leaves 0 for no suggestion, else the length it needs.
    return *length == 0 ? kFinderNotAvailable : kFinderTooSmall;
}

void CLANCamFinder::BuildDHCPDiscover(uint8_t* out, const uint8_t mac[6])
{
    std::memset(out, 0, kDHCPRequestSize);
    out[0] = 1; // request
    out[1] = 1; // Ethernet
    out[2] = 6; // hardware address length
    static const uint8_t kXid[4] = {0x83, 0x78, 0x32, 0xE8};
    std::memcpy(out + 4, kXid, sizeof kXid);
    out[10] = 0x80; // answer by broadcast: there is no address yet
    std::memcpy(out + 28, mac, 6);
    static const uint8_t kCookie[4] = {0x63, 0x82, 0x53, 0x63};
    std::memcpy(out + 236, kCookie, sizeof kCookie);
    out[240] = 53; // message type
    out[241] = 1;
    out[242] = 1; // DHCPDISCOVER
    out[243] = 0xFF;
}

namespace {

// The DISCOVER, and once more after a quiet wait, as DHCP clients
// retransmit: a server that checks the address (by ARP) before it offers
// answers later than the first wait, and a lost DISCOVER gets a second
// chance. The bytes gathered from the first sender on, 0 for silence, -1
// when a DISCOVER could not be sent.
int ExchangeDHCP(CBCModule& sock, const uint8_t* request, uint32_t* server)
{
    uint8_t reply[CLANCamFinder::kDHCPReplyBuffer];
    for (int sent = 0; sent < CLANCamFinder::kDHCPDiscoverSends; ++sent) {
        if (sock.Send(request, CLANCamFinder::kDHCPRequestSize, nullptr,
                      CLANCamFinder::kDHCPServerPort, 0,
                      nullptr) != int(CLANCamFinder::kDHCPRequestSize))
            return -1;
        int n = sock.Receive(CLANCamFinder::kDHCPTimeoutMs, reply, sizeof reply, server, nullptr,
                             nullptr);
        if (n != 0)
            return n;
    }
    return 0;
}

} // namespace

FinderResult CLANCamFinder::GetIntfDHCP(const uint32_t* intfAddr, int* reserved, char* text,
                                        short* length)
{
    if (!reserved || !text || !length || !intfAddr)
        return kFinderFail;
    MAC_ADDR mac{};
    if (GetIntfMAC(intfAddr, &mac) != kFinderOk)
        return kFinderFail;

    uint8_t request[kDHCPRequestSize];
    BuildDHCPDiscover(request, mac.addr);

    CBCModule sock;
    if (sock.Create(intfAddr, kDHCPClientPort, 0) != 0) {
        int err = errno;
        BCPrint("DHCP probe: cannot bind UDP port %u: %s\n", unsigned(kDHCPClientPort),
                std::strerror(err));
        return kFinderFail;
    }
    uint32_t server = 0;
    int n = ExchangeDHCP(sock, request, &server);
    sock.Destroy();
    if (n < 0) {
        BCPrint("DHCP probe: the request could not be sent\n");
        return kFinderFail;
    }
    if (n == 0) {
        *length = 0;
        BCPrint("No DHCP Server!\n");
        return kFinderNotAvailable;
    }
    std::string addr = inet_ltoa(server);
    short needed = short(addr.size() + 1);
    bool fits = *length > short(addr.size());
    if (fits)
        std::memcpy(text, addr.c_str(), addr.size() + 1);
    *length = needed;
    return fits ? kFinderOk : kFinderTooSmall;
}
