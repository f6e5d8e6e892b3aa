#include "record/AVIStreamContext.h"
#include "Common.h"

#include "RiloAssert.h"
#include "record/CAVIFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

const int64_t kSlot100ns = 333333;      // one frame at 30 per second
const uint64_t kMaxVideoGapMs = 214748; // longer gaps restart the timeline
const uint64_t kMaxSilenceMs = 2000;    // longer losses restart the audio timeline
const uint32_t kListStrlHead = 20;      // "LIST", size, "strl", "strh", 56
const uint32_t kVideoListSize = 116;
const uint32_t kAudioListSize = 126;

} // namespace

AVIStreamContext::AVIStreamContext()
    : m_nMediaType(0), m_dwScale(0), m_nPosition(0), m_nLastStamp(0), m_dwLastValue(0), m_info(),
      m_nRemainder(0), m_pFile(nullptr), m_nLengthOffset(0), m_nStreamNo(0), m_nWrittenSlots(0),
      m_pShareData(nullptr)
{
}

AVIStreamContext::~AVIStreamContext()
{
    Release();
}

bool AVIStreamContext::CreateStream(CAVIFile* pFile, int nType, const AVISTREAMINFO* pStrmInfo,
                                    AVIShareData* pShare)
{
    RILO_ASSERT(pStrmInfo->dwScale > 0);
    if (!AVIFileCreateStream(pFile, pStrmInfo, pShare))
        return false;
    m_pFile = pFile;
    m_nMediaType = nType;
    m_dwScale = pStrmInfo->dwScale;
    m_info = *pStrmInfo;
    m_nPosition = 0;
    m_nLastStamp = 0;
    m_dwLastValue = 0;
    m_nRemainder = 0;
    m_nWrittenSlots = 0;
    return true;
}

uint32_t AVIStreamContext::WriteHeader(uint32_t pos, int nStreamNo)
{
    RILO_ASSERT(m_pShareData != NULL);
    const uint32_t end = pos + uint32_t(m_header.size());
    // The padding chunk's head must still fit before the movi list.
    if (end > kAVIPadEnd)
        return 0;
    uint8_t junk[8];
    std::memcpy(junk, "JUNK", 4);
    PutLE32(junk + 4, kAVIPadEnd - end);
    if (!m_pFile->WriteAt(pos, m_header.data(), m_header.size()) ||
        !m_pFile->WriteAt(end, junk, sizeof junk))
        return 0;
    m_nStreamNo = nStreamNo;
    m_nLengthOffset = uint64_t(pos) + kListStrlHead + kAVIStrhLengthOffset;
    return end;
}

bool AVIStreamContext::AVIFileCreateStream(CAVIFile* pFile, const AVISTREAMINFO* pStrmInfo,
                                           AVIShareData* pShare)
{
    RILO_ASSERT(pFile && pStrmInfo);
    RILO_ASSERT(NULL == m_pShareData);
    m_pFile = pFile;
    m_pShareData = pShare;
    const bool video = pStrmInfo->fccType == AVIFourCC("vids");

    if (video) {
        AVIMainHeader mh{};
        uint32_t fps = pStrmInfo->dwRate / pStrmInfo->dwScale;
        mh.dwMicroSecPerFrame = fps ? 1000000u / fps : 0;
        mh.dwFlags = kAVIFlagHasIndex | kAVIFlagTrustCKType;
        mh.dwTotalFrames = kAVIPlaceholderSize;
        mh.dwInitialFrames = pStrmInfo->dwInitialFrames;
        mh.dwStreams = 2;
        mh.dwSuggestedBufferSize = pStrmInfo->dwSuggestedBufferSize;
        mh.dwWidth = uint32_t(pStrmInfo->rcFrame.right - pStrmInfo->rcFrame.left);
        mh.dwHeight = uint32_t(pStrmInfo->rcFrame.bottom - pStrmInfo->rcFrame.top);
        uint8_t b[sizeof(AVIMainHeader)];
        AVIPutMainHeader(b, mh);
        if (!pFile->WriteAt(kAVIOffMainHeader, b, sizeof b))
            return false;
    }

    AVIStreamHeader sh{};
    sh.fccType = pStrmInfo->fccType;
    sh.fccHandler = pStrmInfo->fccHandler;
    sh.dwFlags = pStrmInfo->dwFlags;
    sh.wPriority = pStrmInfo->wPriority;
    sh.wLanguage = pStrmInfo->wLanguage;
    sh.dwInitialFrames = pStrmInfo->dwInitialFrames;
    sh.dwScale = pStrmInfo->dwScale;
    sh.dwRate = pStrmInfo->dwRate;
    sh.dwStart = pStrmInfo->dwStart;
    sh.dwSuggestedBufferSize = pStrmInfo->dwSuggestedBufferSize;
    sh.dwQuality = pStrmInfo->dwQuality;
    sh.dwSampleSize = pStrmInfo->dwSampleSize;

    m_header.assign(kListStrlHead + sizeof(AVIStreamHeader), 0);
    uint8_t* list = m_header.data();
    std::memcpy(list, "LIST", 4);
    PutLE32(list + 4, video ? kVideoListSize : kAudioListSize);
    std::memcpy(list + 8, "strlstrh", 8);
    PutLE32(list + 16, sizeof(AVIStreamHeader));
    AVIPutStreamHeader(list + kListStrlHead, sh);
    return true;
}

