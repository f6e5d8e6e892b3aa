#include "session/CHTTPSCHLive.h"

#include "Common.h"
#include "RiloAssert.h"
#include "session/CDeliveryScope.h"
#include "session/CameraURL.h"
#include "stream/CHTTPH264Stream.h"
#include "stream/CHTTPMJPStrm.h"
#include "stream/CHTTPMP4Strm.h"
#include "stream/CHTTPPCMStrm.h"

#include <cstdint>
#include <new>
#include <utility>

// The session mutex for one locked operation. Streams taken out of the
// session under it are ended (worker joined, queued events dropped) once it
// is released, so no worker is joined under the session mutex.
class CHTTPSCHLive::CSessionLock {
public:
    explicit CSessionLock(CHTTPSCHLive& s) : m_s(s) { m_s.m_mutex.lock(); }
    ~CSessionLock()
    {
        m_s.m_mutex.unlock();
        m_s.FinishRetired();
    }
    CSessionLock(const CSessionLock&) = delete;
    CSessionLock& operator=(const CSessionLock&) = delete;

private:
    CHTTPSCHLive& m_s;
};

CHTTPSCHLive::CHTTPSCHLive()
    : m_nCreateValue(0), m_nPort(0), m_nAudioPort(0), m_nDelayThreshold(kDefaultDelayThreshold),
      m_bLiveVideo(false), m_hVideoRecorder(nullptr), m_bLiveAudio(false), m_nStreamKind(0),
      m_bDecoderFlag(false), m_proxy(kDefaultProxyPort), m_bVideoReconnect(false),
      m_bAudioReconnect(false), m_bRenderMode(false), m_pfnRender(nullptr), m_pRenderUser(nullptr),
      m_pfnAudio(nullptr), m_pAudioUser(nullptr), m_pfnHandler(nullptr), m_pHandlerUser(nullptr),
      m_bRecordVideoFirst(true), m_pHttpCtrl(nullptr),
      m_pHttpAudCtrl(nullptr), m_hAudioRecorder(nullptr), m_nAudioUseCount(0),
      m_nIntervalValue(1800), m_nIntervalKind(0), m_dwDiskReserve(kDefaultDiskReserve),
      m_nLiveProfile(0), m_nRecordProfile(0), m_nConnectMode(0),
      m_pictureTarget{this, nullptr, nullptr},
      m_audioTargets{{this, nullptr, nullptr}, {this, nullptr, nullptr}}, m_nAudioTarget(0)
{
}

CHTTPSCHLive::~CHTTPSCHLive()
{
    Destroy();
}

// ---- configuration ---------------------------------------------------------

bool CHTTPSCHLive::Create(unsigned int value)
{
    m_nCreateValue = value;
    return m_queue.Start();
}

bool CHTTPSCHLive::Destroy()
{
    StopAll();
    {
        // Whatever a failed or partial start left behind goes too.
        CSessionLock lock(*this);
        while (!m_streams.empty())
            StopHTTPByProfileID(m_streams.front()->GetProfileID());
        if (m_pHttpCtrl) {
            Retire(m_pHttpCtrl);
            m_pHttpCtrl = nullptr;
        }
        StopAudioHTTP();
    }
    const bool bWasRunning = m_queue.IsRunning();
    m_queue.Stop();
    return bWasRunning;
}

void CHTTPSCHLive::SetConnectMode(int nMode)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_nConnectMode = nMode;
}

void CHTTPSCHLive::SetAuthData(const char* lpszUser, const char* lpszPass, int nType)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_auth.SetAuthData(lpszUser, lpszPass, nType);
}

void CHTTPSCHLive::SetAuthorization(const char* lpszAuth)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_auth.SetAuthorization(lpszAuth);
}

