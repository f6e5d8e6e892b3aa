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
    : m_nProfileID(0), m_nModalType(nModalType), m_nCreateParam(nCreateParam), m_szHost(),
      m_nPort(0), m_szUser(), m_szPass(), m_strAuthData(), m_nAuthType(kDefaultAuthType),
      m_nConnectMode(0), m_strAuthOpt(), m_nRecIntervalKind(0), m_nRecIntervalValue(0),
      m_pfnStreamNotify(nullptr), m_pStreamNotifyUser(nullptr)
{
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

bool DetermineAssignVideoModalType(CLibModule* h, int* pProfile)
{
    if (!h->m_pLive)
        return false;
    char szURL[kStreamURLSize];
    unsigned kind = 0;
    int profile = *pProfile;
    if (!MakeVideoModalURL(h->m_nModalType, h->m_nAuthType, h->m_szHost, unsigned(h->m_nPort),
                           &profile, szURL, sizeof szURL, &kind) ||
        !h->m_pLive->AssignURL(szURL, kind))
        return false;
    *pProfile = profile;
    return true;
}

bool DetermineAssignAudioModalType(CLibModule* h)
{
    if (!h->m_pLive)
        return false;
    if (IsFixedURLModalFamily(h->m_nModalType)) {
        DiagPrint(kDiagOut, "Current not support audio for these camera!\n");
        return false;
    }
    char szURL[kStreamURLSize];
    return MakeAudioModalURL(h->m_nModalType, h->m_nAuthType, h->m_szHost, unsigned(h->m_nPort),
                             szURL, sizeof szURL) &&
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

bool CLibModule::SetHost(const char* lpszHost, int nPort)
{
    if (!StoreText(m_szHost, lpszHost))
        return false;
    m_nPort = nPort;
    return true;
}

bool CLibModule::SetCredentials(const char* lpszUser, const char* lpszPass, int nAuthType)
{
    // Both checked first: a refused call changes neither.
    if (!FitsText(lpszUser) || !FitsText(lpszPass))
        return false;
    RiloCopyText(m_szUser, sizeof m_szUser, lpszUser);
    RiloCopyText(m_szPass, sizeof m_szPass, lpszPass);
    m_nAuthType = nAuthType;
    return true;
}

bool CLibModule::SetAuthData(const char* lpszValue)
{
    return StoreText(m_strAuthData, lpszValue);
}

bool CLibModule::SetAuthOption(const char* lpszOption)
{
    return StoreText(m_strAuthOpt, lpszOption);
}

void CLibModule::ApplyTalkCredentials(int nAuthType)
{
    const bool bDigest = nAuthType == 3 || nAuthType == 4;
    if (m_strAuthData[0] && !(bDigest && m_strAuthOpt[0])) {
        DiagPrint(kDiagOut, "[m_strAuthData]=%s\n", m_strAuthData);
        m_WaveOut.SetAuthorization(m_strAuthData);
        return;
    }
    DiagPrint(kDiagOut, "[SetAuthData]nAuthType = %d, m_strAuthOpt=%s\n", nAuthType, m_strAuthOpt);
    char szUser[kTextSize];
    char szPass[kTextSize];
    RiloCopyText(szUser, sizeof szUser, m_szUser);
    RiloCopyText(szPass, sizeof szPass, m_szPass);
    if (m_strAuthOpt[0]) {
        if (!DecBase64AuthData(m_strAuthOpt, szUser, sizeof szUser, szPass, sizeof szPass))
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
    // The walkie-talkie path always answers Digest of the second set.
    const int nAuthType = nPath == 3 ? kDigestSecondSet : m_nAuthType;
    char szURL[kStreamURLSize];
    m_WaveOut.SetExtraInfo(nPath);
    if (!MakeTalkURL(nPath, nAuthType, m_szHost, unsigned(m_nPort), szURL, sizeof szURL) ||
        !m_WaveOut.AssignURL(szURL))
        return -1;
    m_WaveOut.SetBufferSize(kTalkBufferCount, kTalkBufferSize);
    ApplyTalkCredentials(nAuthType);
    return m_WaveOut.InitWaveOut(pfnCallback, pUser) ? 0 : -1;
}

int CLibModule::StartAudioStreamOut(TalkEventCallback pfnCallback, void* pUser)
{
    char szURL[kStreamURLSize];
    if (!MakeTalkURL(1, m_nAuthType, m_szHost, unsigned(m_nPort), szURL, sizeof szURL) ||
        !m_WaveOut.AssignURL(szURL))
        return -1;
    m_WaveOut.SetBufferSize(kTalkBufferCount, kTalkBufferSize);
    ApplyAuthorization(&m_WaveOut);
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
    char szURL[kStreamURLSize];
    if (!MakeNotifyURL(m_nAuthType, m_szHost, unsigned(m_nPort), szURL, sizeof szURL) ||
        !m_pNotifyLive->AssignNotifyURL(szURL))
        return -1;
    ApplyAuthorization(m_pNotifyLive.get());
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
