#include "codec/CVideoDecThread.h"
#include "Common.h"

#include "RiloAssert.h"
#include "codec/CFFVideoDecoder.h"
#include "codec/CPictureConverter.h"
#include "codec/CSimpleBuffer.h"
#include "codec/CTransferQueue.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

namespace {

const int64_t kUnitsPerSecond = 10000000; // 100-ns units
const int64_t kAllowanceStep = 10000;     // 1 ms
const int64_t kAllowanceMax = 99999;      // grows no more once above this
const int64_t kAllowanceCheckMs = 1000;
const int kStartDelayMs = 50;
const int kNoSourceWaitMs = 30;
const int kBitsPerPixel = 32;

// The monotonic clock in 100-ns units.
int64_t Now100ns()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

} // namespace

unsigned long TakeQueuedUnit(CTransferQueue* pQueue, unsigned long dwWaitMs, unsigned char* pBuffer,
                             unsigned long dwCapacity, unsigned int* pBacklog)
{
    RILO_ASSERT(pQueue != nullptr && pBuffer != nullptr);
    CSimpleBuffer* pUnit = pQueue->GetQueueObject(dwWaitMs);
    if (!pUnit)
        return 0;
    const unsigned long dwLen = std::min(pUnit->DataLen(), dwCapacity);
    if (dwLen)
        std::memcpy(pBuffer, pUnit->Data(), dwLen);
    pQueue->CollectBuffer(pUnit);
    if (pBacklog)
        *pBacklog = unsigned(std::max(pQueue->GetQueueCount(), 0));
    return dwLen;
}

CVideoDecThread::CVideoDecThread() = default;

CVideoDecThread::~CVideoDecThread()
{
    // The formats stop the thread in their destructors, while the decoder
    // it uses still exists.
    RILO_ASSERT(!m_thread.joinable());
}

void CVideoDecThread::SetFrameSource(FrameSourceProc pfnSource, void* pContext)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pfnSource = pfnSource;
    m_pSourceContext = pContext;
}

void CVideoDecThread::SetPacing(bool bOn)
{
    m_bPacing = bOn;
}

void CVideoDecThread::SetDelayThreshold(unsigned int nThreshold)
{
    m_nDelayThreshold = nThreshold;
}

void CVideoDecThread::SetRenderCallback(bool bOn, VideoRenderCallback pfn, void* pUser)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bCallbackMode = bOn;
    m_pfnRender = bOn ? pfn : nullptr;
    m_pRenderUser = bOn ? pUser : nullptr;
}

int CVideoDecThread::StartDecodingProc()
{
    std::unique_lock<std::mutex> control(m_controlMutex);
    if (m_thread.joinable())
        return -2;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nState = kStateStarting;
        m_bStartReported = false;
        m_bEnded = false;
    }
    try {
        m_thread = std::thread(DecodeFrameThreadProc, this);
    } catch (const std::system_error&) {
        m_nState = kStateStopped;
        return -1;
    }
    int nState;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait(lock, [this] { return m_bStartReported || m_bEnded; });
        nState = m_nState;
    }
    if (nState == kStateRunning)
        return 0;
    if (nState == kStateFailed)
        StopLocked(control);
    else
        m_thread.join(); // it never ran
    return -1;
}

void CVideoDecThread::StopDecodingProc()
{
    std::unique_lock<std::mutex> control(m_controlMutex);
    StopLocked(control);
}

void CVideoDecThread::StopLocked(std::unique_lock<std::mutex>&)
{
    // From the callback it would wait for itself.
    RILO_ASSERT(m_thread.get_id() != std::this_thread::get_id());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nState = kStateStopped;
    }
    m_cond.notify_all(); // ends a pacing or idle wait
    if (!m_thread.joinable())
        return;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait(lock, [this] { return m_bEnded; });
    }
    m_thread.join();
    DiagPrint(kDiagOut, "Decoding thread stopped!\n");
}

