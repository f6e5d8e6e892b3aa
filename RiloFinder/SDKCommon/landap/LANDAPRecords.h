#ifndef RILO_LANDAPRECORDS_H
#define RILO_LANDAPRECORDS_H

// Records carried in LANDAP bodies, and the cameras' local-time text.
//
// On the wire every record is packed and little-endian; IPv4 addresses are
// the four address bytes in network order. The structs below are the
// in-memory form only: each has Decode (from at least WireSize bytes) and
// Encode (into at least WireSize bytes), which read and write the wire bytes
// at their offsets. Never copy a struct over a buffer.
//
// Each text field is one byte wider than its wire field, so a camera text
// that fills its field (and so has no NUL) still decodes whole and
// terminated; decoding never reads past the field. Encoding writes at most
// the field width and zero-fills the rest.

#include <cstddef>
#include <cstdint>
#include <ctime>

// ---- addresses and text at an offset ----------------------------------

// An IPv4 address kept as the in_addr value (s_addr): the wire bytes as they are.
uint32_t LANDAPGetIPv4(const uint8_t* p);
void LANDAPPutIPv4(uint8_t* p, uint32_t addr);

// Copies the text of a width-byte wire field into dst (dstSize bytes): stops
// at the first NUL, at the field's end or at dstSize - 1, and terminates.
void LANDAPGetText(char* dst, size_t dstSize, const uint8_t* field, size_t width);
// Writes src (at most srcSize bytes read) into a width-byte field, zero-filled.
void LANDAPPutText(uint8_t* field, size_t width, const char* src, size_t srcSize);

// ---- records -------------------------------------------------------------

// Basic setting: inside the device information at 204, and the 0xA2 record.
struct _LANDAP_Basic_Set {
    static constexpr size_t WireSize = 89;
    static constexpr size_t OffCameraName = 0;     // char[64]
    static constexpr size_t OffIPAddr = 64;        // IPv4
    static constexpr size_t OffWebPort = 68;       // u16
    static constexpr size_t OffReserved = 70;      // u8 flags
    static constexpr size_t OffCustomizedDNS = 71; // u8
    static constexpr size_t OffSubnetMask = 72;    // IPv4
    static constexpr size_t OffGateway = 76;       // IPv4
    static constexpr size_t OffDNS1 = 80;          // IPv4
    static constexpr size_t OffDNS2 = 84;          // IPv4
    static constexpr size_t OffDHCP = 88;          // u8
    // Bit of Reserved: the web port serves HTTPS.
    static constexpr uint8_t FlagHTTPS = 0x02;

    char CameraName[64 + 1] = {};
    uint32_t IPAddr = 0; // s_addr
    uint16_t WebPort = 0;
    uint8_t Reserved = 0;
    uint8_t CustomizedDNS = 0;
    uint32_t SubnetMask = 0;
    uint32_t Gateway = 0;
    uint32_t DNS1 = 0;
    uint32_t DNS2 = 0;
    uint8_t DHCP = 0; // non-zero: the camera takes its address by DHCP

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAP_Basic_Set::OffDHCP + 1 == _LANDAP_Basic_Set::WireSize,
              "basic setting is 89 bytes");

// Device information: the body of the discovery and refresh replies.
struct _LANDAP_Device_Info {
    static constexpr size_t WireSize = 312;
    static constexpr size_t OffBrandName = 0;    // char[64]
    static constexpr size_t OffProdName = 64;    // char[64]
    static constexpr size_t OffModelName = 128;  // char[32]
    static constexpr size_t OffFWVer = 160;      // char[32]
    static constexpr size_t OffProdType = 192;   // u16
    static constexpr size_t OffProdHWSpec = 194; // u32, unaligned
    static constexpr size_t OffMAC = 198;        // u8[6]
    static constexpr size_t OffBasicSet = 204;   // _LANDAP_Basic_Set
    static constexpr size_t OffLocalTime = 293;  // char[16], 14-digit local time
    static constexpr size_t OffTimezone = 309;   // u16
    static constexpr size_t OffDST = 311;        // u8
    // Basic-setting fields at their device-information offsets.
    static constexpr size_t OffIPAddr = OffBasicSet + _LANDAP_Basic_Set::OffIPAddr;
    static constexpr size_t OffSubnetMask = OffBasicSet + _LANDAP_Basic_Set::OffSubnetMask;
    static constexpr size_t OffGateway = OffBasicSet + _LANDAP_Basic_Set::OffGateway;
    static constexpr size_t OffDNS1 = OffBasicSet + _LANDAP_Basic_Set::OffDNS1;
    static constexpr size_t OffDNS2 = OffBasicSet + _LANDAP_Basic_Set::OffDNS2;
    static constexpr size_t OffDHCP = OffBasicSet + _LANDAP_Basic_Set::OffDHCP;

