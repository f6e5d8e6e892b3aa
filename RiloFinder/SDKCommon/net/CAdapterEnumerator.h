#ifndef RILO_CADAPTERENUMERATOR_H
#define RILO_CADAPTERENUMERATOR_H

#include "net/AdapterInfo.h"
#include "net/BCCommon.h"

#include <netinet/in.h>

#include <cstdint>
#include <deque>

// The host's network interfaces, in the order the system first lists them.
// Indexes stay valid until the next Refresh.
class CAdapterEnumerator {
public:
    CAdapterEnumerator() = default;
    virtual ~CAdapterEnumerator();
    CAdapterEnumerator(const CAdapterEnumerator&) = delete;
    CAdapterEnumerator& operator=(const CAdapterEnumerator&) = delete;

    void Refresh();
    void Reset();
    int GetAdapterNum() const;
    // address in network order; 0 picks the first adapter with an address,
    // a mask and a broadcast address.
    int FindAdapterIP(const uint32_t* address) const;
    int FindAdapterMAC(const MAC_ADDR* mac) const;
    int GetAdapterMAC(int index, MAC_ADDR* out) const;
    int GetAdapterLocalIP(int index, char* out, int length) const;
    int GetAdapterMask(int index, char* out, int length) const;
    int GetAdapterBroadcastAddr(int index, char* out, int length) const;
    // The adapter's own address with the last octet one higher (mod 256),
    // as dotted text. 1 with *length = text length + 1; 0 with *length 0
    // (no adapter, a null text, a mask ending in 255) or with the needed
    // length when *length is too small. Nothing checks the address for use.
    int GetFreeIP(int index, char* text, short* length) const;
    // Clears length bytes of out and writes the dotted text of addr.
    void FillINetDataToInfo(const sockaddr_in* addr, char* out, int length) const;

    const AdapterInfo* GetAdapter(int index) const;

private:
    AdapterInfo* FindOrAdd(const char* name);
    static int CopyText(const char* text, char* out, int length);

    std::deque<AdapterInfo*> m_Adapters;
};

#endif
