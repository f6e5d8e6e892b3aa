// CLANDAPMgr: the LANDAP commands forwarded to the camera by index.
#include "landap/CLANDAPMgr.h"

template <typename Record>
FinderResult CLANDAPMgr::ForwardGet(int i, Record* out,
                                    FinderResult (CLANDAPObj::*get)(Record*, uint16_t))
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

// The commands that go to the camera's member of the same name as they are.
#define LANDAP_FORWARD_GET(Name, Record) \
    FinderResult CLANDAPMgr::Name(int i, Record* out) \
    { \
        return ForwardGet(i, out, &CLANDAPObj::Name); \
    }
#define LANDAP_FORWARD_SET(Name, Record) \
    FinderResult CLANDAPMgr::Name(int i, const Record* rec) \
    { \
        return ForwardSet(i, rec, &CLANDAPObj::Name); \
    }
#define LANDAP_FORWARD_COMMAND(Name) \
    FinderResult CLANDAPMgr::Name(int i) \
    { \
        return ForwardCommand(i, &CLANDAPObj::Name); \
    }

LANDAP_FORWARD_SET(SetCameraSetting, _LANDAP_Basic_Set)
LANDAP_FORWARD_GET(GetCameraAdvNetwork, _LANDAPAdvNetworkSettings)
LANDAP_FORWARD_SET(SetCameraAdvNetwork, _LANDAPAdvNetworkSettings)
LANDAP_FORWARD_GET(GetCameraWireless, _LANDAPWirelessSettings)
LANDAP_FORWARD_SET(SetCameraWireless, _LANDAPWirelessSettings)
LANDAP_FORWARD_GET(GetCameraWirelessCap, _LANDAPWirelessCapability)
LANDAP_FORWARD_COMMAND(ResetCamera)
LANDAP_FORWARD_COMMAND(FactoryResetCamera)
LANDAP_FORWARD_COMMAND(CommitSettings)
LANDAP_FORWARD_COMMAND(InitWirelessSiteSurvey)
LANDAP_FORWARD_GET(GetCameraDatetime, _LANDAPDatetime)
LANDAP_FORWARD_SET(SetCameraDatetime, _LANDAPDatetime)
LANDAP_FORWARD_GET(GetCameraSimpleWireless, _LANDAPSimpleWireless)
LANDAP_FORWARD_SET(SetCameraSimpleWireless, _LANDAPSimpleWireless)
LANDAP_FORWARD_GET(GetWirelessAssociatedStatus, _tLANDAP_Wireless_AssociatedStatus)
LANDAP_FORWARD_GET(QueryNetworkStatus, _LANDAPNetworkStatus)
LANDAP_FORWARD_GET(GetTessel12Enabled, _TESSEL12Enable)
LANDAP_FORWARD_GET(Tessel12QueryProcState, _TESSEL12ProcStatus)
LANDAP_FORWARD_GET(QueryTessel12URL, _TESSEL12URL)
LANDAP_FORWARD_SET(EnableTessel12, _TESSEL12Enable)

#undef LANDAP_FORWARD_GET
#undef LANDAP_FORWARD_SET
#undef LANDAP_FORWARD_COMMAND

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
