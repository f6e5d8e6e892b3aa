#include "CLANCamMgr.h"

#include "CLANDAPObj.h"

#include <ctime>

CLANCamMgr::CLANCamMgr() : m_SeqNo(static_cast<uint16_t>(std::time(nullptr) & 0xFFFF)) {}

CLANCamMgr::~CLANCamMgr()
{
    CLANCamMgr::Reset();
}

int CLANCamMgr::Refresh(unsigned long budgetMs, LANCamNotify notify, void* ctx)
{
    m_Adapters.Refresh();
    Reset();
    m_Notify = notify;
    m_NotifyCtx = ctx;
    static const char kAnyAddress[] = "0.0.0.0";
    return SearchCamByIntf(kAnyAddress, int(sizeof kAnyAddress), budgetMs) != 0 ? 1 : 0;
}

void CLANCamMgr::Reset()
{
    while (!m_Cams.empty()) {
        delete m_Cams.back();
        m_Cams.pop_back();
    }
}

int CLANCamMgr::SearchCamByIntf(const char* /*intfAddr*/, int /*length*/, unsigned long /*budgetMs*/)
{
    return 0;
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

int CLANCamMgr::GetCameraMAC(int i, MAC_ADDR* out) const
{
    CLANCamObject* cam = GetCameraObj(i);
    return cam ? cam->GetCamMAC(out) : 0;
}

int CLANCamMgr::GetCamObjIntf(int i, uint32_t* out) const
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!out || !cam)
        return 0;
    *out = cam->GetIntfAddr();
    return 1;
}

int CLANCamMgr::GetLastCmdResult(int i, _CmdResult* out) const
{
    CLANDAPObj* cam = dynamic_cast<CLANDAPObj*>(GetCameraObj(i));
    if (!out || !cam)
        return 0;
    *out = cam->GetCmdResult();
    return 1;
}

int CLANCamMgr::SetAuthentication(int i, const char* user, const char* password)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!cam)
        return 0;
    cam->SetAuthentication(user, password);
    return 1;
}

int CLANCamMgr::VerifyAuthorization(int i)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!cam)
        return -1;
    return cam->VerifyAuthorization(NextSeqNo());
}

int CLANCamMgr::UpdateCameraNetwork(int i)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!cam)
        return 0;
    return cam->UpdateNetworkSetting(NextSeqNo());
}

int CLANCamMgr::GetCameraNetwork(int i, _NetworkSetting* out)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!cam)
        return 0;
    return cam->GetNetworkSetting(out);
}

int CLANCamMgr::ChangeAdminPassword(int i, const char* user, const char* password)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!password || !cam)
        return -1;
    return cam->ChangeAdminPassword(user, password, NextSeqNo());
}

int CLANCamMgr::SetCameraNetwork(int i, const _NetworkSetting* setting)
{
    CLANCamObject* cam = GetCameraObj(i);
    if (!setting || !cam)
        return -1;
    return cam->SetNetworkSetting(setting, NextSeqNo());
}
