#include "session/ModalType.h"

#include "session/CHTTPSCHLive.h"

#include <cstdio>

namespace {

// Digest under type 3 talks to the second set of endpoints.
const int kSecondURLSetAuthType = 3;

enum : unsigned {
    kAudioULaw = 0x10,
    kAudioADPCM = 0x20,
    kAudioAAC = 0x40,
    kVideoMPEG4 = 0,
    kVideoMPEG4Alt = 2,
    kVideoH264 = 4,
};

unsigned AudioCodec(unsigned nModalType)
{
    return nModalType & 0xF0;
}

unsigned VideoCodec(unsigned nModalType)
{
    return nModalType & 0x0F;
}

// Host text as it stands (an IPv6 address keeps its brackets), port, and
// the profile where the form has one.
bool Format(char* pszURL, size_t nSize, const char* pszForm, const char* lpszHost, unsigned nPort,
            int nProfile = 0)
{
    if (!pszURL || nSize == 0 || !lpszHost)
        return false;
    const int n = std::snprintf(pszURL, nSize, pszForm, lpszHost, nPort, nProfile);
    if (n < 0 || size_t(n) >= nSize) {
        pszURL[0] = 0;
        return false;
    }
    return true;
}

const char* Pick(int nAuthType, const char* pszFirst, const char* pszSecond)
{
    return nAuthType == kSecondURLSetAuthType ? pszSecond : pszFirst;
}

} // namespace

unsigned ModalFamily(unsigned nModalType)
{
    return (nModalType >> 8) & 0xFF;
}

bool IsRefusedModalFamily(unsigned nModalType)
{
    switch (ModalFamily(nModalType)) {
    case 0x20:
    case 0x42:
    case 0x50:
    case 0x60:
        return true;
    default:
        return false;
    }
}

bool IsFixedURLModalFamily(unsigned nModalType)
{
    const unsigned family = ModalFamily(nModalType);
    return family == 0x30 || family == 0x40 || family == 0x41;
}

bool MakeVideoModalURL(unsigned nModalType, int nAuthType, const char* lpszHost, unsigned nPort,
                       int* pProfile, char* pszURL, size_t nSize, unsigned* pKind)
{
    const char* pszForm;
    unsigned kind = CHTTPSCHLive::kKindMJPEG;
    int profile = *pProfile;
    if (IsFixedURLModalFamily(nModalType)) {
        pszForm =
            ModalFamily(nModalType) == 0x41 ? "http://%s:%u/mjpeg.cgi" : "http://%s:%u/VIDEO.CGI";
        profile = 0;
    } else {
        switch (VideoCodec(nModalType)) {
        case kVideoMPEG4:
        case kVideoMPEG4Alt:
            pszForm = Pick(nAuthType, "http://%s:%u/video/ACVS.cgi?profileid=%d",
                           "http://%s:%u/av2/ACVS.cgi?profileid=%d");
            kind = CHTTPSCHLive::kKindMPEG4;
            break;
        case kVideoH264:
            pszForm = Pick(nAuthType, "http://%s:%u/video/ACVS-H264.cgi?profileid=%d",
                           "http://%s:%u/av2/ACVS-H264.cgi?profileid=%d");
            kind = CHTTPSCHLive::kKindH264;
            break;
        default:
            pszForm = Pick(nAuthType, "http://%s:%u/video/mjpg.cgi?profileid=%d",
                           "http://%s:%u/av2/mjpg.cgi?profileid=%d");
            break;
        }
    }
    if (!Format(pszURL, nSize, pszForm, lpszHost, nPort, profile))
        return false;
    *pProfile = profile;
    *pKind = kind;
    return true;
}

bool MakeAudioModalURL(unsigned nModalType, int nAuthType, const char* lpszHost, unsigned nPort,
                       char* pszURL, size_t nSize)
{
    if (IsFixedURLModalFamily(nModalType))
        return false;
    const char* pszForm;
    switch (AudioCodec(nModalType)) {
    case kAudioULaw:
        pszForm = Pick(nAuthType, "http://%s:%u/audio/ACAS-ULAW.cgi?sec=0",
                       "http://%s:%u/av2/ACAS-ULAW.cgi?sec=0");
        break;
    case kAudioADPCM:
        pszForm = Pick(nAuthType, "http://%s:%u/audio/ACAS-MSADPCM.cgi",
                       "http://%s:%u/av2/ACAS-MSADPCM.cgi");
        break;
    case kAudioAAC:
        pszForm = "http://%s:%u/audio/ACAS-AAC.cgi";
        break;
    default:
        pszForm = Pick(nAuthType, "http://%s:%u/audio/ACAS.cgi", "http://%s:%u/av2/ACAS.cgi");
        break;
    }
    return Format(pszURL, nSize, pszForm, lpszHost, nPort);
}

bool MakeNotifyURL(int nAuthType, const char* lpszHost, unsigned nPort, char* pszURL, size_t nSize)
{
    return Format(
        pszURL, nSize,
        Pick(nAuthType, "http://%s:%u/cgi/web_event.cgi", "http://%s:%u/event2/web_event.cgi"),
        lpszHost, nPort);
}

bool MakeTalkURL(int nPath, int nAuthType, const char* lpszHost, unsigned nPort, char* pszURL,
                 size_t nSize)
{
    const char* pszForm;
    switch (nPath) {
    case 1:
        pszForm = Pick(nAuthType, "http://%s:%u/dev/speaker.cgi", "http://%s:%u/av2/speaker.cgi");
        break;
    case 2:
        pszForm = "http://%s:%u/dev/speaker2.cgi";
        break;
    case 3:
        pszForm = "http://%s:%u/dev2/dgtalkie.cgi";
        break;
    default:
        return false;
    }
    return Format(pszURL, nSize, pszForm, lpszHost, nPort);
}
