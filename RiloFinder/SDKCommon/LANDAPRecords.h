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

// ---- little-endian access at an offset ---------------------------------

inline uint16_t LANDAPGetU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LANDAPGetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void LANDAPPutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void LANDAPPutU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

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
    static constexpr size_t OffBrandName = 0;   // char[64]
    static constexpr size_t OffProdName = 64;   // char[64]
    static constexpr size_t OffModelName = 128; // char[32]
    static constexpr size_t OffFWVer = 160;     // char[32]
    static constexpr size_t OffProdType = 192;  // u16
    static constexpr size_t OffProdHWSpec = 194; // u32, unaligned
    static constexpr size_t OffMAC = 198;       // u8[6]
    static constexpr size_t OffBasicSet = 204;  // _LANDAP_Basic_Set
    static constexpr size_t OffLocalTime = 293; // char[16], 14-digit local time
    static constexpr size_t OffTimezone = 309;  // u16
    static constexpr size_t OffDST = 311;       // u8
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

// ---- time text -------------------------------------------------------------

// Local time of *t as "YYYYMMDDhhmmss" into buf. Returns 14, or 0 when buf
// is null, len < 16, or the time has no four-digit year.
int SystemTimeToLANDAPTime(const time_t* t, char* buf, int len);
// Reads a 14-digit local time (no daylight saving applied) into *t. Reads at
// most 16 bytes of text. Returns 14, or 0 (and *t untouched) when text or t is
// null, the text is shorter than 14 characters or the time cannot be made.
int LANDAPTimeToSystemTime(const char* text, time_t* t);

#endif
