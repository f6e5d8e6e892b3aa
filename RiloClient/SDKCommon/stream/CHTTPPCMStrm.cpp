#include "stream/CHTTPPCMStrm.h"

#include "Common.h"
#include "RiloAssert.h"
#include "codec/CAdpcmDecoder.h"
#include "codec/G711.h"

#include <cstring>

namespace {

enum Decoding { decNone, decMSADPCM, decULaw, decAAC };

struct AudioTag {
    uint16_t wTag;
    bool bAccepted;
    uint16_t wBits; // of the samples the render callback gets
    Decoding decoding;
};

const AudioTag kAudioTags[] = {
    {0, true, 16, decMSADPCM}, {1, true, 16, decULaw},   {8, true, 8, decNone},
    {16, true, 16, decNone},   {64, true, 8, decNone},   {128, true, 16, decNone},
    {4096, true, 16, decAAC},  {2, false, 0, decNone},   {4, false, 0, decNone},
    {32, false, 0, decNone},   {256, false, 0, decNone}, {512, false, 0, decNone},
};

const AudioTag* FindTag(uint32_t tag)
{
    for (const AudioTag& t : kAudioTags)
        if (t.wTag == tag)
            return &t;
    return nullptr;
}

const AudioTag* AcceptedTag(uint32_t tag)
{
    const AudioTag* t = FindTag(tag);
    return t && t->bAccepted ? t : nullptr;
}

bool SameFormat(const _tagAudFmt& a, const _tagAudFmt& b)
{
    return a.nFormatTag == b.nFormatTag && a.nChannels == b.nChannels &&
           a.nSampleRate == b.nSampleRate;
}

const uint16_t kWaveFormatPCM = 1;
const uint16_t kWaveFormatMSADPCM = 2;
const uint16_t kMSADPCMBits = 4;
const uint16_t kMSADPCMExtraSize = 32; // samples per block, coefficient count, 7 pairs

RecordMediaType RecordType(uint32_t tag)
{
    return tag == 0 ? rmtAudioMSADPCM : rmtAudioPCM;
}

} // namespace

CHTTPPCMStrm::CHTTPPCMStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CHTTPAudStrm(nNotifyMsg, bTLS, nAuthType), m_nBodyFormat(kBodyACAS), m_bResetSequence(false),
      m_wfRecord(), m_curFmt(), m_badFmt{UINT32_MAX, 0, 0}, m_llLastStamp(0),
      m_bRecordFormatDue(false), m_nDecoderUsers(0)
{
}

CHTTPPCMStrm::~CHTTPPCMStrm() = default;

bool CHTTPPCMStrm::CheckContentType()
{
    bool ok = CHTTPAudStrm::CheckContentType();
    if (!ok)
        m_szContentType[0] = 0; // not an earlier reply's
    DiagPrint(kDiagOut, "Content-type: %s\n", m_szContentType);
    if (ok && std::strstr(m_szContentType, "audio/ACAS")) {
        m_nBodyFormat = kBodyACAS;
        m_reader.Reset();
    } else {
        m_nBodyFormat = 0;
    }
    return ok;
}

void CHTTPPCMStrm::SetDecoderUser(DecoderUser user, bool bOn)
{
    std::lock_guard<std::mutex> g(m_decoderUsersLock);
    const unsigned was = m_nDecoderUsers;
    m_nDecoderUsers = bOn ? (was | user) : (was & ~unsigned(user));
    // A decoder in use is not reset: the other user's sound would glitch.
    if (was == 0 && m_nDecoderUsers != 0)
        m_aac.dec_init();
    else if (was != 0 && m_nDecoderUsers == 0)
        m_aac.dec_stop();
}

bool CHTTPPCMStrm::InitDecoder()
{
    // The receive thread owns the reader; it clears the number at its next pass.
    m_bResetSequence = true;
    SetDecoderUser(kDecoderLive, true);
    return true;
}

void CHTTPPCMStrm::UninitDecoder()
{
    SetDecoderUser(kDecoderLive, false);
}

