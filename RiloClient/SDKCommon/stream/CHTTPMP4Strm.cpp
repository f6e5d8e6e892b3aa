#include "stream/CHTTPMP4Strm.h"

#include "RiloAssert.h"
#include "codec/CMPG4PlaneClock.h"
#include "codec/MPEG4ConfigParser.h"

namespace {

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
    : CQueuedVisStrm(nNotifyMsg, bTLS, nAuthType, m_Decoder, CVideoPacketReader::codecMPEG4,
                     kContentSize, rmtVideoMPEG4)
{
}

CHTTPMP4Strm::~CHTTPMP4Strm()
{
    m_Decoder.StopDecodingProc();
}

void CHTTPMP4Strm::InitializeDecoder()
{
    m_Decoder.Initialize(kSourceParam);
}

void CHTTPMP4Strm::UninitializeDecoder()
{
    m_Decoder.Uninitialize();
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

void CHTTPMP4Strm::FeedUnit(const MediaUnit& unit)
{
    long long stamp = unit.llStamp;
    FeedStreamItem(unit.pData, unit.dwLen, &stamp);
}

void CHTTPMP4Strm::FeedStreamItem(const unsigned char* pData, unsigned long len, long long* pStamp)
{
    RILO_ASSERT(pData != nullptr);
    RILO_ASSERT(pStamp != nullptr);
    if (len < 4 || len > kContentSize)
        return;
    const bool bConfig = IsMPEG4VOS(pData) || IsMPEG4VO(pData);
    if (bConfig) {
        const uint32_t span = ConfigSpan(pData, uint32_t(len));
        if (m_units.IsCachedConfig(pData, span) || !m_units.CacheConfig(pData, span))
            return;
        tagMPEG4StrmConfig config{};
        m_nIncrementBits = ParseMPEG4ConfigData(pData, span, &config)
                               ? MPEG4IncrementBits(config.dwTimeIncResolution)
                               : 0;
    }
    RecordAndQueue(pData, len, *pStamp, IsKeyUnit(pData, len), bConfig);
}

bool CHTTPMP4Strm::IsKeyUnit(const unsigned char* p, unsigned long len) const
{
    // An I-plane, or a configuration whose next byte is below 64.
    if (len <= 4 || (p[4] & 0xC0) != 0)
        return false;
    // A placeholder I-plane (not coded) holds no picture to start from.
    MPEG4PlaneHeader plane;
    return !IsMPEG4VOP(p) || m_nIncrementBits == 0 ||
           !ReadMPEG4PlaneHeader(p, len, m_nIncrementBits, &plane) || plane.bCoded;
}

int CHTTPMP4Strm::PrepareRecordStream(long long stamp)
{
    RILO_ASSERT(m_pRecorder != nullptr);
    tagMPEG4StrmConfig config{};
    if (m_units.ConfigLen() == 0 ||
        !ParseMPEG4ConfigData(m_units.Config(), m_units.ConfigLen(), &config))
        return -1;
    return m_pRecorder->StartRecordStream(rmtVideoMPEG4, int(config.dwWidth), int(config.dwHeight),
                                          nullptr, false, uint64_t(stamp), RecorderValue())
               ? 0
               : -1;
}