    char BrandName[64 + 1] = {};
    char ProdName[64 + 1] = {};
    char ModelName[32 + 1] = {};
    char FWVer[32 + 1] = {};
    uint16_t ProdType = 0;
    uint32_t ProdHWSpec = 0;
    uint8_t MAC[6] = {};
    _LANDAP_Basic_Set BasicSet;
    char LocalTime[16 + 1] = {};
    uint16_t Timezone = 0;
    uint8_t DST = 0;

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAP_Device_Info::OffBasicSet + _LANDAP_Basic_Set::WireSize ==
                  _LANDAP_Device_Info::OffLocalTime,
              "basic setting sits at 204");
static_assert(_LANDAP_Device_Info::OffDST + 1 == _LANDAP_Device_Info::WireSize,
              "device information is 312 bytes");
static_assert(_LANDAP_Device_Info::OffIPAddr == 268 && _LANDAP_Device_Info::OffSubnetMask == 276 &&
                  _LANDAP_Device_Info::OffGateway == 280 && _LANDAP_Device_Info::OffDNS1 == 284 &&
                  _LANDAP_Device_Info::OffDNS2 == 288 && _LANDAP_Device_Info::OffDHCP == 292,
              "network fields of the device information");

// Wireless settings: reply part of 0xA8, record of 0xA9.
struct _LANDAPWirelessSettings {
    static constexpr size_t WireSize = 238;
    static constexpr size_t OffWirelessEnable = 0;  // u8
    static constexpr size_t OffWirelessChannel = 1; // u8
    static constexpr size_t OffSSID = 2;            // char[36]
    static constexpr size_t OffPacked = 38;         // u32 of nibbles, unaligned
    static constexpr size_t OffWEPKey1 = 42;        // char[32] x 4
    static constexpr size_t OffWEPKey2 = 74;
    static constexpr size_t OffWEPKey3 = 106;
    static constexpr size_t OffWEPKey4 = 138;
    static constexpr size_t OffWPAKey = 170; // char[68]

    uint8_t WirelessEnable = 0;
    uint8_t WirelessChannel = 0;
    char SSID[36 + 1] = {};
    // Nibbles of the packed word, from bit 0 up; bits 28-31 are sent as 0.
    uint8_t WirelessMode = 0;
    uint8_t Encryption = 0;
    uint8_t Authentication = 0;
    uint8_t WEPKeyLen = 0;
    uint8_t WEPKeyFormat = 0;
    uint8_t WEPDefKey = 0;
    uint8_t TxRate = 0;
    char WEPKey1[32 + 1] = {};
    char WEPKey2[32 + 1] = {};
    char WEPKey3[32 + 1] = {};
    char WEPKey4[32 + 1] = {};
    char WPAKey[68 + 1] = {};

    // The packed word built from the nibbles (each masked to four bits).
    uint32_t PackedWord() const;
    void SetPackedWord(uint32_t w);

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAPWirelessSettings::OffWPAKey + 68 == _LANDAPWirelessSettings::WireSize,
              "wireless settings are 238 bytes");

// Wireless capability: behind the settings in the 0xA8 reply.
struct _LANDAPWirelessCapability {
    static constexpr size_t WireSize = 14;
    static constexpr size_t OffChannelBitmap = 0;      // u32; bit i: channel i offered
    static constexpr size_t OffWirelessModeBits = 4;   // u8
    static constexpr size_t OffEncryptionBits = 5;     // u8
    static constexpr size_t OffAuthenticationBits = 6; // u8
    static constexpr size_t OffExtraBytes = 7;         // u8[3], carried only
    static constexpr size_t OffExtraWord = 10;         // u32, unaligned, carried only

