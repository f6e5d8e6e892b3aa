// The live session's recording control and the stream events it hands the
// application's handler.
#include "session/CHTTPSCHLive.h"

#include "Common.h"
#include "RiloAssert.h"
#include "stream/CHTTPAudStrm.h"
#include "stream/CHTTPVisStrm.h"

// ---- recording -------------------------------------------------------------

// The session's segment, order and reserve settings go to either stream.
template <class Stream>
CAVIWriter* CHTTPSCHLive::OpenRecorderOn(Stream& stream, const char* lpszPath, CAVIWriter* pShared)
{
    stream.SetRecordingInterval(m_nIntervalValue, m_nIntervalKind);
    stream.SetVideoRecordingFirst(m_bRecordVideoFirst);
    CAVIWriter* pWriter = stream.InitRecorder(lpszPath, pShared);
    if (pWriter)
        stream.SetLimitSpace(m_dwDiskReserve);
    return pWriter;
}

void CHTTPSCHLive::CloseRecorderOn(CRecorderHooks& stream, CAVIWriter* pWriter)
{
    if (pWriter)
        stream.ReleaseRecorder(pWriter);
    stream.UninitRecorder();
}

bool CHTTPSCHLive::OpenRecorderByProfileID(const char* lpszPath, int nProfileID)
{
    CHTTPVisStrm* pStream = m_streams.Find(nProfileID);
    if (!pStream)
        return m_hVideoRecorder != nullptr;
    m_hVideoRecorder = OpenRecorderOn(*pStream, lpszPath, m_hAudioRecorder);
    return m_hVideoRecorder != nullptr;
}

void CHTTPSCHLive::CloseRecorderByProfileID(int nProfileID)
{
    if (CHTTPVisStrm* pStream = m_streams.Find(nProfileID))
        CloseRecorderOn(*pStream, m_hVideoRecorder);
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
    RILO_ASSERT(lpszPath != NULL);
    CSessionLock lock(*this);
    CHTTPVisStrm* pStream = m_streams.Find(nProfileID);
    if (pStream && m_streams.UseCount(nProfileID) > 0) {
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
    m_hAudioRecorder = OpenRecorderOn(*m_pHttpAudCtrl, lpszPath, m_hVideoRecorder);
    return m_hAudioRecorder != nullptr;
}

void CHTTPSCHLive::CloseRecorderAudio()
{
    if (m_pHttpAudCtrl)
        CloseRecorderOn(*m_pHttpAudCtrl, m_hAudioRecorder);
    m_hAudioRecorder = nullptr;
}

bool CHTTPSCHLive::StartRecordAudio(const char* lpszPath, bool bReconnect, bool bSkip)
{
    CSessionLock lock(*this);
    if (m_nAudioUseCount < 1) {
        if (CreateAudioHTTP() == 0)
            return false;
        m_bAudioReconnect = bReconnect;
        // The recorder first: the stream decodes the first packet for it.
        if (OpenRecorderAudio(lpszPath, bSkip)) {
            StartAudioHTTP();
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

void CHTTPSCHLive::Deliver(const livemaps::EventAction& act)
{
    if (act.bStopRecorder)
        StopRecorder();
    // Last: the handler may end and free this session.
    m_handler.Call(act.nCategory, act.nCode);
}

bool CHTTPSCHLive::DoHTTPStreamNotify(unsigned long stream, unsigned long event)
{
    if (!stream)
        return false;
    if (livemaps::EventKind(event) == livemaps::kEventRecording)
        DiagPrint(kDiagErr,
                  "[CHTTPSCHLive::OnHTTPStreamNotify]enter recording handler....msg is %d\n",
                  livemaps::EventCode(event));
    livemaps::EventAction act;
    if (!livemaps::MapVideoEvent(event, &act))
        return false;
    Deliver(act);
    return true;
}

bool CHTTPSCHLive::DoAudioHTTPStreamNotify(unsigned long stream, unsigned long event)
{
    {
        std::lock_guard<std::mutex> g(m_mutex);
        const CHTTPCtrl* pAudio = m_pHttpAudCtrl.get();
        if (!stream || stream != reinterpret_cast<unsigned long>(pAudio))
            return false;
    }
    livemaps::EventAction act;
    if (!livemaps::MapAudioEvent(event, &act))
        return false;
    Deliver(act);
    return true;
}