bool AVIStreamContext::SetFormat(const void* lpFormat, long cbFormat)
{
    RILO_ASSERT(lpFormat && (cbFormat > 0));
    RILO_ASSERT(m_pShareData != NULL);
    const size_t at = m_header.size();
    m_header.resize(at + 8 + size_t(cbFormat));
    std::memcpy(&m_header[at], "strf", 4);
    PutLE32(&m_header[at + 4], uint32_t(cbFormat));
    std::memcpy(&m_header[at + 8], lpFormat, size_t(cbFormat));
    return true;
}

bool AVIStreamContext::EndOfHeader()
{
    RILO_ASSERT(m_pShareData != NULL);
    uint64_t pos = m_pShareData->dwHeaderEnd ? m_pShareData->dwHeaderEnd : m_pFile->End();
    if (pos > kAVIPadEnd) {
        DiagPrint(kDiagOut,
                  "[AVIStreamContext::EndOfHeader] exceed my definition of AVI header size = %d\n",
                  int(pos));
        return false;
    }
    // The padding chunk fills the header area up to the movi list at 2036.
    std::vector<uint8_t> b(kAVIHeaderArea - pos, 0);
    uint32_t n = kAVIPadEnd - uint32_t(pos);
    std::memcpy(b.data(), "JUNK", 4);
    PutLE32(b.data() + 4, n);
    uint8_t* movi = b.data() + 8 + n;
    std::memcpy(movi, "LIST", 4);
    PutLE32(movi + 4, kAVIPlaceholderSize);
    std::memcpy(movi + 8, "movi", 4);
    return m_pFile->WriteAt(pos, b.data(), b.size());
}

uint32_t AVIStreamContext::ChunkId() const
{
    char id[5] = {'0', char('0' + m_nStreamNo), 'w', 'b', 0};
    if (IsVideoRecordType(m_nMediaType)) {
        id[2] = 'd';
        id[3] = 'c';
    }
    return AVIFourCC(id);
}

void AVIStreamContext::AddIndexEntries(uint32_t id, int64_t nEmpty, uint32_t dwFlags,
                                       uint32_t dwLen)
{
    std::vector<uint8_t>& index = m_pShareData->index;
    size_t at = index.size();
    index.resize(at + size_t(nEmpty + 1) * sizeof(AVIIndexEntry));
    for (int64_t i = 0; i <= nEmpty; ++i, at += sizeof(AVIIndexEntry)) {
        const bool last = i == nEmpty;
        const uint32_t len = last ? dwLen : 0;
        AVIPutIndexEntry(&index[at], {id, last ? dwFlags : 0, m_pShareData->dwMoviSize, len});
        // A chunk of odd length is followed by one pad byte.
        m_pShareData->dwMoviSize += 8 + len + (len & 1u);
    }
}

bool AVIStreamContext::AVIStreamWrite(int64_t nPosition, int64_t nCount, const uint8_t* pData,
                                      uint32_t nLen, uint32_t dwFlags)
{
    const int64_t gap = std::max<int64_t>(nPosition - m_nWrittenSlots, 0);
    const uint32_t id = ChunkId();
    std::vector<uint8_t>& index = m_pShareData->index;
    const size_t need = index.size() + size_t(gap + 1) * sizeof(AVIIndexEntry);
    try {
        // Room for the entries first, so that a chunk in the file always has one.
        if (need > index.capacity())
            index.reserve(std::max(need, 2 * index.capacity()));
        m_heads.resize(size_t(gap + 1) * 8);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int64_t i = 0; i <= gap; ++i) {
        PutLE32(&m_heads[size_t(i) * 8], id);
        PutLE32(&m_heads[size_t(i) * 8 + 4], i < gap ? 0 : nLen);
    }
    static const uint8_t pad = 0;
    iovec iov[3] = {{m_heads.data(), m_heads.size()},
                    {const_cast<uint8_t*>(pData), nLen},
                    {const_cast<uint8_t*>(&pad), nLen & 1u}};
    if (!m_pFile->Append(iov, 3))
        return false;
    AddIndexEntries(id, gap, dwFlags, nLen);
    m_nWrittenSlots += nCount + gap;
    return true;
}

