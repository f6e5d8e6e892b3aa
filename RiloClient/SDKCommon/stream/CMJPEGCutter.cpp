#include "stream/CMJPEGCutter.h"

#include "stream/MJPEGParse.h"

#include <cstring>

namespace {

const uint8_t kMarkerPrefix = 0xFF;
const uint8_t kSOI = 0xD8;
const uint8_t kEOI = 0xD9;

uint32_t Shifted(uint32_t pos, uint32_t drop)
{
    return pos > drop ? pos - drop : 0;
}

} // namespace

void CMJPEGCutter::Reset()
{
    *this = CMJPEGCutter();
}

uint32_t CMJPEGCutter::Cut(const uint8_t* buf, uint32_t len, uint32_t capacity, Sink& sink)
{
    m_bDropped = false;
    m_bLostPicture = false;
    for (;;) {
        if (m_eMode == kHeaders)
            WalkHeaders(buf, len);
        if (m_eMode == kHeaders)
            break; // waiting for the rest of a header segment
        ScanForMarkers(buf, len, sink);
        if (m_eMode != kHeaders)
            break; // waiting for the next marker
    }
    // Bytes ahead of the first start marker are kept: the part headers of
    // the picture to come are among them.
    uint32_t drop = m_eMode == kSeek ? 0 : m_nStart;
    if (drop == 0 && len >= capacity && len > 1) {
        m_bLostPicture = m_eMode != kSeek;
        m_eMode = kSeek;
        m_nPos = len - 1;
        m_nRegion = len - 1;
        drop = len - 1; // the last byte may be the first half of a marker
        m_bDropped = true;
    }
    m_nPos = Shifted(m_nPos, drop);
    m_nStart = Shifted(m_nStart, drop);
    m_nRegion = Shifted(m_nRegion, drop);
    return drop;
}

uint64_t CMJPEGCutter::PictureRoom() const
{
    if (m_eMode == kSeek || m_dwDeclared == 0)
        return 0;
    return uint64_t(m_nStart) + m_dwDeclared + kStampWindow;
}

void CMJPEGCutter::WalkHeaders(const uint8_t* buf, uint32_t len)
{
    for (;;) {
        const JpegStep step = NextJpegSegment(buf, len, m_nPos);
        switch (step.kind) {
        case jsNeedMore:
            return;
        case jsSegment:
            m_nPos = uint32_t(step.next);
            break;
        case jsScan:
            m_nPos = uint32_t(step.next);
            m_eMode = kScanData;
            return;
        default:
            // End, another start, or no marker: markers are looked for
            // byte by byte from here.
            m_eMode = kScanData;
            return;
        }
    }
}

void CMJPEGCutter::ScanForMarkers(const uint8_t* buf, uint32_t len, Sink& sink)
{
    while (m_eMode != kHeaders) {
        if (m_nPos >= len || len - m_nPos < 2)
            return;
        const void* hit = std::memchr(buf + m_nPos, kMarkerPrefix, len - 1 - m_nPos);
        if (!hit) {
            m_nPos = len - 1;
            return;
        }
        const uint32_t at = uint32_t(static_cast<const uint8_t*>(hit) - buf);
        const uint8_t marker = buf[at + 1];
        if (marker == kSOI) {
            OnStartMarker(buf, at, sink);
        } else if (marker == kEOI) {
            m_nRegion = at + 2;
            m_nPos = at + 2;
        } else {
            m_nPos = at + 1;
        }
    }
}

void CMJPEGCutter::OnStartMarker(const uint8_t* buf, uint32_t at, Sink& sink)
{
    const uint32_t window = at > kStampWindow ? at - kStampWindow : 0;
    const uint32_t from = m_nRegion > window ? m_nRegion : window;
    const char* headers = reinterpret_cast<const char*>(buf) + from;
    const int64_t stamp = ReadPartStamp(headers, at - from);
    const uint32_t declared = ReadPartLength(headers, at - from);
    if (m_eMode != kSeek)
        sink.OnPicture(buf + m_nStart, at - m_nStart, m_llStamp);
    m_eMode = kHeaders;
    m_nStart = at;
    m_llStamp = stamp;
    m_dwDeclared = declared;
    m_nPos = at + 2;
    m_nRegion = at + 2;
}
