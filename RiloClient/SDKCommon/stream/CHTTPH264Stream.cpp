#include "stream/CHTTPH264Stream.h"

#include "Common.h"
#include "RiloAssert.h"
#include "codec/H264Syntax.h"
#include "record/AVIDefs.h"
#include "stream/H264Units.h"

#include <cstring>
#include <new>

namespace {

const char kFramedType[] = "video/ACVS";
const uint32_t kLongStartCode = 4;

bool HasLongStartCode(const uint8_t* p, uint32_t len)
{
    return len > kLongStartCode && p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1;
}

} // namespace

CHTTPH264Stream::CHTTPH264Stream(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CHTTPVisStrm(nNotifyMsg, bTLS, nAuthType),
      m_units(kQueueBuffers, kQueueBufferSize, m_bWaitForKey),
      m_reader(CVideoPacketReader::codecH264), m_dwSequence(0)
{
}

CHTTPH264Stream::~CHTTPH264Stream()
{
    m_Decoder.StopDecodingProc();
}

bool CHTTPH264Stream::InitInstance()
{
    m_dwSizeContent = kContentSize;
    m_reader.ResetScan();
    m_Decoder.Initialize(kSourceParam);
    return CHTTPCtrl::InitInstance();
}

int CHTTPH264Stream::ExitInstance()
{
    m_Decoder.Uninitialize();
    return CHTTPCtrl::ExitInstance();
}

bool CHTTPH264Stream::AcceptHTTPHeader()
{
    const bool ok = CHTTPCtrl::AcceptHTTPHeader();
    m_reader.ResetScan();
    // A new connection may join in mid-group: its units do not follow
    // the pictures the decoder holds.
    CObjectLock lock(*this);
    m_bWaitForKey = true;
    return ok;
}

bool CHTTPH264Stream::CheckContentType()
{
    const bool ok = CHTTPCtrl::CheckContentType();
    if (ok && std::strstr(m_szContentType, kFramedType)) {
        m_reader.SetForm(CVideoPacketReader::formFramed);
        m_dwSequence = 0;
    } else {
        m_reader.SetForm(CVideoPacketReader::formRaw);
    }
    return ok;
}

bool CHTTPH264Stream::SetCallbackRenderMode(bool bFlag, VideoRenderCallback pfn, void* user)
{
    m_Decoder.SetRenderCallback(bFlag, pfn, user);
    return true;
}

bool CHTTPH264Stream::InitDecoder(bool bNoPacing)
{
    m_Decoder.SetFrameSource(&CHTTPH264Stream::GetFrameData, this);
    m_Decoder.SetPacing(!bNoPacing);
    {
        CObjectLock lock(*this);
        m_units.Restart();
    }
    if (m_Decoder.StartDecodingProc() != 0)
        return false;
    CObjectLock lock(*this);
    m_bDecoderOn = true;
    return true;
}

void CHTTPH264Stream::UninitDecoder()
{
    {
        CObjectLock lock(*this);
        m_bDecoderOn = false;
    }
    m_Decoder.StopDecodingProc();
}

bool CHTTPH264Stream::GetVideoResolution(int* pcx, int* pcy)
{
    RILO_ASSERT(pcx != nullptr);
    RILO_ASSERT(pcy != nullptr);
    CH264DecInitParam param{};
    if (!m_Decoder.GetStrmInfo(&param))
        return false;
    *pcx = param.nWidth;
    *pcy = param.nHeight;
    return true;
}

void CHTTPH264Stream::GetFPS(double* pFPS)
{
    m_Decoder.GetFPS(pFPS);
}

void CHTTPH264Stream::GetBPS(unsigned long* pBPS)
{
    m_Decoder.GetBPS(pBPS);
}

void CHTTPH264Stream::SetDelayThreshold(unsigned int nThreshold)
{
    m_Decoder.SetDelayThreshold(nThreshold);
}

unsigned long CHTTPH264Stream::GetFrameData(unsigned int nParam, unsigned char* pBuffer,
                                            unsigned long dwCapacity, void* pContext,
                                            unsigned int* pBacklog, unsigned long dwLastKind)
{
    auto* self = static_cast<CHTTPH264Stream*>(pContext);
    return CVideoUnitQueue::GetFrameData(nParam, pBuffer, dwCapacity, &self->m_units, pBacklog,
                                         dwLastKind);
}

void CHTTPH264Stream::ProcessContent()
{
    const uint32_t consumed = m_reader.Scan(m_pContent, m_dwContent, m_dwSizeContent);
    for (uint32_t k = 0; k < m_reader.Arrivals(); ++k)
        NotifyStreamEvent(0, 1);
    for (const MediaUnit& u : m_reader.Units()) {
        m_dwSequence = u.dwSequence;
        FeedCutUnit(u.pData, u.dwLen, u.llStamp);
    }
    if (consumed > 0) {
        std::memmove(m_pContent, m_pContent + consumed, m_dwContent - consumed);
        m_dwContent -= consumed;
    }
}

void CHTTPH264Stream::FeedCutUnit(const uint8_t* p, uint32_t len, long long stamp)
{
    const uint32_t skip = SkipH264Delimiting(p, len);
    if (skip >= len) {
        DiagPrint(kDiagOut, "[CHTTPH264Stream] a unit of %u bytes without picture or "
                            "configuration, dropped\n", unsigned(len));
        return;
    }
    p += skip;
    len -= skip;
    // Parameter sets travel with the slice after them: the decoder and
    // the recorder take them apart.
    const uint32_t split = H264SliceSplit(p, len);
    if (split > 0 && split < len) {
        FeedPiece(p, split, stamp);
        FeedPiece(p + split, len - split, stamp);
        return;
    }
    FeedPiece(p, len, stamp);
}

void CHTTPH264Stream::FeedPiece(const uint8_t* p, uint32_t len, long long stamp)
{
    if (!HasLongStartCode(p, len)) {
        try {
            m_scratch.assign(1, 0);
            m_scratch.insert(m_scratch.end(), p, p + len);
        } catch (const std::bad_alloc&) {
            return;
        }
        p = m_scratch.data();
        len = uint32_t(m_scratch.size());
        if (!HasLongStartCode(p, len))
            return;
    }
    FeedStreamItem(p, len, &stamp);
}

void CHTTPH264Stream::FeedStreamItem(const unsigned char* pData, unsigned long len,
                                     long long* pStamp)
{
    RILO_ASSERT(pData != nullptr);
    RILO_ASSERT(pStamp != nullptr);
    if (len <= kLongStartCode || len > kQueueBufferSize)
        return;
    const uint32_t n = uint32_t(len);
    const bool bConfig = AnalyzeNALUnit(pData[kLongStartCode]) == H264_NAL_SPS;
    if (bConfig) {
        // Equal bytes, not only equal length, make a repeat.
        const uint32_t span = H264ConfigSpan(pData, n);
        if (m_units.IsCachedConfig(pData, span) || !m_units.CacheConfig(pData, span))
            return;
    }
    const bool bKey = HasH264IDR(pData, n);
    const int result = FeedRecorder(pData, len, *pStamp, bKey, bConfig);
    if (result != 0)
        HandleAVIResult(result);
    CObjectLock lock(*this);
    if (!m_bDecoderOn)
        return;
    if (bConfig)
        m_units.PutConfig();
    else
        m_units.PutUnit(pData, n, bKey);
}

int CHTTPH264Stream::FeedRecorder(const unsigned char* pData, unsigned long len, long long stamp,
                                  bool bKey, bool bNewConfig)
{
    CObjectLock lock(*this);
    int started = 0;
    if (m_bRecordRequested && bKey) {
        started = PrepareRecordStream(stamp);
        if (started == rrOK || started == rrStarted) {
            m_bRecordRequested = false;
            m_bRecording = true;
            bNewConfig = false;
        } else if (!m_bRecording) {
            return started;
        }
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
    const int result =
        m_pRecorder->RecordAVIFrame(rmtVideoH264, pData, len, uint64_t(stamp), m_dwSequence);
    return result != 0 ? result : started;
}

int CHTTPH264Stream::PrepareRecordStream(long long stamp)
{
    RILO_ASSERT(m_pRecorder != nullptr);
    if (m_units.ConfigLen() == 0)
        return -1;
    // The size comes from the stream itself, so a recording needs no decoder.
    int width = 0, height = 0;
    if (!FindH264PictureSize(m_units.Config(), m_units.ConfigLen(), &width, &height)) {
        DiagPrint(kDiagErr, "[CHTTPH264Stream::PrepareRecordStream] GetStrmInfo failed!\n");
        return -1;
    }
    if (!m_pRecorder->StartRecordStream(rmtVideoH264, width, height, nullptr, false,
                                        uint64_t(stamp), m_dwSequence))
        return -1;
    return m_pRecorder->RecordAVIFrame(rmtVideoH264, m_units.Config(), m_units.ConfigLen(), 0, 0);
}