CAVIWriter* CHTTPPCMStrm::InitRecorder(const char* lpszPath, CAVIWriter* pShared)
{
    // Ready before a packet can start the file; UninitRecorder lets go.
    SetDecoderUser(kDecoderRecord, true);
    return CHTTPAudStrm::InitRecorder(lpszPath, pShared);
}

int CHTTPPCMStrm::UninitRecorder()
{
    const int result = CHTTPAudStrm::UninitRecorder();
    SetDecoderUser(kDecoderRecord, false);
    return result;
}

bool CHTTPPCMStrm::TagForPacket(uint16_t wTag, PassTag* pPass, uint32_t* pTag)
{
    const AudioTag* t = FindTag(wTag);
    if (t) {
        pPass->bKnown = true;
        pPass->bRefused = !t->bAccepted;
        pPass->nTag = wTag;
    } else if (!pPass->bKnown) {
        // Nothing to read it as: it opens the pass.
        return false;
    }
    *pTag = pPass->nTag;
    return !pPass->bRefused;
}

void CHTTPPCMStrm::ProcessContent()
{
    if (m_nBodyFormat != kBodyACAS) {
        m_dwContent = 0;
        return;
    }
    if (m_bResetSequence.exchange(false))
        m_reader.Reset();
    const uint32_t consumed = m_reader.Walk(m_pContent, m_dwContent, m_dwSizeContent);
    PassTag pass;
    for (const MediaUnit& u : m_reader.Units()) {
        _tagAudFmt fmt = {u.wFormatTag, u.wChannels, u.wSampleRate};
        if (!TagForPacket(u.wFormatTag, &pass, &fmt.nFormatTag))
            continue;
        long long stamp = u.llStamp;
        // The units lie in the content buffer, which is ours to hand out.
        FeedStreamItem(&fmt, m_pContent + (u.pData - m_pContent), u.dwLen, &stamp, u.dwSequence);
        NotifyStreamEvent(0, 1);
    }
    if (consumed > 0 && consumed <= m_dwContent) {
        std::memmove(m_pContent, m_pContent + consumed, m_dwContent - consumed);
        m_dwContent -= consumed;
    }
}

bool CHTTPPCMStrm::AcceptFormat(const _tagAudFmt& fmt)
{
    if (fmt.nChannels >= 1 && fmt.nChannels <= kMaxChannels && fmt.nSampleRate > 0)
        return true;
    if (!SameFormat(fmt, m_badFmt)) {
        m_badFmt = fmt;
        DiagPrint(kDiagOut, "Audio format refused: tag %u, channels %u, rate %u\n",
                  unsigned(fmt.nFormatTag), unsigned(fmt.nChannels), unsigned(fmt.nSampleRate));
    }
    return false;
}

void CHTTPPCMStrm::FeedStreamItem(const _tagAudFmt* pFmt, const unsigned char* pData,
                                  unsigned long nCount, long long* pStamp, uint32_t nSeq)
{
    RILO_ASSERT(pFmt != NULL);
    RILO_ASSERT(pData != NULL);
    RILO_ASSERT(pStamp != NULL);
    const AudioTag* tag = AcceptedTag(pFmt->nFormatTag);
    if (!tag || !AcceptFormat(*pFmt))
        return;
    const long long stamp = *pStamp;
    const bool bChanged = !SameFormat(*pFmt, m_curFmt);
    if (bChanged) {
        m_curFmt = *pFmt;
        m_enc.bDue = true;
        m_render.bDue = true;
        m_bRecordFormatDue = true;
        DiagPrint(kDiagOut, "Audio format changed!\n");
    }
    // The callbacks are given pointers; what they do with them stays theirs.
    unsigned char* packet = const_cast<unsigned char*>(pData);
    Samples pcm;
    const bool bDecoded = Decode(*pFmt, packet, nCount, &pcm);

    TakeCallbacks();
    Tell(m_enc, PcmFormat{pFmt->nChannels, tag->wBits, pFmt->nSampleRate}, stamp);
    if (bDecoded)
        Tell(m_render, pcm.fmt, stamp);
    Deliver(m_enc, packet, nCount, 0, stamp);
    if (bDecoded)
        Deliver(m_render, pcm.pData, pcm.nLen, 0, stamp);

    m_llLastStamp = stamp;
    if (bDecoded) {
        // A change that came with a packet of no samples counts for the next one.
        Record(*pFmt, packet, nCount, pcm, m_bRecordFormatDue, nSeq);
        m_bRecordFormatDue = false;
    }
}

