// CLANDAPObj: credentials check and change, the settings records, restart,
// factory reset and commit.
#include "landap/CLANDAPObj.h"

#include "ByteOrder.h"
#include "landap/LandapAuth.h"

#include <cstring>

FinderResult CLANDAPObj::VerifyAuthorization(uint16_t seq)
{
    WarnIfNoAuthentication(false);
    BuildAuthRequest(LandapCmdVerifyAuthorization, seq);
    int n = Transact(unsigned(LandapHeader::WireSize + 4), LandapBaseTimeout, LandapPort);
    if (n <= 0)
        return kFinderFail;
    // Taken without the sequence and MAC checks of the other commands.
    LandapHeader r = m_Packet->Header();
    if (r.LandapStatus == 4)
        return kFinderCamAuthFailed;
    if (r.LandapStatus != 0)
        return kFinderCamRefused;
    if (r.LandapBodyLen != 4)
        return kFinderFail;
    return GetLE32(m_Packet->Body()) != 0 ? kFinderOk : kFinderCamRefused;
}

FinderResult CLANDAPObj::ChangeAdminPassword(const char* user, const char* password, uint16_t seq)
{
    constexpr size_t kBodyLen = 2 * kLandapAuthBlockSize;
    FillRequestHeader(LandapCmdChangeAdminPassword, seq);
    uint8_t* body = m_Packet->Body();
    std::memset(body, 0, kBodyLen);
    PutLE16(m_Packet->bytes + LandapHeader::OffBodyLen, uint16_t(kBodyLen));
    uint16_t unused = 0;
    MakeAuthField(body, &unused);

    // The new pair is encoded on its own; the encoder reads at most what 64
    // characters can carry, so no value length reaches past its field.
    char newUser[kLandapAuthHalf + 1];
    char newPassword[kLandapAuthHalf + 1];
    LandapEncodeAuthText(user, newUser, sizeof newUser);
    LandapEncodeAuthText(password, newPassword, sizeof newPassword);
    LandapWriteAuthBlock(body + kLandapAuthBlockSize, newUser, newPassword);
    // No new user name: the user stays the same.
    if (!user)
        std::memcpy(body + kLandapAuthBlockSize, m_UserText, kLandapAuthHalf);
    return RunSet(seq);
}

FinderResult CLANDAPObj::SetNetworkSetting(const _NetworkSetting* setting, uint16_t seq)
{
    FinderResult rc = CLANCamObject::SetNetworkSetting(setting, seq);
    if (rc != kFinderOk)
        return rc;
    _LANDAP_Basic_Set b;
    b.IPAddr = setting->IPAddr;
    b.SubnetMask = setting->SubnetMask;
    b.Gateway = setting->Gateway;
    b.DNS1 = setting->DNS1;
    b.DNS2 = setting->DNS2;
    b.DHCP = setting->DHCP != 0 ? 1 : 0;
    return SetCameraSetting(&b, seq);
}

FinderResult CLANDAPObj::SetCameraSetting(const _LANDAP_Basic_Set* rec, uint16_t seq)
{
    // The flags and DNS bytes go out as the caller gave them: zeroing them
    // would switch a camera's HTTPS port back to plain HTTP.
    return RecordSet(rec, LandapCmdSetCameraSetting, seq);
}

FinderResult CLANDAPObj::SetCameraAdvNetwork(const _LANDAPAdvNetworkSettings* rec, uint16_t seq)
{
    return RecordSet(rec, LandapCmdSetCameraAdvNetwork, seq);
}

FinderResult CLANDAPObj::SetCameraWireless(const _LANDAPWirelessSettings* rec, uint16_t seq)
{
    return RecordSet(rec, LandapCmdSetCameraWireless, seq);
}

FinderResult CLANDAPObj::SetCameraDatetime(const _LANDAPDatetime* rec, uint16_t seq)
{
    // The record's encoding sends its 16 unused bytes as zero.
    return RecordSet(rec, LandapCmdSetCameraDatetime, seq);
}

FinderResult CLANDAPObj::SetCameraSimpleWireless(const _LANDAPSimpleWireless* rec, uint16_t seq)
{
    return RecordSet(rec, LandapCmdSetCameraSimpleWireless, seq);
}

FinderResult CLANDAPObj::ResetCamera(uint16_t seq)
{
    return AuthSet(LandapCmdResetCamera, seq);
}

FinderResult CLANDAPObj::FactoryResetCamera(uint16_t seq)
{
    return AuthSet(LandapCmdFactoryResetCamera, seq);
}

FinderResult CLANDAPObj::CommitSettings(uint16_t seq)
{
    return AuthSet(LandapCmdCommitSettings, seq);
}

template <typename Pack, typename Part>
FinderResult CLANDAPObj::PackPart(Part* out, Part Pack::*part,
                                  FinderResult (CLANDAPObj::*getPack)(Pack*, uint16_t),
                                  uint16_t seq)
{
    if (!out)
        return kFinderFail;
    Pack pack;
    if ((this->*getPack)(&pack, seq) != kFinderOk)
        return kFinderFail;
    *out = pack.*part;
    return kFinderOk;
}

FinderResult CLANDAPObj::DoGetCameraAdvNetwork(_LANDAP_Get_AdvNetwork_Pack* out, uint16_t seq)
{
    if (PlainGet(out, LandapCmdGetCameraAdvNetwork, seq, false, true) != kFinderOk)
        return kFinderFail;
    // No list in the reply keeps the one held and its age.
    if (out->ProviderListLen != 0)
        UpdateDDNSProviders(out->ProviderList);
    return kFinderOk;
}

FinderResult CLANDAPObj::GetCameraAdvNetwork(_LANDAPAdvNetworkSettings* out, uint16_t seq)
{
    return PackPart(out, &_LANDAP_Get_AdvNetwork_Pack::Settings, &CLANDAPObj::DoGetCameraAdvNetwork,
                    seq);
}

FinderResult CLANDAPObj::DoGetCameraWireless(_LANDAP_Get_Wireless_Pack* out, uint16_t seq)
{
    return PlainGet(out, LandapCmdGetCameraWireless, seq, false, true);
}

FinderResult CLANDAPObj::GetCameraWireless(_LANDAPWirelessSettings* out, uint16_t seq)
{
    return PackPart(out, &_LANDAP_Get_Wireless_Pack::Settings, &CLANDAPObj::DoGetCameraWireless,
                    seq);
}

FinderResult CLANDAPObj::GetCameraWirelessCap(_LANDAPWirelessCapability* out, uint16_t seq)
{
    return PackPart(out, &_LANDAP_Get_Wireless_Pack::Capability, &CLANDAPObj::DoGetCameraWireless,
                    seq);
}

FinderResult CLANDAPObj::GetCameraDatetime(_LANDAPDatetime* out, uint16_t seq)
{
    return PlainGet(out, LandapCmdGetCameraDatetime, seq, false);
}

FinderResult CLANDAPObj::GetCameraSimpleWireless(_LANDAPSimpleWireless* out, uint16_t seq)
{
    return PlainGet(out, LandapCmdGetCameraSimpleWireless, seq, false);
}

FinderResult CLANDAPObj::GetWirelessAssociatedStatus(_tLANDAP_Wireless_AssociatedStatus* out,
                                                     uint16_t seq)
{
    // This one asks for both halves of the credentials.
    return PlainGet(out, LandapCmdGetWirelessAssociatedStatus, seq, true);
}

FinderResult CLANDAPObj::QueryNetworkStatus(_LANDAPNetworkStatus* out, uint16_t seq)
{
    return PlainGet(out, LandapCmdQueryNetworkStatus, seq, false);
}
