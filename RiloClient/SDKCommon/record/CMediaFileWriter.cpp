#include "record/CMediaFileWriter.h"
#include "Common.h"

#include "record/CAVIWriter.h"

#include <cstdio>

namespace {

const unsigned long kDefaultReserve = 209715200;

} // namespace

CMediaFileWriter::CMediaFileWriter()
    : m_pWriter(nullptr), m_nLastRelease(0), m_bVideoFirst(true), m_nIntervalValue(60),
      m_nIntervalKind(CAVIWriter::skSeconds), m_nLimitSpace(kDefaultReserve)
{
}

CMediaFileWriter::~CMediaFileWriter()
{
    CloseAVI();
}

void CMediaFileWriter::ReleaseWriter()
{
    if (m_pWriter)
        m_pWriter->Release();
    m_pWriter = nullptr;
}

CAVIWriter* CMediaFileWriter::SetWriteAVIFile(const char* lpszPath, CAVIWriter* pShared)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_nLastRelease = 0;
    if (!lpszPath && !pShared)
        return nullptr;
    if (m_pWriter) {
        DiagPrint(kDiagOut,
                  "Error in while get new AVI writer, the old pointer still there "
                  "(MediaWriter:%p)\n",
                  static_cast<void*>(this));
        ReleaseWriter();
    }
    if (!lpszPath) {
        // The camera's other stream writes this file; its settings hold.
        m_pWriter = pShared->DuplicatePoint();
        if (!m_pWriter) {
            DiagPrint(kDiagOut, "Result of duplicate (MediaWriter:%p) AVI writer from:%p to %p\n",
                      static_cast<void*>(this), static_cast<void*>(pShared), nullptr);
            return nullptr;
        }
        return m_pWriter->DuplicatePoint();
    }
    auto* writer = new CAVIWriter;
    if (!writer->CreateFile(lpszPath)) {
        writer->Release();
        DiagPrint(kDiagOut, "Error in create new AVI writer! (MediaWriter:%p)\n",
                  static_cast<void*>(this));
        return nullptr;
    }
    writer->SetWaitForVideo(m_bVideoFirst);
    writer->SetLimitSpace(uint64_t(m_nLimitSpace));
    writer->SetRecordingInterval(m_nIntervalValue, m_nIntervalKind);
    m_pWriter = writer;
    return writer->DuplicatePoint();
}

bool CMediaFileWriter::StartRecordStream(RecordMediaType nType, int nWidth, int nHeight,
                                         const WAVEFORMATEX* pFormat, bool bUnused, uint64_t nStamp,
                                         unsigned long nValue)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_pWriter)
        return false;
    if (m_pWriter->GetStream(nType))
        return true;
    return m_pWriter->AddStream(nType, nWidth, nHeight, pFormat, bUnused, nStamp, nValue) !=
           nullptr;
}

int CMediaFileWriter::RecordAVIFrame(RecordMediaType nType, const unsigned char* pData,
                                     unsigned long nLen, uint64_t nStamp, unsigned long nValue,
                                     bool bKey)
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_pWriter ? m_pWriter->WriteFrame(int(nType), pData, nLen, nStamp, nValue, bKey) : rrOK;
}

int CMediaFileWriter::RecordAVISample(RecordMediaType nType, const unsigned char* pData,
                                      unsigned long nLen, uint64_t nStamp, unsigned long nSeq)
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_pWriter ? m_pWriter->WriteSample(int(nType), pData, nLen, nStamp, nSeq) : rrOK;
}

bool CMediaFileWriter::RequestForStop()
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_pWriter && m_pWriter->RequestForStop();
}

bool CMediaFileWriter::IsStreamStarted(RecordMediaType nType)
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_pWriter && m_pWriter->GetStream(nType);
}

void CMediaFileWriter::SetVideoFirst(bool bFirst)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_bVideoFirst = bFirst;
    if (m_pWriter)
        m_pWriter->SetWaitForVideo(bFirst);
}

void CMediaFileWriter::SetRecordingInterval(long value, long kind)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_nIntervalValue = value;
    m_nIntervalKind = kind;
    if (m_pWriter)
        m_pWriter->SetRecordingInterval(value, kind);
}

void CMediaFileWriter::SetLimitSpace(unsigned long bytes)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_nLimitSpace = bytes;
    if (m_pWriter)
        m_pWriter->SetLimitSpace(uint64_t(bytes));
}

uint32_t CMediaFileWriter::GetWriteDataSize()
{
    // Under the lock: CloseAVI may free the writer.
    std::lock_guard<std::mutex> g(m_lock);
    return m_pWriter ? m_pWriter->GetWrittenBytes() : 0;
}

void CMediaFileWriter::CloseAVI()
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_pWriter)
        m_nLastRelease = m_pWriter->Release();
    m_pWriter = nullptr;
}

int CMediaFileWriter::GetLastReleaseResult()
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_nLastRelease;
}