void CHTTPSCHLive::SetAuthMD5Realm(const char* lpszRealm)
{
    RILO_ASSERT(lpszRealm!=NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    m_auth.strRealm = lpszRealm;
}

bool CHTTPSCHLive::AssignURL(const char* lpszURL, unsigned int nKind)
{
    RILO_ASSERT(lpszURL != NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    m_nStreamKind = nKind;
    m_strURL = lpszURL;
    CameraURL url;
    if (!SplitCameraURL(lpszURL, &url))
        return false;
    m_strHost = url.host;
    m_nPort = url.port;
    m_strReqObject = url.path;
    return true;
}

bool CHTTPSCHLive::AssignAudioURL(const char* lpszURL, unsigned int)
{
    RILO_ASSERT(lpszURL != NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    m_strAudioURL = lpszURL;
    CameraURL url;
    if (!SplitCameraURL(lpszURL, &url))
        return false;
    m_strAudioHost = url.host;
    m_nAudioPort = url.port;
    m_strAudioReqObject = url.path;
    return true;
}

void CHTTPSCHLive::AssignServerInfo(const char* lpszServer, unsigned int nPort)
{
    RILO_ASSERT(lpszServer != NULL);
    RILO_ASSERT(nPort!=0);
    std::lock_guard<std::mutex> g(m_mutex);
    m_strHost = lpszServer;
    m_nPort = nPort;
}

void CHTTPSCHLive::AssignReqObject(const char* lpszObject, unsigned int nKind)
{
    RILO_ASSERT(lpszObject != NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    m_strReqObject = lpszObject;
    m_nStreamKind = nKind;
}

void CHTTPSCHLive::AssignProxy(const char* lpszProxy, unsigned int nPort)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_proxy.Assign(lpszProxy, nPort);
}

void CHTTPSCHLive::UseProxy(bool bUse)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_proxy.bUseProxy = bUse;
}

void CHTTPSCHLive::UseBypass(bool bUse)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_proxy.bUseBypass = bUse;
}

void CHTTPSCHLive::AssignSpecifiedBypass(const char* lpszBypass)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_proxy.AssignBypass(lpszBypass);
}

void CHTTPSCHLive::SetDelayThreshold(unsigned int nThreshold)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_nDelayThreshold = nThreshold;
}

bool CHTTPSCHLive::SetCallbackRenderMode(bool bMode, VideoRenderCallback pfnCallback, void* user)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_bRenderMode = bMode;
    if (bMode) {
        RILO_ASSERT(pfnCallback!= NULL);
        m_pfnRender = pfnCallback;
        m_pRenderUser = user;
    } else {
        m_pfnRender = nullptr;
        m_pRenderUser = nullptr;
    }
    return true;
}

bool CHTTPSCHLive::SetAudioCallbackRender(AudioRenderCallback pfnCallback, void* user)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_pfnAudio = pfnCallback;
    m_pAudioUser = pfnCallback ? user : nullptr;
    return true;
}

void CHTTPSCHLive::SetStreamNotifyCB(StreamEventHandler pfnHandler, void* user)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_pfnHandler = pfnHandler;
    m_pHandlerUser = user;
}

void CHTTPSCHLive::SetLimitSpace(unsigned long bytes)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_dwDiskReserve = bytes;
}

void CHTTPSCHLive::ClampRecordingInterval(long* value, long* kind)
{
    struct Range {
        long kind, max, fallback;
    };
    static const Range ranges[] = {{0, 14399, 1800}, {1, 239, 30}, {16, 2047, 1024}, {17, 2, 1}};
    const Range* r = &ranges[0];
    for (const Range& c : ranges)
        if (c.kind == *kind)
            r = &c;
    *kind = r->kind;
    if (*value < 1 || *value > r->max)
        *value = r->fallback;
}

void CHTTPSCHLive::SetRecordingInterval(long value, long kind)
{
    ClampRecordingInterval(&value, &kind);
    std::lock_guard<std::mutex> g(m_mutex);
    m_nIntervalValue = value;
    m_nIntervalKind = kind;
}

// ---- streams leaving the session -------------------------------------------

void CHTTPSCHLive::Retire(CHTTPCtrl* pStream)
{
    if (pStream)
        m_retired.push_back(pStream);
}

void CHTTPSCHLive::FinishRetired()
{
    std::vector<CHTTPCtrl*> done;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        done.swap(m_retired);
    }
    for (CHTTPCtrl* pStream : done) {
        // Joins the worker and its transport: nothing posts for it after this.
        pStream->Destroy();
        // Its events still queued are dropped, and a running call of it is over.
        m_queue.Discard(pStream);
    }
}

// ---- video streams ---------------------------------------------------------