void CVideoDecThread::GetFPS(double* pdbFPS)
{
    RILO_ASSERT(pdbFPS != nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    *pdbFPS = m_dbFrameRate * double(kUnitsPerSecond);
}

void CVideoDecThread::GetBPS(unsigned long* pdwBPS)
{
    RILO_ASSERT(pdwBPS != nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    *pdwBPS = m_dwByteRate >> 7;
}

void CVideoDecThread::DecodeFrameThreadProc(CVideoDecThread* pThis)
{
    // No stop can come before the start is reported: a plain sleep.
    std::this_thread::sleep_for(std::chrono::milliseconds(kStartDelayMs));
    pThis->DoRenderFrameStream();
    pThis->ReportEnd();
}

void CVideoDecThread::DoRenderFrameStream()
{
    std::unique_ptr<unsigned char[]> pUnit(new (std::nothrow) unsigned char[kUnitBufferSize]);
    if (!pUnit) {
        DiagPrint(kDiagOut, "Out of memory while execute decoding thread!\n");
        return;
    }
    if (!OpenDecoder()) {
        DiagPrint(kDiagOut, "Init MPEG4 decoder and video render failed!\n");
        return;
    }
    ReportStart();
    RunLoop(pUnit.get());
    pUnit.reset();
    CloseDecoder();
    CleanUp();
    DiagPrint(kDiagOut, "InnerUnint completed!\n");
}

void CVideoDecThread::ReportStart()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pfnThreadSource = m_pfnSource;
        m_pThreadSourceContext = m_pSourceContext;
        m_dbFrameRate = 0;
        m_dwByteRate = 0;
        m_nState = kStateRunning;
        m_bStartReported = true;
    }
    m_cond.notify_all();
    m_dwLastKind = 0;
    m_nBacklog = 0;
    m_llAllowance = 0;
    m_llNextAllowanceCheck = 0;
    m_bScheduled = false;
    m_dwFrames = 0;
    m_qwBytes = 0;
    m_llWindowStart = Now100ns();
    OnDecodingStarted();
}

void CVideoDecThread::RunLoop(unsigned char* pUnit)
{
    while (IsRunning()) {
        const unsigned long dwLen = PullUnit(pUnit);
        UpdateAllowance();
        HandleUnit(pUnit, dwLen);
        UpdateRates();
    }
}

void CVideoDecThread::ReportEnd()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bEnded = true;
    }
    m_cond.notify_all();
}

unsigned long CVideoDecThread::PullUnit(unsigned char* pBuffer)
{
    if (!m_pfnThreadSource) {
        IdleWait(kNoSourceWaitMs);
        return 0;
    }
    unsigned int nBacklog = m_nBacklog;
    const unsigned long dwLen = m_pfnThreadSource(m_nSourceParam, pBuffer, kUnitBufferSize,
                                                  m_pThreadSourceContext, &nBacklog, m_dwLastKind);
    m_nBacklog = nBacklog;
    return std::min(dwLen, (unsigned long)kUnitBufferSize);
}

void CVideoDecThread::SetFailed()
{
    m_nState = kStateFailed;
}

void CVideoDecThread::UpdateAllowance()
{
    const int64_t llNowMs = Now100ns() / 10000;
    if (llNowMs < m_llNextAllowanceCheck)
        return;
    if (m_nBacklog > m_nDelayThreshold.load()) {
        if (m_llAllowance <= kAllowanceMax)
            m_llAllowance += kAllowanceStep;
    } else {
        m_llAllowance = 0;
    }
    m_llNextAllowanceCheck = llNowMs + kAllowanceCheckMs;
}

void CVideoDecThread::PaceStep(int64_t llStep)
{
    if (!m_bPacing)
        return;
    const int64_t llNow = Now100ns();
    if (!m_bScheduled) {
        m_bScheduled = true;
        m_llDue = llNow;
        return;
    }
    m_llDue += llStep - m_llAllowance;
    if (llNow < m_llDue)
        WaitUntil(m_llDue);
    else
        m_llDue = llNow; // late: no sleep, the schedule restarts here
}

void CVideoDecThread::WaitUntil(int64_t llDue)
{
    const auto due = std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::nanoseconds(llDue * 100)));
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait_until(lock, due, [this] { return m_nState.load() != kStateRunning; });
}

void CVideoDecThread::IdleWait(int nMs)
{
    WaitUntil(Now100ns() + int64_t(nMs) * 10000);
}

void CVideoDecThread::CountFrame(unsigned long dwBytes)
{
    ++m_dwFrames;
    m_qwBytes += dwBytes;
}

