#ifndef RILO_FUZZCAMERA_H
#define RILO_FUZZCAMERA_H

// The camera of the finder's fuzz targets: a valid camera object with a
// known MAC and credentials, whose exchanges are answered from the input
// instead of the network.

#include "ByteOrder.h"
#include "landap/CLANDAPObj.h"

#include <cstring>

class FuzzCamera : public CLANDAPObj {
public:
    static constexpr MAC_ADDR kMac = {{0x02, 0x00, 0x5e, 0x00, 0x02, 0x01}};

    FuzzCamera()
    {
        uint8_t info[_LANDAP_Device_Info::WireSize] = {};
        uint32_t intf = 0;
        AssignInitData(info, sizeof info, &kMac, &intf);
        SetAuthentication("admin", "secret");
    }

    // Every exchange from now on is answered with these bytes (which must
    // outlive the camera); patch makes the reply name the request and this
    // camera.
    void AnswerWith(const uint8_t* data, size_t size, bool patch)
    {
        m_data = data;
        m_size = size;
        m_patch = patch;
    }

    // The reply header of n bytes names this request and camera; withStatus
    // also makes its status 0. Shorter than a header: left alone.
    static void NameRequest(uint8_t* reply, size_t n, uint16_t seq, bool withStatus)
    {
        if (n < LandapHeader::WireSize)
            return;
        PutLE16(reply + LandapHeader::OffSeqNo, seq);
        std::memcpy(reply + LandapHeader::OffTargetMAC, kMac.addr, sizeof kMac.addr);
        if (withStatus)
            PutLE16(reply + LandapHeader::OffStatus, 0);
    }

protected:
    int Transact(unsigned replyLen, unsigned long, uint16_t) override
    {
        uint16_t seq = m_Packet->Header().LandapSeqNo;
        size_t n = m_size < replyLen ? m_size : replyLen;
        std::memset(m_Packet->bytes, 0, replyLen);
        if (n)
            std::memcpy(m_Packet->bytes, m_data, n);
        if (m_patch)
            NameRequest(m_Packet->bytes, n, seq, false);
        return int(n);
    }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    bool m_patch = false;
};

#endif
