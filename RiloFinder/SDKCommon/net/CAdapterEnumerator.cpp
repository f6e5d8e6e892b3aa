#include "net/CAdapterEnumerator.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

CAdapterEnumerator::~CAdapterEnumerator()
{
    Reset();
}

void CAdapterEnumerator::Reset()
{
    for (AdapterInfo* a : m_Adapters)
        delete a;
    m_Adapters.clear();
}

AdapterInfo* CAdapterEnumerator::FindOrAdd(const char* name)
{
    for (AdapterInfo* a : m_Adapters)
        if (std::strcmp(a->name, name) == 0)
            return a;
    AdapterInfo* a = new AdapterInfo{};
    RiloCopyText(a->name, sizeof a->name, name);
    m_Adapters.push_back(a);
    return a;
}

void CAdapterEnumerator::Refresh()
{
    Reset();
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        BCPrint("get_if_name: getifaddrs() failed! ");
        return;
    }
    for (ifaddrs* e = list; e; e = e->ifa_next) {
        if (!e->ifa_name || !e->ifa_addr)
            continue;
        if (e->ifa_addr->sa_family == AF_PACKET) {
            const sockaddr_ll* ll = reinterpret_cast<const sockaddr_ll*>(e->ifa_addr);
            AdapterInfo* a = FindOrAdd(e->ifa_name);
            size_t n = ll->sll_halen;
            if (n > sizeof a->mac)
                n = sizeof a->mac;
            std::memcpy(a->mac, ll->sll_addr, n);
        } else if (e->ifa_addr->sa_family == AF_INET) {
            if (e->ifa_flags & IFF_LOOPBACK)
                continue;
            AdapterInfo* a = FindOrAdd(e->ifa_name);
            FillINetDataToInfo(reinterpret_cast<const sockaddr_in*>(e->ifa_addr), a->ipAddress,
                               sizeof a->ipAddress);
            if (e->ifa_netmask)
                FillINetDataToInfo(reinterpret_cast<const sockaddr_in*>(e->ifa_netmask), a->mask,
                                   sizeof a->mask);
            // ifa_broadaddr and ifa_dstaddr share their storage. Without a
            // broadcast address Linux puts the interface's own address
            // there; that is no broadcast address.
            const sockaddr_in* brd = reinterpret_cast<const sockaddr_in*>(e->ifa_broadaddr);
            const sockaddr_in* own = reinterpret_cast<const sockaddr_in*>(e->ifa_addr);
            bool ownAddress = brd && !(e->ifa_flags & IFF_POINTOPOINT) &&
                              brd->sin_addr.s_addr == own->sin_addr.s_addr;
            if (brd && !ownAddress)
                FillINetDataToInfo(brd, a->broadcast, sizeof a->broadcast);
        }
    }
    freeifaddrs(list);
}

void CAdapterEnumerator::FillINetDataToInfo(const sockaddr_in* addr, char* out, int length) const
{
    if (!addr || !out || length <= 0)
        return;
    std::memset(out, 0, size_t(length));
    if (!inet_ntop(AF_INET, &addr->sin_addr, out, socklen_t(length))) {
        DiagPrint(kDiagErr, "%s: %s\n",
                  "[CAdapterEnumerator::FillNetDataToInf]inet_ntop conversion failed!!!\n",
                  std::strerror(errno));
        std::memset(out, 0, size_t(length));
    }
}

int CAdapterEnumerator::GetAdapterNum() const
{
    return int(m_Adapters.size());
}

const AdapterInfo* CAdapterEnumerator::GetAdapter(int index) const
{
    if (index < 0 || size_t(index) >= m_Adapters.size())
        return nullptr;
    return m_Adapters[size_t(index)];
}

int CAdapterEnumerator::FindAdapterIP(const uint32_t* address) const
{
    if (!address)
        return -1;
    for (size_t i = 0; i < m_Adapters.size(); ++i) {
        const AdapterInfo* a = m_Adapters[i];
        if (*address == 0) {
            if (a->ipAddress[0] && a->mask[0] && a->broadcast[0])
                return int(i);
            continue;
        }
        // An empty text is no address (inet_addr would read it as
        // 255.255.255.255).
        in_addr parsed{};
        if (a->ipAddress[0] && inet_pton(AF_INET, a->ipAddress, &parsed) == 1 &&
            parsed.s_addr == *address)
            return int(i);
    }
    return -1;
}

int CAdapterEnumerator::FindAdapterMAC(const MAC_ADDR* mac) const
{
    if (!mac)
        return -1;
    for (size_t i = 0; i < m_Adapters.size(); ++i)
        if (std::memcmp(m_Adapters[i]->mac, mac->addr, sizeof mac->addr) == 0)
            return int(i);
    return -1;
}

int CAdapterEnumerator::GetAdapterMAC(int index, MAC_ADDR* out) const
{
    const AdapterInfo* a = GetAdapter(index);
    if (!a || !out)
        return 0;
    std::memcpy(out->addr, a->mac, sizeof out->addr);
    return 1;
}

int CAdapterEnumerator::CopyText(const char* text, char* out, int length)
{
    if (!out || length < 0)
        return 0;
    std::memset(out, 0, size_t(length));
    size_t n = strnlen(text, 64);
    if (n > size_t(length))
        n = size_t(length);
    std::memcpy(out, text, n);
    return 1;
}

int CAdapterEnumerator::GetAdapterLocalIP(int index, char* out, int length) const
{
    const AdapterInfo* a = GetAdapter(index);
    return a ? CopyText(a->ipAddress, out, length) : 0;
}

int CAdapterEnumerator::GetAdapterMask(int index, char* out, int length) const
{
    const AdapterInfo* a = GetAdapter(index);
    return a ? CopyText(a->mask, out, length) : 0;
}

int CAdapterEnumerator::GetAdapterBroadcastAddr(int index, char* out, int length) const
{
    const AdapterInfo* a = GetAdapter(index);
    return a ? CopyText(a->broadcast, out, length) : 0;
}

int CAdapterEnumerator::GetFreeIP(int index, char* text, short* length) const
{
    if (!length)
        return 0;
    const AdapterInfo* a = GetAdapter(index);
    if (!text || !a) {
        *length = 0;
        return 0;
    }
    in_addr addr{};
    in_addr mask{};
    if (inet_pton(AF_INET, a->ipAddress, &addr) != 1 || inet_pton(AF_INET, a->mask, &mask) != 1 ||
        (ntohl(mask.s_addr) & 0xFFu) == 0xFFu) {
        *length = 0;
        return 0;
    }
    uint32_t host = ntohl(addr.s_addr);
    host = (host & 0xFFFFFF00u) | ((host + 1u) & 0xFFu);
    char suggestion[INET_ADDRSTRLEN] = {};
    std::snprintf(suggestion, sizeof suggestion, "%u.%u.%u.%u", unsigned(host >> 24),
                  unsigned((host >> 16) & 0xFFu), unsigned((host >> 8) & 0xFFu),
                  unsigned(host & 0xFFu));
    short needed = short(std::strlen(suggestion) + 1);
    if (*length < needed) {
        *length = needed;
        return 0;
    }
    std::memcpy(text, suggestion, size_t(needed));
    *length = needed;
    return 1;
}
