#include "api/RiloRecordConvert.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <ctime>

void RiloAddrToText(char* dst16, uint32_t addr)
{
    std::memset(dst16, 0, 16);
    in_addr a{};
    a.s_addr = addr;
    if (!inet_ntop(AF_INET, &a, dst16, 16))
        std::memset(dst16, 0, 16);
}

uint32_t RiloTextToAddr(const char* text, size_t width)
{
    if (!text)
        return kRiloInvalidAddr;
    // The caller's field need not be terminated.
    char local[32];
    RiloCopyText(local, sizeof local, text, width);
    in_addr a{};
    // inet_aton reads what inet_addr reads, without its ambiguous result.
    if (inet_aton(local, &a) == 0)
        return kRiloInvalidAddr;
    return a.s_addr;
}

bool RiloTimeTextToSeconds(const char* text, uint32_t* out)
{
    time_t t = 0;
    if (!out || LANDAPTimeToSystemTime(text, &t) != 14)
        return false;
    if (t < 0 || static_cast<uint64_t>(t) > 0xFFFFFFFFull)
        return false;
    *out = static_cast<uint32_t>(t);
    return true;
}

void RiloSecondsToTimeText(uint32_t seconds, char* text, size_t size)
{
    if (!text || size == 0)
        return;
    std::memset(text, 0, size);
    char buf[32] = {};
    time_t t = static_cast<time_t>(seconds);
    if (SystemTimeToLANDAPTime(&t, buf, int(sizeof buf)) == 14)
        RiloCopyText(text, size, buf, sizeof buf);
}

void RiloSetHeader(_RiloCamSettingsHdr* hdr, size_t recordSize)
{
    hdr->CamSettingsType = RILO_CAM_SETTINGS_TYPE;
    hdr->SettingsBodyLen = static_cast<uint32_t>(recordSize - sizeof(_RiloCamSettingsHdr));
}

// ---- camera information ------------------------------------------------------

void RiloWrapCamInfo(const _LANDAP_Device_Info& dev, _RiloLANDAPCamInfo* rec)
{
    RiloSetHeader(&rec->SettingsHdr, sizeof *rec);
    _RiloLANDAPInfoBody& b = rec->Body;
    _RiloNetworkInfo& n = b.BasicSet.Network;
    const _LANDAP_Basic_Set& s = dev.BasicSet;
    n.bCamUseDHCP = s.DHCP;
    RiloAddrToText(n.szCamIP, s.IPAddr);
    RiloAddrToText(n.szCamSubnetMask, s.SubnetMask);
    RiloAddrToText(n.szCamGateway, s.Gateway);
    RiloAddrToText(n.szCamDNS1, s.DNS1);
    RiloAddrToText(n.szCamDNS2, s.DNS2);
    n.CustomizedDNS = s.CustomizedDNS;
    n.Reserved = s.Reserved;
    RiloCopyText(b.BasicSet.CameraName, sizeof b.BasicSet.CameraName, s.CameraName,
                 sizeof s.CameraName);
    b.BasicSet.WebPort = s.WebPort;
    std::memcpy(b.MACAddress.UniData.String, dev.MAC, sizeof b.MACAddress.UniData.String);
    RiloCopyText(b.BrandName, sizeof b.BrandName, dev.BrandName, sizeof dev.BrandName);
    RiloCopyText(b.ProdName, sizeof b.ProdName, dev.ProdName, sizeof dev.ProdName);
    RiloCopyText(b.ModelName, sizeof b.ModelName, dev.ModelName, sizeof dev.ModelName);
    RiloCopyText(b.FWVer, sizeof b.FWVer, dev.FWVer, sizeof dev.FWVer);
    b.ProdType = dev.ProdType;
    b.ProdHWSpec = dev.ProdHWSpec;
    RiloTimeTextToSeconds(dev.LocalTime, &b.Datetime);
    b.Timezone = dev.Timezone;
    b.DST = dev.DST;
}

