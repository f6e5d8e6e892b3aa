// CLANDAPObj: the site survey, the supported-command list and the DDNS
// provider list.
#include "landap/CLANDAPObj.h"

#include "ByteOrder.h"
#include "net/CBCModule.h"

#include <algorithm>
#include <cstring>

namespace {

uint64_t MonotonicSeconds()
{
    return MonotonicMs() / 1000;
}

CLANDAPObj::SecondsClock g_DDNSClock = MonotonicSeconds;

// The largest code list a 262-byte reply can carry.
constexpr size_t kMaxReplyCodes = (CLANDAPObj::kSupportedCmdReplySize - LandapHeader::WireSize) / 2;

} // namespace

int CLANDAPObj::SendUntilAnswer(CBCModule& sock, uint8_t* buf, unsigned bufLen,
                                unsigned long* timeout)
{
    size_t requestLen = LandapHeader::WireSize + m_Packet->Header().LandapBodyLen;
    int n = 0;
    for (int sends = 0; sends < kOwnLoopSends; ++sends) {
        if (sends > 0)
            *timeout += 200 + Jitter(300);
        sock.Send(m_Packet->bytes, requestLen, nullptr, LandapPort, 0, nullptr);
        n = sock.Receive(*timeout, buf, bufLen, nullptr, nullptr, nullptr);
        if (n > 0)
            return n;
    }
    return 0;
}

FinderResult CLANDAPObj::InitWirelessSiteSurvey(uint16_t seq)
{
    return AuthSet(LandapCmdInitWirelessSiteSurvey, seq);
}

FinderResult CLANDAPObj::GetWirelessSiteSurInfo(_LANDAPWirelessStation* stations, int& count,
                                                uint16_t seq)
{
    if (!stations)
        return kFinderFail;
    WarnIfNoAuthentication(false);
    BuildAuthRequest(LandapCmdGetWirelessSiteSurInfo, seq);

    CBCModule sock;
    if (sock.Create(nullptr, 0, 0) != 0)
        return kFinderFail;
    unsigned long timeout = LandapBaseTimeout + Jitter(500);
    std::vector<uint8_t> buf(kLandapSurveyPageSize, 0);
    const unsigned bufLen = unsigned(buf.size());
    int n = SendUntilAnswer(sock, buf.data(), bufLen, &timeout);
    std::vector<_LANDAPWirelessStation> found;
    FinderResult rc = kFinderFail;
    if (n > 0) {
        // Later pages follow on their own; they are not asked for again.
        auto next = [&]() {
            return sock.Receive(timeout, buf.data(), bufLen, nullptr, nullptr, nullptr);
        };
        rc = WalkSiteSurvey(buf.data(), n, next, seq, &found);
    }
    sock.Destroy();
    if (rc != kFinderOk)
        return kFinderFail;

    // A negative capacity holds nothing.
    size_t capacity = count > 0 ? size_t(count) : 0;
    count = int(found.size());
    if (capacity < found.size())
        return kFinderTooSmall;
    std::copy(found.begin(), found.end(), stations);
    return kFinderOk;
}

FinderResult CLANDAPObj::WalkSiteSurvey(uint8_t* buf, int received,
                                        const std::function<int()>& receiveNext, uint16_t seq,
                                        std::vector<_LANDAPWirelessStation>* stations) const
{
    if (!buf || !stations)
        return kFinderFail;
    for (int page = 1;; ++page) {
        if (received <= 0)
            return kFinderFail; // a continuation page that never came
        size_t avail = std::min(size_t(received), kLandapSurveyPageSize);
        if (avail < LandapHeader::WireSize)
            return kFinderFail;
        LandapHeader h = LandapHeader::Decode(buf);
        MAC_ADDR from;
        std::memcpy(from.addr, h.LandapTargetMAC, sizeof from.addr);
        if (h.LandapStatus != 0 || h.LandapSeqNo != seq || !IsMACMatch(&from))
            return kFinderFail;
        // The body length is the camera's word: it must fit what arrived,
        // or the marker and stations would come from an older page.
        size_t bodyLen = h.LandapBodyLen;
        if (bodyLen > avail - LandapHeader::WireSize || bodyLen > kLandapSurveyMaxBody)
            return kFinderFail;
        const uint8_t* body = buf + LandapHeader::WireSize;
        if (bodyLen >= kLandapSurveyTrailer) {
            size_t num = (bodyLen - kLandapSurveyTrailer) / _LANDAPWirelessStation::WireSize;
            for (size_t i = 0; i < num; ++i) {
                _LANDAPWirelessStation st;
                st.Decode(body + i * _LANDAPWirelessStation::WireSize,
                          _LANDAPWirelessStation::WireSize);
                stations->push_back(st);
            }
        }
        bool more = bodyLen >= 2 && GetLE16(body + bodyLen - 2) == LandapMoreFollows;
        if (!more)
            return kFinderOk;
        // A camera that never stops paging is not followed for ever.
        if (page >= kMaxSurveyPages)
            return kFinderFail;
        received = receiveNext ? receiveNext() : 0;
    }
}

