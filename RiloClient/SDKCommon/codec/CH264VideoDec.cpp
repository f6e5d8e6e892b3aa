#include "codec/CH264VideoDec.h"
#include "Common.h"

#include "codec/H264Syntax.h"
#include "codec/OutputPixelFormat.h"

#include <cstdio>

namespace {

const unsigned long kShortestUnit = 6;
const int kEmptyTries = 4;
const int64_t kUnitsPerSecond = 10000000; // 100-ns units

} // namespace

CH264VideoDec::CH264VideoDec() = default;

CH264VideoDec::~CH264VideoDec()
{
    StopDecodingProc();
}

int CH264VideoDec::Initialize(unsigned int nID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_InitParam = CH264DecInitParam{};
    m_InitParam.nID = nID;
    m_bConfigKnown = false;
    return 1;
}

void CH264VideoDec::Uninitialize()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_InitParam = CH264DecInitParam{};
    m_bConfigKnown = false;
}

bool CH264VideoDec::GetStrmInfo(CH264DecInitParam* pParam)
{
    if (!pParam)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    *pParam = m_InitParam;
    pParam->dwFlags = m_bConfigKnown ? 1 : 0;
    return m_bConfigKnown;
}

bool CH264VideoDec::ConfigurationKnown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bConfigKnown;
}

bool CH264VideoDec::OpenDecoder()
{
    m_bConfigured = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        SetSourceParameter(m_InitParam.nID);
    }
    return m_Decoder.dec_init() == 0;
}

void CH264VideoDec::OnDecodingStarted()
{
    m_llFrameDuration = 0;
    InnerConfigurate();
}

void CH264VideoDec::CloseDecoder()
{
    m_Decoder.dec_stop();
}

void CH264VideoDec::HandleUnit(unsigned char* pUnit, unsigned long dwLen)
{
    if (dwLen < kShortestUnit)
        return;
    if (AnalyzeNALUnit(pUnit[4]) == H264_NAL_SPS || !ConfigurationKnown())
        TakeConfiguration(pUnit, dwLen);
    else
        TakePicture(pUnit, dwLen);
}

void CH264VideoDec::TakeConfiguration(unsigned char* pUnit, unsigned long dwLen)
{
    if (ProcessConfigureData(pUnit, dwLen) != 0 && RetryConfiguration(pUnit) != 0)
        return;
    InnerConfigurate();
    const int64_t llNum = m_MediaInfo.nTimeBaseNum, llDen = m_MediaInfo.nTimeBaseDen;
    m_llFrameDuration = llDen > 0 ? kUnitsPerSecond * llNum / llDen : kUnitsPerSecond / 30;
    DiagPrint(kDiagOut, "llProposedDuration = %d\n", int(m_llFrameDuration));
    SetLastKind(1);
    ResetPacing();
}

int CH264VideoDec::RetryConfiguration(unsigned char* pUnit)
{
    unsigned long dwLen = 0;
    for (int nEmpty = 0; IsRunning() && nEmpty < kEmptyTries; ++nEmpty)
        if ((dwLen = PullUnit(pUnit)) != 0)
            break;
    if (dwLen == 0) {
        SetLastKind(2);
        return -1;
    }
    const int nResult = ProcessConfigureData(pUnit, dwLen);
    if (nResult != 0)
        SetLastKind(nResult == -1 ? 2 : 0);
    return nResult;
}

void CH264VideoDec::TakePicture(const unsigned char* pUnit, unsigned long dwLen)
{
    PaceStep(m_llFrameDuration);
    const int nResult = ProcessFrame(m_Decoder, m_bConfigured, pUnit, dwLen);
    if (nResult == kFrameNew || nResult == kFrameNone)
        CountFrame(dwLen);
    SetLastKind(0);
}

int CH264VideoDec::ProcessConfigureData(const unsigned char* pData, unsigned long dwLen)
{
    if (!pData || dwLen == 0)
        return 1;
    if (ConfigurationKnown() || !m_Decoder.IsOpen()) {
        // A new configuration: a decoder of its own.
        m_Decoder.dec_stop();
        m_Decoder.dec_init();
        m_bConfigured = false;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bConfigKnown = false;
    }
    const int nResult = m_Decoder.dec_parse_info(pData, dwLen, &m_MediaInfo);
    if (nResult != 0)
        return nResult;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_InitParam.nWidth = m_MediaInfo.nWidth;
    m_InitParam.nHeight = m_MediaInfo.nHeight;
    m_bConfigKnown = true;
    return 0;
}

bool CH264VideoDec::InnerConfigurate()
{
    if (!ConfigurationKnown())
        return false;
    m_MediaInfo.nPixelFormat = OPF_RGBA;
    m_MediaInfo.nBitCount = 32;
    m_bConfigured = m_Decoder.dec_config(&m_MediaInfo) == 0;
    return m_bConfigured;
}