bool CHTTPPCMStrm::Decode(const _tagAudFmt& fmt, unsigned char* pData, unsigned long nCount,
                          Samples* pOut)
{
    const AudioTag* tag = AcceptedTag(fmt.nFormatTag);
    pOut->fmt = PcmFormat{fmt.nChannels, tag->wBits, fmt.nSampleRate};
    switch (tag->decoding) {
    case decMSADPCM: {
        const size_t need = CAdpcmDecoder::MSOutputSize(nCount, uint16_t(fmt.nChannels));
        if (need == 0)
            return false; // shorter than its header
        if (m_adpcm.size() < need)
            m_adpcm.resize(need);
        const int n =
            CAdpcmDecoder::DecodeMS(pData, m_adpcm.data(), nCount, uint16_t(fmt.nChannels));
        pOut->pData = m_adpcm.data();
        pOut->nLen = static_cast<unsigned long>(n);
        return n > 0;
    }
    case decULaw:
        if (m_ulaw.size() < nCount)
            m_ulaw.resize(nCount);
        mulaw_dec(pData, m_ulaw.data(), int(nCount));
        pOut->pData = reinterpret_cast<unsigned char*>(m_ulaw.data());
        pOut->nLen = nCount * 2;
        return nCount > 0;
    case decAAC: {
        // Nobody wants the sound (a stop has let the decoder go while
        // packets still arrive): nothing to decode, and no failure to tell.
        std::lock_guard<std::mutex> g(m_decoderUsersLock);
        if (m_nDecoderUsers == 0)
            return false;
        int len = 0;
        const int ret = m_aac.dec_main(pData, int(nCount), m_aacRaw, &len);
        if (ret != 0) {
            DiagPrint(kDiagErr, "aac stream decoded and failed. return code=%d\n", ret);
            return false;
        }
        // What the decoder gives, which for HE-AAC is not what the header says.
        pOut->fmt.nChannels = uint32_t(m_aac.GetChannels());
        pOut->fmt.nRate = uint32_t(m_aac.GetSampleRate());
        pOut->pData = m_aacRaw.data();
        pOut->nLen = static_cast<unsigned long>(len);
        // No format: the decoder was stopped meanwhile.
        return len > 0 && pOut->fmt.nChannels > 0 && pOut->fmt.nRate > 0;
    }
    case decNone:
        break;
    }
    pOut->pData = pData;
    pOut->nLen = nCount;
    return nCount > 0;
}

void CHTTPPCMStrm::TakeCallbacks()
{
    Lock();
    m_enc.pfn = m_pfnEncSample;
    m_enc.user = m_pEncSampleUser;
    m_render.pfn = m_pfnRender;
    m_render.user = m_pRenderUser;
    Unlock();
}

void CHTTPPCMStrm::Tell(Listener& l, const PcmFormat& fmt, long long stamp)
{
    if (!l.pfn)
        return;
    if (!l.bDue && l.pfn == l.pfnTold && l.user == l.userTold && fmt == l.told)
        return;
    unsigned char block[kFormatBlockSize] = {};
    const uint16_t channels = uint16_t(fmt.nChannels);
    const uint16_t bits = uint16_t(fmt.nBits);
    const uint32_t rate = fmt.nRate;
    std::memcpy(block + 0, &channels, 2);
    std::memcpy(block + 2, &bits, 2);
    std::memcpy(block + 4, &rate, 4);
    Deliver(l, block, sizeof block, kFormatBlockKind, stamp);
    l.told = fmt;
    l.pfnTold = l.pfn;
    l.userTold = l.user;
    l.bDue = false;
}

void CHTTPPCMStrm::Deliver(const Listener& l, unsigned char* pData, unsigned long nLen,
                           unsigned long nKind, long long stamp)
{
    if (!l.pfn)
        return;
    long long s = stamp; // each callback gets its own copy
    l.pfn(l.user, pData, nLen, nKind, &s);
}

