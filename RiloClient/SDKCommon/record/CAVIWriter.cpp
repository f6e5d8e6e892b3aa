#include "record/CAVIWriter.h"

#include "Common.h"
#include "RiloAssert.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const uint64_t kMaxLeadMs = 5000;       // a larger start offset is another clock: no lead
const uint64_t kFileMargin = 16u << 20; // room kept for gap chunks, silence and the index
const uint32_t kDefaultReserve = 209715200;
const uint16_t kIMASamplesPerBlock = 505;
const int16_t kMSADPCMCoeffSet[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                        {240, 0}, {460, -208}, {392, -232}};

std::atomic<AVIFreeSpaceFunc> g_freeSpaceFunc{nullptr};

int StatvfsFreeSpace(const char* folder, uint64_t* freeBytes)
{
    struct statvfs st;
    if (statvfs(folder, &st) != 0)
        return -1;
    *freeBytes = uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
    return 0;
}

uint32_t VideoFourCC(int nType)
{
    switch (nType) {
    case rmtVideoMPEG4:
        return AVIFourCC("XVID");
    case rmtVideoH264:
        return AVIFourCC("H264");
    default:
        return AVIFourCC("MJPG");
    }
}

// The video stream's description and its 40-byte format.
bool BuildVideoStream(int nType, long nWidth, long nHeight, AVISTREAMINFO* info,
                      std::vector<uint8_t>* format)
{
    if (nWidth < 0 || nHeight < 0 || nWidth > INT16_MAX || nHeight > INT16_MAX)
        return false;
    info->fccType = AVIFourCC("vids");
    info->fccHandler = VideoFourCC(nType);
    info->dwFlags = 1;
    info->dwScale = 1000;
    info->dwRate = 30000;
    info->dwQuality = 0xFFFFFFFFu;
    info->rcFrame.right = int32_t(nWidth);
    info->rcFrame.bottom = int32_t(nHeight);

    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = int32_t(nWidth);
    bih.biHeight = int32_t(nHeight);
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = info->fccHandler;
    bih.biSizeImage = ((3u * uint32_t(nWidth) + 3u) & ~3u) * uint32_t(nHeight);
    format->assign(sizeof bih, 0);
    AVIPutBitmapInfo(format->data(), bih);
    return true;
}

// The audio stream's description and its 50-byte format; false for a format
// that cannot be timed or divided into blocks.
bool BuildAudioStream(int nType, const WAVEFORMATEX* f, AVISTREAMINFO* info,
                      std::vector<uint8_t>* format)
{
    if (!f || f->nChannels == 0 || f->nBlockAlign == 0)
        return false;
    info->fccType = AVIFourCC("auds");
    info->dwSampleSize = f->nBlockAlign;
    info->dwQuality = 0xFFFFFFFFu;
    if (nType == rmtAudioPCMSamples) {
        info->dwScale = 1;
        info->dwRate = f->nSamplesPerSec;
    } else {
        info->dwScale = f->nBlockAlign;
        info->dwRate = f->nAvgBytesPerSec;
    }
    if (info->dwRate == 0)
        return false;

    format->assign(kAVIAudioFormatSize, 0);
    uint8_t* p = format->data();
    AVIPutWaveFormat(p, *f);
    p += sizeof(WAVEFORMATEX);
    if (nType == rmtAudioIMAADPCM) {
        PutLE16(p, kIMASamplesPerBlock);
    } else if (nType == rmtAudioMSADPCM) {
        // A block holds a 7-byte header per channel, then two samples a byte.
        int spb = (2 * int(f->nBlockAlign)) / int(f->nChannels) - 12;
        if (spb < 2 || spb > UINT16_MAX)
            return false;
        PutLE16(p, uint16_t(spb));
        PutLE16(p + 2, 7);
        for (int i = 0; i < 7; ++i) {
            PutLE16(p + 4 + 4 * i, uint16_t(kMSADPCMCoeffSet[i][0]));
            PutLE16(p + 6 + 4 * i, uint16_t(kMSADPCMCoeffSet[i][1]));
        }
    }
    return true;
}

} // namespace

