#include "stream/CVideoPacketReader.h"
#include "Common.h"

#include <cstdio>

namespace {

const uint32_t kHdr = MediaPacketHeader::kSize;
// A framed H.264 packet: header, start code and the NAL header byte.
const uint32_t kMinH264Packet = kHdr + 5;

bool IsPrefix3(const uint8_t* p)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 1;
}

bool IsStartCode4(const uint8_t* p)
{
    return p[0] == 0 && IsPrefix3(p + 1);
}

bool IsMPEG4Start(const uint8_t* p)
{
    return IsMPEG4VOS(p) || IsMPEG4VO(p) || IsMPEG4VOP(p);
}

// Raw H.264 units start at an SPS (nal_ref_idc not 0) or a non-IDR slice.
bool IsH264UnitStart(uint8_t nal)
{
    const int type = nal & 0x1F;
    return (type == 7 && (nal & 0x60) != 0) || type == 1;
}

} // namespace

bool IsMPEG4VOS(const uint8_t* p)
{
    return IsPrefix3(p) && p[3] == 0xB0;
}

bool IsMPEG4VO(const uint8_t* p)
{
    return IsPrefix3(p) && p[3] <= 0x1F;
}

bool IsMPEG4VOP(const uint8_t* p)
{
    return IsPrefix3(p) && p[3] == 0xB6;
}

CVideoPacketReader::CVideoPacketReader(Codec codec)
    : m_codec(codec), m_form(formFramed), m_bLookForConfig(false), m_dwResume(0), m_nArrivals(0)
{
    m_units.reserve(16);
}

void CVideoPacketReader::SetForm(Form form)
{
    m_form = form;
    m_dwResume = 0;
    m_bLookForConfig = form == formRaw && m_codec == codecMPEG4;
}

uint32_t CVideoPacketReader::MarkerSpan() const
{
    // Raw H.264 needs the NAL header after the start code to judge it.
    return (m_form == formRaw && m_codec == codecH264) ? 5 : 4;
}

bool CVideoPacketReader::IsMarkerAt(const uint8_t* p) const
{
    if (m_form == formFramed)
        return MediaPacketHeader::IsMagicAt(p, MediaPacketHeader::kVideoMagic);
    if (m_codec == codecMPEG4)
        return IsMPEG4VOP(p);
    return IsStartCode4(p) && IsH264UnitStart(p[4]);
}

uint32_t CVideoPacketReader::Scan(const uint8_t* content, uint32_t len, uint32_t cap)
{
    m_units.clear();
    m_nArrivals = 0;
    const uint8_t* base = content;
    uint32_t n = len;
    uint32_t pos = m_dwResume < len ? m_dwResume : len;
    if (m_bLookForConfig && m_form == formRaw && m_codec == codecMPEG4) {
        for (uint32_t k = 0; k + 4 <= len; ++k) {
            if (IsMPEG4VOS(content + k) || IsMPEG4VO(content + k)) {
                base = content + k;
                n = len - k;
                pos = 0;
                m_bLookForConfig = false;
                break;
            }
        }
    }

    const uint32_t span = MarkerSpan();
    uint32_t unit = 0; // from base
    uint32_t p = pos;
    for (; p + span <= n; ++p) {
        if (!IsMarkerAt(base + p))
            continue;
        if (unit < p)
            Candidate(content, base, unit, p);
        unit = p;
    }

    const uint32_t skipped = uint32_t(base - content);
    if (unit == 0 && skipped == 0) {
        if (len < cap) {
            m_dwResume = p;
            return 0;
        }
        // Full without a complete unit: the unit is lost, but a marker may
        // straddle the end, so its possible start stays.
        const uint32_t keep = len < span - 1 ? len : span - 1;
        if (m_codec == codecH264)
            DiagPrint(kDiagOut, "Content buffer full!!,%u \n", keep);
        const uint32_t consumed = len - keep;
        m_dwResume = p > consumed ? p - consumed : 0;
        return consumed;
    }
    m_dwResume = p - unit;
    return skipped + unit;
}

void CVideoPacketReader::Candidate(const uint8_t* content, const uint8_t* base, uint32_t unit,
                                   uint32_t end)
{
    const uint8_t* packet = base + unit;
    const uint32_t len = end - unit;
    if (m_form == formRaw) {
        if (m_codec == codecMPEG4)
            RawMPEG4(packet, len);
        else
            RawH264(content, packet, len, uint32_t(base + end - content));
    } else if (m_codec == codecMPEG4) {
        FramedMPEG4(packet, len);
    } else {
        FramedH264(content, packet, len);
    }
}

void CVideoPacketReader::FramedMPEG4(const uint8_t* packet, uint32_t len)
{
    // The marker after the packet is in the buffer, so the 4 bytes at the
    // payload's start are readable even for a short packet.
    if (len <= kHdr || !IsMPEG4Start(packet + kHdr))
        return;
    ++m_nArrivals;
    const MediaPacketHeader hdr = MediaPacketHeader::Decode(packet);
    const uint32_t payloadLen = len - kHdr;
    // Short payloads go on too: Xvid's packed pictures need the small
    // placeholder after each pair to bring out the picture held back.
    if (payloadLen != hdr.dwPayloadLen)
        return;
    const uint8_t* payload = packet + kHdr;
    const int64_t stamp = hdr.Stamp();
    if (!IsMPEG4VOP(payload)) {
        // Configuration headers with a picture behind them: two units.
        for (uint32_t k = 4; k + 4 <= payloadLen; ++k) {
            if (IsMPEG4VOP(payload + k)) {
                Emit(payload, k, stamp, hdr.dwSequence);
                Emit(payload + k, payloadLen - k, stamp, hdr.dwSequence);
                return;
            }
        }
    }
    Emit(payload, payloadLen, stamp, hdr.dwSequence);
}

void CVideoPacketReader::FramedH264(const uint8_t* content, const uint8_t* packet, uint32_t len)
{
    if (len <= kHdr)
        return;
    if (len < kMinH264Packet || !IsStartCode4(packet + kHdr)) {
        DiagPrint(kDiagOut, "pTestData is %X, pPacket is %X\n", unsigned(packet + len - content),
                  unsigned(packet - content));
        return;
    }
    ++m_nArrivals;
    const MediaPacketHeader hdr = MediaPacketHeader::Decode(packet);
    const uint32_t payloadLen = len - kHdr;
    if (hdr.dwPayloadLen != payloadLen) {
        DiagPrint(kDiagOut, "Len dismatch. Payloadlen:%u, Actual: %u\n", hdr.dwPayloadLen,
                  payloadLen);
        return;
    }
    Emit(packet + kHdr, payloadLen, hdr.Stamp(), hdr.dwSequence);
}

void CVideoPacketReader::RawMPEG4(const uint8_t* unit, uint32_t len)
{
    if (len >= 4 && IsMPEG4Start(unit))
        Emit(unit, len, 0, 0);
}

void CVideoPacketReader::RawH264(const uint8_t* content, const uint8_t* unit, uint32_t len,
                                 uint32_t end)
{
    if (len >= 4 && IsStartCode4(unit)) {
        Emit(unit, len, 0, 0);
        return;
    }
    DiagPrint(kDiagOut, "pTestData is %X, pPacket is %X\n", end, unsigned(unit - content));
}

void CVideoPacketReader::Emit(const uint8_t* data, uint32_t len, int64_t stamp, uint32_t seq)
{
    m_units.push_back(MediaUnit{data, len, stamp, seq, 0, 0, 0});
}
