#include "landap/CLANDAPObj.h"

#include "ByteOrder.h"
#include "landap/LandapAuth.h"
#include "net/CBCModule.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kCommitTries = 7;  // resends after the first send
constexpr int kRefreshTries = 3; // resends per pass of a refresh

} // namespace

unsigned long CLANDAPObj::Jitter(unsigned range)
{
    return static_cast<unsigned long>(static_cast<unsigned>(std::rand()) % range);
}

CLANDAPObj::CLANDAPObj() = default;

CLANDAPObj::~CLANDAPObj() = default;

void CLANDAPObj::StoreDeviceInfoBytes(const uint8_t* body)
{
    std::memcpy(m_DeviceInfoBytes, body, sizeof m_DeviceInfoBytes);
    _LANDAP_Device_Info info;
    info.Decode(body, _LANDAP_Device_Info::WireSize);
    m_DeviceInfo = info;
    const _LANDAP_Basic_Set& b = info.BasicSet;
    m_NetSetting.DHCP = b.DHCP != 0 ? 1 : 0;
    m_NetSetting.IPAddr = b.IPAddr;
    m_NetSetting.SubnetMask = b.SubnetMask;
    m_NetSetting.Gateway = b.Gateway;
    m_NetSetting.DNS1 = b.DNS1;
    m_NetSetting.DNS2 = b.DNS2;
    m_CamAddr = b.IPAddr;
}

void CLANDAPObj::StoreCamInfo(const _LANDAP_Device_Info* info)
{
    if (!info)
        return;
    uint8_t bytes[_LANDAP_Device_Info::WireSize] = {};
    info->Encode(bytes, sizeof bytes);
    StoreDeviceInfoBytes(bytes);
}

FinderResult CLANDAPObj::AssignInitData(const uint8_t* body, unsigned long length,
                                        const MAC_ADDR* mac, const uint32_t* interfaceAddr)
{
    CLANCamObject::AssignInitData(body, length, mac, interfaceAddr);
    if (length != _LANDAP_Device_Info::WireSize)
        return kFinderFail;
    if (body)
        StoreDeviceInfoBytes(body);
    return kFinderOk;
}

void CLANDAPObj::SetAuthentication(const char* user, const char* password)
{
    CLANCamObject::SetAuthentication(user, password);
    LandapEncodeAuthText(user, m_UserText, sizeof m_UserText);
    LandapEncodeAuthText(password, m_PasswordText, sizeof m_PasswordText);
}

FinderResult CLANDAPObj::UpdateNetworkSetting(uint16_t seq)
{
    return UpdateCameraInfo(seq);
}

FinderResult CLANDAPObj::UpdateCameraInfo(uint16_t seq)
{
    LandapHeader h = RequestHeader(LandapCmdGetDeviceInfo, seq);
    uint8_t request[LandapHeader::WireSize];
    h.Encode(request);

    CBCModule sock;
    if (sock.Create(&m_IntfAddr, 0, 0) != 0)
        return kFinderFail;

    uint8_t* reply = m_Packet->bytes;
    unsigned long timeout = LandapBaseTimeout + Jitter(500);
    int tries = kRefreshTries;
    bool secondPass = false;
    bool send = true;
    int n = 0;
    for (;;) {
        if (send)
            sock.Send(request, sizeof request, nullptr, LandapPort, 0, nullptr);
        n = sock.Receive(timeout, reply, kDeviceInfoReplySize, nullptr, nullptr, nullptr);
        if (n > 0) {
            if (size_t(n) >= LandapHeader::OffTargetMAC + sizeof m_MAC.addr &&
                std::memcmp(reply + LandapHeader::OffTargetMAC, m_MAC.addr, sizeof m_MAC.addr) == 0)
                break;
            // Another camera's datagram: listen again without a resend, but
            // it costs a try, so a steady foreign sender cannot hold us here.
            if (tries > 0) {
                --tries;
                send = false;
                continue;
            }
        } else if (tries > 0) {
            --tries;
            BCPrint("Retry %d time\n", kRefreshTries - tries);
            timeout += 200 + Jitter(300);
            send = true;
            continue;
        }
        if (secondPass) {
            sock.Destroy();
            return kFinderFail;
        }
        // Some cameras answer only a request without the marker.
        secondPass = true;
        h.LandapStatus = 0;
        h.Encode(request);
        timeout = LandapBaseTimeout + Jitter(500);
        tries = kRefreshTries;
        send = true;
    }
    sock.Destroy();

    // A short reply would leave bytes of an older exchange in the body.
    if (unsigned(n) < kDeviceInfoReplySize)
        return kFinderFail;
    LandapHeader r = LandapHeader::Decode(reply);
    MAC_ADDR from;
    std::memcpy(from.addr, r.LandapTargetMAC, sizeof from.addr);
    if (r.LandapBodyLen != _LANDAP_Device_Info::WireSize || r.LandapSeqNo != seq ||
        !IsMACMatch(&from) || r.LandapStatus != 0)
        return kFinderFail;
    StoreDeviceInfoBytes(reply + LandapHeader::WireSize);
    m_bNetChanged = 0;
    StampUpdate();
    return kFinderOk;
}

