#include "stream/MJPEGParse.h"

#include "http/HttpParse.h"

#include <cstdint>

namespace {

enum : uint8_t {
    kMarkerPrefix = 0xFF,
    kSOF0 = 0xC0,
    kSOF1 = 0xC1,
    kSOF2 = 0xC2,
    kRST0 = 0xD0,
    kRST7 = 0xD7,
    kSOI = 0xD8,
    kEOI = 0xD9,
    kSOS = 0xDA,
    kTEM = 0x01,
};

// Width of the part fields' text buffers; a longer value counts as none.
const unsigned long kFieldTextSize = 1024;

// A decimal number between blanks, at most max; false for anything else.
bool ParseFieldNumber(const char* s, uint64_t max, uint64_t* out)
{
    while (*s == ' ' || *s == '\t')
        ++s;
    uint64_t v = 0;
    bool digits = false;
    for (; *s >= '0' && *s <= '9'; ++s) {
        const uint64_t d = uint64_t(*s - '0');
        if (v > (max - d) / 10)
            return false;
        v = v * 10 + d;
        digits = true;
    }
    while (*s == ' ' || *s == '\t')
        ++s;
    if (!digits || *s != 0)
        return false;
    *out = v;
    return true;
}

uint64_t PartField(const char* text, size_t len, const char* name, uint64_t max)
{
    char value[kFieldTextSize];
    uint64_t v = 0;
    if (!GetFiledValue(text, len, name, value, sizeof value) || !ParseFieldNumber(value, max, &v))
        return 0;
    return v;
}

} // namespace

JpegStep NextJpegSegment(const uint8_t* data, size_t len, size_t pos)
{
    if (pos > len || len - pos < 2)
        return {jsNeedMore, 0, pos};
    if (data[pos] != kMarkerPrefix)
        return {jsMalformed, 0, pos};
    const uint8_t m = data[pos + 1];
    if (m == kMarkerPrefix)
        return {jsSegment, m, pos + 1}; // a fill byte before the marker
    if (m == kSOI)
        return {jsStart, m, pos};
    if (m == kEOI)
        return {jsEnd, m, pos};
    if ((m >= kRST0 && m <= kRST7) || m == kTEM)
        return {jsSegment, m, pos + 2};
    if (m == 0)
        return {jsMalformed, m, pos};
    if (len - pos < 4)
        return {jsNeedMore, m, pos};
    const size_t length = size_t(data[pos + 2]) << 8 | data[pos + 3];
    if (length < 2)
        return {jsMalformed, m, pos};
    return {m == kSOS ? jsScan : jsSegment, m, pos + 2 + length};
}

bool ScanJpegFrameSize(const uint8_t* data, size_t len, int* pWidth, int* pHeight)
{
    if (len < 2 || data[0] != kMarkerPrefix || data[1] != kSOI)
        return false;
    size_t pos = 2;
    for (;;) {
        const JpegStep step = NextJpegSegment(data, len, pos);
        if (step.kind != jsSegment)
            return false;
        const bool frameHeader =
            step.marker == kSOF0 || step.marker == kSOF1 || step.marker == kSOF2;
        if (frameHeader) {
            // Length, precision, height, width: the header must hold them.
            if (len - pos < 9 || step.next - pos < 10)
                return false;
            const int h = data[pos + 5] << 8 | data[pos + 6];
            const int w = data[pos + 7] << 8 | data[pos + 8];
            if (w == 0 || h == 0)
                return false;
            *pWidth = w;
            *pHeight = h;
            return true;
        }
        pos = step.next;
    }
}

int64_t ReadPartStamp(const char* text, size_t len)
{
    const uint64_t kMaxSeconds = (uint64_t(INT64_MAX) - 999) / 1000;
    const uint64_t sec = PartField(text, len, "x-ts-sec:", kMaxSeconds);
    const uint64_t usec = PartField(text, len, "x-ts-usec:", 999999);
    return int64_t(sec * 1000 + usec / 1000);
}

uint32_t ReadPartLength(const char* text, size_t len)
{
    return uint32_t(PartField(text, len, "content-length:", UINT32_MAX));
}
