// CLANDAPMgr: the LANDAP commands forwarded to the camera by index.
#include "CLANDAPMgr.h"

int CLANDAPMgr::SetCameraNetwork(int i, const _NetworkSetting* setting)
{
    if (!setting || !BeginSetCommand(i))
        return -1;
    return CLANCamMgr::SetCameraNetwork(i, setting);
}

int CLANDAPMgr::SetCameraSetting(int i, const _LANDAP_Basic_Set* rec)
{
    CLANDAPObj* cam = rec ? BeginSetCommand(i) : nullptr;
    return cam ? cam->SetCameraSetting(rec, NextSeqNo()) : -1;
}

int CLANDAPMgr::GetCameraAdvNetwork(int i, _LANDAPAdvNetworkSettings* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetCameraAdvNetwork(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::SetCameraAdvNetwork(int i, const _LANDAPAdvNetworkSettings* rec)
{
    CLANDAPObj* cam = rec ? BeginSetCommand(i) : nullptr;
    return cam ? cam->SetCameraAdvNetwork(rec, NextSeqNo()) : -1;
}

int CLANDAPMgr::GetCameraWireless(int i, _LANDAPWirelessSettings* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetCameraWireless(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::SetCameraWireless(int i, const _LANDAPWirelessSettings* rec)
{
    CLANDAPObj* cam = rec ? BeginSetCommand(i) : nullptr;
    return cam ? cam->SetCameraWireless(rec, NextSeqNo()) : -1;
}

int CLANDAPMgr::GetCameraWirelessCap(int i, _LANDAPWirelessCapability* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetCameraWirelessCap(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::ResetCamera(int i)
{
    CLANDAPObj* cam = BeginSetCommand(i);
    return cam ? cam->ResetCamera(NextSeqNo()) : -1;
}

int CLANDAPMgr::FactoryResetCamera(int i)
{
    CLANDAPObj* cam = BeginSetCommand(i);
    return cam ? cam->FactoryResetCamera(NextSeqNo()) : -1;
}

int CLANDAPMgr::CommitSettings(int i)
{
    CLANDAPObj* cam = BeginSetCommand(i);
    return cam ? cam->CommitSettings(NextSeqNo()) : -1;
}

int CLANDAPMgr::InitWirelessSiteSurvey(int i)
{
    CLANDAPObj* cam = BeginSetCommand(i);
    return cam ? cam->InitWirelessSiteSurvey(NextSeqNo()) : -1;
}

int CLANDAPMgr::GetCameraDatetime(int i, _LANDAPDatetime* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetCameraDatetime(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::SetCameraDatetime(int i, const _LANDAPDatetime* rec)
{
    CLANDAPObj* cam = rec ? BeginSetCommand(i) : nullptr;
    return cam ? cam->SetCameraDatetime(rec, NextSeqNo()) : -1;
}

int CLANDAPMgr::GetCameraSimpleWireless(int i, _LANDAPSimpleWireless* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetCameraSimpleWireless(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::SetCameraSimpleWireless(int i, const _LANDAPSimpleWireless* rec)
{
    CLANDAPObj* cam = rec ? BeginSetCommand(i) : nullptr;
    return cam ? cam->SetCameraSimpleWireless(rec, NextSeqNo()) : -1;
}

int CLANDAPMgr::GetWirelessAssociatedStatus(int i, _tLANDAP_Wireless_AssociatedStatus* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetWirelessAssociatedStatus(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::QueryNetworkStatus(int i, _LANDAPNetworkStatus* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->QueryNetworkStatus(out, NextSeqNo()) : -1;
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
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->GetTessel12Enabled(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::Tessel12QueryProcState(int i, _TESSEL12ProcStatus* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->Tessel12QueryProcState(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::QueryTessel12URL(int i, _TESSEL12URL* out)
{
    CLANDAPObj* cam = out ? GetLANDAPObj(i) : nullptr;
    return cam ? cam->QueryTessel12URL(out, NextSeqNo()) : -1;
}

int CLANDAPMgr::EnableTessel12(int i, const _TESSEL12Enable* rec)
{
    CLANDAPObj* cam = rec ? BeginSetCommand(i) : nullptr;
    return cam ? cam->EnableTessel12(rec, NextSeqNo()) : -1;
}
