#include "landap/CLANDAPMgr.h"

#include "net/CBCModule.h"

#include <arpa/inet.h>

#include <cstring>
#include <memory>
#include <string>

CLANDAPObj* CLANDAPMgr::GetLANDAPObj(int i) const
{
    return dynamic_cast<CLANDAPObj*>(GetCameraObj(i));
}

CLANDAPObj* CLANDAPMgr::BeginSetCommand(int i)
{
    CLANDAPObj* cam = GetLANDAPObj(i);
    if (cam)
        cam->ClearCmdResult();
    return cam;
}

FinderResult CLANDAPMgr::SearchCamByIntf(const char* intfAddr, int length, unsigned long budgetMs)
{
    if (!intfAddr || length < 1)
        return kFinderFail;
    // The text need not be terminated within length.
    std::string text(intfAddr, strnlen(intfAddr, size_t(length)));
    in_addr local{};
    if (inet_pton(AF_INET, text.c_str(), &local) != 1)
        local.s_addr = INADDR_NONE;

    LandapHeader h;
    h.LandapSignature = LandapRequestSignature;
    h.LandapSeqNo = m_SeqNo;
    h.LandapCommand = LandapCmdGetDeviceInfo;
    std::memcpy(h.LandapTargetMAC, g_NULLMac, sizeof h.LandapTargetMAC);
    h.LandapTargetIP = 0;
    h.LandapStatus = 0;
    h.LandapFixedOne = 1;
    h.LandapBodyLen = 0;
    uint8_t request[LandapHeader::WireSize];
    h.Encode(request);

    CBCModule sock;
    if (sock.Create(&local.s_addr, 0, 0) != 0)
        return kFinderFail;
    // Every camera answers at once; the replies wait here until read.
    sock.SetReceiveBuffer(kSearchReceiveBuffer);
    sock.Send(request, sizeof request, nullptr, LandapPort, 0, nullptr);
    int handled = sock.Receive(budgetMs, nullptr, 0, nullptr, &CLANDAPMgr::FoundCamera, this);
    sock.Destroy();
    ++m_SeqNo;
    return handled > 0 ? kFinderOk : kFinderFail;
}

int CLANDAPMgr::FoundCamera(void* ctx, uint8_t* datagram, unsigned long length, sockaddr_in* sender,
                            uint32_t* boundAddr)
{
    static_cast<CLANDAPMgr*>(ctx)->DoFoundCamera(datagram, length, sender, boundAddr);
    return 1;
}

void CLANDAPMgr::DoFoundCamera(const uint8_t* datagram, unsigned long length,
                               const sockaddr_in* sender, const uint32_t* boundAddr)
{
    auto from = [sender] { return sender ? inet_ltoa(sender->sin_addr.s_addr) : std::string(); };
    if (!datagram || length < LandapHeader::WireSize) {
        BCPrint("Unknown packet received from addr: %s\n", from().c_str());
        return;
    }
    LandapHeader h = LandapHeader::Decode(datagram);
    unsigned long bodyLen = length - LandapHeader::WireSize;
    if (h.LandapBodyLen != bodyLen) {
        BCPrint("Immature packet received from addr: %s, expect body: %u, only: %u\n",
                from().c_str(), unsigned(h.LandapBodyLen), unsigned(bodyLen));
        return;
    }
    if (h.LandapSignature != LandapReplySignature || h.LandapCommand != LandapCmdGetDeviceInfo ||
        h.LandapFixedOne != 1 || h.LandapSeqNo != m_SeqNo || h.LandapStatus != 0) {
        BCPrint("Bad packet received from addr: %s, Error code: %u\n", from().c_str(),
                unsigned(h.LandapStatus));
        return;
    }
    MAC_ADDR mac;
    std::memcpy(mac.addr, h.LandapTargetMAC, sizeof mac.addr);
    if (FindCamByMAC(&mac))
        return;

    const uint8_t* body = datagram + LandapHeader::WireSize;
    auto cam = std::make_unique<CLANDAPObj>();
    if (cam->AssignInitData(body, h.LandapBodyLen, &mac, boundAddr) != kFinderOk)
        return;
    m_Cams.push_back(cam.release());
    if (m_Notify)
        m_Notify(m_NotifyCtx, const_cast<uint8_t*>(body), h.LandapBodyLen);
}