void CAVIWriter::SetFreeSpaceFuncForTest(AVIFreeSpaceFunc fn)
{
    g_freeSpaceFunc = fn;
}

CAVIWriter::CAVIWriter()
    : m_nRef(1), m_szFilePath(), m_szFolder(), m_dwWritten(0), m_nReserve(kDefaultReserve),
      m_nLimitValue(60), m_nLimitKind(skSeconds), m_dwLastSpaceCheck(0), m_bSpaceChecked(false),
      m_bStop(false), m_bFailed(false), m_nLastVideoStamp(0), m_nLastAudioStamp(0), m_nSyncState(0),
      m_nStartStamp(0), m_nStampBase(), m_bWaitVideo(true), m_bDataWritten(false), m_dwFirstTick(0),
      m_bHeaderClosed(false)
{
}

CAVIWriter::~CAVIWriter()
{
    std::lock_guard<std::mutex> g(m_lock);
    AVIFileRelease();
    for (auto& c : m_streams)
        c->Release();
    m_streams.clear();
}

bool CAVIWriter::CreateFile(const char* lpszFilePath)
{
    RILO_ASSERT(lpszFilePath != NULL);
    std::lock_guard<std::mutex> g(m_lock);
    const size_t len = std::strlen(lpszFilePath);
    const char* slash = std::strrchr(lpszFilePath, '/');
    // A path that would not fit is refused rather than cut into another one.
    if (m_file.IsOpen() || len >= kPathSize || !slash || slash == lpszFilePath)
        return false;
    char folder[kPathSize];
    const size_t folderLen = size_t(slash - lpszFilePath) + 1;
    std::memcpy(folder, lpszFilePath, folderLen);
    folder[folderLen] = 0;
    struct stat st;
    if (stat(folder, &st) != 0) {
        DiagPrint(kDiagOut, "stat folder failed, err = %d\n", errno);
        return false;
    }
    std::memcpy(m_szFilePath, lpszFilePath, len + 1);
    std::memcpy(m_szFolder, folder, folderLen + 1);
    if (unlink(m_szFilePath) != 0) {
        int err = errno;
        DiagPrint(kDiagOut, "Delete %s failed, err = %d\n", m_szFilePath, err);
        if (err == EACCES)
            return false;
    }
    uint8_t head[kAVIFirstStreamList] = {};
    std::memcpy(head, "RIFF", 4);
    PutLE32(head + 4, kAVIPlaceholderSize);
    std::memcpy(head + 8, "AVI LIST", 8);
    std::memcpy(head + 20, "hdrlavih", 8);
    PutLE32(head + 28, sizeof(AVIMainHeader));
    if (!m_file.Open(m_szFilePath) || !m_file.WriteAt(0, head, sizeof head)) {
        DiagPrint(kDiagOut, "Create AVI file failed! err = %d\n", m_file.LastError());
        if (m_file.IsOpen()) {
            m_file.Close();
            unlink(m_szFilePath);
        }
        return false;
    }
    m_dwWritten = kAVIHeaderArea;
    m_bStop = false;
    m_nLastVideoStamp = 0;
    m_nLastAudioStamp = 0;
    m_bDataWritten = false;
    m_nSyncState = 0;
    m_nStartStamp = 0;
    return true;
}

void CAVIWriter::SetLimitSpace(uint64_t bytes)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_nReserve = bytes;
}

void CAVIWriter::SetRecordingInterval(long value, long kind)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_nLimitValue = value;
    m_nLimitKind = kind;
}

void CAVIWriter::SetWaitForVideo(bool bWait)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_bWaitVideo = bWait;
}

