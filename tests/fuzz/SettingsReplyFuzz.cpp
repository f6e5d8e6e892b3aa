// Every command's reply handling, the settings-record decoders and the DDNS
// list, with the input as the camera's reply.
#include "CLANDAPObj.h"
#include "FuzzInit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const MAC_ADDR kMac = {{0x02, 0x00, 0x5e, 0x00, 0x02, 0x01}};

// A camera whose every exchange is answered with the input.
class FuzzCam : public CLANDAPObj {
public:
    FuzzCam(const uint8_t* data, size_t size, bool patch) : m_data(data), m_size(size), m_patch(patch)
    {
        uint8_t info[_LANDAP_Device_Info::WireSize] = {};
        uint32_t intf = 0;
        AssignInitData(info, sizeof info, &kMac, &intf);
        SetAuthentication("admin", "secret");
    }

protected:
    int Transact(unsigned replyLen, unsigned long, uint16_t) override
    {
        uint16_t seq = m_Packet->Header().LandapSeqNo;
        size_t n = m_size < replyLen ? m_size : replyLen;
        std::memset(m_Packet->bytes, 0, replyLen);
        std::memcpy(m_Packet->bytes, m_data, n);
        if (m_patch && n >= LandapHeader::WireSize) {
            LANDAPPutU16(m_Packet->bytes + LandapHeader::OffSeqNo, seq);
            std::memcpy(m_Packet->bytes + LandapHeader::OffTargetMAC, kMac.addr, 6);
        }
        return int(n);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    bool m_patch;
};

void Terminated(const char* text, size_t size)
{
    if (!std::memchr(text, 0, size))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    RiloFuzzInit(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    FuzzCam cam(data + 1, size - 1, (data[0] & 1) != 0);
    uint16_t seq = uint16_t(data[0] << 3);

    cam.VerifyAuthorization(seq++);
    std::string longValue(data[0], 'v');
    cam.ChangeAdminPassword(nullptr, longValue.c_str(), seq++);

    _LANDAP_Get_Wireless_Pack wp;
    if (cam.DoGetCameraWireless(&wp, seq++) == 0) {
        Terminated(wp.Settings.SSID, sizeof wp.Settings.SSID);
        Terminated(wp.Settings.WPAKey, sizeof wp.Settings.WPAKey);
    }
    _LANDAPWirelessCapability cap;
    cam.GetCameraWirelessCap(&cap, seq++);
    _LANDAP_Get_AdvNetwork_Pack ap;
    if (cam.DoGetCameraAdvNetwork(&ap, seq++) == 0)
        Terminated(ap.ProviderList, sizeof ap.ProviderList);
    _LANDAPDatetime dt;
    if (cam.GetCameraDatetime(&dt, seq++) == 0)
        Terminated(dt.LocalTime, sizeof dt.LocalTime);
    _LANDAPSimpleWireless sw;
    if (cam.GetCameraSimpleWireless(&sw, seq++) == 0)
        Terminated(sw.Key, sizeof sw.Key);
    _tLANDAP_Wireless_AssociatedStatus as;
    cam.GetWirelessAssociatedStatus(&as, seq++);
    _LANDAPNetworkStatus ns;
    cam.QueryNetworkStatus(&ns, seq++);
    _TESSEL12Enable en;
    cam.GetTessel12Enabled(&en, seq++);
    _TESSEL12ProcStatus ps;
    cam.Tessel12QueryProcState(&ps, seq++);
    _TESSEL12URL url;
    if (cam.QueryTessel12URL(&url, seq++) == 0)
        Terminated(url.URL, sizeof url.URL);
    cam.EnableTessel12(&en, seq++);
    cam.CommitSettings(seq++);
    cam.SetCameraDatetime(&dt, seq++);
    cam.SetCameraWireless(&wp.Settings, seq++);

    char name[128];
    for (int k = -1; k <= cam.GetDDNSProvidersCount(); ++k)
        if (cam.GetDDNSProvider(k, name) >= 0)
            Terminated(name, sizeof name);
    // The input as a provider list of its own.
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    cam.UpdateDDNSProviders(text.c_str());
    for (int k = 0; k < cam.GetDDNSProvidersCount(); ++k)
        if (cam.GetDDNSProvider(k, name) >= 0)
            Terminated(name, sizeof name);
    return 0;
}
