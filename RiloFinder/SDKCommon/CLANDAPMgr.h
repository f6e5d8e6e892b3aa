#ifndef RILO_CLANDAPMGR_H
#define RILO_CLANDAPMGR_H

#include "CLANCamMgr.h"
#include "CLANDAPObj.h"

#include <netinet/in.h>

// Finds cameras by the LANDAP discovery broadcast and forwards the LANDAP
// commands to them by index.
class CLANDAPMgr : public CLANCamMgr {
public:
    // Quiet time of a search from the finder interface.
    static constexpr unsigned long kSearchBudgetMs = 3000;

    CLANDAPMgr() = default;
    ~CLANDAPMgr() override = default;

    int SearchCamByIntf(const char* intfAddr, int length, unsigned long budgetMs) override;

    // One discovery datagram. Always 1: every datagram counts as handled.
    int DoFoundCamera(const uint8_t* datagram, unsigned long length, const sockaddr_in* sender,
                      const uint32_t* boundAddr);
    static int FoundCamera(void* ctx, uint8_t* datagram, unsigned long length, sockaddr_in* sender,
                           uint32_t* boundAddr);

    CLANDAPObj* GetLANDAPObj(int i) const;

    // Clears the camera's last result before the write.
    int SetCameraNetwork(int i, const _NetworkSetting* setting) override;

    // One member per command: -1 for a null record or no camera i, else the
    // camera's result. Set-type members clear its last result first.
    int SetCameraSetting(int i, const _LANDAP_Basic_Set* rec);
    int GetCameraAdvNetwork(int i, _LANDAPAdvNetworkSettings* out);
    int SetCameraAdvNetwork(int i, const _LANDAPAdvNetworkSettings* rec);
    int GetCameraWireless(int i, _LANDAPWirelessSettings* out);
    int SetCameraWireless(int i, const _LANDAPWirelessSettings* rec);
    int GetCameraWirelessCap(int i, _LANDAPWirelessCapability* out);
    int ResetCamera(int i);
    int FactoryResetCamera(int i);
    int CommitSettings(int i);
    int InitWirelessSiteSurvey(int i);
    int GetCameraDatetime(int i, _LANDAPDatetime* out);
    int SetCameraDatetime(int i, const _LANDAPDatetime* rec);
    int GetCameraSimpleWireless(int i, _LANDAPSimpleWireless* out);
    int SetCameraSimpleWireless(int i, const _LANDAPSimpleWireless* rec);
    int GetWirelessAssociatedStatus(int i, _tLANDAP_Wireless_AssociatedStatus* out);
    int QueryNetworkStatus(int i, _LANDAPNetworkStatus* out);
    int GetWirelessSiteSurInfo(int i, _LANDAPWirelessStation* stations, int& count);
    // 0 and -6 as the camera gave them, anything else -1.
    int GetSupportedCommand(int i, uint16_t* codes, int& count);
    // Both read the list again first when it is stale. The count is 0 with
    // *count set even when that read failed; a provider is 0 when its name
    // has at least one character, else -1.
    int GetDDNSProvidersCount(int i, int* count);
    int GetDDNSProvider(int i, int which, char* dst);
    int GetTessel12Enabled(int i, _TESSEL12Enable* out);
    int Tessel12QueryProcState(int i, _TESSEL12ProcStatus* out);
    int QueryTessel12URL(int i, _TESSEL12URL* out);
    int EnableTessel12(int i, const _TESSEL12Enable* rec);

protected:
    // The camera for a set-type command, its result cleared; null if none.
    CLANDAPObj* BeginSetCommand(int i);
    // The camera behind i, refreshing its DDNS list when stale; null if none.
    CLANDAPObj* FreshDDNSCamera(int i);
    // The camera's command behind i with a fresh sequence number; -1 for a
    // null record or no camera. Sets clear the camera's result first.
    template <typename Record>
    int ForwardGet(int i, Record* out, int (CLANDAPObj::*get)(Record*, uint16_t));
    template <typename Record>
    int ForwardSet(int i, const Record* rec, int (CLANDAPObj::*set)(const Record*, uint16_t));
    int ForwardCommand(int i, int (CLANDAPObj::*command)(uint16_t));
};

#endif
