#include "landap/LANDAPRecords.h"

#include "ByteOrder.h"

#include <cstdio>
#include <cstring>

uint32_t LANDAPGetIPv4(const uint8_t* p)
{
    uint32_t addr;
    std::memcpy(&addr, p, sizeof addr);
    return addr;
}

void LANDAPPutIPv4(uint8_t* p, uint32_t addr)
{
    std::memcpy(p, &addr, sizeof addr);
}

void LANDAPGetText(char* dst, size_t dstSize, const uint8_t* field, size_t width)
{
    if (dstSize == 0)
        return;
    const void* nul = std::memchr(field, 0, width);
    size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - field) : width;
    if (n > dstSize - 1)
        n = dstSize - 1;
    std::memcpy(dst, field, n);
    dst[n] = '\0';
}

void LANDAPPutText(uint8_t* field, size_t width, const char* src, size_t srcSize)
{
    std::memset(field, 0, width);
    if (!src)
        return;
    size_t n = strnlen(src, srcSize < width ? srcSize : width);
    std::memcpy(field, src, n);
}

// ---- _LANDAP_Basic_Set ---------------------------------------------------------

bool _LANDAP_Basic_Set::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    LANDAPGetText(CameraName, sizeof CameraName, p + OffCameraName, 64);
    IPAddr = LANDAPGetIPv4(p + OffIPAddr);
    WebPort = GetLE16(p + OffWebPort);
    Reserved = p[OffReserved];
    CustomizedDNS = p[OffCustomizedDNS];
    SubnetMask = LANDAPGetIPv4(p + OffSubnetMask);
    Gateway = LANDAPGetIPv4(p + OffGateway);
    DNS1 = LANDAPGetIPv4(p + OffDNS1);
    DNS2 = LANDAPGetIPv4(p + OffDNS2);
    DHCP = p[OffDHCP];
    return true;
}

size_t _LANDAP_Basic_Set::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    LANDAPPutText(p + OffCameraName, 64, CameraName, sizeof CameraName);
    LANDAPPutIPv4(p + OffIPAddr, IPAddr);
    PutLE16(p + OffWebPort, WebPort);
    p[OffReserved] = Reserved;
    p[OffCustomizedDNS] = CustomizedDNS;
    LANDAPPutIPv4(p + OffSubnetMask, SubnetMask);
    LANDAPPutIPv4(p + OffGateway, Gateway);
    LANDAPPutIPv4(p + OffDNS1, DNS1);
    LANDAPPutIPv4(p + OffDNS2, DNS2);
    p[OffDHCP] = DHCP;
    return WireSize;
}

// ---- _LANDAP_Device_Info -------------------------------------------------------

bool _LANDAP_Device_Info::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    LANDAPGetText(BrandName, sizeof BrandName, p + OffBrandName, 64);
    LANDAPGetText(ProdName, sizeof ProdName, p + OffProdName, 64);
    LANDAPGetText(ModelName, sizeof ModelName, p + OffModelName, 32);
    LANDAPGetText(FWVer, sizeof FWVer, p + OffFWVer, 32);
    ProdType = GetLE16(p + OffProdType);
    ProdHWSpec = GetLE32(p + OffProdHWSpec);
    std::memcpy(MAC, p + OffMAC, sizeof MAC);
    BasicSet.Decode(p + OffBasicSet, _LANDAP_Basic_Set::WireSize);
    LANDAPGetText(LocalTime, sizeof LocalTime, p + OffLocalTime, 16);
    Timezone = GetLE16(p + OffTimezone);
    DST = p[OffDST];
    return true;
}

size_t _LANDAP_Device_Info::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    LANDAPPutText(p + OffBrandName, 64, BrandName, sizeof BrandName);
    LANDAPPutText(p + OffProdName, 64, ProdName, sizeof ProdName);
    LANDAPPutText(p + OffModelName, 32, ModelName, sizeof ModelName);
    LANDAPPutText(p + OffFWVer, 32, FWVer, sizeof FWVer);
    PutLE16(p + OffProdType, ProdType);
    PutLE32(p + OffProdHWSpec, ProdHWSpec);
    std::memcpy(p + OffMAC, MAC, sizeof MAC);
    BasicSet.Encode(p + OffBasicSet, _LANDAP_Basic_Set::WireSize);
    LANDAPPutText(p + OffLocalTime, 16, LocalTime, sizeof LocalTime);
    PutLE16(p + OffTimezone, Timezone);
    p[OffDST] = DST;
    return WireSize;
}