FinderResult CLANDAPObj::GetSupportedCommand(uint16_t* codes, int* count, uint16_t seq)
{
    if (!codes || !count)
        return kFinderFail;
    WarnIfNoAuthentication(false);
    if (m_SupportedCmdNum == 0) {
        BuildAuthRequest(LandapCmdGetSupportedCommand, seq);
        CBCModule sock;
        if (sock.Create(nullptr, 0, 0) != 0)
            return kFinderFail;
        unsigned long timeout = LandapBaseTimeout + Jitter(500);
        uint8_t buf[kSupportedCmdReplySize] = {};
        int n = SendUntilAnswer(sock, buf, sizeof buf, &timeout);
        sock.Destroy();
        if (n <= 0)
            return kFinderFail;
        FinderResult rc = TakeSupportedCommands(buf, n, seq);
        if (rc != kFinderOk)
            return rc;
    }
    if (*count < m_SupportedCmdNum) {
        *count = m_SupportedCmdNum;
        return kFinderTooSmall;
    }
    std::memcpy(codes, m_SupportedCmds, size_t(m_SupportedCmdNum) * sizeof codes[0]);
    *count = m_SupportedCmdNum;
    return kFinderOk;
}

FinderResult CLANDAPObj::TakeSupportedCommands(const uint8_t* reply, int received, uint16_t seq)
{
    if (!reply || received < int(LandapHeader::WireSize))
        return kFinderCamRefused;
    LandapHeader h = LandapHeader::Decode(reply);
    MAC_ADDR from;
    std::memcpy(from.addr, h.LandapTargetMAC, sizeof from.addr);
    if (h.LandapStatus != 0 || h.LandapSeqNo != seq || !IsMACMatch(&from))
        return h.LandapStatus == 4 ? kFinderCamAuthFailed : kFinderCamRefused;
    // Only codes that arrived, and no more than a reply can hold.
    size_t num = std::min({size_t(h.LandapBodyLen) / 2,
                           (size_t(received) - LandapHeader::WireSize) / 2, kMaxReplyCodes});
    m_SupportedCmdNum = 0;
    const uint8_t* body = reply + LandapHeader::WireSize;
    for (size_t i = 0; i < num && m_SupportedCmdNum < kMaxSupportedCmds; ++i) {
        uint16_t code = GetLE16(body + 2 * i);
        if (code >= LandapCmdGetCameraAdvNetwork && code <= LandapCmdQueryNetworkStatus)
            m_SupportedCmds[m_SupportedCmdNum++] = code;
    }
    return kFinderOk;
}

FinderResult CLANDAPObj::GetDDNSProviderList(uint16_t seq)
{
    _LANDAP_Get_AdvNetwork_Pack pack;
    return DoGetCameraAdvNetwork(&pack, seq);
}

void CLANDAPObj::SetDDNSClock(SecondsClock clock)
{
    g_DDNSClock = clock ? clock : MonotonicSeconds;
}

bool CLANDAPObj::NeedUpdateDDNSList() const
{
    if (!m_DDNSFetched)
        return true;
    // Unsigned, so a clock that went back also asks again.
    return g_DDNSClock() - m_DDNSFetchTime > kDDNSMaxAgeSeconds;
}

FinderResult CLANDAPObj::GetDDNSProvider(int which, char* dst) const
{
    if (!dst || unsigned(which) >= m_DDNSNames.size())
        return kFinderFail;
    const _stDDNSName* slot = m_DDNSNames[size_t(which)].get();
    if (!slot)
        return kFinderFail;
    size_t len = strnlen(slot->name, sizeof slot->name - 1);
    std::memcpy(dst, slot->name, len);
    dst[len] = '\0';
    return len > 0 ? kFinderOk : kFinderFail;
}

void CLANDAPObj::UpdateDDNSProviders(const char* text)
{
    CleanUpDDNSProviders();
    size_t len = text ? strnlen(text, _LANDAP_Get_AdvNetwork_Pack::ProviderListWidth) : 0;
    if (len > 0) {
        // Every part counts, empty ones included.
        size_t start = 0;
        for (;;) {
            const void* sep = std::memchr(text + start, ';', len - start);
            size_t end = sep ? size_t(static_cast<const char*>(sep) - text) : len;
            auto slot = std::make_unique<_stDDNSName>();
            std::memset(slot->name, 0, sizeof slot->name);
            std::memcpy(slot->name, text + start, std::min(end - start, sizeof slot->name - 1));
            m_DDNSNames.push_back(std::move(slot));
            if (!sep)
                break;
            start = end + 1;
        }
    }
    m_DDNSFetchTime = g_DDNSClock();
    m_DDNSFetched = true;
}

void CLANDAPObj::CleanUpDDNSProviders()
{
    m_DDNSNames.clear();
}
