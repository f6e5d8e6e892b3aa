#include "stream/CQueuedVisStrm.h"

#include "Common.h"
#include "RiloAssert.h"

#include <cstring>
#include <new>

namespace {

const char kFramedType[] = "video/ACVS";

} // namespace

CQueuedVisStrm::CQueuedVisStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType,
                               CVideoDecThread& decoder, CVideoPacketReader::Codec codec,
                               uint32_t dwContentSize, RecordMediaType nMediaType)
    : CHTTPVisStrm(nNotifyMsg, bTLS, nAuthType),
      m_units(kQueueBuffers, dwContentSize, m_bWaitForKey), m_decoder(decoder),
      m_dwContentSize(dwContentSize), m_nMediaType(nMediaType), m_reader(codec),
      m_dwRecorderValue(0)
{
}

CQueuedVisStrm::~CQueuedVisStrm() = default;

bool CQueuedVisStrm::InitInstance()
{
    m_dwSizeContent = m_dwContentSize;
    m_reader.ResetScan();
    InitializeDecoder();
    return CHTTPCtrl::InitInstance();
}

int CQueuedVisStrm::ExitInstance()
{
    UninitializeDecoder();
    return CHTTPCtrl::ExitInstance();
}

bool CQueuedVisStrm::AcceptHTTPHeader()
{
    const bool ok = CHTTPCtrl::AcceptHTTPHeader();
    m_reader.ResetScan();
    CObjectLock lock(*this);
    m_bWaitForKey = true;
    return ok;
}

bool CQueuedVisStrm::CheckContentType()
{
    const bool ok = CHTTPCtrl::CheckContentType();
    if (ok && std::strstr(m_szContentType, kFramedType)) {
        m_reader.SetForm(CVideoPacketReader::formFramed);
        m_dwRecorderValue = 0;
    } else {
        m_reader.SetForm(CVideoPacketReader::formRaw);
    }
    return ok;
}

bool CQueuedVisStrm::SetCallbackRenderMode(bool bFlag, VideoRenderCallback pfn, void* user)
{
    m_decoder.SetRenderCallback(bFlag, pfn, user);
    return true;
}

bool CQueuedVisStrm::InitDecoder(bool bNoPacing)
{
    m_decoder.SetFrameSource(&CQueuedVisStrm::GetFrameData, this);
    m_decoder.SetPacing(!bNoPacing);
    {
        CObjectLock lock(*this);
        m_units.Restart();
    }
    if (m_decoder.StartDecodingProc() != 0)
        return false;
    CObjectLock lock(*this);
    m_bDecoderOn = true;
    return true;
}

void CQueuedVisStrm::UninitDecoder()
{
    {
        CObjectLock lock(*this);
        m_bDecoderOn = false;
    }
    m_decoder.StopDecodingProc();
}

void CQueuedVisStrm::GetFPS(double* pFPS)
{
    m_decoder.GetFPS(pFPS);
}

void CQueuedVisStrm::GetBPS(unsigned long* pBPS)
{
    m_decoder.GetBPS(pBPS);
}

void CQueuedVisStrm::SetDelayThreshold(unsigned int nThreshold)
{
    m_decoder.SetDelayThreshold(nThreshold);
}

unsigned long CQueuedVisStrm::GetFrameData(unsigned int nParam, unsigned char* pBuffer,
                                           unsigned long dwCapacity, void* pContext,
                                           unsigned int* pBacklog, unsigned long dwLastKind)
{
    auto* self = static_cast<CQueuedVisStrm*>(pContext);
    return CVideoUnitQueue::GetFrameData(nParam, pBuffer, dwCapacity, &self->m_units, pBacklog,
                                         dwLastKind);
}

void CQueuedVisStrm::ProcessContent()
{
    const uint32_t consumed = m_reader.Scan(m_pContent, m_dwContent, m_dwSizeContent);
    for (uint32_t k = 0; k < m_reader.Arrivals(); ++k)
        NotifyStreamEvent(0, 1);
    for (const MediaUnit& u : m_reader.Units()) {
        m_dwRecorderValue = u.dwSequence;
        FeedUnit(u);
    }
    if (consumed > 0) {
        std::memmove(m_pContent, m_pContent + consumed, m_dwContent - consumed);
        m_dwContent -= consumed;
    }
}

void CQueuedVisStrm::RecordAndQueue(const unsigned char* pData, unsigned long len, long long stamp,
                                    bool bKey, bool bConfig)
{
    const int result = FeedRecorder(pData, len, stamp, bKey, bConfig);
    if (result != 0)
        HandleAVIResult(result);
    CObjectLock lock(*this);
    if (!m_bDecoderOn)
        return;
    if (bConfig)
        m_units.PutConfig();
    else
        m_units.PutUnit(pData, uint32_t(len), bKey);
}

int CQueuedVisStrm::FeedRecorder(const unsigned char* pData, unsigned long len, long long stamp,
                                 bool bKey, bool bNewConfig)
{
    CObjectLock lock(*this);
    // A file starts at a picture; a configuration waits in the cache for it.
    if (m_bRecordRequested && bKey && !bNewConfig) {
        const int started = PrepareRecordStream(stamp);
        if (started == rrOK) {
            m_bRecordRequested = false;
            m_bRecording = true;
            return RecordFirstPicture(pData, len, stamp);
        }
        if (!m_bRecording)
            return started;
    }
    if (!m_bRecording)
        return 0;
    RILO_ASSERT(m_pRecorder != nullptr);
    if (bNewConfig) {
        // The file keeps the configuration it began with.
        m_pRecorder->RequestForStop();
        m_bRecording = false;
        return rrAddStreamFailed;
    }
    return m_pRecorder->RecordAVIFrame(m_nMediaType, pData, len, uint64_t(stamp), m_dwRecorderValue,
                                       bKey);
}

int CQueuedVisStrm::RecordFirstPicture(const unsigned char* pData, unsigned long len,
                                       long long stamp)
{
    try {
        m_firstPicture.assign(m_units.Config(), m_units.Config() + m_units.ConfigLen());
        m_firstPicture.insert(m_firstPicture.end(), pData, pData + len);
    } catch (const std::bad_alloc&) {
        m_pRecorder->RequestForStop();
        m_bRecording = false;
        return rrAddStreamFailed;
    }
    const int result =
        m_pRecorder->RecordAVIFrame(m_nMediaType, m_firstPicture.data(), m_firstPicture.size(),
                                    uint64_t(stamp), m_dwRecorderValue, true);
    std::vector<uint8_t>().swap(m_firstPicture);
    return result;
}