CHTTPVisStrm* CHTTPSCHLive::GetStreamByProfileID(int nProfileID)
{
    for (CHTTPVisStrm* s : m_streams)
        if (s->GetProfileID() == nProfileID)
            return s;
    return nullptr;
}

bool CHTTPSCHLive::AddStreamToArray(CHTTPVisStrm* pStream)
{
    if (!pStream)
        return false;
    if (GetStreamByProfileID(pStream->GetProfileID())) {
        DiagPrint(kDiagOut, "[CHTTPSCHLive::AddStreamToArray]stream is already exist, profile id = %d\r\n",
                  pStream->GetProfileID());
        return false;
    }
    m_streams.push_back(pStream);
    DiagPrint(kDiagOut, "[CHTTPSCHLive::AddStreamToArray]add profile id = %d\r\n",
              pStream->GetProfileID());
    return true;
}

bool CHTTPSCHLive::RemoveStreamByProfileID(int nProfileID)
{
    for (auto it = m_streams.begin(); it != m_streams.end(); ++it) {
        if ((*it)->GetProfileID() == nProfileID) {
            m_streams.erase(it);
            return true;
        }
    }
    return false;
}

CHTTPVisStrm* CHTTPSCHLive::NewVideoStream()
{
    const bool bTLS = m_nConnectMode == 1;
    switch (m_nStreamKind) {
    case kKindMPEG4:
        return new (std::nothrow) CHTTPMP4Strm(kVideoNotifyMsg, bTLS, m_auth.nAuthType);
    case kKindH264:
        return new (std::nothrow) CHTTPH264Stream(kVideoNotifyMsg, bTLS, m_auth.nAuthType);
    default:
        return new (std::nothrow) CHTTPMJPStrm(kVideoNotifyMsg, bTLS, m_auth.nAuthType);
    }
}

bool CHTTPSCHLive::ConfigureStream(CHTTPCtrl* pStream, HTTPNotifyMessageCB pfnNotify)
{
    m_auth.ApplyTo(*pStream);
    pStream->SetNotifyMessageCB(pfnNotify, this);
    pStream->SetEventPoster(CSessionMsgQueue::PostHTTPEvent, &m_queue);
    if (pStream->Create())
        return true;
    pStream->Destroy();
    return false;
}

int CHTTPSCHLive::CreateHTTP()
{
    if (m_pHttpCtrl)
        return 0;
    CHTTPVisStrm* pStream = NewVideoStream();
    if (!pStream)
        return 0;
    pStream->SetDelayThreshold(m_nDelayThreshold);
    if (!ConfigureStream(pStream, OnHTTPStreamNotify))
        return 0;
    m_pHttpCtrl = pStream;
    return 1;
}

int CHTTPSCHLive::CreateHTTPByProfileID(int nProfileID)
{
    if (GetStreamByProfileID(nProfileID))
        return -1;
    CHTTPVisStrm* pStream = NewVideoStream();
    if (!pStream)
        return 0;
    pStream->SetDelayThreshold(m_nDelayThreshold);
    pStream->SetProfileID(nProfileID);
    if (!ConfigureStream(pStream, OnHTTPStreamNotify))
        return 0;
    AddStreamToArray(pStream);
    return 1;
}

int CHTTPSCHLive::StartHTTPByProfileID(int nProfileID)
{
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (!pStream)
        return 0;
    m_proxy.ApplyTo(*pStream);
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StartHTTPByProfileID]strIP = %s, nPort=%d\n",
              m_strHost.c_str(), int(m_nPort));
    return pStream->Connect(m_strHost.c_str(), m_nPort, m_strReqObject.c_str(), m_bVideoReconnect)
               ? 1
               : 0;
}

void CHTTPSCHLive::StopHTTPByProfileID(int nProfileID)
{
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (pStream) {
        pStream->Disconnect();
        RemoveStreamByProfileID(nProfileID);
        pStream->UninitDecoder();
        Retire(pStream);
        if (pStream == m_pHttpCtrl)
            m_pHttpCtrl = nullptr;
    }
    if (nProfileID == 0)
        m_pHttpCtrl = nullptr;
}

