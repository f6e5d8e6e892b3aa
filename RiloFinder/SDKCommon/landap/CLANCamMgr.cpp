#include "landap/CLANCamMgr.h"

#include "landap/CLANDAPObj.h"

#include <ctime>

CLANCamMgr::CLANCamMgr() : m_SeqNo(static_cast<uint16_t>(std::time(nullptr) & 0xFFFF)) {}

CLANCamMgr::~CLANCamMgr()
{
    CLANCamMgr::Reset();
}

FinderResult CLANCamMgr::Refresh(unsigned long budgetMs, LANCamNotify notify, void* ctx)
{
    m_Adapters.Refresh();
    Reset();
    m_Notify = notify;
    m_NotifyCtx = ctx;
    static const char kAnyAddress[] = "0.0.0.0";
    return SearchCamByIntf(kAnyAddress, int(sizeof kAnyAddress), budgetMs);
}

void CLANCamMgr::Reset()
{
    while (!m_Cams.empty()) {
        delete m_Cams.back();
        m_Cams.pop_back();
    }
}

FinderResult CLANCamMgr::SearchCamByIntf(const char* /*intfAddr*/, int /*length*/,
                                         unsigned long /*budgetMs*/)
{
    return kFinderFail;
}

int CLANCamMgr::GetCameraNum() const
{
    return int(m_Cams.size());
}

CLANCamObject* CLANCamMgr::GetCameraObj(int i) const
{
    if (i < 0 || size_t(i) >= m_Cams.size())
        return nullptr;
    return m_Cams[size_t(i)];
}

CLANCamObject* CLANCamMgr::FindCamByMAC(const MAC_ADDR* mac) const
{
    int i = FindCamIdxByMAC(mac);
    return i < 0 ? nullptr : m_Cams[size_t(i)];
}

int CLANCamMgr::FindCamIdxByMAC(const MAC_ADDR* mac) const
{
    if (!mac)
        return -1;
    for (size_t i = m_Cams.size(); i-- > 0;)
        if (m_Cams[i]->IsMACMatch(mac))
            return int(i);
    return -1;
}

FinderResult CLANCamMgr::GetCameraMAC(int i, MAC_ADDR* out) const
{
    CLANCamObject* cam = GetCameraObj(i);
    return cam ? cam->GetCamMAC(out) : kFinderFail;
}

FinderResult CLANCamMgr::GetCamObjIntf(int i, uint32_t* out) const
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!out || !cam)
        return kFinderFail;
    *out = cam->GetIntfAddr();
    return kFinderOk;
}

FinderResult CLANCamMgr::GetLastCmdResult(int i, _CmdResult* out) const
{
    CLANDAPObj* cam = dynamic_cast<CLANDAPObj*>(GetCameraObj(i));
    if (!out || !cam)
        return kFinderFail;
    *out = cam->GetCmdResult();
    return kFinderOk;
}

FinderResult CLANCamMgr::SetAuthentication(int i, const char* user, const char* password)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!cam)
        return kFinderFail;
    cam->SetAuthentication(user, password);
    return kFinderOk;
}

FinderResult CLANCamMgr::VerifyAuthorization(int i)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!cam)
        return kFinderFail;
    return cam->VerifyAuthorization(NextSeqNo());
}

FinderResult CLANCamMgr::UpdateCameraNetwork(int i)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!cam)
        return kFinderFail;
    return cam->UpdateNetworkSetting(NextSeqNo());
}

FinderResult CLANCamMgr::GetCameraNetwork(int i, _NetworkSetting* out)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!cam)
        return kFinderFail;
    return cam->GetNetworkSetting(out);
}

FinderResult CLANCamMgr::ChangeAdminPassword(int i, const char* user, const char* password)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!password || !cam)
        return kFinderFail;
    return cam->ChangeAdminPassword(user, password, NextSeqNo());
}

FinderResult CLANCamMgr::SetCameraNetwork(int i, const _NetworkSetting* setting)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!setting || !cam)
        return kFinderFail;
    return cam->SetNetworkSetting(setting, NextSeqNo());
}
