#include "stream/H264Units.h"

#include "codec/H264Syntax.h"

namespace {

const int kTypeIDR = 5;

// The class of the NAL unit behind the start code at pos; -1 when there is
// no complete start code and header there.
int ClassAt(const uint8_t* p, uint32_t len, uint32_t nal)
{
    return nal < len ? AnalyzeNALUnit(p[nal]) : -1;
}

} // namespace

uint32_t NextH264StartCode(const uint8_t* p, uint32_t len, uint32_t from, uint32_t* pNal)
{
    for (uint32_t i = from; i + 3 <= len; ++i) {
        if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1)
            continue;
        *pNal = i + 3;
        return (i > from && p[i - 1] == 0) ? i - 1 : i;
    }
    *pNal = len;
    return len;
}

uint32_t SkipH264Delimiting(const uint8_t* p, uint32_t len)
{
    uint32_t nal = 0;
    uint32_t at = NextH264StartCode(p, len, 0, &nal);
    while (at < len && ClassAt(p, len, nal) == H264_NAL_DELIMITING)
        at = NextH264StartCode(p, len, nal, &nal);
    return at;
}

uint32_t H264SliceSplit(const uint8_t* p, uint32_t len)
{
    uint32_t nal = 0;
    uint32_t at = NextH264StartCode(p, len, 0, &nal);
    if (at != 0 || ClassAt(p, len, nal) != H264_NAL_SPS)
        return 0;
    while (at < len) {
        at = NextH264StartCode(p, len, nal, &nal);
        const int cls = ClassAt(p, len, nal);
        if (cls == H264_NAL_IDR || cls == H264_NAL_SLICE)
            return at;
    }
    return len;
}

uint32_t H264ConfigSpan(const uint8_t* p, uint32_t len)
{
    uint32_t nal = 0;
    uint32_t at = NextH264StartCode(p, len, 0, &nal);
    while (at < len) {
        const int cls = ClassAt(p, len, nal);
        if (cls != H264_NAL_SPS && cls != H264_NAL_PPS)
            return at;
        at = NextH264StartCode(p, len, nal, &nal);
    }
    return len;
}

bool HasH264IDR(const uint8_t* p, uint32_t len)
{
    uint32_t nal = 0;
    for (uint32_t at = NextH264StartCode(p, len, 0, &nal); at < len;
         at = NextH264StartCode(p, len, nal, &nal))
        if (nal < len && (p[nal] & 0x1F) == kTypeIDR)
            return true;
    return false;
}