bool CHTTPSCHLive::OpenRenderByProfileID(int nProfileID)
{
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (!pStream)
        return m_bLiveVideo;
    if (m_bRenderMode) {
        {
            std::lock_guard<std::mutex> g(m_deliverLock);
            m_pictureTarget.pfn = m_pfnRender;
            m_pictureTarget.user = m_pRenderUser;
        }
        pStream->SetCallbackRenderMode(
            true, DeliverTo<VideoRenderCallback, BITMAPINFOHEADER*, unsigned char*, unsigned long>,
            &m_pictureTarget);
    } else {
        pStream->SetCallbackRenderMode(false, nullptr, nullptr);
    }
    m_bLiveVideo = pStream->InitDecoder(m_bDecoderFlag);
    return m_bLiveVideo;
}

void CHTTPSCHLive::CloseRenderByProfileID(int nProfileID)
{
    if (CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID))
        pStream->UninitDecoder();
    m_bLiveVideo = false;
}

int CHTTPSCHLive::AddRefByProfileID(int nProfileID)
{
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (!pStream)
        return 0;
    pStream->SetUseCount(pStream->GetUseCount() + 1);
    return pStream->GetUseCount();
}

int CHTTPSCHLive::ReleaseRefByProfileID(int nProfileID)
{
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (!pStream)
        return 0;
    const int nCount = pStream->GetUseCount() - 1;
    if (nCount > 0) {
        pStream->SetUseCount(nCount);
        return nCount;
    }
    pStream->SetUseCount(0);
    DiagPrint(kDiagOut, "[CHTTPSCHLive::ReleaseRefByProfileID] nProfileID = %d\r\n", nProfileID);
    StopHTTPByProfileID(nProfileID);
    return 0;
}

bool CHTTPSCHLive::MakeOrJoinStream(int nProfileID)
{
    int r;
    if (nProfileID != 0) {
        r = CreateHTTPByProfileID(nProfileID);
        if (r == 0)
            return false;
    } else {
        if (CreateHTTP() != 1)
            return false;
        m_pHttpCtrl->SetProfileID(0);
        if (!AddStreamToArray(m_pHttpCtrl)) {
            // Profile 0 is listed already: the new worker is not used.
            Retire(m_pHttpCtrl);
            m_pHttpCtrl = nullptr;
            return false;
        }
        r = 1;
    }
    // A stream that was there already runs: it is not started again.
    if (r == 1 && StartHTTPByProfileID(nProfileID) == 0) {
        StopHTTPByProfileID(nProfileID);
        return false;
    }
    return true;
}

void CHTTPSCHLive::DropUnusedStream(int nProfileID)
{
    // A stream nobody holds is not left connected.
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (pStream && pStream->GetUseCount() == 0) {
        pStream->UninitRecorder();
        StopHTTPByProfileID(nProfileID);
    }
}

bool CHTTPSCHLive::StartVideoStreamRender(bool bReconnect, int nProfileID)
{
    m_bVideoReconnect = bReconnect;
    if (!MakeOrJoinStream(nProfileID))
        return false;
    if (!OpenRenderByProfileID(nProfileID)) {
        DropUnusedStream(nProfileID);
        return false;
    }
    AddRefByProfileID(nProfileID);
    return true;
}

bool CHTTPSCHLive::StartLiveVideo(bool bReconnect, int nProfileID, bool)
{
    CSessionLock lock(*this);
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (pStream && pStream->GetUseCount() > 0) {
        if (m_bLiveVideo || !OpenRenderByProfileID(nProfileID))
            return false;
        AddRefByProfileID(nProfileID);
        m_nLiveProfile = nProfileID;
        return true;
    }
    if (m_bLiveVideo)
        return false;
    m_nLiveProfile = nProfileID;
    return StartVideoStreamRender(bReconnect, nProfileID);
}

void CHTTPSCHLive::StopLiveVideoLocked()
{
    if (m_bLiveVideo) {
        CloseRenderByProfileID(m_nLiveProfile);
        ReleaseRefByProfileID(m_nLiveProfile);
    }
    m_nLiveProfile = 0;
}

void CHTTPSCHLive::StopLiveVideo()
{
    CSessionLock lock(*this);
    StopLiveVideoLocked();
}

bool CHTTPSCHLive::IsLiveVideo()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_bLiveVideo;
}

