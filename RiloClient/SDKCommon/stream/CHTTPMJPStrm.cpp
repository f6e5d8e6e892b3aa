#include "stream/CHTTPMJPStrm.h"

#include "Common.h"
#include "RiloAssert.h"
#include "codec/CPictureConverter.h"
#include "codec/OutputPixelFormat.h"
#include "record/AVIDefs.h"
#include "stream/MJPEGParse.h"

#include <cstring>
#include <new>

namespace {

const int64_t kTicksPerSecond = 10000000; // statistics run in 100 ns units
const int64_t kSubstituteStep = 33;       // ms between made-up stamps that would collide

int64_t StatisticsNow()
{
    return int64_t(MonotonicMs()) * (kTicksPerSecond / 1000);
}

uint64_t PackSize(int width, int height)
{
    return uint64_t(uint32_t(width)) << 32 | uint32_t(height);
}

} // namespace

CHTTPMJPStrm::CHTTPMJPStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CHTTPVisStrm(nNotifyMsg, bTLS, nAuthType), m_bCallbackMode(false), m_pfnRender(nullptr),
      m_pRenderUser(nullptr), m_dFrameRate(0), m_nByteRate(0), m_nWindowBytes(0),
      m_nWindowFrames(0), m_llWindowStart(0), m_nFrameCounter(0), m_nFrameSize(0),
      m_llLastSubstitute(0), m_bih(), m_nBitCount(32), m_nPixelFormat(OPF_RGBA),
      m_nOutputCapacity(0), m_nStride(0), m_nCutSerial(0), m_dwCutHeld(0)
{
}

CHTTPMJPStrm::~CHTTPMJPStrm() = default;

bool CHTTPMJPStrm::InitInstance()
{
    m_dwSizeContent = kContentSize;
    return CHTTPCtrl::InitInstance();
}

bool CHTTPMJPStrm::SetCallbackRenderMode(bool bFlag, VideoRenderCallback pfn, void* user)
{
    CObjectLock lock(*this);
    m_bCallbackMode = bFlag;
    m_pfnRender = bFlag ? pfn : nullptr;
    m_pRenderUser = bFlag ? user : nullptr;
    return true;
}

bool CHTTPMJPStrm::InitDecoder(bool)
{
    if (!m_Decoder.Create()) {
        DiagPrint(kDiagErr, "[CHTTPMJPStrm::InitDecoder]m_Decoder.Create failed!\n");
        return false;
    }
    // The output format is set here as well as at a size change, so a
    // restart at an unchanged size converts again.
    int width = 0, height = 0;
    GetVideoResolution(&width, &height);
    const JPGMediaInfo info = {width, height, m_nPixelFormat, m_nBitCount};
    m_Decoder.InitConfig(&info);
    CObjectLock lock(*this);
    m_dFrameRate = 0;
    m_nByteRate = 0;
    m_nFrameCounter = 0;
    m_bDecoderOn = m_bCallbackMode;
    return m_bCallbackMode;
}

void CHTTPMJPStrm::UninitDecoder()
{
    {
        // ProcessFrame decodes and delivers under this lock: once it is
        // taken no decode is in progress, and none starts afterwards.
        CObjectLock lock(*this);
        m_bDecoderOn = false;
        m_pOutput.reset();
        m_nOutputCapacity = 0;
    }
    m_Decoder.Destroy();
}

bool CHTTPMJPStrm::GetVideoResolution(int* pcx, int* pcy)
{
    RILO_ASSERT(pcx != nullptr);
    RILO_ASSERT(pcy != nullptr);
    const uint64_t size = m_nFrameSize.load();
    *pcx = int(size >> 32);
    *pcy = int(uint32_t(size));
    return true;
}

void CHTTPMJPStrm::GetFPS(double* pFPS)
{
    RILO_ASSERT(pFPS != nullptr);
    CObjectLock lock(*this);
    *pFPS = m_dFrameRate * double(kTicksPerSecond);
}

void CHTTPMJPStrm::GetBPS(unsigned long* pBPS)
{
    RILO_ASSERT(pBPS != nullptr);
    CObjectLock lock(*this);
    *pBPS = m_nByteRate >> 7;
}

