// CLANDAPMgr: the LANDAP commands forwarded to the camera by index.
#include "landap/CLANDAPMgr.h"

template <typename Record>
FinderResult CLANDAPMgr::ForwardGet(int i, Record* out, FinderResult (CLANDAPObj::*get)(Record*, uint16_t))
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? (cam->*get)(out, NextSeqNo()) : kFinderFail;
}

template <typename Record>
FinderResult CLANDAPMgr::ForwardSet(int i, const Record* rec,
                                    FinderResult (CLANDAPObj::*set)(const Record*, uint16_t))
{
    CLANDAPObj* cam = rec ? BeginSetCommand(i) : nullptr;
    return cam ? (cam->*set)(rec, NextSeqNo()) : kFinderFail;
}

FinderResult CLANDAPMgr::ForwardCommand(int i, FinderResult (CLANDAPObj::*command)(uint16_t))
{
    CLANDAPObj* cam = BeginSetCommand(i);
    return cam ? (cam->*command)(NextSeqNo()) : kFinderFail;
}

FinderResult CLANDAPMgr::SetCameraNetwork(int i, const _NetworkSetting* setting)
{
    if (!setting || !BeginSetCommand(i))
        return kFinderFail;
    return CLANCamMgr::SetCameraNetwork(i, setting);
}

FinderResult CLANDAPMgr::SetCameraSetting(int i, const _LANDAP_Basic_Set* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraSetting);
}

FinderResult CLANDAPMgr::GetCameraAdvNetwork(int i, _LANDAPAdvNetworkSettings* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraAdvNetwork);
}

FinderResult CLANDAPMgr::SetCameraAdvNetwork(int i, const _LANDAPAdvNetworkSettings* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraAdvNetwork);
}

FinderResult CLANDAPMgr::GetCameraWireless(int i, _LANDAPWirelessSettings* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraWireless);
}

FinderResult CLANDAPMgr::SetCameraWireless(int i, const _LANDAPWirelessSettings* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraWireless);
}

FinderResult CLANDAPMgr::GetCameraWirelessCap(int i, _LANDAPWirelessCapability* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraWirelessCap);
}

FinderResult CLANDAPMgr::ResetCamera(int i)
{
    return ForwardCommand(i, &CLANDAPObj::ResetCamera);
}

FinderResult CLANDAPMgr::FactoryResetCamera(int i)
{
    return ForwardCommand(i, &CLANDAPObj::FactoryResetCamera);
}

FinderResult CLANDAPMgr::CommitSettings(int i)
{
    return ForwardCommand(i, &CLANDAPObj::CommitSettings);
}

FinderResult CLANDAPMgr::InitWirelessSiteSurvey(int i)
{
    return ForwardCommand(i, &CLANDAPObj::InitWirelessSiteSurvey);
}

FinderResult CLANDAPMgr::GetCameraDatetime(int i, _LANDAPDatetime* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraDatetime);
}

FinderResult CLANDAPMgr::SetCameraDatetime(int i, const _LANDAPDatetime* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraDatetime);
}

FinderResult CLANDAPMgr::GetCameraSimpleWireless(int i, _LANDAPSimpleWireless* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetCameraSimpleWireless);
}

FinderResult CLANDAPMgr::SetCameraSimpleWireless(int i, const _LANDAPSimpleWireless* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::SetCameraSimpleWireless);
}

FinderResult CLANDAPMgr::GetWirelessAssociatedStatus(int i, _tLANDAP_Wireless_AssociatedStatus* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetWirelessAssociatedStatus);
}

FinderResult CLANDAPMgr::QueryNetworkStatus(int i, _LANDAPNetworkStatus* out)
{
    return ForwardGet(i, out, &CLANDAPObj::QueryNetworkStatus);
}

FinderResult CLANDAPMgr::GetWirelessSiteSurInfo(int i, _LANDAPWirelessStation* stations, int& count)
{
    CLANDAPObj* cam = stations ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetWirelessSiteSurInfo(stations, count, NextSeqNo()) : kFinderFail;
}

FinderResult CLANDAPMgr::GetSupportedCommand(int i, uint16_t* codes, int& count)
{
    CLANDAPObj* cam = codes ? GetLANDAPObj(i) : nullptr;
    if (!cam)
        return kFinderFail;
    FinderResult rc = cam->GetSupportedCommand(codes, &count, NextSeqNo());
    return rc == kFinderOk || rc == kFinderTooSmall ? rc : kFinderFail;
}

CLANDAPObj* CLANDAPMgr::FreshDDNSCamera(int i)
{
    CLANDAPObj* cam = GetLANDAPObj(i);
    // A failed read keeps the old list; the caller gets that one.
    if (cam && cam->NeedUpdateDDNSList())
        cam->GetDDNSProviderList(NextSeqNo());
    return cam;
}

FinderResult CLANDAPMgr::GetDDNSProvidersCount(int i, int* count)
{
    CLANDAPObj* cam = count ? FreshDDNSCamera(i) : nullptr;
    if (!cam)
        return kFinderFail;
    *count = cam->GetDDNSProvidersCount();
    return kFinderOk;
}

FinderResult CLANDAPMgr::GetDDNSProvider(int i, int which, char* dst)
{
    CLANDAPObj* cam = dst ? FreshDDNSCamera(i) : nullptr;
    return cam ? cam->GetDDNSProvider(which, dst) : kFinderFail;
}

FinderResult CLANDAPMgr::GetTessel12Enabled(int i, _TESSEL12Enable* out)
{
    return ForwardGet(i, out, &CLANDAPObj::GetTessel12Enabled);
}

FinderResult CLANDAPMgr::Tessel12QueryProcState(int i, _TESSEL12ProcStatus* out)
{
    return ForwardGet(i, out, &CLANDAPObj::Tessel12QueryProcState);
}

FinderResult CLANDAPMgr::QueryTessel12URL(int i, _TESSEL12URL* out)
{
    return ForwardGet(i, out, &CLANDAPObj::QueryTessel12URL);
}

FinderResult CLANDAPMgr::EnableTessel12(int i, const _TESSEL12Enable* rec)
{
    return ForwardSet(i, rec, &CLANDAPObj::EnableTessel12);
}