bool CHTTPSCHLive::GetVideoFPS(double* pdbFPS)
{
    RILO_ASSERT(pdbFPS!=NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    CHTTPVisStrm* pStream = GetStreamByProfileID(m_nLiveProfile);
    if (!pStream)
        return false;
    pStream->GetFPS(pdbFPS);
    return true;
}

bool CHTTPSCHLive::GetVideoBPS(unsigned long* pdwBPS)
{
    RILO_ASSERT(pdwBPS!=NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    CHTTPVisStrm* pStream = GetStreamByProfileID(m_nLiveProfile);
    if (!pStream)
        return false;
    pStream->GetBPS(pdwBPS);
    return true;
}

int CHTTPSCHLive::GetCurrentStreamCount()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return int(m_streams.size());
}

int CHTTPSCHLive::GetUseCountForTest(int nProfileID)
{
    std::lock_guard<std::mutex> g(m_mutex);
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    return pStream ? pStream->GetUseCount() : -1;
}

CHTTPAudStrm* CHTTPSCHLive::GetAudioStreamForTest()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_pHttpAudCtrl;
}

// ---- the audio stream ------------------------------------------------------

int CHTTPSCHLive::CreateAudioHTTP()
{
    if (m_pHttpAudCtrl)
        return 0;
    auto* pStream = new (std::nothrow) CHTTPPCMStrm(kAudioNotifyMsg, m_nConnectMode == 1, m_auth.nAuthType);
    if (!pStream)
        return 0;
    if (!ConfigureStream(pStream, OnAudioHTTPStreamNotify))
        return 0;
    DiagPrint(kDiagOut, "[m_pHttpAudCtrl->Create] == TRUE, threadID = %08llx\n",
              static_cast<unsigned long long>(pStream->GetThreadID()));
    m_pHttpAudCtrl = pStream;
    return 1;
}

int CHTTPSCHLive::StartAudioHTTP()
{
    if (!m_pHttpAudCtrl)
        return 0;
    m_pHttpAudCtrl->Connect(m_strAudioHost.c_str(), m_nAudioPort, m_strAudioReqObject.c_str(),
                            m_bAudioReconnect);
    return 1;
}

void CHTTPSCHLive::StopAudioHTTP()
{
    if (!m_pHttpAudCtrl)
        return;
    m_pHttpAudCtrl->UninitDecoder();
    m_pHttpAudCtrl->Disconnect();
    Retire(m_pHttpAudCtrl);
    m_pHttpAudCtrl = nullptr;
}

bool CHTTPSCHLive::OpenRenderAudio()
{
    if (!m_pHttpAudCtrl)
        return false;
    if (m_pfnAudio) {
        m_pHttpAudCtrl->SetRenderCallback(
            DeliverTo<AudioRenderCallback, unsigned char*, unsigned long, unsigned long, long long*>,
            TakeAudioTarget(m_pfnAudio, m_pAudioUser));
    } else {
        m_pHttpAudCtrl->SetRenderCallback(nullptr, nullptr);
    }
    return m_pHttpAudCtrl->InitDecoder();
}

void CHTTPSCHLive::CloseRenderAudio()
{
    if (m_pHttpAudCtrl)
        m_pHttpAudCtrl->UninitDecoder();
    m_bLiveAudio = false;
}

bool CHTTPSCHLive::StartLiveAudio(bool bReconnect)
{
    CSessionLock lock(*this);
    if (m_bLiveAudio)
        return false;
    if (m_pHttpAudCtrl) {
        if (!OpenRenderAudio())
            return false;
        m_pHttpAudCtrl->SetLive(true);
        m_bLiveAudio = true;
        ++m_nAudioUseCount;
        return true;
    }
    if (CreateAudioHTTP() == 0)
        return false;
    m_bAudioReconnect = bReconnect;
    if (StartAudioHTTP() && OpenRenderAudio()) {
        m_nAudioUseCount = 1;
        m_pHttpAudCtrl->SetLive(true);
        m_bLiveAudio = true;
        return true;
    }
    StopAudioHTTP();
    return false;
}

void CHTTPSCHLive::StopLiveAudioLocked()
{
    if (m_bLiveAudio) {
        const int nWas = m_nAudioUseCount--;
        if (m_pHttpAudCtrl) {
            m_pHttpAudCtrl->UninitDecoder();
            // The recording may go on; the application's callback does not.
            m_pHttpAudCtrl->SetRenderCallback(nullptr, nullptr);
        }
        m_bLiveAudio = false;
        if (nWas <= 1) {
            m_nAudioUseCount = 0;
            StopAudioHTTP();
        }
    }
    if (m_pHttpAudCtrl)
        m_pHttpAudCtrl->SetLive(false);
}

