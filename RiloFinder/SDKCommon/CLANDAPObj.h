#ifndef RILO_CLANDAPOBJ_H
#define RILO_CLANDAPOBJ_H

#include "CLANCamObject.h"
#include "LANDAPRecords.h"
#include "LandapHeader.h"
#include "LandapSetResult.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// One slot of the camera's DDNS provider list.
struct _stDDNSName {
    char name[128];
};

// A camera spoken to over LANDAP. One packet buffer per camera, so two
// exchanges with the same camera must never overlap.
class CLANDAPObj : public CLANCamObject {
public:
    static constexpr size_t kAuthTextSize = 1024;
    static constexpr int kMaxSupportedCmds = 128;
    // A refresh reply: header and device information.
    static constexpr unsigned kDeviceInfoReplySize =
        unsigned(LandapHeader::WireSize + _LANDAP_Device_Info::WireSize);
    static constexpr unsigned kSetReplySize = unsigned(LandapHeader::WireSize + LandapSetResult::WireSize);

    CLANDAPObj();
    ~CLANDAPObj() override;

    int AssignInitData(const uint8_t* body, unsigned long length, const MAC_ADDR* mac,
                       const uint32_t* interfaceAddr) override;
    void SetAuthentication(const char* user, const char* password) override;
    // Re-reads the device information from the camera.
    int UpdateNetworkSetting(uint16_t seq) override;

    // 1 after the camera's device information was read again, else 0.
    int UpdateCameraInfo(uint16_t seq);
    // Takes the network setting and device information from a record.
    void StoreCamInfo(const _LANDAP_Device_Info* info);

    // Sends request until a full reply of replyLen bytes arrives (retry 1:
    // at most 8 sends) and copies the reply, zero-padded, to dst. Returns the
    // byte count of the last receive, 0 when nothing arrived.
    int CommitData(_LANDAPPacket* request, uint8_t* dst, unsigned replyLen, unsigned long baseMs,
                   int retry, uint16_t port);
    // Writes the authentication block at body and sets *bodyLen to 128.
    void MakeAuthField(uint8_t* body, uint16_t* bodyLen);
    // Set-result decoding of a reply whose sequence number and MAC passed;
    // -3 for a null reply.
    int ProcessResponse(const _LANDAPPacket* reply);

    // Request building in the packet buffer, shared by every command.
    // Header only, body length 0.
    void FillRequestHeader(uint16_t command, uint16_t seq);
    // Header and the authentication block.
    void BuildAuthRequest(uint16_t command, uint16_t seq);
    // Header, the record at body offset 128 and the authentication block.
    void BuildRecordRequest(uint16_t command, uint16_t seq, const uint8_t* record, size_t recordSize);
    // Prints the missing-credentials line when both texts (or, with
    // eitherMissing, one of them) are empty. The request still goes out.
    void WarnIfNoAuthentication(bool eitherMissing) const;
    // Checks of a get-type reply in the packet buffer: 0 or -1.
    int CheckGetReply(int received, uint16_t seq) const;
    // Checks and decodes a set-type reply in the packet buffer: -1 when it is
    // not the answer to this request, else the set-result decoding.
    int CheckSetReply(int received, uint16_t seq);

    void ClearCmdResult() { m_CmdResult = _CmdResult{}; }
    const _CmdResult& GetCmdResult() const { return m_CmdResult; }
    const _LANDAP_Device_Info& GetDeviceInfo() const { return m_DeviceInfo; }
    // The device information as the camera sent it.
    const uint8_t* GetDeviceInfoBytes() const { return m_DeviceInfoBytes; }
    _LANDAPPacket& Packet() { return *m_Packet; }
    const _LANDAPPacket& Packet() const { return *m_Packet; }
    const char* GetUserText() const { return m_UserText; }
    const char* GetPasswordText() const { return m_PasswordText; }

protected:
    void StoreDeviceInfoBytes(const uint8_t* body);

    _CmdResult m_CmdResult;
    _LANDAP_Device_Info m_DeviceInfo;
    uint8_t m_DeviceInfoBytes[_LANDAP_Device_Info::WireSize] = {};
    std::unique_ptr<_LANDAPPacket> m_Packet;
    char m_UserText[kAuthTextSize] = {};      // Base64 of the user name
    char m_PasswordText[kAuthTextSize] = {};  // Base64 of the password
    std::vector<std::unique_ptr<_stDDNSName>> m_DDNSNames;
    uint64_t m_DDNSFetchTime = 0;  // seconds, 0 = never fetched
    uint16_t m_SupportedCmds[kMaxSupportedCmds] = {};
    int m_SupportedCmdNum = 0;     // 0 = not fetched yet
};

#endif
