#ifndef RILO_CLANDAPMGR_H
#define RILO_CLANDAPMGR_H

#include "landap/CLANCamMgr.h"
#include "landap/CLANDAPObj.h"

#include <netinet/in.h>

// Finds cameras by the LANDAP discovery broadcast and forwards the LANDAP
// commands to them by index.
class CLANDAPMgr : public CLANCamMgr {
public:
    // Quiet time of a search from the finder interface.
    static constexpr unsigned long kSearchBudgetMs = 3000;
    // Receive buffer a search asks for: room for the replies of hundreds of
    // cameras that answer at once (the kernel grants up to
    // net.core.rmem_max).
    static constexpr int kSearchReceiveBuffer = 2 * 1024 * 1024;

    CLANDAPMgr() = default;
    ~CLANDAPMgr() override = default;

    FinderResult SearchCamByIntf(const char* intfAddr, int length, unsigned long budgetMs) override;

    // One discovery datagram; every datagram counts as handled.
    void DoFoundCamera(const uint8_t* datagram, unsigned long length, const sockaddr_in* sender,
                       const uint32_t* boundAddr);
    static int FoundCamera(void* ctx, uint8_t* datagram, unsigned long length, sockaddr_in* sender,
                           uint32_t* boundAddr);

    CLANDAPObj* GetLANDAPObj(int i) const;

    // Clears the camera's last result before the write.
    FinderResult SetCameraNetwork(int i, const _NetworkSetting* setting) override;

    // One member per command: kFinderFail for a null record or no camera i,
    // else the camera's result. Set-type members clear its last result
    // first.
    FinderResult SetCameraSetting(int i, const _LANDAP_Basic_Set* rec);
    FinderResult GetCameraAdvNetwork(int i, _LANDAPAdvNetworkSettings* out);
    FinderResult SetCameraAdvNetwork(int i, const _LANDAPAdvNetworkSettings* rec);
    FinderResult GetCameraWireless(int i, _LANDAPWirelessSettings* out);
    FinderResult SetCameraWireless(int i, const _LANDAPWirelessSettings* rec);
    FinderResult GetCameraWirelessCap(int i, _LANDAPWirelessCapability* out);
    FinderResult ResetCamera(int i);
    FinderResult FactoryResetCamera(int i);
    FinderResult CommitSettings(int i);
    FinderResult InitWirelessSiteSurvey(int i);
    FinderResult GetCameraDatetime(int i, _LANDAPDatetime* out);
    FinderResult SetCameraDatetime(int i, const _LANDAPDatetime* rec);
    FinderResult GetCameraSimpleWireless(int i, _LANDAPSimpleWireless* out);
    FinderResult SetCameraSimpleWireless(int i, const _LANDAPSimpleWireless* rec);
    FinderResult GetWirelessAssociatedStatus(int i, _tLANDAP_Wireless_AssociatedStatus* out);
    FinderResult QueryNetworkStatus(int i, _LANDAPNetworkStatus* out);
    FinderResult GetWirelessSiteSurInfo(int i, _LANDAPWirelessStation* stations, int& count);
    // kFinderOk and kFinderTooSmall as the camera gave them, anything else
    // kFinderFail.
    FinderResult GetSupportedCommand(int i, uint16_t* codes, int& count);
    // Both read the list again first when it is stale. The count is
    // kFinderOk with *count set even when that read failed; a provider is
    // kFinderOk when its name has at least one character.
    FinderResult GetDDNSProvidersCount(int i, int* count);
    FinderResult GetDDNSProvider(int i, int which, char* dst);
    FinderResult GetTessel12Enabled(int i, _TESSEL12Enable* out);
    FinderResult Tessel12QueryProcState(int i, _TESSEL12ProcStatus* out);
    FinderResult QueryTessel12URL(int i, _TESSEL12URL* out);
    FinderResult EnableTessel12(int i, const _TESSEL12Enable* rec);

protected:
    // The camera for a set-type command, its result cleared; null if none.
    CLANDAPObj* BeginSetCommand(int i);
    // The camera behind i, refreshing its DDNS list when stale; null if none.
    CLANDAPObj* FreshDDNSCamera(int i);
    // The camera's command behind i with a fresh sequence number;
    // kFinderFail for a null record or no camera. Sets clear the camera's
    // result first.
    template <typename Record>
    FinderResult ForwardGet(int i, Record* out, FinderResult (CLANDAPObj::*get)(Record*, uint16_t));
    template <typename Record>
    FinderResult ForwardSet(int i, const Record* rec,
                            FinderResult (CLANDAPObj::*set)(const Record*, uint16_t));
    FinderResult ForwardCommand(int i, FinderResult (CLANDAPObj::*command)(uint16_t));
};

#endif