AVIStreamContext* CAVIWriter::AddStream(int nType, long nWidth, long nHeight,
                                        const WAVEFORMATEX* pFormat, bool, uint64_t, unsigned long)
{
    AVISTREAMINFO info{};
    std::vector<uint8_t> format;
    const bool video = IsVideoRecordType(nType);
    if (video ? !BuildVideoStream(nType, nWidth, nHeight, &info, &format)
              : !IsAudioRecordType(nType) || !BuildAudioStream(nType, pFormat, &info, &format))
        return nullptr;
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_file.IsOpen() || m_bFailed)
        return nullptr;
    // One video and one audio stream at most: their headers fit the header area.
    for (const auto& c : m_streams)
        if (IsVideoRecordType(c->GetMediaType()) == video)
            return nullptr;
    return AddStreamLocked(nType, info, format.data(), long(format.size()));
}

AVIStreamContext* CAVIWriter::AddStreamLocked(int nType, const AVISTREAMINFO& info,
                                              const uint8_t* pFormat, long cbFormat)
{
    auto ctx = std::make_unique<AVIStreamContext>();
    AVIStreamContext* added = ctx.get();
    if (ctx->CreateStream(&m_file, nType, &info, &m_share) && ctx->SetFormat(pFormat, cbFormat)) {
        m_streams.push_back(std::move(ctx));
        if (WriteStreamHeaders())
            return added;
        m_streams.pop_back();
    }
    // A header half written: nothing more goes into this file.
    DiagPrint(kDiagOut, "Add AVI stream failed, err = %d\n", m_file.LastError());
    m_bStop = m_bFailed = true;
    return nullptr;
}

bool CAVIWriter::WriteStreamHeaders()
{
    // Readers number the streams by their headers' order and the chunks
    // name them so: until a chunk is written, video is stream 0 whichever
    // stream came first; later a stream takes the next number, last.
    std::vector<AVIStreamContext*> order;
    uint32_t pos = kAVIFirstStreamList;
    int number = 0;
    if (m_bHeaderClosed) {
        order.push_back(m_streams.back().get());
        pos = m_share.dwHeaderEnd;
        number = int(m_streams.size()) - 1;
    } else {
        for (const auto& c : m_streams)
            order.push_back(c.get());
        std::stable_partition(order.begin(), order.end(), [](const AVIStreamContext* c) {
            return IsVideoRecordType(c->GetMediaType());
        });
    }
    for (AVIStreamContext* c : order)
        if ((pos = c->WriteHeader(pos, number++)) == 0)
            return false;
    m_share.dwHeaderEnd = pos;
    return true;
}

bool CAVIWriter::SetFormat(AVIStreamContext* pStrmContext, const void* lpFormat, long cbFormat,
                           bool)
{
    RILO_ASSERT(pStrmContext != NULL);
    return pStrmContext->SetFormat(lpFormat, cbFormat);
}

AVIStreamContext* CAVIWriter::FindStream(int nType) const
{
    for (const auto& c : m_streams)
        if (c->GetMediaType() == nType)
            return c.get();
    return nullptr;
}

bool CAVIWriter::HoldsStream(const AVIStreamContext* pContext) const
{
    for (const auto& c : m_streams)
        if (c.get() == pContext)
            return true;
    return false;
}

AVIStreamContext* CAVIWriter::GetStream(int nType)
{
    std::lock_guard<std::mutex> g(m_lock);
    return FindStream(nType);
}

bool CAVIWriter::PrepareWrite(AVIStreamContext* pContext, int* pResult)
{
    *pResult = rrOK;
    if (!m_bHeaderClosed) {
        if (!pContext->EndOfHeader()) {
            *pResult = WriteFailed();
            return false;
        }
        m_bHeaderClosed = true;
    }
    return true;
}

uint32_t CAVIWriter::MonotonicElapsedMs() const
{
    return m_bDataWritten ? uint32_t(MonotonicTickMs() - m_dwFirstTick) : 0;
}

void CAVIWriter::SetStampBase(bool bAudio, uint64_t nStamp, bool bAligned)
{
    if (bAligned) {
        m_nStampBase[bAudio] = m_nStartStamp;
        return;
    }
    // This stream's stamps count from here: as much time has passed as the
    // file has been written.
    uint64_t elapsed = MonotonicElapsedMs();
    m_nStampBase[bAudio] = nStamp - (elapsed < nStamp ? elapsed : nStamp - 1);
}

