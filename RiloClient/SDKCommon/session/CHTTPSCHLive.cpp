#include "session/CHTTPSCHLive.h"

#include "Common.h"
#include "RiloAssert.h"
#include "session/CDeliveryScope.h"
#include "session/CameraURL.h"
#include "stream/CHTTPH264Stream.h"
#include "stream/CHTTPMJPStrm.h"
#include "stream/CHTTPMP4Strm.h"
#include "stream/CHTTPPCMStrm.h"

#include <new>
#include <type_traits>
#include <utility>

CHTTPSCHLive::CHTTPSCHLive()
    : CSessionSettings(kDefaultProxyPort), m_nCreateValue(0), m_nPort(0), m_nAudioPort(0),
      m_nDelayThreshold(kDefaultDelayThreshold), m_bLiveVideo(false), m_hVideoRecorder(nullptr),
      m_bLiveAudio(false), m_nStreamKind(0), m_bDecoderFlag(false), m_bVideoReconnect(false),
      m_bAudioReconnect(false),
      m_bRenderMode(false), m_render{nullptr, nullptr}, m_audio{nullptr, nullptr},
      m_bRecordVideoFirst(true), m_hAudioRecorder(nullptr), m_nAudioUseCount(0),
      m_nIntervalValue(1800), m_nIntervalKind(0), m_dwDiskReserve(kDefaultDiskReserve),
      m_nLiveProfile(0), m_nRecordProfile(0), m_pictureTarget(this), m_audioTargets{this, this},
      m_nAudioTarget(0)
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
        while (!m_streams.Empty())
            StopHTTPByProfileID(m_streams.FrontProfile());
        StopAudioHTTP();
    }
    const bool bWasRunning = m_queue.IsRunning();
    m_queue.Stop();
    return bWasRunning;
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
    RILO_ASSERT(nPort != 0);
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
        RILO_ASSERT(pfnCallback != NULL);
        m_render = {pfnCallback, user};
    } else {
        m_render = {nullptr, nullptr};
    }
    return true;
}

bool CHTTPSCHLive::SetAudioCallbackRender(AudioRenderCallback pfnCallback, void* user)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_audio = {pfnCallback, pfnCallback ? user : nullptr};
    return true;
}

void CHTTPSCHLive::SetStreamNotifyCB(StreamEventHandler pfnHandler, void* user)
{
    m_handler.Set(pfnHandler, user);
}

void CHTTPSCHLive::SetLimitSpace(unsigned long bytes)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_dwDiskReserve = bytes;
}

void CHTTPSCHLive::SetRecordingInterval(long value, long kind)
{
    livemaps::ClampRecordingInterval(&value, &kind);
    std::lock_guard<std::mutex> g(m_mutex);
    m_nIntervalValue = value;
    m_nIntervalKind = kind;
}

// ---- streams leaving the session -------------------------------------------

void CHTTPSCHLive::Retire(StreamPtr<CHTTPCtrl> pStream)
{
    if (pStream)
        m_retired.push_back(std::move(pStream));
}

void CHTTPSCHLive::FinishRetired()
{
    std::vector<StreamPtr<CHTTPCtrl>> done;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        done.swap(m_retired);
    }
    for (StreamPtr<CHTTPCtrl>& pStream : done) {
        const CHTTPCtrl* pSource = pStream.get();
        // Joins the worker and its transport: nothing posts for it after this.
        pStream.reset();
        // Its events still queued are dropped, and a running call of it is over.
        m_queue.Discard(pSource);
    }
}

// ---- video streams ---------------------------------------------------------

CHTTPVisStrm* CHTTPSCHLive::GetStreamByProfileID(int nProfileID)
{
    return m_streams.Find(nProfileID);
}

StreamPtr<CHTTPVisStrm> CHTTPSCHLive::NewVideoStream()
{
    const bool bTLS = UseTLS();
    const int nAuthType = m_auth.nAuthType;
    CHTTPVisStrm* pStream;
    switch (m_nStreamKind) {
    case kKindMPEG4:
        pStream = new (std::nothrow) CHTTPMP4Strm(kVideoNotifyMsg, bTLS, nAuthType);
        break;
    case kKindH264:
        pStream = new (std::nothrow) CHTTPH264Stream(kVideoNotifyMsg, bTLS, nAuthType);
        break;
    default:
        pStream = new (std::nothrow) CHTTPMJPStrm(kVideoNotifyMsg, bTLS, nAuthType);
        break;
    }
    return StreamPtr<CHTTPVisStrm>(pStream);
}

bool CHTTPSCHLive::ConfigureStream(CHTTPCtrl& stream, HTTPNotifyMessageCB pfnNotify)
{
    m_auth.ApplyTo(stream);
    stream.SetNotifyMessageCB(pfnNotify, this);
    stream.SetEventPoster(CSessionMsgQueue::PostHTTPEvent, &m_queue);
    return stream.Create();
}

