#ifndef RILO_LANDAPHEADER_H
#define RILO_LANDAPHEADER_H

#include <cstddef>
#include <cstdint>
#include <memory>

constexpr uint16_t LandapPort = 62976;         // every command but remote access
constexpr uint16_t LandapTessel12Port = 62977; // the four remote-access commands
constexpr uint16_t LandapRequestSignature = 0xFDFD;
constexpr uint16_t LandapReplySignature = 0xFEEE;
constexpr uint16_t LandapRequestMarker = 0x7777;
constexpr unsigned long LandapBaseTimeout = 1800;         // ms, port 62976
constexpr unsigned long LandapTessel12BaseTimeout = 2000; // ms, port 62977

enum LandapCommandCode : uint16_t {
    LandapCmdGetDeviceInfo = 0xA1,
    LandapCmdSetCameraSetting = 0xA2,
    LandapCmdVerifyAuthorization = 0xA3,
    LandapCmdChangeAdminPassword = 0xA4,
    LandapCmdGetSupportedCommand = 0xA5,
    LandapCmdGetCameraAdvNetwork = 0xA6,
    LandapCmdSetCameraAdvNetwork = 0xA7,
    LandapCmdGetCameraWireless = 0xA8,
    LandapCmdSetCameraWireless = 0xA9,
    LandapCmdResetCamera = 0xAA,
    LandapCmdFactoryResetCamera = 0xAB,
    LandapCmdGetCameraDatetime = 0xAC,
    LandapCmdSetCameraDatetime = 0xAD,
    LandapCmdGetWirelessSiteSurInfo = 0xAE,
    LandapCmdGetCameraSimpleWireless = 0xAF,
    LandapCmdSetCameraSimpleWireless = 0xB0,
    LandapCmdInitWirelessSiteSurvey = 0xB1,
    LandapCmdGetWirelessAssociatedStatus = 0xB2,
    LandapCmdCommitSettings = 0xC0,
    LandapCmdQueryNetworkStatus = 0xC9,
    LandapCmdGetTessel12Enabled = 0xD1,
    LandapCmdEnableTessel12 = 0xD2,
    LandapCmdTessel12QueryProcState = 0x102,
    LandapCmdQueryTessel12URL = 0x105,
};

// The 22 bytes at the start of every datagram, both ways. This is the
// decoded form; the wire bytes are read and written at their offsets.
struct LandapHeader {
    static constexpr size_t WireSize = 22;
    static constexpr size_t OffSignature = 0; // u16
    static constexpr size_t OffSeqNo = 2;     // u16
    static constexpr size_t OffCommand = 4;   // u16
    static constexpr size_t OffTargetMAC = 6; // u8[6]
    static constexpr size_t OffTargetIP = 12; // IPv4, network-order bytes
    static constexpr size_t OffStatus = 16;   // u16
    static constexpr size_t OffFixedOne = 18; // u16
    static constexpr size_t OffBodyLen = 20;  // u16

    uint16_t LandapSignature = 0;
    uint16_t LandapSeqNo = 0;
    uint16_t LandapCommand = 0;
    uint8_t LandapTargetMAC[6] = {};
    uint32_t LandapTargetIP = 0; // s_addr
    uint16_t LandapStatus = 0;
    uint16_t LandapFixedOne = 0;
    uint16_t LandapBodyLen = 0;

    // p holds at least WireSize bytes.
    static LandapHeader Decode(const uint8_t* p);
    void Encode(uint8_t* p) const;
};
static_assert(LandapHeader::OffBodyLen + 2 == LandapHeader::WireSize, "LANDAP header is 22 bytes");
static_assert(sizeof(LandapHeader::LandapTargetMAC) == 6, "target MAC is six bytes");

constexpr size_t kLandapPacketSize = 65536;
constexpr size_t kLandapMaxBody = kLandapPacketSize - LandapHeader::WireSize;

// A request built in place, or the reply copied over it: header, then body.
struct _LANDAPPacket {
    uint8_t bytes[kLandapPacketSize];

    LandapHeader Header() const { return LandapHeader::Decode(bytes); }
    void SetHeader(const LandapHeader& h) { h.Encode(bytes); }
    uint8_t* Body() { return bytes + LandapHeader::WireSize; }
    const uint8_t* Body() const { return bytes + LandapHeader::WireSize; }
};
static_assert(sizeof(_LANDAPPacket) == kLandapPacketSize, "packet buffer is 64 KiB");

// A camera's packet buffer, made zeroed at its first use: a search makes an
// object for every camera that answers and must read the next reply, not
// clear 64 KiB for each.
class LANDAPPacketBuffer {
public:
    _LANDAPPacket* get() const
    {
        if (!m_Packet)
            m_Packet = std::make_unique<_LANDAPPacket>();
        return m_Packet.get();
    }
    _LANDAPPacket* operator->() const { return get(); }
    _LANDAPPacket& operator*() const { return *get(); }

private:
    mutable std::unique_ptr<_LANDAPPacket> m_Packet;
};

#endif