// ---- wireless ------------------------------------------------------------------

uint32_t _LANDAPWirelessSettings::PackedWord() const
{
    return (WirelessMode & 0xFu) | (Encryption & 0xFu) << 4 | (Authentication & 0xFu) << 8 |
           (WEPKeyLen & 0xFu) << 12 | (WEPKeyFormat & 0xFu) << 16 | (WEPDefKey & 0xFu) << 20 |
           (TxRate & 0xFu) << 24;
}

void _LANDAPWirelessSettings::SetPackedWord(uint32_t w)
{
    WirelessMode = static_cast<uint8_t>(w & 0xF);
    Encryption = static_cast<uint8_t>((w >> 4) & 0xF);
    Authentication = static_cast<uint8_t>((w >> 8) & 0xF);
    WEPKeyLen = static_cast<uint8_t>((w >> 12) & 0xF);
    WEPKeyFormat = static_cast<uint8_t>((w >> 16) & 0xF);
    WEPDefKey = static_cast<uint8_t>((w >> 20) & 0xF);
    TxRate = static_cast<uint8_t>((w >> 24) & 0xF);
}

bool _LANDAPWirelessSettings::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    WirelessEnable = p[OffWirelessEnable];
    WirelessChannel = p[OffWirelessChannel];
    LANDAPGetText(SSID, sizeof SSID, p + OffSSID, 36);
    SetPackedWord(GetLE32(p + OffPacked));
    LANDAPGetText(WEPKey1, sizeof WEPKey1, p + OffWEPKey1, 32);
    LANDAPGetText(WEPKey2, sizeof WEPKey2, p + OffWEPKey2, 32);
    LANDAPGetText(WEPKey3, sizeof WEPKey3, p + OffWEPKey3, 32);
    LANDAPGetText(WEPKey4, sizeof WEPKey4, p + OffWEPKey4, 32);
    LANDAPGetText(WPAKey, sizeof WPAKey, p + OffWPAKey, 68);
    return true;
}

size_t _LANDAPWirelessSettings::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    p[OffWirelessEnable] = WirelessEnable;
    p[OffWirelessChannel] = WirelessChannel;
    LANDAPPutText(p + OffSSID, 36, SSID, sizeof SSID);
    PutLE32(p + OffPacked, PackedWord());
    LANDAPPutText(p + OffWEPKey1, 32, WEPKey1, sizeof WEPKey1);
    LANDAPPutText(p + OffWEPKey2, 32, WEPKey2, sizeof WEPKey2);
    LANDAPPutText(p + OffWEPKey3, 32, WEPKey3, sizeof WEPKey3);
    LANDAPPutText(p + OffWEPKey4, 32, WEPKey4, sizeof WEPKey4);
    LANDAPPutText(p + OffWPAKey, 68, WPAKey, sizeof WPAKey);
    return WireSize;
}

bool _LANDAPWirelessCapability::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    ChannelBitmap = GetLE32(p + OffChannelBitmap);
    WirelessModeBits = p[OffWirelessModeBits];
    EncryptionBits = p[OffEncryptionBits];
    AuthenticationBits = p[OffAuthenticationBits];
    std::memcpy(ExtraBytes, p + OffExtraBytes, sizeof ExtraBytes);
    ExtraWord = GetLE32(p + OffExtraWord);
    return true;
}

size_t _LANDAPWirelessCapability::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    PutLE32(p + OffChannelBitmap, ChannelBitmap);
    p[OffWirelessModeBits] = WirelessModeBits;
    p[OffEncryptionBits] = EncryptionBits;
    p[OffAuthenticationBits] = AuthenticationBits;
    std::memcpy(p + OffExtraBytes, ExtraBytes, sizeof ExtraBytes);
    PutLE32(p + OffExtraWord, ExtraWord);
    return WireSize;
}

