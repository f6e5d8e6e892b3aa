#include "landap/CLANCamObject.h"

#include "Common.h"

#include <cstring>

CLANCamObject::CLANCamObject() = default;

CLANCamObject::~CLANCamObject() = default;

void CLANCamObject::StampUpdate()
{
    m_LastUpdate = GetTickCount();
}

FinderResult CLANCamObject::AssignInitData(const uint8_t* /*body*/, unsigned long /*length*/,
                                           const MAC_ADDR* mac, const uint32_t* interfaceAddr)
{
    m_bNetChanged = 0;
    m_IntfAddr = interfaceAddr ? *interfaceAddr : 0;
    if (mac)
        m_MAC = *mac;
    m_NetSetting = _NetworkSetting{};
    m_bValid = 1;
    StampUpdate();
    return kFinderOk;
}

static void StoreCredential(char* field, const char* value)
{
    RiloCopyText(field, CLANCamObject::kCredentialSize, value);
}

void CLANCamObject::SetAuthentication(const char* user, const char* password)
{
    StoreCredential(m_UserName, user);
    StoreCredential(m_Password, password);
}

FinderResult CLANCamObject::VerifyAuthorization(uint16_t /*seq*/)
{
    return kFinderFail;
}

FinderResult CLANCamObject::UpdateNetworkSetting(uint16_t /*seq*/)
{
    StampUpdate();
    return kFinderOk;
}

FinderResult CLANCamObject::GetNetworkSetting(_NetworkSetting* out)
{
    if (!out || !m_bValid)
        return kFinderFail;
    *out = m_NetSetting;
    return kFinderOk;
}

FinderResult CLANCamObject::ChangeAdminPassword(const char* /*user*/, const char* /*password*/,
                                                uint16_t /*seq*/)
{
    return kFinderFail;
}

FinderResult CLANCamObject::SetNetworkSetting(const _NetworkSetting* setting, uint16_t /*seq*/)
{
    if (!setting || !m_bValid)
        return kFinderFail;
    m_NetSetting = *setting;
    m_bNetChanged = 1;
    StampUpdate();
    return kFinderOk;
}

bool CLANCamObject::IsMACMatch(const MAC_ADDR* mac) const
{
    if (!mac || !m_bValid)
        return false;
    return std::memcmp(m_MAC.addr, mac->addr, sizeof m_MAC.addr) == 0;
}

FinderResult CLANCamObject::GetCamMAC(MAC_ADDR* out) const
{
    if (!m_bValid || !out)
        return kFinderFail;
    *out = m_MAC;
    return kFinderOk;
}