void RiloCamInfoToBasicSet(const _RiloLANDAPCamInfo& rec, _LANDAP_Basic_Set* out)
{
    *out = _LANDAP_Basic_Set{};
    const _RiloLANDAPBasicSet& b = rec.Body.BasicSet;
    const _RiloNetworkInfo& n = b.Network;
    RiloCopyText(out->CameraName, sizeof out->CameraName, b.CameraName, sizeof b.CameraName);
    out->IPAddr = RiloTextToAddr(n.szCamIP, sizeof n.szCamIP);
    out->SubnetMask = RiloTextToAddr(n.szCamSubnetMask, sizeof n.szCamSubnetMask);
    out->Gateway = RiloTextToAddr(n.szCamGateway, sizeof n.szCamGateway);
    out->DNS1 = RiloTextToAddr(n.szCamDNS1, sizeof n.szCamDNS1);
    out->DNS2 = RiloTextToAddr(n.szCamDNS2, sizeof n.szCamDNS2);
    out->WebPort = b.WebPort;
    // Sent as read: the flags carry the camera's HTTPS setting.
    out->Reserved = n.Reserved;
    out->CustomizedDNS = n.CustomizedDNS;
    out->DHCP = static_cast<uint8_t>(n.bCamUseDHCP);
}

void RiloNetworkSettingToInfo(const _NetworkSetting& s, _RiloNetworkInfo* out)
{
    out->bCamUseDHCP = s.DHCP != 0 ? 1 : 0;
    RiloAddrToText(out->szCamIP, s.IPAddr);
    RiloAddrToText(out->szCamSubnetMask, s.SubnetMask);
    RiloAddrToText(out->szCamGateway, s.Gateway);
    RiloAddrToText(out->szCamDNS1, s.DNS1);
    RiloAddrToText(out->szCamDNS2, s.DNS2);
}

// ---- wireless -------------------------------------------------------------------

static uint8_t Nibble(int32_t v)
{
    return static_cast<uint8_t>(static_cast<uint32_t>(v) & 0xFu);
}

void RiloWirelessToDevice(const _RiloLANDAPWireless& rec, _LANDAPWirelessSettings* out)
{
    *out = _LANDAPWirelessSettings{};
    const _RiloLANDAPWirelessBody& b = rec.Body;
    out->WirelessEnable = static_cast<uint8_t>(b.WirelessEnable);
    out->WirelessChannel = static_cast<uint8_t>(b.WirelessChannel);
    // The device fields are one byte wider than on the wire: the wire width
    // minus one leaves a NUL there.
    RiloCopyText(out->SSID, sizeof out->SSID - 1, b.SSID, sizeof b.SSID);
    out->WirelessMode = Nibble(b.WirelessMode);
    out->Encryption = Nibble(b.Encryption);
    out->Authentication = Nibble(b.Authentication);
    out->WEPKeyLen = Nibble(b.WEPKeyLen);
    out->WEPKeyFormat = Nibble(b.WEPKeyFormat);
    out->WEPDefKey = Nibble(b.WEPDefKey);
    out->TxRate = Nibble(b.TxRate);
    RiloCopyText(out->WEPKey1, sizeof out->WEPKey1 - 1, b.WEPKey1, sizeof b.WEPKey1);
    RiloCopyText(out->WEPKey2, sizeof out->WEPKey2 - 1, b.WEPKey2, sizeof b.WEPKey2);
    RiloCopyText(out->WEPKey3, sizeof out->WEPKey3 - 1, b.WEPKey3, sizeof b.WEPKey3);
    RiloCopyText(out->WEPKey4, sizeof out->WEPKey4 - 1, b.WEPKey4, sizeof b.WEPKey4);
    RiloCopyText(out->WPAKey, sizeof out->WPAKey - 1, b.WPAKey, sizeof b.WPAKey);
}

void RiloWirelessFromDevice(const _LANDAPWirelessSettings& dev, _RiloLANDAPWireless* rec)
{
    _RiloLANDAPWirelessBody& b = rec->Body;
    b.WirelessEnable = dev.WirelessEnable;
    b.WirelessChannel = dev.WirelessChannel;
    RiloCopyText(b.SSID, sizeof b.SSID, dev.SSID, sizeof dev.SSID);
    b.WirelessMode = dev.WirelessMode & 0xF;
    b.Encryption = dev.Encryption & 0xF;
    b.Authentication = dev.Authentication & 0xF;
    b.WEPKeyLen = dev.WEPKeyLen & 0xF;
    b.WEPKeyFormat = dev.WEPKeyFormat & 0xF;
    b.WEPDefKey = dev.WEPDefKey & 0xF;
    b.TxRate = dev.TxRate & 0xF;
    RiloCopyText(b.WEPKey1, sizeof b.WEPKey1, dev.WEPKey1, sizeof dev.WEPKey1);
    RiloCopyText(b.WEPKey2, sizeof b.WEPKey2, dev.WEPKey2, sizeof dev.WEPKey2);
    RiloCopyText(b.WEPKey3, sizeof b.WEPKey3, dev.WEPKey3, sizeof dev.WEPKey3);
    RiloCopyText(b.WEPKey4, sizeof b.WEPKey4, dev.WEPKey4, sizeof dev.WEPKey4);
    RiloCopyText(b.WPAKey, sizeof b.WPAKey, dev.WPAKey, sizeof dev.WPAKey);
}