bool _LANDAP_Get_Wireless_Pack::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    Settings.Decode(p + OffSettings, _LANDAPWirelessSettings::WireSize);
    Capability.Decode(p + OffCapability, _LANDAPWirelessCapability::WireSize);
    return true;
}

size_t _LANDAP_Get_Wireless_Pack::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    Settings.Encode(p + OffSettings, _LANDAPWirelessSettings::WireSize);
    Capability.Encode(p + OffCapability, _LANDAPWirelessCapability::WireSize);
    return WireSize;
}

// ---- advanced network --------------------------------------------------------------

bool _LANDAPAdvNetworkSettings::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    PPPoECredentials = p[OffPPPoECredentials];
    LANDAPGetText(PPPoEUID, sizeof PPPoEUID, p + OffPPPoEUID, 64);
    LANDAPGetText(PPPoEPWD, sizeof PPPoEPWD, p + OffPPPoEPWD, 64);
    Features = p[OffFeatures];
    Status = p[OffStatus];
    DDNSIndex = p[OffDDNSIndex];
    LANDAPGetText(DDNSUID, sizeof DDNSUID, p + OffDDNSUID, 64);
    LANDAPGetText(DDNSPWD, sizeof DDNSPWD, p + OffDDNSPWD, 64);
    LANDAPGetText(DDNSServer, sizeof DDNSServer, p + OffDDNSServer, 64);
    return true;
}

size_t _LANDAPAdvNetworkSettings::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    p[OffPPPoECredentials] = PPPoECredentials;
    LANDAPPutText(p + OffPPPoEUID, 64, PPPoEUID, sizeof PPPoEUID);
    LANDAPPutText(p + OffPPPoEPWD, 64, PPPoEPWD, sizeof PPPoEPWD);
    p[OffFeatures] = Features;
    p[OffStatus] = Status;
    p[OffDDNSIndex] = DDNSIndex;
    LANDAPPutText(p + OffDDNSUID, 64, DDNSUID, sizeof DDNSUID);
    LANDAPPutText(p + OffDDNSPWD, 64, DDNSPWD, sizeof DDNSPWD);
    LANDAPPutText(p + OffDDNSServer, 64, DDNSServer, sizeof DDNSServer);
    return WireSize;
}

bool _LANDAP_Get_AdvNetwork_Pack::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    Settings.Decode(p + OffSettings, _LANDAPAdvNetworkSettings::WireSize);
    ProviderListLen = p[OffProviderListLen];
    // A length byte beyond the field counts as the whole field.
    size_t n = ProviderListLen < ProviderListWidth ? ProviderListLen : ProviderListWidth;
    LANDAPGetText(ProviderList, sizeof ProviderList, p + OffProviderList, n);
    return true;
}

size_t _LANDAP_Get_AdvNetwork_Pack::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    Settings.Encode(p + OffSettings, _LANDAPAdvNetworkSettings::WireSize);
    p[OffProviderListLen] = ProviderListLen;
    LANDAPPutText(p + OffProviderList, ProviderListWidth, ProviderList, sizeof ProviderList);
    return WireSize;
}

// ---- date and time, simple wireless, status -------------------------------------

bool _LANDAPDatetime::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    LANDAPGetText(LocalTime, sizeof LocalTime, p + OffLocalTime, 16);
    Value16 = GetLE16(p + OffValue16);
    Value18 = p[OffValue18];
    Value19 = p[OffValue19];
    LANDAPGetText(Text20, sizeof Text20, p + OffText20, 64);
    return true;
}

size_t _LANDAPDatetime::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    LANDAPPutText(p + OffLocalTime, 16, LocalTime, sizeof LocalTime);
    PutLE16(p + OffValue16, Value16);
    p[OffValue18] = Value18;
    p[OffValue19] = Value19;
    LANDAPPutText(p + OffText20, 64, Text20, sizeof Text20);
    std::memset(p + OffUnused, 0, UnusedWidth);
    return WireSize;
}