void CHTTPMJPStrm::ProcessContent()
{
    // Every connection, and a buffer the worker emptied, starts the cutter afresh.
    const uint32_t serial = GetConnectionSerial();
    if (serial != m_nCutSerial || m_dwContent < m_dwCutHeld) {
        m_cutter.Reset();
        m_nCutSerial = serial;
    }
    if (m_dwContent >= m_dwSizeContent)
        GrowForPicture();
    const uint32_t drop = m_cutter.Cut(m_pContent, m_dwContent, m_dwSizeContent, *this);
    if (m_cutter.LastCutDropped())
        DiagPrint(kDiagOut, "[CHTTPMJPStrm::ProcessContent] no picture within %u bytes, dropped\n",
                  unsigned(m_dwContent));
    if (m_cutter.LastCutLostPicture())
        NotifyStreamEvent(kEventPictureTooLarge, 1);
    if (drop > 0) {
        std::memmove(m_pContent, m_pContent + drop, m_dwContent - drop);
        m_dwContent -= drop;
    }
    m_dwCutHeld = m_dwContent;
}

void CHTTPMJPStrm::GrowForPicture()
{
    const uint64_t room = m_cutter.PictureRoom();
    if (room > m_dwSizeContent && room <= kMaxContentSize)
        GrowContentBuffer(uint32_t(room));
}

void CHTTPMJPStrm::OnPicture(const uint8_t* data, uint32_t len, int64_t stamp)
{
    long long ms = stamp != 0 ? stamp : NextSubstituteStamp();
    FeedStreamItem(data, len, &ms);
    NotifyStreamEvent(0, 1);
    CountFrame(len);
}

int64_t CHTTPMJPStrm::NextSubstituteStamp()
{
    // The wall clock in ms, as the cameras' own stamps are.
    const int64_t now = int64_t(GetTime() / 1000);
    m_llLastSubstitute = now > m_llLastSubstitute ? now : m_llLastSubstitute + kSubstituteStep;
    return m_llLastSubstitute;
}

void CHTTPMJPStrm::CountFrame(unsigned long len)
{
    CObjectLock lock(*this);
    ++m_nFrameCounter;
    ++m_nWindowFrames;
    m_nWindowBytes += uint32_t(len);
    const int64_t elapsed = StatisticsNow() - m_llWindowStart;
    if (elapsed <= kTicksPerSecond)
        return;
    m_dFrameRate = double(m_nWindowFrames) / double(elapsed);
    const double byteRate = double(m_nWindowBytes) * double(kTicksPerSecond) / double(elapsed);
    m_nByteRate = byteRate >= 4294967295.0 ? UINT32_MAX : uint32_t(byteRate);
    m_llWindowStart = StatisticsNow();
    m_nWindowFrames = 0;
    m_nWindowBytes = 0;
}

void CHTTPMJPStrm::FeedStreamItem(const unsigned char* pData, unsigned long len, long long* pStamp)
{
    RILO_ASSERT(pData != nullptr);
    RILO_ASSERT(pStamp != nullptr);
    int width = 0, height = 0;
    if (ScanJpegFrameSize(pData, len, &width, &height))
        OnFrameSize(width, height);
    const int result = FeedRecorder(pData, len, *pStamp);
    if (result != 0)
        HandleAVIResult(result);
    const int decoded = ProcessFrame(pData, len);
    if (decoded < 0)
        DiagPrint(kDiagErr, "ProcessFreame failed! error = %d\n", decoded);
}

void CHTTPMJPStrm::OnFrameSize(int width, int height)
{
    const uint64_t size = PackSize(width, height);
    if (m_nFrameSize.exchange(size) == size)
        return;
    const JPGMediaInfo info = {width, height, m_nPixelFormat, m_nBitCount};
    m_Decoder.InitConfig(&info);
    NotifyStreamEvent(kEventSizeChanged, 1);
}