void RiloWirelessCapFromDevice(const _LANDAPWirelessCapability& dev, _RiloLANDAPWirelessCap* rec)
{
    _RiloLANDAPWirelessCapBody& b = rec->Body;
    b.ChannelBitmap = dev.ChannelBitmap;
    b.WirelessModeBits = dev.WirelessModeBits;
    b.EncryptionBits = dev.EncryptionBits;
    b.AuthenticationBits = dev.AuthenticationBits;
    std::memcpy(b.ExtraBytes, dev.ExtraBytes, sizeof b.ExtraBytes);
    b.ExtraWord = dev.ExtraWord;
}

void RiloStationFromDevice(const _LANDAPWirelessStation& dev, _RiloWirelessSiteSurInfo* out)
{
    RiloCopyText(out->SSID, sizeof out->SSID, dev.SSID, sizeof dev.SSID);
    out->SignalStrength = dev.Signal;
    out->WirelessMode = int32_t(dev.WirelessMode());
    out->Encryption = int32_t(dev.Encryption());
    out->Authentication = int32_t(dev.Authentication());
    out->Channel = int32_t(dev.Channel());
}

void RiloAssociatedStatusFromDevice(const _tLANDAP_Wireless_AssociatedStatus& dev,
                                    _RiloWirelessAssociatedStatus* out)
{
    out->Value0 = static_cast<int32_t>(dev.Value0);
    out->Value4 = static_cast<int32_t>(dev.Value4);
    RiloCopyText(out->SSID, sizeof out->SSID, dev.Text8, sizeof dev.Text8);
}

void RiloNetworkStatusFromDevice(const _LANDAPNetworkStatus& dev, _RiloCamNetworkStatus* out)
{
    out->Value0 = static_cast<int32_t>(dev.Value0);
    RiloAddrToText(out->Addr4, dev.Addr4);
    out->Value8 = static_cast<int32_t>(dev.Value8);
    RiloAddrToText(out->Addr12, dev.Addr12);
    out->Value16 = static_cast<int32_t>(dev.Value16);
}

// ---- advanced network --------------------------------------------------------

void RiloAdvNetworkToDevice(const _RiloLANDAPAdvNetwork& rec, _LANDAPAdvNetworkSettings* out)
{
    *out = _LANDAPAdvNetworkSettings{};
    const _RiloLANDAPAdvNetworkBody& b = rec.Body;
    const uint8_t mask = static_cast<uint8_t>(b.dwSet.SettingMask);
    out->Status = mask;
    // A feature whose mask bit is clear goes out as 0.
    if ((mask & 0x01) && b.UPnPSetting != 0)
        out->Features |= _LANDAPAdvNetworkSettings::FeatureUPnP;
    if ((mask & 0x02) && b.DDNSSetting != 0)
        out->Features |= _LANDAPAdvNetworkSettings::FeatureDDNS;
    if ((mask & 0x04) && b.PPPoESetting != 0)
        out->Features |= _LANDAPAdvNetworkSettings::FeaturePPPoE;
    if (mask & 0x08) {
        out->PPPoECredentials = 1;
        RiloCopyText(out->PPPoEUID, sizeof out->PPPoEUID - 1, b.PPPoEUID, sizeof b.PPPoEUID);
        RiloCopyText(out->PPPoEPWD, sizeof out->PPPoEPWD - 1, b.PPPoEPWD, sizeof b.PPPoEPWD);
    }
    out->DDNSIndex = b.DDNSIndex;
    RiloCopyText(out->DDNSUID, sizeof out->DDNSUID - 1, b.DDNSUID, sizeof b.DDNSUID);
    RiloCopyText(out->DDNSPWD, sizeof out->DDNSPWD - 1, b.DDNSPWD, sizeof b.DDNSPWD);
    RiloCopyText(out->DDNSServer, sizeof out->DDNSServer - 1, b.DDNSServer, sizeof b.DDNSServer);
}