bool CHTTPPCMStrm::RecordFormat(const _tagAudFmt& fmt, const Samples& s, unsigned long nCount,
                                WAVEFORMATEX* pOut)
{
    WAVEFORMATEX wf = {};
    if (fmt.nFormatTag == 0) {
        // The packets themselves are recorded: one block each.
        const size_t pcmBytes = CAdpcmDecoder::MSOutputSize(nCount, uint16_t(fmt.nChannels));
        const uint64_t samplesPerBlock = pcmBytes / (2u * fmt.nChannels);
        if (nCount > UINT16_MAX || samplesPerBlock == 0)
            return false;
        wf.wFormatTag = kWaveFormatMSADPCM;
        wf.nChannels = uint16_t(fmt.nChannels);
        wf.nSamplesPerSec = fmt.nSampleRate;
        wf.nBlockAlign = uint16_t(nCount);
        wf.nAvgBytesPerSec = uint32_t(uint64_t(fmt.nSampleRate) * nCount / samplesPerBlock);
        wf.wBitsPerSample = kMSADPCMBits;
        wf.cbSize = kMSADPCMExtraSize;
    } else {
        const uint64_t align = uint64_t(s.fmt.nBits / 8) * s.fmt.nChannels;
        if (align == 0 || align > UINT16_MAX || s.fmt.nRate == 0)
            return false;
        wf.wFormatTag = kWaveFormatPCM;
        wf.nChannels = uint16_t(s.fmt.nChannels);
        wf.nSamplesPerSec = s.fmt.nRate;
        wf.nBlockAlign = uint16_t(align);
        wf.nAvgBytesPerSec = uint32_t(align * s.fmt.nRate);
        wf.wBitsPerSample = uint16_t(s.fmt.nBits);
        wf.cbSize = 0;
    }
    *pOut = wf;
    return true;
}

bool CHTTPPCMStrm::SameRecordFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b)
{
    // An MS ADPCM packet of another length is no new format: its block align
    // was the first packet's.
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels &&
           a.nSamplesPerSec == b.nSamplesPerSec && a.wBitsPerSample == b.wBitsPerSample;
}

void CHTTPPCMStrm::Record(const _tagAudFmt& fmt, const unsigned char* pPacket, unsigned long nCount,
                          const Samples& s, bool bFormatChange, uint32_t nSeq)
{
    const RecordMediaType type = RecordType(fmt.nFormatTag);
    const unsigned char* data = type == rmtAudioMSADPCM ? pPacket : s.pData;
    const unsigned long len = type == rmtAudioMSADPCM ? nCount : s.nLen;
    const uint64_t stamp = uint64_t(m_llLastStamp);
    WAVEFORMATEX wf = {};
    const bool bRecordable = RecordFormat(fmt, s, nCount, &wf);
    int result = 0;
    Lock();
    if (m_bRecordRequested && m_pRecorder) {
        if (!bRecordable || !m_pRecorder->StartRecordStream(type, 0, 0, &wf, false, stamp, nSeq)) {
            m_pRecorder->RequestForStop();
            // Asked to stop: nothing is left to start on the next packet.
            m_bRecordRequested = false;
            result = m_bRecording ? 0 : int(rrAddStreamFailed);
            Unlock();
            if (result != 0)
                HandleAVIResult(result);
            return;
        }
        m_bRecordRequested = false;
        m_bRecording = true;
        m_wfRecord = wf;
        bFormatChange = false;
    }
    if (m_bRecording) {
        RILO_ASSERT(m_pRecorder);
        if (bFormatChange || !bRecordable || !SameRecordFormat(wf, m_wfRecord)) {
            // The file cannot take another format: it ends here, reported once.
            m_pRecorder->RequestForStop();
            m_bRecording = false;
            result = rrAddStreamFailed;
        } else {
            result = m_pRecorder->RecordAVISample(type, data, len, stamp, nSeq);
        }
    }
    Unlock();
    if (result != 0)
        HandleAVIResult(result);
}