bool _LANDAPSimpleWireless::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    Value0 = p[OffValue0];
    LANDAPGetText(SSID, sizeof SSID, p + OffSSID, 36);
    Value37 = static_cast<int8_t>(p[OffValue37]);
    Value38 = p[OffValue38];
    Value39 = p[OffValue39];
    Value40 = p[OffValue40];
    LANDAPGetText(Key, sizeof Key, p + OffKey, 67);
    return true;
}

size_t _LANDAPSimpleWireless::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    p[OffValue0] = Value0;
    LANDAPPutText(p + OffSSID, 36, SSID, sizeof SSID);
    p[OffValue37] = static_cast<uint8_t>(Value37);
    p[OffValue38] = Value38;
    p[OffValue39] = Value39;
    p[OffValue40] = Value40;
    LANDAPPutText(p + OffKey, 67, Key, sizeof Key);
    return WireSize;
}

bool _tLANDAP_Wireless_AssociatedStatus::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    Value0 = GetLE32(p + OffValue0);
    Value4 = GetLE32(p + OffValue4);
    LANDAPGetText(Text8, sizeof Text8, p + OffText8, 36);
    return true;
}

size_t _tLANDAP_Wireless_AssociatedStatus::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    PutLE32(p + OffValue0, Value0);
    PutLE32(p + OffValue4, Value4);
    LANDAPPutText(p + OffText8, 36, Text8, sizeof Text8);
    return WireSize;
}

bool _LANDAPNetworkStatus::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    Value0 = GetLE32(p + OffValue0);
    Addr4 = LANDAPGetIPv4(p + OffAddr4);
    Value8 = GetLE32(p + OffValue8);
    Addr12 = LANDAPGetIPv4(p + OffAddr12);
    Value16 = GetLE32(p + OffValue16);
    return true;
}

size_t _LANDAPNetworkStatus::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    PutLE32(p + OffValue0, Value0);
    LANDAPPutIPv4(p + OffAddr4, Addr4);
    PutLE32(p + OffValue8, Value8);
    LANDAPPutIPv4(p + OffAddr12, Addr12);
    PutLE32(p + OffValue16, Value16);
    return WireSize;
}

// ---- time text -------------------------------------------------------------------

int SystemTimeToLANDAPTime(const time_t* t, char* buf, int len)
{
    if (!buf || len < 16 || !t)
        return 0;
    struct tm tmLocal;
    if (!localtime_r(t, &tmLocal))
        return 0;
    // Only four-digit years fit the fixed 14-digit text.
    long year = static_cast<long>(tmLocal.tm_year) + 1900;
    if (year < 0 || year > 9999)
        return 0;
    int n = std::snprintf(buf, static_cast<size_t>(len), "%04d%02d%02d%02d%02d%02d",
                          static_cast<int>(year), tmLocal.tm_mon + 1, tmLocal.tm_mday,
                          tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec);
    return n == 14 ? 14 : 0;
}

// Decimal value of the leading digits of a width-character field.
static int ReadDigits(const char* s, int width)
{
    int v = 0;
    for (int i = 0; i < width && s[i] >= '0' && s[i] <= '9'; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

int LANDAPTimeToSystemTime(const char* text, time_t* t)
{
    // The text comes from a 16-byte camera field that need not be terminated.
    if (!text || !t || strnlen(text, 16) < 14)
        return 0;
    struct tm tmLocal;
    std::memset(&tmLocal, 0, sizeof tmLocal);
    tmLocal.tm_year = ReadDigits(text, 4) - 1900;
    tmLocal.tm_mon = ReadDigits(text + 4, 2) - 1;
    tmLocal.tm_mday = ReadDigits(text + 6, 2);
    tmLocal.tm_hour = ReadDigits(text + 8, 2);
    tmLocal.tm_min = ReadDigits(text + 10, 2);
    tmLocal.tm_sec = ReadDigits(text + 12, 2);
    tmLocal.tm_isdst = 0;
    // mktime sets tm_wday only on success; (time_t)-1 is also a real moment.
    tmLocal.tm_wday = -1;
    time_t v = mktime(&tmLocal);
    if (tmLocal.tm_wday < 0)
        return 0;
    *t = v;
    return 14;
}
