#include "CLANCamObject.h"

#include "Common.h"

#include <cstring>

CLANCamObject::CLANCamObject() = default;

CLANCamObject::~CLANCamObject() = default;

void CLANCamObject::StampUpdate()
{
    m_LastUpdate = GetTickCount();
}

int CLANCamObject::AssignInitData(const uint8_t* /*body*/, unsigned long /*length*/,
                                  const MAC_ADDR* mac, const uint32_t* interfaceAddr)
{
    m_bNetChanged = 0;
    m_IntfAddr = interfaceAddr ? *interfaceAddr : 0;
    if (mac)
        m_MAC = *mac;
    m_NetSetting = _NetworkSetting{};
    m_bValid = 1;
    StampUpdate();
    return 1;
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

int CLANCamObject::VerifyAuthorization(uint16_t /*seq*/)
{
    return -1;
}

int CLANCamObject::UpdateNetworkSetting(uint16_t /*seq*/)
{
    StampUpdate();
    return 1;
}

int CLANCamObject::GetNetworkSetting(_NetworkSetting* out)
{
    if (!out || !m_bValid)
        return 0;
    *out = m_NetSetting;
    return 1;
}

int CLANCamObject::ChangeAdminPassword(const char* /*user*/, const char* /*password*/,
                                       uint16_t /*seq*/)
{
    return -1;
}

int CLANCamObject::SetNetworkSetting(const _NetworkSetting* setting, uint16_t /*seq*/)
{
    if (!setting || !m_bValid)
        return -1;
    m_NetSetting = *setting;
    m_bNetChanged = 1;
    StampUpdate();
    return 0;
}

int CLANCamObject::IsMACMatch(const MAC_ADDR* mac) const
{
    if (!mac || !m_bValid)
        return 0;
    return std::memcmp(m_MAC.addr, mac->addr, sizeof m_MAC.addr) == 0 ? 1 : 0;
}

int CLANCamObject::GetCamMAC(MAC_ADDR* out) const
{
    if (!m_bValid || !out)
        return 0;
    *out = m_MAC;
    return 1;
}
