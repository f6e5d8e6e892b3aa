#ifndef RILO_LANDAPCMDRECORDS_H
#define RILO_LANDAPCMDRECORDS_H

// Records of the site survey and the remote-access commands. As in
// LANDAPRecords.h: in-memory form only, wire bytes read and written at their
// offsets, text fields one byte wider than on the wire.

#include <cstddef>
#include <cstdint>

// One access point of a camera's scan (0xAE pages).
struct _LANDAPWirelessStation {
    static constexpr size_t WireSize = 36;
    static constexpr size_t OffSSID = 0; // char[33]
    static constexpr size_t SSIDWidth = 33;
    static constexpr size_t OffSignal = 33; // u8
    static constexpr size_t OffPacked = 34; // u16: mode, encryption, authentication, channel

    char SSID[SSIDWidth + 1] = {};
    uint8_t Signal = 0;
    uint16_t Packed = 0;

    unsigned WirelessMode() const { return Packed & 0xFu; }
    unsigned Encryption() const { return (Packed >> 4) & 0xFu; }
    unsigned Authentication() const { return (Packed >> 8) & 0xFu; }
    unsigned Channel() const { return (Packed >> 12) & 0xFu; }

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};
static_assert(_LANDAPWirelessStation::OffPacked + 2 == _LANDAPWirelessStation::WireSize,
              "a station is 36 bytes");

// 0xAE reply body: stations from offset 0, then 4 bytes whose last u16 says
// whether another page follows.
constexpr uint16_t LandapMoreFollows = 0xFFFF;
constexpr size_t kLandapSurveyTrailer = 4;
constexpr size_t kLandapSurveyPageSize = 746; // 22 + 20 x 36 + 4
constexpr size_t kLandapSurveyMaxBody = kLandapSurveyPageSize - 22;
static_assert(22 + 20 * _LANDAPWirelessStation::WireSize + kLandapSurveyTrailer ==
                  kLandapSurveyPageSize,
              "a full survey page holds 20 stations");

// Remote-access flag: 0xD1 reply, 0xD2 record.
struct _TESSEL12Enable {
    static constexpr size_t WireSize = 16;
    static constexpr size_t OffEnabled = 0; // u8; bytes 1-15 unused, 0 in requests

    uint8_t Enabled = 0;

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};

// Remote-access progress: 0x102 reply.
struct _TESSEL12ProcStatus {
    static constexpr size_t WireSize = 16;
    static constexpr size_t OffState = 0;  // u32
    static constexpr size_t OffValue4 = 4; // u32
    static constexpr size_t OffValue8 = 8; // u32; bytes 12-15 unused

    uint32_t State = 0;
    uint32_t Value4 = 0;
    uint32_t Value8 = 0;

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};

// Remote-view address: 0x105 reply.
struct _TESSEL12URL {
    static constexpr size_t WireSize = 64;
    static constexpr size_t OffURL = 0; // char[64]

    char URL[WireSize + 1] = {};

    bool Decode(const uint8_t* data, size_t len);
    size_t Encode(uint8_t* out, size_t cap) const;
};

#endif
