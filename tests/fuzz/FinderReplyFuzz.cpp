// Discovery replies, refresh and set-type replies and device information,
// straight from the network.
#include "FuzzInit.h"
#include "landap/CLANDAPMgr.h"
#include "landap/CLANDAPObj.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr uint16_t kSeq = 0x1234;

// A manager with a known sequence number, so replies can match it.
class FuzzMgr : public CLANDAPMgr {
public:
    FuzzMgr() { m_SeqNo = kSeq; }
};

} // namespace

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzMgr mgr;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(0xC0000202);
    uint32_t bound = 0;

    // The input as one discovery datagram, then split in two.
    mgr.DoFoundCamera(data, size, &from, &bound);
    size_t half = size / 2;
    mgr.DoFoundCamera(data, half, &from, &bound);
    mgr.DoFoundCamera(data + half, size - half, &from, &bound);

    for (int i = 0; i < mgr.GetCameraNum(); ++i) {
        CLANDAPObj* cam = mgr.GetLANDAPObj(i);
        _NetworkSetting ns;
        mgr.GetCameraNetwork(i, &ns);
        // The same bytes as a reply in the camera's packet buffer.
        size_t n = size < kLandapPacketSize ? size : kLandapPacketSize;
        std::memset(cam->Packet().bytes, 0, CLANDAPObj::kDeviceInfoReplySize);
        std::memcpy(cam->Packet().bytes, data, n);
        cam->CheckGetReply(int(n), kSeq);
        cam->CheckSetReply(int(n), kSeq);
        cam->ProcessResponse(&cam->Packet());
    }

    // Any body length through the device-information store.
    CLANDAPObj obj;
    MAC_ADDR mac{};
    if (size >= 6)
        std::memcpy(mac.addr, data, 6);
    obj.AssignInitData(data, size, &mac, &bound);
    if (size >= _LANDAP_Device_Info::WireSize)
        obj.AssignInitData(data + size - _LANDAP_Device_Info::WireSize,
                           _LANDAP_Device_Info::WireSize, &mac, &bound);
    return 0;
}