    uint32_t ChannelBitmap = 0;
    uint8_t WirelessModeBits = 0;
    uint8_t EncryptionBits = 0;
    uint8_t AuthenticationBits = 0;
    uint8_t ExtraBytes[3] = {};
    uint32_t ExtraWord = 0;

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAPWirelessCapability::OffExtraWord + 4 == _LANDAPWirelessCapability::WireSize,
              "wireless capability is 14 bytes");

// The 0xA8 reply body.
struct _LANDAP_Get_Wireless_Pack {
    static constexpr size_t WireSize = 252;
    static constexpr size_t OffSettings = 0;
    static constexpr size_t OffCapability = 238;

    _LANDAPWirelessSettings Settings;
    _LANDAPWirelessCapability Capability;

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAP_Get_Wireless_Pack::OffCapability == _LANDAPWirelessSettings::WireSize &&
                  _LANDAP_Get_Wireless_Pack::OffCapability + _LANDAPWirelessCapability::WireSize ==
                      _LANDAP_Get_Wireless_Pack::WireSize,
              "wireless pack is 238 + 14 bytes");

// UPnP, PPPoE and DDNS settings: record of 0xA7, start of the 0xA6 reply.
struct _LANDAPAdvNetworkSettings {
    static constexpr size_t WireSize = 324;
    static constexpr size_t OffPPPoECredentials = 0; // u8: 1 = PPPoE user and password are set
    static constexpr size_t OffPPPoEUID = 1;         // char[64]
    static constexpr size_t OffPPPoEPWD = 65;        // char[64]
    static constexpr size_t OffFeatures = 129;       // u8
    static constexpr size_t OffStatus = 130;     // u8: setting mask on a write, status on a read
    static constexpr size_t OffDDNSIndex = 131;  // u8
    static constexpr size_t OffDDNSUID = 132;    // char[64]
    static constexpr size_t OffDDNSPWD = 196;    // char[64]
    static constexpr size_t OffDDNSServer = 260; // char[64]
    // Bits of Features.
    static constexpr uint8_t FeatureUPnP = 0x01;
    static constexpr uint8_t FeatureDDNS = 0x02;
    static constexpr uint8_t FeaturePPPoE = 0x04;

    uint8_t PPPoECredentials = 0;
    char PPPoEUID[64 + 1] = {};
    char PPPoEPWD[64 + 1] = {};
    uint8_t Features = 0;
    uint8_t Status = 0;
    uint8_t DDNSIndex = 0;
    char DDNSUID[64 + 1] = {};
    char DDNSPWD[64 + 1] = {};
    char DDNSServer[64 + 1] = {};

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAPAdvNetworkSettings::OffDDNSServer + 64 == _LANDAPAdvNetworkSettings::WireSize,
              "advanced network settings are 324 bytes");

// The 0xA6 reply body: the settings and the camera's DDNS provider list.
struct _LANDAP_Get_AdvNetwork_Pack {
    static constexpr size_t WireSize = 525;
    static constexpr size_t OffSettings = 0;
    static constexpr size_t OffProviderListLen = 324; // u8
    static constexpr size_t OffProviderList = 325;    // char[200], names separated by ";"
    static constexpr size_t ProviderListWidth = 200;

    _LANDAPAdvNetworkSettings Settings;
    // The length byte as the camera sent it; 0 means no list.
    uint8_t ProviderListLen = 0;
    // The first ProviderListLen bytes of the list (at most 200), ending early at a NUL.
    char ProviderList[ProviderListWidth + 1] = {};

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAP_Get_AdvNetwork_Pack::OffProviderListLen ==
                      _LANDAPAdvNetworkSettings::WireSize &&
                  _LANDAP_Get_AdvNetwork_Pack::OffProviderList +
                          _LANDAP_Get_AdvNetwork_Pack::ProviderListWidth ==
                      _LANDAP_Get_AdvNetwork_Pack::WireSize,
              "advanced network pack is 324 + 1 + 200 bytes");

