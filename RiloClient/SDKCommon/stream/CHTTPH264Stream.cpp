#include "stream/CHTTPH264Stream.h"

#include "Common.h"
#include "RiloAssert.h"
#include "codec/H264Syntax.h"
#include "record/AVIDefs.h"
#include "stream/H264Units.h"

#include <new>

namespace {

const uint32_t kLongStartCode = 4;

bool HasLongStartCode(const uint8_t* p, uint32_t len)
{
    return len > kLongStartCode && p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1;
}

} // namespace

CHTTPH264Stream::CHTTPH264Stream(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CQueuedVisStrm(nNotifyMsg, bTLS, nAuthType, m_Decoder, CVideoPacketReader::codecH264,
                     kContentSize, rmtVideoH264)
{
}

CHTTPH264Stream::~CHTTPH264Stream()
{
    m_Decoder.StopDecodingProc();
}

void CHTTPH264Stream::InitializeDecoder()
{
    m_Decoder.Initialize(kSourceParam);
}

void CHTTPH264Stream::UninitializeDecoder()
{
    m_Decoder.Uninitialize();
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

void CHTTPH264Stream::FeedUnit(const MediaUnit& unit)
{
    const uint8_t* p = unit.pData;
    uint32_t len = unit.dwLen;
    const long long stamp = unit.llStamp;
    const uint32_t skip = SkipH264Delimiting(p, len);
    if (skip >= len) {
        DiagPrint(kDiagOut,
                  "[CHTTPH264Stream] a unit of %u bytes without picture or "
                  "configuration, dropped\n",
                  unsigned(len));
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
    if (len <= kLongStartCode || len > kContentSize)
        return;
    const uint32_t n = uint32_t(len);
    const bool bConfig = AnalyzeNALUnit(pData[kLongStartCode]) == H264_NAL_SPS;
    if (bConfig) {
        // Equal bytes, not only equal length, make a repeat.
        const uint32_t span = H264ConfigSpan(pData, n);
        if (m_units.IsCachedConfig(pData, span) || !m_units.CacheConfig(pData, span))
            return;
    }
    RecordAndQueue(pData, len, *pStamp, HasH264IDR(pData, n), bConfig);
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
    return m_pRecorder->StartRecordStream(rmtVideoH264, width, height, nullptr, false,
                                          uint64_t(stamp), RecorderValue())
               ? 0
               : -1;
}
