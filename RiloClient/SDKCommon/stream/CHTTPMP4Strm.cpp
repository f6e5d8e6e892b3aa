#include "stream/CHTTPMP4Strm.h"

#include "Common.h"
#include "RiloAssert.h"
#include "codec/MPEG4ConfigParser.h"
#include "record/AVIDefs.h"

#include <cstring>

namespace {

const char kFramedType[] = "video/ACVS";

// An I-plane, or a configuration whose next byte is below 64.
bool IsKeyUnit(const unsigned char* p, unsigned long len)
{
    return len > 4 && (p[4] & 0xC0) == 0;
}

// The configuration headers without a group-of-planes header: its time
// code changes at every group and says nothing about the configuration.
uint32_t ConfigSpan(const unsigned char* p, uint32_t len)
{
    for (uint32_t i = 4; i + 4 <= len; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && p[i + 3] == 0xB3)
            return i;
    return len;
}

} // namespace

CHTTPMP4Strm::CHTTPMP4Strm(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CHTTPVisStrm(nNotifyMsg, bTLS, nAuthType),
      m_units(kQueueBuffers, kQueueBufferSize, m_bWaitForKey),
      m_reader(CVideoPacketReader::codecMPEG4), m_dwRecorderValue(0)
{
}

CHTTPMP4Strm::~CHTTPMP4Strm()
{
    m_Decoder.StopDecodingProc();
}

bool CHTTPMP4Strm::InitInstance()
{
    m_dwSizeContent = kContentSize;
    m_reader.ResetScan();
    m_Decoder.Initialize(kSourceParam);
    return CHTTPCtrl::InitInstance();
}

int CHTTPMP4Strm::ExitInstance()
{
    m_Decoder.Uninitialize();
    return CHTTPCtrl::ExitInstance();
}

bool CHTTPMP4Strm::AcceptHTTPHeader()
{
    const bool ok = CHTTPCtrl::AcceptHTTPHeader();
    m_reader.ResetScan();
    // A new connection may join in mid-group: its units do not follow
    // the pictures the decoder holds.
    CObjectLock lock(*this);
    m_bWaitForKey = true;
    return ok;
}

bool CHTTPMP4Strm::CheckContentType()
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

bool CHTTPMP4Strm::SetCallbackRenderMode(bool bFlag, VideoRenderCallback pfn, void* user)
{
    m_Decoder.SetRenderCallback(bFlag, pfn, user);
    return true;
}

bool CHTTPMP4Strm::InitDecoder(bool bNoPacing)
{
    m_Decoder.SetFrameSource(&CHTTPMP4Strm::GetFrameData, this);
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

void CHTTPMP4Strm::UninitDecoder()
{
    {
        CObjectLock lock(*this);
        m_bDecoderOn = false;
    }
    m_Decoder.StopDecodingProc();
}

bool CHTTPMP4Strm::GetVideoResolution(int* pcx, int* pcy)
{
    RILO_ASSERT(pcx != nullptr);
    RILO_ASSERT(pcy != nullptr);
    tagMPEG4StrmConfig config{};
    if (!m_Decoder.GetStrmInfo(&config))
        return false;
    *pcx = int(config.dwWidth);
    *pcy = int(config.dwHeight);
    return true;
}

void CHTTPMP4Strm::GetFPS(double* pFPS)
{
    m_Decoder.GetFPS(pFPS);
}

void CHTTPMP4Strm::GetBPS(unsigned long* pBPS)
{
    m_Decoder.GetBPS(pBPS);
}

void CHTTPMP4Strm::SetDelayThreshold(unsigned int nThreshold)
{
    m_Decoder.SetDelayThreshold(nThreshold);
}

unsigned long CHTTPMP4Strm::GetFrameData(unsigned int nParam, unsigned char* pBuffer,
                                         unsigned long dwCapacity, void* pContext,
                                         unsigned int* pBacklog, unsigned long dwLastKind)
{
    auto* self = static_cast<CHTTPMP4Strm*>(pContext);
    return CVideoUnitQueue::GetFrameData(nParam, pBuffer, dwCapacity, &self->m_units, pBacklog,
                                         dwLastKind);
}

void CHTTPMP4Strm::ProcessContent()
{
    const uint32_t consumed = m_reader.Scan(m_pContent, m_dwContent, m_dwSizeContent);
    for (uint32_t k = 0; k < m_reader.Arrivals(); ++k)
        NotifyStreamEvent(0, 1);
    for (const MediaUnit& u : m_reader.Units()) {
        m_dwRecorderValue = u.dwSequence;
        long long stamp = u.llStamp;
        FeedStreamItem(u.pData, u.dwLen, &stamp);
    }
    if (consumed > 0) {
        std::memmove(m_pContent, m_pContent + consumed, m_dwContent - consumed);
        m_dwContent -= consumed;
    }
}

void CHTTPMP4Strm::FeedStreamItem(const unsigned char* pData, unsigned long len, long long* pStamp)
{
    RILO_ASSERT(pData != nullptr);
    RILO_ASSERT(pStamp != nullptr);
    if (len < 4 || len > kQueueBufferSize)
        return;
    const bool bConfig = IsMPEG4VOS(pData) || IsMPEG4VO(pData);
    if (bConfig) {
        const uint32_t span = ConfigSpan(pData, uint32_t(len));
        if (m_units.IsCachedConfig(pData, span) || !m_units.CacheConfig(pData, span))
            return;
    }
    const bool bKey = IsKeyUnit(pData, len);
    const int result = FeedRecorder(pData, len, *pStamp, bKey, bConfig);
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

int CHTTPMP4Strm::FeedRecorder(const unsigned char* pData, unsigned long len, long long stamp,
                               bool bKey, bool bNewConfig)
{
    CObjectLock lock(*this);
    int started = 0;
    if (m_bRecordRequested && bKey) {
        started = PrepareRecordStream(stamp);
        if (started == rrOK || started == rrStarted) {
            m_bRecordRequested = false;
            m_bRecording = true;
            // The file opens with this very configuration.
            if (bNewConfig)
                return started;
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
        m_pRecorder->RecordAVIFrame(rmtVideoMPEG4, pData, len, uint64_t(stamp), m_dwRecorderValue);
    return result != 0 ? result : started;
}

int CHTTPMP4Strm::PrepareRecordStream(long long stamp)
{
    RILO_ASSERT(m_pRecorder != nullptr);
    tagMPEG4StrmConfig config{};
    if (m_units.ConfigLen() == 0 ||
        !ParseMPEG4ConfigData(m_units.Config(), m_units.ConfigLen(), &config))
        return -1;
    if (!m_pRecorder->StartRecordStream(rmtVideoMPEG4, int(config.dwWidth), int(config.dwHeight),
                                        nullptr, false, uint64_t(stamp), m_dwRecorderValue))
        return -1;
    return m_pRecorder->RecordAVIFrame(rmtVideoMPEG4, m_units.Config(), m_units.ConfigLen(), 0, 0);
}