void CVideoDecThread::UpdateRates()
{
    const int64_t llNow = Now100ns();
    const int64_t llElapsed = llNow - m_llWindowStart;
    if (llElapsed <= kUnitsPerSecond)
        return;
    const double dbBytesPerSecond = double(m_qwBytes) * double(kUnitsPerSecond) / double(llElapsed);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_dbFrameRate = double(m_dwFrames) / double(llElapsed);
        m_dwByteRate = uint32_t(std::min(dbBytesPerSecond, 4294967295.0));
    }
    m_llWindowStart = llNow;
    m_dwFrames = 0;
    m_qwBytes = 0;
}

int CVideoDecThread::ProcessFrame(CFFVideoDecoder& decoder, bool bDecode,
                                  const unsigned char* pData, unsigned long dwLen)
{
    return DeliverFrame(decoder, DecodeFrame(decoder, bDecode, pData, dwLen));
}

int CVideoDecThread::DecodeFrame(CFFVideoDecoder& decoder, bool bDecode, const unsigned char* pData,
                                 unsigned long dwLen)
{
    // A stop may have ended the pacing wait before this picture.
    if (!bDecode || !IsRunning())
        return kFrameFailed;
    switch (decoder.DecodeUnit(pData, dwLen)) {
    case CFFVideoDecoder::kPicture:
        return kFrameNew;
    case CFFVideoDecoder::kNoPicture:
        return kFrameNone;
    default:
        return kFrameFailed;
    }
}

int CVideoDecThread::DeliverFrame(CFFVideoDecoder& decoder, int nDecoded)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!IsRunning())
        return kFrameFailed;
    const int nResult = nDecoded == kFrameNew ? TakeDecodedPicture(decoder) : nDecoded;
    DeliverToCallback();
    return nResult;
}

int CVideoDecThread::TakeDecodedPicture(CFFVideoDecoder& decoder)
{
    int nWidth = 0, nHeight = 0;
    decoder.GetPictureSize(&nWidth, &nHeight);
    const size_t dwImage = size_t(nWidth) * size_t(nHeight) * (kBitsPerPixel / 8);
    if (!AllocBuffer(std::max(decoder.GetOutputSize(), dwImage)))
        return kFrameNoBuffer;
    if (!decoder.ConvertPicture(m_pOutput.get(),
                                m_dwOutputCapacity + CPictureConverter::kSpareBytes))
        return kFrameFailed;
    SetFrameSize(nWidth, nHeight);
    m_bHasPicture = true;
    return kFrameNew;
}

bool CVideoDecThread::AllocBuffer(size_t dwNeed)
{
    if (m_pOutput && m_dwOutputCapacity >= dwNeed)
        return true;
    m_bHasPicture = false;
    m_pOutput.reset();
    m_dwOutputCapacity = 0;
    // The spare bytes after the capacity let the converter write straight
    // into the buffer; the callback is not told of them.
    m_pOutput.reset(new (std::nothrow) unsigned char[dwNeed + CPictureConverter::kSpareBytes]());
    if (!m_pOutput)
        return false;
    m_dwOutputCapacity = dwNeed;
    return true;
}

void CVideoDecThread::SetFrameSize(int nWidth, int nHeight)
{
    if (nWidth <= 0 || nHeight <= 0)
        return;
    const int nStride = ((nWidth * kBitsPerPixel + 31) >> 5) * 4;
    m_Header = tagBITMAPINFOHEADER{};
    m_Header.biSize = sizeof(tagBITMAPINFOHEADER);
    m_Header.biWidth = nWidth;
    m_Header.biHeight = -nHeight;
    m_Header.biPlanes = 1;
    m_Header.biBitCount = kBitsPerPixel;
    m_Header.biCompression = 0;
    m_Header.biSizeImage = uint32_t(nHeight) * uint32_t(nStride);
}

void CVideoDecThread::DeliverToCallback()
{
    if (!m_bCallbackMode) {
        DiagPrint(kDiagOut, "Not in callback mode, skip deliver...\n");
        return;
    }
    if (m_pfnRender && m_bHasPicture)
        m_pfnRender(m_pRenderUser, &m_Header, m_pOutput.get(), (unsigned long)m_dwOutputCapacity);
}

void CVideoDecThread::CleanUp()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pOutput.reset();
    m_dwOutputCapacity = 0;
    m_bHasPicture = false;
}