int CHTTPSCHLive::CreateHTTP()
{
    // The profile-0 stream is the one listed under profile 0.
    return CreateHTTPByProfileID(0) == 1 ? 1 : 0;
}

int CHTTPSCHLive::CreateHTTPByProfileID(int nProfileID)
{
    if (m_streams.Find(nProfileID))
        return -1;
    StreamPtr<CHTTPVisStrm> pStream = NewVideoStream();
    if (!pStream)
        return 0;
    pStream->SetDelayThreshold(m_nDelayThreshold);
    // One whose worker did not start ends here: there is no worker to wait for.
    if (!ConfigureStream(*pStream, OnHTTPStreamNotify))
        return 0;
    m_streams.Add(nProfileID, pStream);
    return 1;
}

int CHTTPSCHLive::StartHTTPByProfileID(int nProfileID)
{
    CHTTPVisStrm* pStream = m_streams.Find(nProfileID);
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
    CHTTPVisStrm* pStream = m_streams.Find(nProfileID);
    if (!pStream)
        return;
    pStream->Disconnect();
    StreamPtr<CHTTPVisStrm> pOwned = m_streams.Remove(nProfileID);
    pOwned->UninitDecoder();
    Retire(std::move(pOwned));
}

bool CHTTPSCHLive::OpenRenderByProfileID(int nProfileID)
{
    CHTTPVisStrm* pStream = m_streams.Find(nProfileID);
    if (!pStream)
        return m_bLiveVideo;
    if (m_bRenderMode) {
        m_pictureTarget.callback.Set(m_render.pfn, m_render.user);
        pStream->SetCallbackRenderMode(
            true, DeliverTo<VideoRenderCallback, BITMAPINFOHEADER*, unsigned char*, unsigned long>,
            &m_pictureTarget);
    } else {
        pStream->SetCallbackRenderMode(false, nullptr, nullptr);
    }
    // Set first: the decoder may deliver a picture before InitDecoder returns.
    m_bLiveVideo = true;
    m_bLiveVideo = pStream->InitDecoder(m_bDecoderFlag);
    return m_bLiveVideo;
}

void CHTTPSCHLive::CloseRenderByProfileID(int nProfileID)
{
    if (CHTTPVisStrm* pStream = m_streams.Find(nProfileID))
        pStream->UninitDecoder();
    m_bLiveVideo = false;
}

int CHTTPSCHLive::AddRefByProfileID(int nProfileID)
{
    return m_streams.AddRef(nProfileID);
}

int CHTTPSCHLive::ReleaseRefByProfileID(int nProfileID)
{
    const int nCount = m_streams.Release(nProfileID);
    if (nCount < 0)
        return 0; // no stream
    if (nCount > 0)
        return nCount;
    DiagPrint(kDiagOut, "[CHTTPSCHLive::ReleaseRefByProfileID] nProfileID = %d\r\n", nProfileID);
    StopHTTPByProfileID(nProfileID);
    return 0;
}

int CHTTPSCHLive::MakeStream(int nProfileID)
{
    return nProfileID == 0 ? CreateHTTP() : CreateHTTPByProfileID(nProfileID);
}

bool CHTTPSCHLive::ConnectNewStream(int nProfileID)
{
    if (StartHTTPByProfileID(nProfileID) != 0)
        return true;
    StopHTTPByProfileID(nProfileID);
    return false;
}

bool CHTTPSCHLive::MakeOrJoinStream(int nProfileID)
{
    const int r = MakeStream(nProfileID);
    // A stream that was there already runs: it is not started again.
    return r != 0 && (r != 1 || ConnectNewStream(nProfileID));
}

void CHTTPSCHLive::DropUnusedStream(int nProfileID)
{
    // A stream nobody holds is not left connected.
    CHTTPVisStrm* pStream = m_streams.Find(nProfileID);
    if (pStream && m_streams.UseCount(nProfileID) == 0) {
        pStream->UninitRecorder();
        StopHTTPByProfileID(nProfileID);
    }
}

bool CHTTPSCHLive::StartVideoStreamRender(bool bReconnect, int nProfileID)
{
    m_bVideoReconnect = bReconnect;
    const int r = MakeStream(nProfileID);
    if (r == 0)
        return false;
    // A new stream decodes before it connects: a camera may send its first
    // key picture with its reply, before a decoder started afterwards runs.
    if (!OpenRenderByProfileID(nProfileID)) {
        DropUnusedStream(nProfileID);
        return false;
    }
    if (r == 1 && !ConnectNewStream(nProfileID)) {
        m_bLiveVideo = false;
        return false;
    }
    AddRefByProfileID(nProfileID);
    return true;
}