void CHTTPSCHLive::StopLiveAudio()
{
    CSessionLock lock(*this);
    StopLiveAudioLocked();
}

bool CHTTPSCHLive::IsLiveAudio()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_bLiveAudio;
}

// ---- recording -------------------------------------------------------------

bool CHTTPSCHLive::OpenRecorderByProfileID(const char* lpszPath, int nProfileID)
{
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (!pStream)
        return m_hVideoRecorder != nullptr;
    pStream->SetRecordingInterval(m_nIntervalValue, m_nIntervalKind);
    pStream->SetVideoRecordingFirst(m_bRecordVideoFirst);
    m_hVideoRecorder = pStream->InitRecorder(lpszPath, m_hAudioRecorder);
    if (m_hVideoRecorder)
        pStream->SetLimitSpace(m_dwDiskReserve);
    return m_hVideoRecorder != nullptr;
}

void CHTTPSCHLive::CloseRecorderByProfileID(int nProfileID)
{
    if (CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID)) {
        if (m_hVideoRecorder)
            pStream->ReleaseRecorder(m_hVideoRecorder);
        pStream->UninitRecorder();
    }
    m_hVideoRecorder = nullptr;
}

bool CHTTPSCHLive::StartVideoStreamRecorder(const char* lpszPath, int nProfileID)
{
    if (!MakeOrJoinStream(nProfileID))
        return false;
    if (!OpenRecorderByProfileID(lpszPath, nProfileID)) {
        DropUnusedStream(nProfileID);
        return false;
    }
    AddRefByProfileID(nProfileID);
    return true;
}

bool CHTTPSCHLive::StartRecordVideo(const char* lpszPath, bool bReconnect, int nProfileID)
{
    RILO_ASSERT(lpszPath!=NULL);
    CSessionLock lock(*this);
    CHTTPVisStrm* pStream = GetStreamByProfileID(nProfileID);
    if (pStream && pStream->GetUseCount() > 0) {
        if (m_hVideoRecorder)
            return false;
        if (!OpenRecorderByProfileID(lpszPath, nProfileID)) {
            // The live view goes on without a recorder.
            pStream->UninitRecorder();
            return false;
        }
        AddRefByProfileID(nProfileID);
        m_nRecordProfile = nProfileID;
        return true;
    }
    if (m_hVideoRecorder)
        return false;
    m_bVideoReconnect = bReconnect;
    m_nRecordProfile = nProfileID;
    return StartVideoStreamRecorder(lpszPath, nProfileID);
}

void CHTTPSCHLive::StopRecordVideoLocked()
{
    if (m_hVideoRecorder) {
        DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordVideo]1-1...\n");
        CloseRecorderByProfileID(m_nRecordProfile);
        ReleaseRefByProfileID(m_nRecordProfile);
    }
    m_nRecordProfile = 0;
}

void CHTTPSCHLive::StopRecordVideo()
{
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordVideo]enter...\n");
    {
        CSessionLock lock(*this);
        DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordVideo]1...\n");
        StopRecordVideoLocked();
        DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordVideo]2...\n");
    }
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordVideo]leave...\n");
}

bool CHTTPSCHLive::OpenRecorderAudio(const char* lpszPath, bool bSkip)
{
    if (!m_pHttpAudCtrl || bSkip)
        return m_hAudioRecorder != nullptr;
    m_pHttpAudCtrl->SetRecordingInterval(m_nIntervalValue, m_nIntervalKind);
    m_pHttpAudCtrl->SetVideoRecordingFirst(m_bRecordVideoFirst);
    m_hAudioRecorder = m_pHttpAudCtrl->InitRecorder(lpszPath, m_hVideoRecorder);
    if (m_hAudioRecorder)
        m_pHttpAudCtrl->SetLimitSpace(m_dwDiskReserve);
    return m_hAudioRecorder != nullptr;
}

