#include "LANDAPRecords.h"

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
    WebPort = LANDAPGetU16(p + OffWebPort);
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
    LANDAPPutU16(p + OffWebPort, WebPort);
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
    ProdType = LANDAPGetU16(p + OffProdType);
    ProdHWSpec = LANDAPGetU32(p + OffProdHWSpec);
    std::memcpy(MAC, p + OffMAC, sizeof MAC);
    BasicSet.Decode(p + OffBasicSet, _LANDAP_Basic_Set::WireSize);
    LANDAPGetText(LocalTime, sizeof LocalTime, p + OffLocalTime, 16);
    Timezone = LANDAPGetU16(p + OffTimezone);
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
    LANDAPPutU16(p + OffProdType, ProdType);
    LANDAPPutU32(p + OffProdHWSpec, ProdHWSpec);
    std::memcpy(p + OffMAC, MAC, sizeof MAC);
    BasicSet.Encode(p + OffBasicSet, _LANDAP_Basic_Set::WireSize);
    LANDAPPutText(p + OffLocalTime, 16, LocalTime, sizeof LocalTime);
    LANDAPPutU16(p + OffTimezone, Timezone);
    p[OffDST] = DST;
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