int CLANDAPObj::CommitData(_LANDAPPacket* request, uint8_t* dst, unsigned replyLen,
                           unsigned long baseMs, int retry, uint16_t port)
{
    if (!request || !dst || replyLen == 0)
        return 0;
    if (replyLen > kLandapPacketSize)
        replyLen = unsigned(kLandapPacketSize);
    size_t requestLen = LandapHeader::WireSize + request->Header().LandapBodyLen;
    if (requestLen > kLandapPacketSize)
        requestLen = kLandapPacketSize;

    CBCModule sock;
    if (sock.Create(nullptr, 0, 0) != 0)
        return 0;
    std::vector<uint8_t> received(replyLen, 0);
    unsigned long timeout = baseMs + Jitter(500);
    int tries = kCommitTries;
    int n = 0;
    for (;;) {
        sock.Send(request->bytes, requestLen, nullptr, port, 0, nullptr);
        n = sock.Receive(timeout, received.data(), replyLen, nullptr, nullptr, nullptr);
        BCPrint("Commit Data result:  %d bytes!\n", n);
        if (n == int(replyLen) || retry != 1)
            break;
        // Whatever the last receive left in the status field.
        if (replyLen >= LandapHeader::OffStatus + 2 &&
            GetLE16(received.data() + LandapHeader::OffStatus) == 4)
            break;
        if (--tries < 0)
            break;
        BCPrint("Get iRet=%d != nRcvSize=%d, so Retry : last iRetry=%d\n", n, int(replyLen), tries);
        timeout += 200 + Jitter(300);
    }
    sock.Destroy();
    if (n != 0)
        std::memcpy(dst, received.data(), replyLen);
    return n;
}

void CLANDAPObj::MakeAuthField(uint8_t* body, uint16_t* bodyLen)
{
    if (!body || !bodyLen)
        return;
    LandapWriteAuthBlock(body, m_UserText, m_PasswordText);
    *bodyLen = uint16_t(kLandapAuthBlockSize);
}

FinderResult CLANDAPObj::ProcessResponse(const _LANDAPPacket* reply)
{
    if (!reply)
        return kFinderBadRecord;
    return LandapDecodeSetResult(reply->bytes, &m_CmdResult);
}

LandapHeader CLANDAPObj::RequestHeader(uint16_t command, uint16_t seq) const
{
    LandapHeader h;
    h.LandapSignature = LandapRequestSignature;
    h.LandapSeqNo = seq;
    h.LandapCommand = command;
    std::memcpy(h.LandapTargetMAC, m_MAC.addr, sizeof h.LandapTargetMAC);
    h.LandapTargetIP = m_CamAddr;
    h.LandapStatus = LandapRequestMarker;
    h.LandapFixedOne = 1;
    h.LandapBodyLen = 0;
    return h;
}