void CHTTPSCHLive::CloseRecorderAudio()
{
    if (m_pHttpAudCtrl) {
        if (m_hAudioRecorder)
            m_pHttpAudCtrl->ReleaseRecorder(m_hAudioRecorder);
        m_pHttpAudCtrl->UninitRecorder();
    }
    m_hAudioRecorder = nullptr;
}

bool CHTTPSCHLive::StartRecordAudio(const char* lpszPath, bool bReconnect, bool bSkip)
{
    CSessionLock lock(*this);
    if (m_nAudioUseCount < 1) {
        if (CreateAudioHTTP() == 0)
            return false;
        m_bAudioReconnect = bReconnect;
        StartAudioHTTP();
        if (OpenRecorderAudio(lpszPath, bSkip)) {
            m_nAudioUseCount = 1;
            return true;
        }
        if (m_pHttpAudCtrl)
            m_pHttpAudCtrl->UninitRecorder();
        StopAudioHTTP();
        return false;
    }
    if (m_hAudioRecorder)
        return false;
    if (!OpenRecorderAudio(lpszPath, bSkip)) {
        if (m_pHttpAudCtrl)
            m_pHttpAudCtrl->UninitRecorder();
        return false;
    }
    ++m_nAudioUseCount;
    return true;
}

void CHTTPSCHLive::StopRecordAudioLocked()
{
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordAudio]1...\n");
    if (!m_hAudioRecorder)
        return;
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordAudio]1-1...\n");
    CloseRecorderAudio();
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordAudio]1-2...\n");
    if (--m_nAudioUseCount <= 0) {
        m_nAudioUseCount = 0;
        StopAudioHTTP();
    }
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordAudio]1-3...\n");
}

void CHTTPSCHLive::StopRecordAudio()
{
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordAudio]enter...\n");
    {
        CSessionLock lock(*this);
        StopRecordAudioLocked();
    }
    DiagPrint(kDiagErr, "[CHTTPSCHLive::StopRecordAudio]leave...\n");
}

bool CHTTPSCHLive::StartRecordAvi(const char* lpszPath, bool bReconnect, int nProfileID)
{
    if (!StartRecordVideo(lpszPath, bReconnect, nProfileID))
        return false;
    if (StartRecordAudio(lpszPath, bReconnect, false))
        return true;
    // Half a recording is no recording: the video side goes too.
    StopRecordVideo();
    return false;
}

bool CHTTPSCHLive::IsRecordVideo()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_hVideoRecorder != nullptr;
}

bool CHTTPSCHLive::IsRecordAudio()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_hAudioRecorder != nullptr;
}

bool CHTTPSCHLive::IsRecordAvi()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_hVideoRecorder != nullptr || m_hAudioRecorder != nullptr;
}

void CHTTPSCHLive::StopRecorder()
{
    StopRecordVideo();
    StopRecordAudio();
}

void CHTTPSCHLive::StopAll()
{
    StopLiveVideo();
    StopRecordVideo();
    StopLiveAudio();
    StopRecordAudio();
}

// ---- events ----------------------------------------------------------------

namespace {

// The code of an event word: its bits 16 to 31 as a signed number, so a
// negative result (a write error, -1) stays negative on a 64-bit long.
int EventCode(unsigned long event)
{
    return int16_t(uint16_t(uint32_t(event) >> 16));
}

unsigned EventKind(unsigned long event)
{
    return uint32_t(event) & 0xFFFFu;
}

// Kind 1 codes 1 to 7 and 10 to 12, the same for video and audio.
bool MapConnectionCode(int code, int* out)
{
    if (code == 1 || code == 2)
        *out = 1;
    else if (code >= 3 && code <= 7)
        *out = code - 1;
    else if (code >= 10 && code <= 12)
        *out = code;
    else
        return false;
    return true;
}

bool MapRecordingEvent(int code, CHTTPSCHLive::EventAction* out)
{
    *out = {CHTTPSCHLive::kCategoryRecording, 0, true};
    switch (code) {
    case -1:
        out->nCode = CHTTPSCHLive::kRecordWriteError;
        return true;
    case 2:
    case 4:
        out->nCode = CHTTPSCHLive::kRecordStopped;
        return true;
    case 3:
        out->nCode = CHTTPSCHLive::kRecordStarted;
        out->bStopRecorder = false;
        return true;
    case 5:
        out->nCode = CHTTPSCHLive::kRecordDiskReserve;
        return true;
    case 6:
        out->nCode = CHTTPSCHLive::kRecordSpaceQuery;
        return true;
    default:
        return false;
    }
}

} // namespace

