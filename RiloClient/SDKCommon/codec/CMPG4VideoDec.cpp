#include "codec/CMPG4VideoDec.h"
#include "Common.h"

#include "RiloAssert.h"
#include "codec/OutputPixelFormat.h"

#include <cstdio>
#include <cstring>

namespace {

const uint32_t kVisualObjectSequence = 0x1B0;
const uint32_t kVideoObjectFirst = 0x100;
const uint32_t kVideoObjectLast = 0x11F;
const uint32_t kVideoObjectPlane = 0x1B6;
const int kIdleWaitMs = 30;
const int64_t kUnitsPerSecond = 10000000; // 100-ns units

uint32_t StartCode(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool IsConfiguration(uint32_t code)
{
    return code == kVisualObjectSequence || (code >= kVideoObjectFirst && code <= kVideoObjectLast);
}

} // namespace

CMPG4VideoDec::CMPG4VideoDec() = default;

CMPG4VideoDec::~CMPG4VideoDec()
{
    StopDecodingProc();
}

void CMPG4VideoDec::Clear()
{
    m_InitParam = CMP4DecInitParam();
    m_StrmConfig = tagMPEG4StrmConfig{};
}

int CMPG4VideoDec::Initialize(unsigned int nParam)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Clear();
    m_InitParam.nParam = nParam;
    return 1;
}

int CMPG4VideoDec::Uninitialize()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Clear();
    return 0;
}

bool CMPG4VideoDec::GetStrmInfo(tagMPEG4StrmConfig* pStrmConfig)
{
    RILO_ASSERT(pStrmConfig != nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    *pStrmConfig = m_StrmConfig;
    return m_InitParam.bConfigured;
}

bool CMPG4VideoDec::OpenDecoder()
{
    m_bDecoderConfigured = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        SetSourceParameter(m_InitParam.nParam);
    }
    return m_Decoder.Create();
}

void CMPG4VideoDec::OnDecodingStarted()
{
    m_clock.Restart(0);
    m_llUnitsPerIncrement = 0;
    m_llLastShown = 0;
    // A configuration kept from before is used at once.
    InnerConfigurate();
}

void CMPG4VideoDec::CloseDecoder()
{
    m_Decoder.Destroy();
}

void CMPG4VideoDec::HandleUnit(unsigned char* pUnit, unsigned long dwLen)
{
    if (dwLen < 4)
        return;
    const uint32_t code = StartCode(pUnit);
    if (IsConfiguration(code)) {
        TakeConfiguration(pUnit, dwLen);
    } else if (code == kVideoObjectPlane) {
        TakePlane(pUnit, dwLen);
    } else {
        SetLastKind(0);
        IdleWait(kIdleWaitMs);
    }
}

void CMPG4VideoDec::TakeConfiguration(const unsigned char* pUnit, unsigned long dwLen)
{
    const int nResult = ProcessConfigureData(pUnit, dwLen);
    if (nResult == 0) {
        if (!InnerConfigurate()) {
            SetFailed();
            return;
        }
        ResetPacing();
        m_llLastShown = 0;
        SetLastKind(1);
    } else {
        SetLastKind(nResult == -1 ? 2 : 0);
    }
}

void CMPG4VideoDec::TakePlane(const unsigned char* pUnit, unsigned long dwLen)
{
    m_clock.TakeUnit(pUnit, dwLen);
    int nResult = DecodeFrame(m_Decoder, m_bDecoderConfigured, pUnit, dwLen);
    if (nResult == kFrameNew)
        PaceShown(m_clock.Shown());
    else if (m_Decoder.GetReorderDelay() == 0)
        PaceShown(m_clock.Passed()); // the last picture again, in this plane's place
    nResult = DeliverFrame(m_Decoder, nResult);
    if (nResult == kFrameNew)
        CountFrame(dwLen);
    SetLastKind(0);
}

void CMPG4VideoDec::PaceShown(int64_t llTime)
{
    PaceStep((llTime - m_llLastShown) * m_llUnitsPerIncrement);
    m_llLastShown = llTime;
}

int CMPG4VideoDec::ProcessConfigureData(const unsigned char* pData, unsigned long dwLen)
{
    if (!pData || dwLen == 0)
        return 1;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_InitParam.bConfigured && m_InitParam.config.size() == dwLen &&
        std::memcmp(m_InitParam.config.data(), pData, dwLen) == 0)
        return 1;
    tagMPEG4StrmConfig config;
    if (!ParseMPEG4ConfigData(pData, dwLen, &config))
        return -1;
    m_InitParam.config.assign(pData, pData + dwLen);
    m_InitParam.nWidth = int(config.dwWidth);
    m_InitParam.nHeight = int(config.dwHeight);
    m_InitParam.bConfigured = true;
    m_StrmConfig = config;
    return 0;
}

bool CMPG4VideoDec::InnerConfigurate()
{
    std::vector<unsigned char> config;
    uint32_t dwResolution;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_InitParam.bConfigured)
            return false;
        config = m_InitParam.config;
        dwResolution = m_StrmConfig.dwTimeIncResolution;
    }
    // A resolution of 0 leaves the time increment without a width.
    m_clock.Restart(dwResolution);
    m_llUnitsPerIncrement = dwResolution ? kUnitsPerSecond / dwResolution : 0;
    m_DecoderSetup.nPixelFormat = OPF_RGBA;
    m_DecoderSetup.nBitCount = 32;
    if (ConfigDecoder(config.data(), config.size()) != 0) {
        DiagPrint(kDiagOut, "InnerConfig: Failed config decoer!\n");
        return false;
    }
    return true;
}

int CMPG4VideoDec::ConfigDecoder(const unsigned char* pData, unsigned long dwLen)
{
    m_bDecoderConfigured =
        pData && dwLen > 0 && m_Decoder.InitConfig(&m_DecoderSetup, pData, dwLen);
    if (!m_bDecoderConfigured) {
        DiagPrint(kDiagOut, "Error in sync data\n");
        return -1;
    }
    return 0;
}
