#ifndef RILO_CLANDAPOBJ_H
#define RILO_CLANDAPOBJ_H

#include "landap/CLANCamObject.h"
#include "landap/LANDAPCmdRecords.h"
#include "landap/LandapHeader.h"
#include "landap/LANDAPRecords.h"
#include "landap/LandapSetResult.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CBCModule;

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
    static constexpr unsigned kSetReplySize =
        unsigned(LandapHeader::WireSize + LandapSetResult::WireSize);
    // A survey read gives up past this many pages.
    static constexpr int kMaxSurveyPages = 64;
    // Sends of the own-loop commands (0xA5, 0xAE): the first and 5 resends.
    static constexpr int kOwnLoopSends = 6;
    static constexpr unsigned kSupportedCmdReplySize = 262;
    // The provider list is read again when older than this.
    static constexpr uint64_t kDDNSMaxAgeSeconds = 60;
    // Seconds of the clock that ages the provider list.
    typedef uint64_t (*SecondsClock)();

    CLANDAPObj();
    ~CLANDAPObj() override;

    FinderResult AssignInitData(const uint8_t* body, unsigned long length, const MAC_ADDR* mac,
                                const uint32_t* interfaceAddr) override;
    void SetAuthentication(const char* user, const char* password) override;
    // Re-reads the device information from the camera.
    FinderResult UpdateNetworkSetting(uint16_t seq) override;
    // kFinderOk accepted, kFinderCamRefused refused, kFinderCamAuthFailed
    // status 4, kFinderFail no usable reply.
    FinderResult VerifyAuthorization(uint16_t seq) override;
    // Set result; the stored credentials stay as they are.
    FinderResult ChangeAdminPassword(const char* user, const char* password, uint16_t seq) override;
    // Stores the setting, then writes it to the camera (0xA2).
    FinderResult SetNetworkSetting(const _NetworkSetting* setting, uint16_t seq) override;

    // Settings commands. Sets return the set result (LandapDecodeSetResult,
    // or kFinderFail for no usable reply), gets kFinderOk with the record
    // written or kFinderFail with it untouched.
    FinderResult SetCameraSetting(const _LANDAP_Basic_Set* rec, uint16_t seq);
    FinderResult SetCameraAdvNetwork(const _LANDAPAdvNetworkSettings* rec, uint16_t seq);
    FinderResult SetCameraWireless(const _LANDAPWirelessSettings* rec, uint16_t seq);
    FinderResult SetCameraDatetime(const _LANDAPDatetime* rec, uint16_t seq);
    FinderResult SetCameraSimpleWireless(const _LANDAPSimpleWireless* rec, uint16_t seq);
    FinderResult ResetCamera(uint16_t seq);
    FinderResult FactoryResetCamera(uint16_t seq);
    FinderResult CommitSettings(uint16_t seq);
    FinderResult DoGetCameraAdvNetwork(_LANDAP_Get_AdvNetwork_Pack* out, uint16_t seq);
    FinderResult GetCameraAdvNetwork(_LANDAPAdvNetworkSettings* out, uint16_t seq);
    FinderResult DoGetCameraWireless(_LANDAP_Get_Wireless_Pack* out, uint16_t seq);
    FinderResult GetCameraWireless(_LANDAPWirelessSettings* out, uint16_t seq);
    FinderResult GetCameraWirelessCap(_LANDAPWirelessCapability* out, uint16_t seq);
    FinderResult GetCameraDatetime(_LANDAPDatetime* out, uint16_t seq);
    FinderResult GetCameraSimpleWireless(_LANDAPSimpleWireless* out, uint16_t seq);
    FinderResult GetWirelessAssociatedStatus(_tLANDAP_Wireless_AssociatedStatus* out, uint16_t seq);
    FinderResult QueryNetworkStatus(_LANDAPNetworkStatus* out, uint16_t seq);

    // Site survey: start a scan (set result), then read it page by page.
    FinderResult InitWirelessSiteSurvey(uint16_t seq);
    // count: capacity in, stations found out. kFinderOk, kFinderTooSmall
    // (count set to the number found, nothing copied) or kFinderFail.
    FinderResult GetWirelessSiteSurInfo(_LANDAPWirelessStation* stations, int& count, uint16_t seq);
    // The page walk of a survey read. buf (kLandapSurveyPageSize bytes)
    // holds the first page, received bytes long; receiveNext fills buf with
    // the next datagram and returns its length. kFinderOk with the stations
    // appended, kFinderFail for a bad or missing page.
    FinderResult WalkSiteSurvey(uint8_t* buf, int received, const std::function<int()>& receiveNext,
                                uint16_t seq, std::vector<_LANDAPWirelessStation>* stations) const;

    // The camera's optional commands, read once and cached. count: capacity
    // in, codes out. kFinderOk, kFinderTooSmall (count set to the number
    // needed), kFinderFail (no reply or a null array), kFinderCamRefused,
    // kFinderCamAuthFailed.
    FinderResult GetSupportedCommand(uint16_t* codes, int* count, uint16_t seq);
    // Fills the cache from a 0xA5 reply of received bytes: kFinderOk,
    // kFinderCamRefused or kFinderCamAuthFailed.
    FinderResult TakeSupportedCommands(const uint8_t* reply, int received, uint16_t seq);
    int GetSupportedCmdCount() const { return m_SupportedCmdNum; }

    // DDNS providers, taken from the 0xA6 pack.
    FinderResult GetDDNSProviderList(uint16_t seq);
    bool NeedUpdateDDNSList() const;
    int GetDDNSProvidersCount() const { return int(m_DDNSNames.size()); }
    // Copies name which with its NUL (dst holds 128 bytes): kFinderOk for a
    // name of at least one character; kFinderFail for an empty name, an
    // index outside the list or a null dst.
    FinderResult GetDDNSProvider(int which, char* dst) const;
    void UpdateDDNSProviders(const char* text);
    void CleanUpDDNSProviders();
    // Replaces the clock of the list's age (null: the monotonic clock).
    static void SetDDNSClock(SecondsClock clock);

    // Remote access, port 62977. The two reads: kFinderOk, kFinderCamFailed
    // (reply refused, record still filled) or kFinderNoReply.
    FinderResult GetTessel12Enabled(_TESSEL12Enable* out, uint16_t seq);
    FinderResult Tessel12QueryProcState(_TESSEL12ProcStatus* out, uint16_t seq);
    FinderResult EnableTessel12(const _TESSEL12Enable* rec, uint16_t seq);
    FinderResult QueryTessel12URL(_TESSEL12URL* out, uint16_t seq);

    // kFinderOk after the camera's device information was read again.
    FinderResult UpdateCameraInfo(uint16_t seq);
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
    // kFinderBadRecord for a null reply.
    FinderResult ProcessResponse(const _LANDAPPacket* reply);

    // Request building in the packet buffer, shared by every command.
    // The request header for this camera, body length 0.
    LandapHeader RequestHeader(uint16_t command, uint16_t seq) const;
    // Header only, body length 0.
    void FillRequestHeader(uint16_t command, uint16_t seq);
    // Header and the authentication block.
    void BuildAuthRequest(uint16_t command, uint16_t seq);
    // Header, the record at body offset 128 and the authentication block.
    void BuildRecordRequest(uint16_t command, uint16_t seq, const uint8_t* record,
                            size_t recordSize);
    // Prints the missing-credentials line when both texts (or, with
    // eitherMissing, one of them) are empty. The request still goes out.
    void WarnIfNoAuthentication(bool eitherMissing) const;
    // Checks of a get-type reply in the packet buffer: kFinderOk or
    // kFinderFail.
    FinderResult CheckGetReply(int received, uint16_t seq) const;
    // Checks and decodes a set-type reply in the packet buffer: kFinderFail
    // when it is not the answer to this request, else the set-result
    // decoding.
    FinderResult CheckSetReply(int received, uint16_t seq);

    // The pseudo-random spread added to time-outs: rand() mod range.
    static unsigned long Jitter(unsigned range);

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
    // The exchange of every command built in the packet buffer: CommitData
    // with retry mode 1, the reply over the request. Replaceable so that the
    // reply handling can be driven without a network.
    virtual int Transact(unsigned replyLen, unsigned long baseMs, uint16_t port);
    // A set-type command already built: exchange (62976 unless told) and
    // decode.
    FinderResult RunSet(uint16_t seq, unsigned long baseMs = LandapBaseTimeout,
                        uint16_t port = LandapPort);
    // A set whose body is the authentication block alone.
    FinderResult AuthSet(uint16_t command, uint16_t seq);
    // A set of one record after the authentication block; kFinderFail for a
    // null rec.
    template <typename Record>
    FinderResult RecordSet(const Record* rec, uint16_t command, uint16_t seq,
                           unsigned long baseMs = LandapBaseTimeout, uint16_t port = LandapPort);
    // A get already built: exchange and reply check. On 0 the first
    // bodySize body bytes of the packet buffer hold the record (zero where
    // the reply was short); bodyLen >= 0 must equal the reply's body length.
    FinderResult RunGet(unsigned bodySize, int bodyLen, uint16_t seq,
                        unsigned long baseMs = LandapBaseTimeout, uint16_t port = LandapPort);
    // A get with the authentication block, the record decoded from the reply
    // body; exactLen: the reply's body length must be the record's size.
    template <typename Record>
    FinderResult PlainGet(Record* out, uint16_t command, uint16_t seq, bool eitherMissing,
                          bool exactLen = false, unsigned long baseMs = LandapBaseTimeout,
                          uint16_t port = LandapPort);
    // One part of a pack that getPack reads: kFinderFail for a null out or a
    // failed read.
    template <typename Pack, typename Part>
    FinderResult PackPart(Part* out, Part Pack::*part,
                          FinderResult (CLANDAPObj::*getPack)(Pack*, uint16_t), uint16_t seq);
    // The two remote-access reads: kFinderNoReply without a reply, else the
    // record decoded and kFinderOk, or kFinderCamFailed when the reply
    // checks failed.
    template <typename Record>
    FinderResult Tessel12Read(Record* out, uint16_t command, uint16_t seq);
    // The resend ladder of the own-loop commands: sends the packet buffer's
    // request up to kOwnLoopSends times until a receive brings something.
    int SendUntilAnswer(CBCModule& sock, uint8_t* buf, unsigned bufLen, unsigned long* timeout);

    _CmdResult m_CmdResult;
    _LANDAP_Device_Info m_DeviceInfo;
    uint8_t m_DeviceInfoBytes[_LANDAP_Device_Info::WireSize] = {};
    LANDAPPacketBuffer m_Packet;
    char m_UserText[kAuthTextSize] = {};     // Base64 of the user name
    char m_PasswordText[kAuthTextSize] = {}; // Base64 of the password
    std::vector<std::unique_ptr<_stDDNSName>> m_DDNSNames;
    uint64_t m_DDNSFetchTime = 0; // seconds of the DDNS clock
    bool m_DDNSFetched = false;
    uint16_t m_SupportedCmds[kMaxSupportedCmds] = {};
    int m_SupportedCmdNum = 0; // 0 = not fetched yet
};

// The request templates the command files share.

template <typename Record>
FinderResult CLANDAPObj::RecordSet(const Record* rec, uint16_t command, uint16_t seq,
                                   unsigned long baseMs, uint16_t port)
{
    if (!rec)
        return kFinderFail;
    uint8_t raw[Record::WireSize] = {};
    rec->Encode(raw, sizeof raw);
    BuildRecordRequest(command, seq, raw, sizeof raw);
    return RunSet(seq, baseMs, port);
}

template <typename Record>
FinderResult CLANDAPObj::PlainGet(Record* out, uint16_t command, uint16_t seq, bool eitherMissing,
                                  bool exactLen, unsigned long baseMs, uint16_t port)
{
    if (!out)
        return kFinderFail;
    WarnIfNoAuthentication(eitherMissing);
    BuildAuthRequest(command, seq);
    if (RunGet(unsigned(Record::WireSize), exactLen ? int(Record::WireSize) : -1, seq, baseMs,
               port) != kFinderOk)
        return kFinderFail;
    out->Decode(m_Packet->Body(), Record::WireSize);
    return kFinderOk;
}

#endif