void AVIStreamContext::AdvanceVideoTimeline(uint64_t nStamp)
{
    const uint64_t ms = nStamp - m_nLastStamp;
    if (ms > kMaxVideoGapMs) {
        // Too long a pause to fill: the frame takes the next slot.
        m_nRemainder = 0;
        return;
    }
    const int64_t d = int64_t(ms) * 10000;
    const int64_t t = d + m_nRemainder;
    const int64_t q = t / kSlot100ns;
    if (q <= 1) {
        m_nRemainder = m_nRemainder + d - kSlot100ns;
    } else {
        m_nPosition += q - 1;
        m_nRemainder = t - q * kSlot100ns;
    }
}

AVIStreamContext::WriteOutcome AVIStreamContext::WriteFrame(const uint8_t* pData, uint32_t nLen,
                                                            uint32_t dwFlags, uint64_t nStamp,
                                                            uint32_t nValue, int64_t nLead)
{
    int64_t position = m_nPosition;
    if (nStamp != 0 && nStamp == m_nLastStamp) {
        --position; // the frame shares the slot of the one before
    } else {
        if (nStamp == 0 && m_nLastStamp != 0)
            return woDropped;
        if (nStamp > m_nLastStamp && m_nLastStamp != 0) {
            AdvanceVideoTimeline(nStamp);
            position = m_nPosition;
        }
    }
    position += nLead;
    if (!AVIStreamWrite(position, 1, pData, nLen, dwFlags))
        return woFailed;
    m_nPosition = position + 1;
    m_dwLastValue = nValue;
    m_nLastStamp = nStamp;
    return woWritten;
}

bool AVIStreamContext::WriteSilence(int64_t nBlocks, uint32_t dwFlags)
{
    const uint32_t block = m_info.dwSampleSize;
    if (!AVIStreamWrite(m_nPosition, nBlocks, m_silence.data(), uint32_t(nBlocks) * block, dwFlags))
        return false;
    m_nPosition += nBlocks;
    return true;
}

AVIStreamContext::WriteOutcome AVIStreamContext::WriteSample(const uint8_t* pData, uint32_t nLen,
                                                             uint32_t dwFlags, uint64_t nStamp,
                                                             uint32_t nSeq, int64_t nLead)
{
    const uint32_t block = m_info.dwSampleSize;
    const int64_t n = block ? nLen / block : 0;
    if (n == 0)
        return woDropped;
    const int32_t missing = int32_t(nSeq - m_dwLastValue - 1u);
    try {
        if (m_silence.size() < nLen)
            m_silence.resize(nLen, 0);
    } catch (const std::bad_alloc&) {
        return woFailed;
    }
    while (nLead > 0) {
        int64_t k = std::min(nLead, n);
        if (!WriteSilence(k, dwFlags))
            return woFailed;
        nLead -= k;
    }
    if (missing > 0 && m_dwLastValue != 0 && nSeq != 0) {
        const uint64_t maxBlocks = kMaxSilenceMs * m_info.dwRate / (uint64_t(m_dwScale) * 1000);
        if (uint64_t(missing) * uint64_t(n) <= maxBlocks) {
            for (int32_t i = 0; i < missing; ++i)
                if (!WriteSilence(n, dwFlags))
                    return woFailed;
        }
    }
    if (!AVIStreamWrite(m_nPosition, n, pData, nLen, dwFlags))
        return woFailed;
    m_nPosition += n;
    m_nLastStamp = nStamp;
    m_dwLastValue = nSeq;
    return woWritten;
}

void AVIStreamContext::Release()
{
    std::vector<uint8_t>().swap(m_silence);
    std::vector<uint8_t>().swap(m_heads);
    std::vector<uint8_t>().swap(m_header);
    m_pShareData = nullptr;
    m_pFile = nullptr;
}
