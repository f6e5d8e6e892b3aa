#include "api/CLibModule.h"

#include "Common.h"
#include "session/ModalType.h"
#include "RiloAssert.h"
#include "session/CHTTPNotifyLive.h"
#include "session/CHTTPSCHLive.h"

#include <cstring>
#include <new>

namespace {

const int kDefaultAuthType = 2;
const int kDigestSecondSet = 3;
// The talk-back sender's queue: 4 buffers of 1024 bytes.
const unsigned kTalkBufferCount = 4;
const unsigned kTalkBufferSize = 1024;

} // namespace

CLibModule::CLibModule(unsigned nCreateParam, unsigned nModalType)
    : m_nModalType(nModalType), m_nCreateParam(nCreateParam), m_nProfileID(0), m_settings(),
      m_nRefusalsSaid(0)
{
    m_settings.nAuthType = kDefaultAuthType;
}

CLibModule::~CLibModule()
{
    StopAllStream();
    DestroyNotify();
}

bool CLibModule::CreateLive()
{
    m_pLive.reset(new (std::nothrow) CHTTPSCHLive());
    if (m_pLive && m_pLive->Create(m_nCreateParam))
        return true;
    m_pLive.reset();
    return false;
}

void CLibModule::StopAllStream()
{
    if (!m_pLive)
        return;
    m_pLive->StopAll();
    // Joins the session's thread: no callback of it runs after this.
    m_pLive->Destroy();
    m_pLive.reset();
}

bool DetermineAssignVideoModalType(CLibModule* h, const CLibModule::Settings& s, int* pProfile)
{
    if (!h->m_pLive)
        return false;
    char szURL[kStreamURLSize];
    unsigned kind = 0;
    int profile = *pProfile;
    if (!MakeVideoModalURL(h->m_nModalType, s.nAuthType, s.szHost, unsigned(s.nPort), &profile,
                           szURL, sizeof szURL, &kind) ||
        !h->m_pLive->AssignURL(szURL, kind))
        return false;
    *pProfile = profile;
    return true;
}

bool DetermineAssignAudioModalType(CLibModule* h, const CLibModule::Settings& s)
{
    if (!h->m_pLive)
        return false;
    if (IsFixedURLModalFamily(h->m_nModalType)) {
        DiagPrint(kDiagOut, "Current not support audio for these camera!\n");
        return false;
    }
    char szURL[kStreamURLSize];
    return MakeAudioModalURL(h->m_nModalType, s.nAuthType, s.szHost, unsigned(s.nPort), szURL,
                             sizeof szURL) &&
           h->m_pLive->AssignAudioURL(szURL, 0);
}

bool CLibModule::FitsText(const char* lpszText)
{
    RILO_ASSERT(lpszText != NULL);
    return std::strlen(lpszText) < kTextSize;
}

bool CLibModule::StoreText(char (&field)[kTextSize], const char* lpszText)
{
    if (!FitsText(lpszText))
        return false;
    RiloCopyText(field, kTextSize, lpszText);
    return true;
}

bool CLibModule::StoreLocked(char (&field)[kTextSize], const char* lpszText)
{
    std::lock_guard<std::mutex> g(m_lock);
    return StoreText(field, lpszText);
}

bool CLibModule::SetHost(const char* lpszHost, int nPort)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (!StoreText(m_settings.szHost, lpszHost))
        return false;
    m_settings.nPort = nPort;
    return true;
}

bool CLibModule::SetCredentials(const char* lpszUser, const char* lpszPass, int nAuthType)
{
    // Both checked first: a refused call changes neither.
    if (!FitsText(lpszUser) || !FitsText(lpszPass))
        return false;
    std::lock_guard<std::mutex> g(m_lock);
    RiloCopyText(m_settings.szUser, sizeof m_settings.szUser, lpszUser);
    RiloCopyText(m_settings.szPass, sizeof m_settings.szPass, lpszPass);
    m_settings.nAuthType = nAuthType;
    return true;
}

bool CLibModule::SetAuthData(const char* lpszValue)
{
    return StoreLocked(m_settings.strAuthData, lpszValue);
}

bool CLibModule::SetAuthOption(const char* lpszOption)
{
    return StoreLocked(m_settings.strAuthOpt, lpszOption);
}

void CLibModule::SetConnectMode(int nMode)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_settings.nConnectMode = nMode;
}

void CLibModule::SetRecordingInterval(int nKind, int nValue)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_settings.nRecIntervalKind = nKind;
    m_settings.nRecIntervalValue = nValue;
}

void CLibModule::SetStreamNotify(StreamEventHandler pfnHandler, void* pUser)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_settings.pfnStreamNotify = pfnHandler;
    m_settings.pStreamNotifyUser = pUser;
}

