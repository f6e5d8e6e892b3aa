// Every command's reply handling, the settings-record decoders and the DDNS
// list, with the input as the camera's reply.
#include "FuzzCamera.h"
#include "FuzzInit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Terminated(const char* text, size_t size)
{
    if (!std::memchr(text, 0, size))
        __builtin_trap();
}

} // namespace

RILO_FUZZ_INITIALIZE(true)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    FuzzCamera cam;
    cam.AnswerWith(data + 1, size - 1, (data[0] & 1) != 0);
    uint16_t seq = uint16_t(data[0] << 3);

    cam.VerifyAuthorization(seq++);
    std::string longValue(data[0], 'v');
    cam.ChangeAdminPassword(nullptr, longValue.c_str(), seq++);

    _LANDAP_Get_Wireless_Pack wp;
    if (cam.DoGetCameraWireless(&wp, seq++) == kFinderOk) {
        Terminated(wp.Settings.SSID, sizeof wp.Settings.SSID);
        Terminated(wp.Settings.WPAKey, sizeof wp.Settings.WPAKey);
    }
    _LANDAPWirelessCapability cap;
    cam.GetCameraWirelessCap(&cap, seq++);
    _LANDAP_Get_AdvNetwork_Pack ap;
    if (cam.DoGetCameraAdvNetwork(&ap, seq++) == kFinderOk)
        Terminated(ap.ProviderList, sizeof ap.ProviderList);
    _LANDAPDatetime dt;
    if (cam.GetCameraDatetime(&dt, seq++) == kFinderOk)
        Terminated(dt.LocalTime, sizeof dt.LocalTime);
    _LANDAPSimpleWireless sw;
    if (cam.GetCameraSimpleWireless(&sw, seq++) == kFinderOk)
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
    if (cam.QueryTessel12URL(&url, seq++) == kFinderOk)
        Terminated(url.URL, sizeof url.URL);
    cam.EnableTessel12(&en, seq++);
    cam.CommitSettings(seq++);
    cam.SetCameraDatetime(&dt, seq++);
    cam.SetCameraWireless(&wp.Settings, seq++);

    char name[128];
    for (int k = -1; k <= cam.GetDDNSProvidersCount(); ++k)
        if (cam.GetDDNSProvider(k, name) == kFinderOk)
            Terminated(name, sizeof name);
    // The input as a provider list of its own.
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    cam.UpdateDDNSProviders(text.c_str());
    for (int k = 0; k < cam.GetDDNSProvidersCount(); ++k)
        if (cam.GetDDNSProvider(k, name) == kFinderOk)
            Terminated(name, sizeof name);
    return 0;
}