void RiloAdvNetworkFromDevice(const _LANDAPAdvNetworkSettings& dev, _RiloLANDAPAdvNetwork* rec)
{
    _RiloLANDAPAdvNetworkBody& b = rec->Body;
    b.dwSet.NetAdvStatus = dev.Status;
    // The bits as they stand (0/1, 0/2, 0/4): callers test them for non-zero.
    b.UPnPSetting = dev.Features & _LANDAPAdvNetworkSettings::FeatureUPnP;
    b.DDNSSetting = dev.Features & _LANDAPAdvNetworkSettings::FeatureDDNS;
    b.PPPoESetting = dev.Features & _LANDAPAdvNetworkSettings::FeaturePPPoE;
    RiloCopyText(b.PPPoEUID, sizeof b.PPPoEUID, dev.PPPoEUID, sizeof dev.PPPoEUID);
    RiloCopyText(b.PPPoEPWD, sizeof b.PPPoEPWD, dev.PPPoEPWD, sizeof dev.PPPoEPWD);
    b.DDNSIndex = dev.DDNSIndex;
    RiloCopyText(b.DDNSUID, sizeof b.DDNSUID, dev.DDNSUID, sizeof dev.DDNSUID);
    RiloCopyText(b.DDNSPWD, sizeof b.DDNSPWD, dev.DDNSPWD, sizeof dev.DDNSPWD);
    RiloCopyText(b.DDNSServer, sizeof b.DDNSServer, dev.DDNSServer, sizeof dev.DDNSServer);
}

// ---- date and time -----------------------------------------------------------

void RiloDatetimeToDevice(const _RiloLANDAPDatetime& rec, _LANDAPDatetime* out)
{
    *out = _LANDAPDatetime{};
    const _RiloLANDAPDatetimeBody& b = rec.Body;
    RiloSecondsToTimeText(b.Datetime, out->LocalTime, sizeof out->LocalTime - 1);
    out->Value16 = b.Value16;
    out->Value18 = static_cast<uint8_t>(b.Value18);
    out->Value19 = static_cast<uint8_t>(b.Value19);
    RiloCopyText(out->Text20, sizeof out->Text20 - 1, b.Text20, sizeof b.Text20);
}

bool RiloDatetimeFromDevice(const _LANDAPDatetime& dev, _RiloLANDAPDatetime* rec)
{
    _RiloLANDAPDatetimeBody& b = rec->Body;
    bool converted = RiloTimeTextToSeconds(dev.LocalTime, &b.Datetime);
    b.Value16 = dev.Value16;
    b.Value18 = dev.Value18;
    b.Value19 = dev.Value19;
    RiloCopyText(b.Text20, sizeof b.Text20, dev.Text20, sizeof dev.Text20);
    return converted;
}

// ---- simple wireless ----------------------------------------------------------

void RiloSimpleWirelessToDevice(const _RiloLANDAPSimpleWireless& rec, _LANDAPSimpleWireless* out)
{
    *out = _LANDAPSimpleWireless{};
    const _RiloLANDAPSimpleWirelessBody& b = rec.Body;
    out->Value0 = static_cast<uint8_t>(b.Value0);
    // 35 and 66 characters: each text keeps a NUL inside its wire field.
    RiloCopyText(out->SSID, sizeof out->SSID - 1, b.SSID, sizeof b.SSID);
    out->Value37 = static_cast<int8_t>(static_cast<uint8_t>(b.Value37));
    out->Value38 = static_cast<uint8_t>(b.Value38);
    out->Value39 = static_cast<uint8_t>(b.Value39);
    out->Value40 = static_cast<uint8_t>(b.Value40);
    RiloCopyText(out->Key, sizeof out->Key - 1, b.Key, sizeof b.Key);
}

void RiloSimpleWirelessFromDevice(const _LANDAPSimpleWireless& dev, _RiloLANDAPSimpleWireless* rec)
{
    _RiloLANDAPSimpleWirelessBody& b = rec->Body;
    b.Value0 = dev.Value0;
    RiloCopyText(b.SSID, sizeof b.SSID, dev.SSID, sizeof dev.SSID);
    b.Value37 = dev.Value37;
    b.Value38 = dev.Value38;
    b.Value39 = dev.Value39;
    b.Value40 = dev.Value40;
    RiloCopyText(b.Key, sizeof b.Key, dev.Key, sizeof dev.Key);
}