bool CHTTPSCHLive::StartLiveVideo(bool bReconnect, int nProfileID, bool)
{
    CSessionLock lock(*this);
    if (m_streams.UseCount(nProfileID) > 0) {
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
    // No lock: a render callback may ask while a stop holds the mutex and
    // waits for that callback.
    return m_bLiveVideo;
}

bool CHTTPSCHLive::GetVideoFPS(double* pdbFPS)
{
    RILO_ASSERT(pdbFPS != NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    CHTTPVisStrm* pStream = m_streams.Find(m_nLiveProfile);
    if (!pStream)
        return false;
    pStream->GetFPS(pdbFPS);
    return true;
}

bool CHTTPSCHLive::GetVideoBPS(unsigned long* pdwBPS)
{
    RILO_ASSERT(pdwBPS != NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    CHTTPVisStrm* pStream = m_streams.Find(m_nLiveProfile);
    if (!pStream)
        return false;
    pStream->GetBPS(pdwBPS);
    return true;
}

int CHTTPSCHLive::GetCurrentStreamCount()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_streams.Count();
}

int CHTTPSCHLive::GetUseCountForTest(int nProfileID)
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_streams.UseCount(nProfileID);
}

CHTTPAudStrm* CHTTPSCHLive::GetAudioStreamForTest()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_pHttpAudCtrl.get();
}

// ---- the audio stream ------------------------------------------------------

int CHTTPSCHLive::CreateAudioHTTP()
{
    if (m_pHttpAudCtrl)
        return 0;
    StreamPtr<CHTTPAudStrm> pStream(new (std::nothrow)
                                        CHTTPPCMStrm(kAudioNotifyMsg, UseTLS(), m_auth.nAuthType));
    if (!pStream || !ConfigureStream(*pStream, OnAudioHTTPStreamNotify))
        return 0;
    DiagPrint(kDiagOut, "[m_pHttpAudCtrl->Create] == TRUE, threadID = %08llx\n",
              static_cast<unsigned long long>(pStream->GetThreadID()));
    m_pHttpAudCtrl = std::move(pStream);
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
    Retire(std::move(m_pHttpAudCtrl));
}

bool CHTTPSCHLive::OpenRenderAudio()
{
    if (!m_pHttpAudCtrl)
        return false;
    if (m_audio.pfn) {
        m_pHttpAudCtrl->SetRenderCallback(DeliverTo<AudioRenderCallback, unsigned char*,
                                                    unsigned long, unsigned long, long long*>,
                                          TakeAudioTarget(m_audio.pfn, m_audio.user));
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
        if (!OpenLiveAudio())
            return false;
        ++m_nAudioUseCount;
        return true;
    }
    if (CreateAudioHTTP() == 0)
        return false;
    m_bAudioReconnect = bReconnect;
    if (StartAudioHTTP() && OpenLiveAudio()) {
        m_nAudioUseCount = 1;
        return true;
    }
    StopAudioHTTP();
    return false;
}

bool CHTTPSCHLive::OpenLiveAudio()
{
    // Set first: the stream may deliver sound before OpenRenderAudio returns.
    m_bLiveAudio = true;
    if (!OpenRenderAudio()) {
        m_bLiveAudio = false;
        return false;
    }
    m_pHttpAudCtrl->SetLive(true);
    return true;
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
    // No lock, as IsLiveVideo.
    return m_bLiveAudio;
}

// ---- delivery -------------------------------------------------------------

CHTTPSCHLive::AudioTarget* CHTTPSCHLive::TakeAudioTarget(AudioRenderCallback pfn, void* user)
{
    AudioTarget* t = &m_audioTargets[m_nAudioTarget];
    const CallbackTarget<AudioRenderCallback> last = t->callback.Get();
    if (last.pfn != pfn || last.user != user) {
        m_nAudioTarget = 1 - m_nAudioTarget;
        t = &m_audioTargets[m_nAudioTarget];
        t->callback.Set(pfn, user);
    }
    return t;
}

template <class Fn, class... Args>
void CHTTPSCHLive::DeliverTo(void* target, Args... args)
{
    const auto* t = static_cast<const DeliveryTarget<Fn>*>(target);
    CDeliveryScope scope(t->pSession, std::is_same<Fn, VideoRenderCallback>::value
                                          ? CDeliveryScope::kPicture
                                          : CDeliveryScope::kSound);
    t->callback.Call(args...);
}

bool CHTTPSCHLive::PostMessage(SessionMsgCallback pfnCallback, void* param, unsigned long first,
                               unsigned long second)
{
    return m_queue.PostCallback(pfnCallback, param, first, second);
}