void CLANDAPObj::FillRequestHeader(uint16_t command, uint16_t seq)
{
    m_Packet->SetHeader(RequestHeader(command, seq));
}

void CLANDAPObj::BuildAuthRequest(uint16_t command, uint16_t seq)
{
    FillRequestHeader(command, seq);
    uint16_t bodyLen = 0;
    MakeAuthField(m_Packet->Body(), &bodyLen);
    PutLE16(m_Packet->bytes + LandapHeader::OffBodyLen, bodyLen);
}

void CLANDAPObj::BuildRecordRequest(uint16_t command, uint16_t seq, const uint8_t* record,
                                    size_t recordSize)
{
    if (recordSize > kLandapMaxBody - kLandapAuthBlockSize)
        recordSize = kLandapMaxBody - kLandapAuthBlockSize;
    FillRequestHeader(command, seq);
    size_t bodyLen = kLandapAuthBlockSize + recordSize;
    std::memset(m_Packet->Body(), 0, bodyLen);
    PutLE16(m_Packet->bytes + LandapHeader::OffBodyLen, uint16_t(bodyLen));
    if (record && recordSize)
        std::memcpy(m_Packet->Body() + kLandapAuthBlockSize, record, recordSize);
    uint16_t unused = 0;
    MakeAuthField(m_Packet->Body(), &unused);
}

void CLANDAPObj::WarnIfNoAuthentication(bool eitherMissing) const
{
    bool noUser = m_UserText[0] == 0;
    bool noPassword = m_PasswordText[0] == 0;
    if (eitherMissing ? (noUser || noPassword) : (noUser && noPassword))
        BCPrint("Authentication information does not exist!\n");
}

FinderResult CLANDAPObj::CheckGetReply(int received, uint16_t seq) const
{
    if (received < 1 || size_t(received) < LandapHeader::WireSize)
        return kFinderFail;
    LandapHeader r = m_Packet->Header();
    MAC_ADDR from;
    std::memcpy(from.addr, r.LandapTargetMAC, sizeof from.addr);
    if (r.LandapStatus != 0 || r.LandapSeqNo != seq || !IsMACMatch(&from))
        return kFinderFail;
    return kFinderOk;
}

FinderResult CLANDAPObj::CheckSetReply(int received, uint16_t seq)
{
    if (received <= 0 || size_t(received) < LandapHeader::WireSize)
        return kFinderFail;
    LandapHeader r = m_Packet->Header();
    MAC_ADDR from;
    std::memcpy(from.addr, r.LandapTargetMAC, sizeof from.addr);
    if (r.LandapSeqNo != seq || !IsMACMatch(&from))
        return kFinderFail;
    return LandapDecodeSetResult(m_Packet->bytes, &m_CmdResult);
}

int CLANDAPObj::Transact(unsigned replyLen, unsigned long baseMs, uint16_t port)
{
    return CommitData(m_Packet.get(), m_Packet->bytes, replyLen, baseMs, 1, port);
}

FinderResult CLANDAPObj::RunSet(uint16_t seq, unsigned long baseMs, uint16_t port)
{
    int n = Transact(kSetReplySize, baseMs, port);
    return CheckSetReply(n, seq);
}

FinderResult CLANDAPObj::AuthSet(uint16_t command, uint16_t seq)
{
    WarnIfNoAuthentication(false);
    BuildAuthRequest(command, seq);
    return RunSet(seq);
}

FinderResult CLANDAPObj::RunGet(unsigned bodySize, int bodyLen, uint16_t seq, unsigned long baseMs,
                                uint16_t port)
{
    int n = Transact(unsigned(LandapHeader::WireSize) + bodySize, baseMs, port);
    if (CheckGetReply(n, seq) != kFinderOk)
        return kFinderFail;
    if (bodyLen >= 0 && m_Packet->Header().LandapBodyLen != unsigned(bodyLen))
        return kFinderFail;
    return kFinderOk;
}