int CHTTPMJPStrm::FeedRecorder(const unsigned char* pData, unsigned long len, long long stamp)
{
    CObjectLock lock(*this);
    if (m_bRecordRequested) {
        if (PrepareRecordStream(stamp)) {
            m_bRecordRequested = false;
            m_bRecording = true;
        } else {
            m_pRecorder->RequestForStop();
            // A file already being written still takes the frame.
            if (!m_bRecording)
                return rrAddStreamFailed;
        }
    } else if (!m_bRecording) {
        return 0;
    }
    return m_pRecorder->RecordAVIFrame(rmtVideoMJPEG, pData, len, uint64_t(stamp), m_nFrameCounter);
}

bool CHTTPMJPStrm::PrepareRecordStream(long long stamp)
{
    RILO_ASSERT(m_pRecorder != nullptr);
    m_llLastSubstitute = 0;
    int width = 0, height = 0;
    GetVideoResolution(&width, &height);
    if (width == 0 || height == 0)
        return false;
    return m_pRecorder->StartRecordStream(rmtVideoMJPEG, width, height, nullptr, false,
                                          uint64_t(stamp), m_nFrameCounter);
}

int CHTTPMJPStrm::ProcessFrame(const unsigned char* pData, unsigned long len)
{
    // Held through the callback: the application's pixels and descriptor
    // stay as they are until it returns.
    CObjectLock lock(*this);
    if (!m_bDecoderOn)
        return 0;
    const int result = DecodeIntoOutput(pData, len);
    if (!m_pOutput)
        return result; // nothing was ever decoded: nothing to show
    if (!m_bCallbackMode)
        DiagPrint(kDiagOut, "Not in callback mode, skip deliver...\n");
    else if (m_pfnRender)
        DeliverToCallback(m_pfnRender, m_pRenderUser);
    return result;
}

int CHTTPMJPStrm::DecodeIntoOutput(const unsigned char* pData, unsigned long len)
{
    if (len > UINT32_MAX || !m_Decoder.DecodePicture(pData, unsigned(len)))
        return -1;
    // Buffers follow the picture decoded, not a header.
    const size_t bytes = m_Decoder.GetOutputSize();
    if (bytes == 0)
        return -1;
    unsigned char* out = AllocBuffer(bytes);
    if (!out)
        return -2;
    if (!m_Decoder.ConvertPicture(out, m_nOutputCapacity + CPictureConverter::kSpareBytes))
        return -1;
    int width = 0, height = 0;
    m_Decoder.GetPictureSize(&width, &height);
    if (width != m_bih.biWidth || -height != m_bih.biHeight)
        SetFrameSizeLocked(width, height);
    return 0;
}

unsigned char* CHTTPMJPStrm::AllocBuffer(size_t bytes)
{
    if (m_pOutput && m_nOutputCapacity >= bytes)
        return m_pOutput.get();
    // The spare lets the converter write rows straight into the buffer.
    unsigned char* fresh =
        new (std::nothrow) unsigned char[bytes + CPictureConverter::kSpareBytes]();
    if (!fresh)
        return nullptr;
    m_pOutput.reset(fresh);
    m_nOutputCapacity = bytes;
    return fresh;
}

void CHTTPMJPStrm::DeliverToCallback(VideoRenderCallback pfn, void* user)
{
    pfn(user, &m_bih, m_pOutput.get(), static_cast<unsigned long>(m_nOutputCapacity));
}

void CHTTPMJPStrm::SetFrameSize(int width, int height)
{
    CObjectLock lock(*this);
    SetFrameSizeLocked(width, height);
}

void CHTTPMJPStrm::SetFrameSizeLocked(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return;
    m_nStride = ((width * m_nBitCount + 31) & ~31) / 8;
    std::memset(&m_bih, 0, sizeof m_bih);
    m_bih.biSize = sizeof m_bih;
    m_bih.biWidth = width;
    m_bih.biHeight = -height;
    m_bih.biPlanes = 1;
    m_bih.biBitCount = uint16_t(m_nBitCount);
    m_bih.biCompression = 0;
    m_bih.biSizeImage = uint32_t(size_t(height) * size_t(m_nStride));
}