bool CHTTPSCHLive::MapVideoEvent(unsigned long event, EventAction* out)
{
    const int code = EventCode(event);
    switch (EventKind(event)) {
    case kEventConnection:
        *out = {kCategoryVideo, 0, false};
        if (code == 0)
            return true;
        if (code == 13) {
            out->nCode = 0x10000;
            return true;
        }
        return MapConnectionCode(code, &out->nCode);
    case kEventRecording:
        return MapRecordingEvent(code, out);
    default:
        return false;
    }
}

bool CHTTPSCHLive::MapAudioEvent(unsigned long event, EventAction* out)
{
    switch (EventKind(event)) {
    case kEventConnection:
        *out = {kCategoryAudio, 0, false};
        if (!MapConnectionCode(EventCode(event), &out->nCode))
            out->nCode = 0;
        return true;
    case kEventRecording:
        return MapRecordingEvent(EventCode(event), out);
    default:
        return false;
    }
}

bool CHTTPSCHLive::OnHTTPStreamNotify(void* session, unsigned long stream, unsigned long event)
{
    auto* self = static_cast<CHTTPSCHLive*>(session);
    return self ? self->DoHTTPStreamNotify(stream, event) : false;
}

bool CHTTPSCHLive::OnAudioHTTPStreamNotify(void* session, unsigned long stream, unsigned long event)
{
    auto* self = static_cast<CHTTPSCHLive*>(session);
    return self ? self->DoAudioHTTPStreamNotify(stream, event) : false;
}

void CHTTPSCHLive::Deliver(const EventAction& act)
{
    if (act.bStopRecorder)
        StopRecorder();
    StreamEventHandler pfn;
    void* user;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        pfn = m_pfnHandler;
        user = m_pHandlerUser;
    }
    // Last: the handler may end and free this session.
    if (pfn)
        pfn(user, act.nCategory, act.nCode);
}

CHTTPSCHLive::AudioTarget* CHTTPSCHLive::TakeAudioTarget(AudioRenderCallback pfn, void* user)
{
    std::lock_guard<std::mutex> g(m_deliverLock);
    AudioTarget* t = &m_audioTargets[m_nAudioTarget];
    if (t->pfn != pfn || t->user != user) {
        m_nAudioTarget = 1 - m_nAudioTarget;
        t = &m_audioTargets[m_nAudioTarget];
        t->pfn = pfn;
        t->user = user;
    }
    return t;
}

template <class Fn, class... Args>
void CHTTPSCHLive::DeliverTo(void* target, Args... args)
{
    const auto* t = static_cast<const DeliveryTarget<Fn>*>(target);
    Fn pfn;
    void* user;
    {
        std::lock_guard<std::mutex> g(t->pSession->m_deliverLock);
        pfn = t->pfn;
        user = t->user;
    }
    CDeliveryScope scope(t->pSession);
    if (pfn)
        pfn(user, args...);
}

bool CHTTPSCHLive::DoHTTPStreamNotify(unsigned long stream, unsigned long event)
{
    if (!stream)
        return false;
    if (EventKind(event) == kEventRecording)
        DiagPrint(kDiagErr, "[CHTTPSCHLive::OnHTTPStreamNotify]enter recording handler....msg is %d\n",
                  EventCode(event));
    EventAction act;
    if (!MapVideoEvent(event, &act))
        return false;
    Deliver(act);
    return true;
}

bool CHTTPSCHLive::DoAudioHTTPStreamNotify(unsigned long stream, unsigned long event)
{
    {
        std::lock_guard<std::mutex> g(m_mutex);
        if (!stream || stream != reinterpret_cast<unsigned long>(static_cast<CHTTPCtrl*>(m_pHttpAudCtrl)))
            return false;
    }
    EventAction act;
    if (!MapAudioEvent(event, &act))
        return false;
    Deliver(act);
    return true;
}

bool CHTTPSCHLive::PostMessage(SessionMsgCallback pfnCallback, void* param, unsigned long first,
                               unsigned long second)
{
    return m_queue.PostCallback(pfnCallback, param, first, second);
}
