#ifndef RILO_CLANCAMOBJECT_H
#define RILO_CLANCAMOBJECT_H

#include "landap/FinderResult.h"
#include "net/BCCommon.h"

#include <cstdint>

// A camera's IP setting; addresses in network byte order.
struct _NetworkSetting {
    uint32_t DHCP = 0; // 0 or 1
    uint32_t IPAddr = 0;
    uint32_t SubnetMask = 0;
    uint32_t Gateway = 0;
    uint32_t DNS1 = 0;
    uint32_t DNS2 = 0;
};

// One camera found by a search: what every kind of camera has.
class CLANCamObject {
public:
    static constexpr int kCredentialSize = 128; // 127 characters and the NUL

    CLANCamObject();
    virtual ~CLANCamObject();
    CLANCamObject(const CLANCamObject&) = delete;
    CLANCamObject& operator=(const CLANCamObject&) = delete;

    // Fills the object from a discovery reply; kFinderFail when the body is
    // not what this kind of camera sends.
    virtual FinderResult AssignInitData(const uint8_t* body, unsigned long length,
                                        const MAC_ADDR* mac, const uint32_t* interfaceAddr);
    virtual void SetAuthentication(const char* user, const char* password);
    virtual FinderResult VerifyAuthorization(uint16_t seq);
    // kFinderOk refreshed, kFinderFail not.
    virtual FinderResult UpdateNetworkSetting(uint16_t seq);
    virtual FinderResult GetNetworkSetting(_NetworkSetting* out);
    virtual FinderResult ChangeAdminPassword(const char* user, const char* password, uint16_t seq);
    virtual FinderResult SetNetworkSetting(const _NetworkSetting* setting, uint16_t seq);

    bool IsMACMatch(const MAC_ADDR* mac) const;
    FinderResult GetCamMAC(MAC_ADDR* out) const;

    bool IsValid() const { return m_bValid != 0; }
    uint32_t GetIntfAddr() const { return m_IntfAddr; }
    uint32_t GetCamAddr() const { return m_CamAddr; }
    uint32_t GetLastUpdate() const { return m_LastUpdate; }
    bool IsNetworkChanged() const { return m_bNetChanged != 0; }
    const char* GetUserName() const { return m_UserName; }
    const char* GetPassword() const { return m_Password; }

protected:
    void StampUpdate();

    int m_bValid = 0;
    MAC_ADDR m_MAC{};
    uint32_t m_IntfAddr = 0;   // local address of the search socket
    uint32_t m_LastUpdate = 0; // wall-clock ms, cut to 32 bits
    int m_bNetChanged = 0;
    _NetworkSetting m_NetSetting;
    uint32_t m_CamAddr = 0; // as the camera last reported it
    char m_UserName[kCredentialSize] = {};
    char m_Password[kCredentialSize] = {};
};

#endif
