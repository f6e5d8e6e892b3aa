// CLANDAPMgr: the LANDAP commands forwarded to the camera by index.
#include "CLANDAPMgr.h"

template <typename Record>
int CLANDAPMgr::ForwardGet(int i, Record* out, int (CLANDAPObj::*get)(Record*, uint16_t))
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? (cam->*get)(out, NextSeqNo()) : -1;
}

template <typename Record>
int CLANDAPMgr::ForwardSet(int i, const Record* rec, int (CLANDAPObj::*set)(const Record*, uint16_t))
{
    CLANDAPObj* cam = rec ? BeginSetCommand(i) : nullptr;
    return cam ? (cam->*set)(rec, NextSeqNo()) : -1;
}

int CLANDAPMgr::ForwardCommand(int i, int (CLANDAPObj::*command)(uint16_t))
{
    CLANDAPObj* cam = BeginSetCommand(i);
    return cam ? (cam->*command)(NextSeqNo()) : -1;
}

int CLANDAPMgr::SetCameraNetwork(int i, const _NetworkSetting* setting)
{
    if (!setting || !BeginSetCommand(i))
        return -1;
    return CLANCamMgr::SetCameraNetwork(i, setting);
}

int CLANDAPMgr::SetCameraSetting(int i, const _LANDAP_Basic_Set* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraSetting);
}

int CLANDAPMgr::GetCameraAdvNetwork(int i, _LANDAPAdvNetworkSettings* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraAdvNetwork);
}

int CLANDAPMgr::SetCameraAdvNetwork(int i, const _LANDAPAdvNetworkSettings* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraAdvNetwork);
}

int CLANDAPMgr::GetCameraWireless(int i, _LANDAPWirelessSettings* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraWireless);
}

int CLANDAPMgr::SetCameraWireless(int i, const _LANDAPWirelessSettings* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraWireless);
}

int CLANDAPMgr::GetCameraWirelessCap(int i, _LANDAPWirelessCapability* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraWirelessCap);
}

int CLANDAPMgr::ResetCamera(int i)
{
    return ForwardCommand(i, &CLANDAPObj::ResetCamera);
}

int CLANDAPMgr::FactoryResetCamera(int i)
{
    return ForwardCommand(i, &CLANDAPObj::FactoryResetCamera);
}

int CLANDAPMgr::CommitSettings(int i)
{
    return ForwardCommand(i, &CLANDAPObj::CommitSettings);
}

int CLANDAPMgr::InitWirelessSiteSurvey(int i)
{
    return ForwardCommand(i, &CLANDAPObj::InitWirelessSiteSurvey);
}

int CLANDAPMgr::GetCameraDatetime(int i, _LANDAPDatetime* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraDatetime);
}

int CLANDAPMgr::SetCameraDatetime(int i, const _LANDAPDatetime* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraDatetime);
}

int CLANDAPMgr::GetCameraSimpleWireless(int i, _LANDAPSimpleWireless* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraSimpleWireless);
}

int CLANDAPMgr::SetCameraSimpleWireless(int i, const _LANDAPSimpleWireless* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraSimpleWireless);
}

int CLANDAPMgr::GetWirelessAssociatedStatus(int i, _tLANDAP_Wireless_AssociatedStatus* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetWirelessAssociatedStatus);
}

int CLANDAPMgr::QueryNetworkStatus(int i, _LANDAPNetworkStatus* out)
{
    return ForwardGet(i, out, &CLANDAPObj::QueryNetworkStatus);
}

int CLANDAPMgr::GetWirelessSiteSurInfo(int i, _LANDAPWirelessStation* stations, int& count)
{
    CLANDAPObj* cam = stations ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetWirelessSiteSurInfo(stations, count, NextSeqNo()) : -1;
}

int CLANDAPMgr::GetSupportedCommand(int i, uint16_t* codes, int& count)
{
    CLANDAPObj* cam = codes ? GetLANDAPObj(i) : nullptr;
    if (!cam)
        return -1;
    int rc = cam->GetSupportedCommand(codes, &count, NextSeqNo());
    return rc == 0 || rc == -6 ? rc : -1;
}

CLANDAPObj* CLANDAPMgr::FreshDDNSCamera(int i)
{
    CLANDAPObj* cam = GetLANDAPObj(i);
    // A failed read keeps the old list; the caller gets that one.
    if (cam && cam->NeedUpdateDDNSList())
        cam->GetDDNSProviderList(NextSeqNo());
    return cam;
}

int CLANDAPMgr::GetDDNSProvidersCount(int i, int* count)
{
    CLANDAPObj* cam = count ? FreshDDNSCamera(i) : nullptr;
    if (!cam)
        return -1;
    *count = cam->GetDDNSProvidersCount();
    return 0;
}

int CLANDAPMgr::GetDDNSProvider(int i, int which, char* dst)
{
    CLANDAPObj* cam = dst ? FreshDDNSCamera(i) : nullptr;
    if (!cam)
        return -1;
    return cam->GetDDNSProvider(which, dst) >= 1 ? 0 : -1;
}

int CLANDAPMgr::GetTessel12Enabled(int i, _TESSEL12Enable* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetTessel12Enabled);
}

int CLANDAPMgr::Tessel12QueryProcState(int i, _TESSEL12ProcStatus* out)
{
    return ForwardGet(i, out, &CLANDAPObj::Tessel12QueryProcState);
}

int CLANDAPMgr::QueryTessel12URL(int i, _TESSEL12URL* out)
{
    return ForwardGet(i, out, &CLANDAPObj::QueryTessel12URL);
}

int CLANDAPMgr::EnableTessel12(int i, const _TESSEL12Enable* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::EnableTessel12);
}