void CLibModule::SetProfileID(int nProfileID)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_nProfileID = nProfileID;
}

CLibModule::Settings CLibModule::TakeSettings() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_settings;
}

bool CLibModule::FirstRefusal(CDeliveryScope::Kind kind)
{
    const unsigned bit = 1u << unsigned(kind);
    return (m_nRefusalsSaid.fetch_or(bit) & bit) == 0;
}

void CLibModule::ApplyTalkCredentials(const Settings& s, int nAuthType)
{
    const bool bDigest = nAuthType == 3 || nAuthType == 4;
    if (s.strAuthData[0] && !(bDigest && s.strAuthOpt[0])) {
        DiagPrint(kDiagOut, "[m_strAuthData]=%s\n", s.strAuthData);
        m_WaveOut.SetAuthorization(s.strAuthData);
        return;
    }
    DiagPrint(kDiagOut, "[SetAuthData]nAuthType = %d, m_strAuthOpt=%s\n", nAuthType, s.strAuthOpt);
    char szUser[kTextSize];
    char szPass[kTextSize];
    RiloCopyText(szUser, sizeof szUser, s.szUser);
    RiloCopyText(szPass, sizeof szPass, s.szPass);
    if (s.strAuthOpt[0]) {
        if (!DecBase64AuthData(s.strAuthOpt, szUser, sizeof szUser, szPass, sizeof szPass))
            DiagPrint(kDiagOut, "DecBase64AuthData return failed.\n");
        DiagPrint(kDiagOut, "username=%s, password=%s\n", szUser, szPass);
    }
    m_WaveOut.SetAuthData(szUser, szPass, nAuthType);
}

int CLibModule::StartTwoWayAudio(int nPath, TalkEventCallback pfnCallback, void* pUser)
{
    if (nPath < 1 || nPath > 3) {
        DiagPrint(kDiagErr, "[RiloStartTwoWayAudioCB]No such path to stream out...\n");
        return -3;
    }
    const Settings s = TakeSettings();
    // The walkie-talkie path always answers Digest of the second set.
    const int nAuthType = nPath == 3 ? kDigestSecondSet : s.nAuthType;
    char szURL[kStreamURLSize];
    m_WaveOut.SetExtraInfo(nPath);
    if (!MakeTalkURL(nPath, nAuthType, s.szHost, unsigned(s.nPort), szURL, sizeof szURL) ||
        !m_WaveOut.AssignURL(szURL))
        return -1;
    m_WaveOut.SetBufferSize(kTalkBufferCount, kTalkBufferSize);
    ApplyTalkCredentials(s, nAuthType);
    return m_WaveOut.InitWaveOut(pfnCallback, pUser) ? 0 : -1;
}

int CLibModule::StartAudioStreamOut(TalkEventCallback pfnCallback, void* pUser)
{
    const Settings s = TakeSettings();
    char szURL[kStreamURLSize];
    if (!MakeTalkURL(1, s.nAuthType, s.szHost, unsigned(s.nPort), szURL, sizeof szURL) ||
        !m_WaveOut.AssignURL(szURL))
        return -1;
    m_WaveOut.SetBufferSize(kTalkBufferCount, kTalkBufferSize);
    s.ApplyAuthorization(&m_WaveOut);
    return m_WaveOut.InitWaveOut(pfnCallback, pUser) ? 0 : -1;
}

bool CLibModule::CreateNotify()
{
    m_pNotifyLive.reset(new (std::nothrow) CHTTPNotifyLive());
    if (m_pNotifyLive && m_pNotifyLive->Create())
        return true;
    m_pNotifyLive.reset();
    return false;
}

int CLibModule::StartNotify()
{
    if (!m_pNotifyLive)
        return -1;
    const Settings s = TakeSettings();
    char szURL[kStreamURLSize];
    if (!MakeNotifyURL(s.nAuthType, s.szHost, unsigned(s.nPort), szURL, sizeof szURL) ||
        !m_pNotifyLive->AssignNotifyURL(szURL))
        return -1;
    s.ApplyAuthorization(m_pNotifyLive.get());
    return m_pNotifyLive->StartNotify(true) ? 0 : -1;
}

int CLibModule::StopNotify()
{
    if (!m_pNotifyLive)
        return -1;
    // Only the stream ends: the handle can start notification again.
    m_pNotifyLive->StopNotifyHTTP();
    return 0;
}

void CLibModule::DestroyNotify()
{
    if (!m_pNotifyLive)
        return;
    m_pNotifyLive->StopNotify();
    m_pNotifyLive->Destroy();
    m_pNotifyLive.reset();
}