bool CAVIWriter::SyncVideo(uint64_t nStamp, int64_t* pLead)
{
    *pLead = 0;
    if (nStamp == 0)
        return true;
    if (m_nSyncState == 0) {
        m_nStartStamp = nStamp;
        m_nSyncState = 1;
        SetStampBase(false, nStamp, false);
    } else if (m_nSyncState == 2) {
        if (nStamp < m_nStartStamp) {
            if (m_nStartStamp - nStamp <= kMaxLeadMs)
                return false; // came before the audio's start: dropped
            SetStampBase(false, nStamp, false);
        } else if (nStamp - m_nStartStamp > kMaxLeadMs) {
            SetStampBase(false, nStamp, false);
        } else {
            *pLead = int64_t(nStamp - m_nStartStamp) * 10000 / 333333;
            SetStampBase(false, nStamp, true);
        }
        m_nSyncState = 3;
    }
    return true;
}

bool CAVIWriter::SyncAudio(const AVIStreamContext* pContext, uint64_t nStamp, int64_t* pLead)
{
    *pLead = 0;
    if (m_nSyncState == 0) {
        if (nStamp != 0) {
            m_nStartStamp = nStamp;
            m_nSyncState = 2;
            SetStampBase(true, nStamp, false);
        }
    } else if (m_nSyncState == 1) {
        if (nStamp < m_nStartStamp) {
            if (nStamp == 0 || m_nStartStamp - nStamp <= kMaxLeadMs)
                return false; // came before the video's start: dropped
            SetStampBase(true, nStamp, false);
        } else if (nStamp - m_nStartStamp > kMaxLeadMs) {
            SetStampBase(true, nStamp, false);
        } else {
            const uint64_t ms = nStamp - m_nStartStamp;
            *pLead = int64_t(ms * pContext->GetRate() / (uint64_t(pContext->GetScale()) * 1000));
            SetStampBase(true, nStamp, true);
        }
        m_nSyncState = 3;
    }
    return true;
}

bool CAVIWriter::CheckReachToSegment(bool bAudio, uint64_t nStamp)
{
    uint64_t measure = 0;
    if (m_nLimitKind == skMiB) {
        measure = m_dwWritten >> 20;
    } else if (m_nLimitKind == skGiB) {
        measure = m_dwWritten >> 30;
    } else if (m_nLimitKind == skSeconds || m_nLimitKind == skMinutes) {
        // Unstamped writes, and stamps from before this stream's start, are
        // timed by the monotonic clock.
        const uint64_t base = m_nStampBase[bAudio];
        const uint64_t ms =
            (nStamp != 0 && base != 0 && nStamp >= base) ? nStamp - base : MonotonicElapsedMs();
        measure = ms / 1000;
        if (m_nLimitKind == skMinutes)
            measure /= 60;
    }
    return measure >= uint64_t(m_nLimitValue);
}

int CAVIWriter::IsReachLimitSpace()
{
    const uint32_t now = MonotonicTickMs();
    if (m_bSpaceChecked && uint32_t(now - m_dwLastSpaceCheck) < kSpaceCheckMs)
        return rrOK;
    m_bSpaceChecked = true;
    m_dwLastSpaceCheck = now;
    AVIFreeSpaceFunc fn = g_freeSpaceFunc;
    uint64_t freeBytes = 0;
    if ((fn ? fn : StatvfsFreeSpace)(m_szFolder, &freeBytes) != 0)
        return rrSpaceQueryFailed;
    if (freeBytes <= m_nReserve) {
        m_bStop = true;
        return rrDiskReserve;
    }
    return rrOK;
}

int CAVIWriter::CheckLimits(bool bAudio, uint64_t nStamp, unsigned long nLen)
{
    // RIFF sizes are 32-bit: the file ends before it could pass them.
    const uint64_t need = m_file.End() + 9 + uint64_t(nLen) + m_share.index.size() + kFileMargin;
    if (CheckReachToSegment(bAudio, nStamp) || need > UINT32_MAX) {
        m_bStop = true;
        return rrSegmentReached;
    }
    return IsReachLimitSpace();
}