// Date and time: 0xAC reply, 0xAD record. The fields behind the time text are
// only carried between the camera and the public record.
struct _LANDAPDatetime {
    static constexpr size_t WireSize = 100;
    static constexpr size_t OffLocalTime = 0; // char[16], 14-digit local time
    static constexpr size_t OffValue16 = 16;  // u16
    static constexpr size_t OffValue18 = 18;  // u8
    static constexpr size_t OffValue19 = 19;  // u8
    static constexpr size_t OffText20 = 20;   // char[64]
    static constexpr size_t OffUnused = 84;   // 16 bytes, always sent as zero
    static constexpr size_t UnusedWidth = 16;

    char LocalTime[16 + 1] = {};
    uint16_t Value16 = 0;
    uint8_t Value18 = 0;
    uint8_t Value19 = 0;
    char Text20[64 + 1] = {};

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAPDatetime::OffText20 + 64 == _LANDAPDatetime::OffUnused &&
                  _LANDAPDatetime::OffUnused + _LANDAPDatetime::UnusedWidth ==
                      _LANDAPDatetime::WireSize,
              "date and time is 100 bytes");

// Simplified wireless: 0xAF reply, 0xB0 record. The single bytes are only
// carried between the camera and the public record.
struct _LANDAPSimpleWireless {
    static constexpr size_t WireSize = 108;
    static constexpr size_t OffValue0 = 0;   // u8
    static constexpr size_t OffSSID = 1;     // char[36]
    static constexpr size_t OffValue37 = 37; // signed byte
    static constexpr size_t OffValue38 = 38; // u8
    static constexpr size_t OffValue39 = 39; // u8
    static constexpr size_t OffValue40 = 40; // u8
    static constexpr size_t OffKey = 41;     // char[67]

    uint8_t Value0 = 0;
    char SSID[36 + 1] = {};
    int8_t Value37 = 0;
    uint8_t Value38 = 0;
    uint8_t Value39 = 0;
    uint8_t Value40 = 0;
    char Key[67 + 1] = {};

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAPSimpleWireless::OffKey + 67 == _LANDAPSimpleWireless::WireSize,
              "simple wireless is 108 bytes");

// Wireless association: 0xB2 reply.
struct _tLANDAP_Wireless_AssociatedStatus {
    static constexpr size_t WireSize = 44;
    static constexpr size_t OffValue0 = 0; // u32
    static constexpr size_t OffValue4 = 4; // u32
    static constexpr size_t OffText8 = 8;  // char[36]

    uint32_t Value0 = 0;
    uint32_t Value4 = 0;
    char Text8[36 + 1] = {};

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_tLANDAP_Wireless_AssociatedStatus::OffText8 + 36 ==
                  _tLANDAP_Wireless_AssociatedStatus::WireSize,
              "associated status is 44 bytes");

// Network status: 0xC9 reply.
struct _LANDAPNetworkStatus {
    static constexpr size_t WireSize = 20;
    static constexpr size_t OffValue0 = 0;   // u32
    static constexpr size_t OffAddr4 = 4;    // IPv4
    static constexpr size_t OffValue8 = 8;   // u32
    static constexpr size_t OffAddr12 = 12;  // IPv4
    static constexpr size_t OffValue16 = 16; // u32

    uint32_t Value0 = 0;
    uint32_t Addr4 = 0; // s_addr
    uint32_t Value8 = 0;
    uint32_t Addr12 = 0; // s_addr
    uint32_t Value16 = 0;

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAPNetworkStatus::OffValue16 + 4 == _LANDAPNetworkStatus::WireSize,
              "network status is 20 bytes");

// ---- time text -------------------------------------------------------------

// Local time of *t as "YYYYMMDDhhmmss" into buf. Returns 14, or 0 when buf
// is null, len < 16, or the time has no four-digit year.
int SystemTimeToLANDAPTime(const time_t* t, char* buf, int len);
// Reads a 14-digit local time (no daylight saving applied) into *t. Reads at
// most 16 bytes of text. Returns 14, or 0 (and *t untouched) when text or t is
// null, the text is shorter than 14 characters or the time cannot be made.
int LANDAPTimeToSystemTime(const char* text, time_t* t);

#endif
