#include "stream/CRecorderHooks.h"

#include "CBLThread.h"
#include "RiloAssert.h"
#include "record/AVIDefs.h"
#include "record/CAVIWriter.h"

#include <cstdint>

CRecorderHooks::CRecorderHooks(CBLThread& stream)
    : m_bRecordRequested(false), m_bRecording(false), m_nIntervalValue(60),
      m_nIntervalKind(CAVIWriter::skSeconds), m_stream(stream)
{
}

CRecorderHooks::~CRecorderHooks() = default;

bool CRecorderHooks::AVIResultEvent(int nRet, unsigned long* pValue)
{
    switch (nRet) {
    case rrWriteError:
    case rrAddStreamFailed:
    case rrStarted:
    case rrSegmentReached:
    case rrDiskReserve:
    case rrSpaceQueryFailed:
        *pValue = uint32_t(int64_t(nRet) * 65536 + 2);
        return true;
    default:
        return false;
    }
}

CAVIWriter* CRecorderHooks::InitRecorder(const char* lpszPath, CAVIWriter* pShared)
{
    CObjectLock lock(m_stream);
    if (!m_pRecorder)
        m_pRecorder = std::make_unique<CMediaFileWriter>();
    if (pShared) {
        lpszPath = nullptr;
    } else {
        m_pRecorder->SetRecordingInterval(m_nIntervalValue, m_nIntervalKind);
        m_pRecorder->SetVideoFirst(IsVideoRecordingFirst());
    }
    CAVIWriter* handle = m_pRecorder->SetWriteAVIFile(lpszPath, pShared);
    if (handle)
        m_bRecordRequested = true;
    return handle;
}

int CRecorderHooks::UninitRecorder()
{
    CObjectLock lock(m_stream);
    m_bRecordRequested = false;
    m_bRecording = false;
    if (!m_pRecorder)
        return 0;
    m_pRecorder->CloseAVI();
    int result = m_pRecorder->GetLastReleaseResult();
    m_pRecorder.reset();
    return result;
}

void CRecorderHooks::ReleaseRecorder(CAVIWriter* hRecoder)
{
    RILO_ASSERT(hRecoder != NULL);
    CObjectLock lock(m_stream);
    hRecoder->Release();
}

void CRecorderHooks::SetRecordingInterval(long value, long kind)
{
    CObjectLock lock(m_stream);
    m_nIntervalValue = value;
    m_nIntervalKind = kind;
}

void CRecorderHooks::SetLimitSpace(unsigned long bytes)
{
    CObjectLock lock(m_stream);
    if (m_pRecorder)
        m_pRecorder->SetLimitSpace(bytes);
}