int CAVIWriter::Accepted(bool bAudio, unsigned long nLen, uint64_t nStamp)
{
    m_dwWritten += uint32_t(nLen);
    (bAudio ? m_nLastAudioStamp : m_nLastVideoStamp) = nStamp;
    if (m_bDataWritten)
        return rrOK;
    m_bDataWritten = true;
    m_dwFirstTick = MonotonicTickMs();
    return rrStarted;
}

int CAVIWriter::WriteFailed()
{
    DiagPrint(kDiagOut, "Write AVI file failed, err = %d\n", m_file.LastError());
    m_bStop = m_bFailed = true;
    return rrWriteError;
}

int CAVIWriter::WriteLocked(AVIStreamContext* pContext, bool bAudio, const unsigned char* pData,
                            unsigned long nLen, uint64_t nStamp, unsigned long nValue, bool bKey)
{
    int result;
    if (!PrepareWrite(pContext, &result))
        return result;
    int64_t lead;
    if (!(bAudio ? SyncAudio(pContext, nStamp, &lead) : SyncVideo(nStamp, &lead)))
        return rrOK;
    if ((result = CheckLimits(bAudio, nStamp, nLen)) != rrOK)
        return result;
    const uint32_t len = uint32_t(nLen);
    const uint32_t value = uint32_t(nValue);
    // Every sound chunk can start a decode; a picture only when it says so;
    // a chunk of nothing, like an empty slot, never.
    const uint32_t flags = (len > 0 && (bAudio || bKey)) ? uint32_t(kAVIIndexKeyFrame) : 0u;
    AVIStreamContext::WriteOutcome outcome =
        bAudio ? pContext->WriteSample(pData, len, flags, nStamp, value, lead)
               : pContext->WriteFrame(pData, len, flags, nStamp, value, lead);
    if (outcome == AVIStreamContext::woFailed)
        return WriteFailed();
    if (outcome == AVIStreamContext::woDropped)
        return rrOK;
    // Audio waits for the first written frame, stamped or not.
    if (!bAudio)
        m_bWaitVideo = false;
    return Accepted(bAudio, nLen, nStamp);
}

int CAVIWriter::Write(AVIStreamContext* pContext, bool bAudio, const unsigned char* pData,
                      unsigned long nLen, uint64_t nStamp, unsigned long nValue, bool bKey)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_bStop)
        return rrStopped;
    if (bAudio && m_bWaitVideo)
        return rrOK;
    // An audio packet shorter than one block has nothing to count: dropped.
    if (!HoldsStream(pContext) || IsAudioRecordType(pContext->GetMediaType()) != bAudio ||
        (!pData && nLen) || (bAudio && nLen < pContext->GetSampleSize()))
        return rrOK;
    return WriteLocked(pContext, bAudio, pData, nLen, nStamp, nValue, bKey);
}

int CAVIWriter::WriteFrame(AVIStreamContext* pContext, const unsigned char* pData,
                           unsigned long nLen, uint64_t nStamp, unsigned long nValue, bool bKey)
{
    return Write(pContext, false, pData, nLen, nStamp, nValue, bKey);
}

int CAVIWriter::WriteFrame(int nType, const unsigned char* pData, unsigned long nLen,
                           uint64_t nStamp, unsigned long nValue, bool bKey)
{
    AVIStreamContext* ctx = GetStream(nType);
    return ctx ? Write(ctx, false, pData, nLen, nStamp, nValue, bKey) : rrOK;
}

int CAVIWriter::WriteSample(AVIStreamContext* pContext, const unsigned char* pData,
                            unsigned long nLen, uint64_t nStamp, unsigned long nSeq)
{
    return Write(pContext, true, pData, nLen, nStamp, nSeq, true);
}

int CAVIWriter::WriteSample(int nType, const unsigned char* pData, unsigned long nLen,
                            uint64_t nStamp, unsigned long nSeq)
{
    AVIStreamContext* ctx = GetStream(nType);
    return ctx ? Write(ctx, true, pData, nLen, nStamp, nSeq, true) : rrOK;
}
