#include "codec/H264Syntax.h"

#include "codec/BitStreamData.h"
#include "codec/OutputPixelFormat.h"

#include <vector>

namespace {

const int kTypeSps = 7;

// Exp-Golomb reads over a parameter set's payload; any error, and any read
// past the end, sticks.
class ExpGolombReader {
public:
    ExpGolombReader(const unsigned char* pData, unsigned long dwLen) : m_bits(pData, dwLen) {}

    uint32_t U(int n) { return Ok() ? m_bits.GetBits(n) : 0; }
    uint32_t UE()
    {
        int nZeros = 0;
        while (Ok() && m_bits.GetBits(1) == 0) {
            if (++nZeros > 31)
                m_bBad = true;
        }
        if (!Ok())
            return 0;
        return ((uint32_t(1) << nZeros) - 1) + m_bits.GetBits(nZeros);
    }
    int64_t SE()
    {
        const uint32_t k = UE();
        return (k & 1) ? int64_t(k / 2) + 1 : -int64_t(k / 2);
    }
    // ue(v) no larger than nMax.
    uint32_t UEMax(uint32_t nMax)
    {
        const uint32_t v = UE();
        if (v > nMax)
            m_bBad = true;
        return v;
    }
    void Fail() { m_bBad = true; }
    bool Ok() const { return !m_bBad && !m_bits.Overrun(); }

private:
    BitStreamData m_bits;
    bool m_bBad = false;
};

// The payload without its emulation prevention bytes (00 00 03 -> 00 00).
std::vector<unsigned char> Unescape(const unsigned char* p, unsigned long n)
{
    std::vector<unsigned char> out;
    out.reserve(n);
    int nZeros = 0;
    for (unsigned long i = 0; i < n; ++i) {
        if (nZeros >= 2 && p[i] == 3) {
            nZeros = 0;
            continue;
        }
        nZeros = p[i] == 0 ? nZeros + 1 : 0;
        out.push_back(p[i]);
    }
    return out;
}

bool HasChromaInfo(uint32_t profile)
{
    switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
        return true;
    default:
        return false;
    }
}

void SkipScalingList(ExpGolombReader& r, int nSize)
{
    int64_t last = 8, next = 8;
    for (int j = 0; j < nSize && r.Ok(); ++j) {
        if (next != 0) {
            const int64_t delta = r.SE();
            if (delta < -128 || delta > 127)
                r.Fail();
            next = (last + delta + 256) % 256;
        }
        last = next == 0 ? last : next;
    }
}

// chroma_format_idc and separate_colour_plane_flag; the rest of the block
// is skipped.
void ReadChromaInfo(ExpGolombReader& r, uint32_t* pChroma, bool* pSeparate)
{
    *pChroma = r.UEMax(3);
    if (*pChroma == 3)
        *pSeparate = r.U(1) != 0;
    r.UEMax(6); // bit_depth_luma_minus8
    r.UEMax(6); // bit_depth_chroma_minus8
    r.U(1);     // qpprime_y_zero_transform_bypass_flag
    if (r.U(1)) {
        const int nLists = *pChroma != 3 ? 8 : 12;
        for (int i = 0; i < nLists && r.Ok(); ++i)
            if (r.U(1))
                SkipScalingList(r, i < 6 ? 16 : 64);
    }
}

void SkipPicOrderCount(ExpGolombReader& r)
{
    const uint32_t type = r.UEMax(2);
    if (type == 0) {
        r.UEMax(12); // log2_max_pic_order_cnt_lsb_minus4
    } else if (type == 1) {
        r.U(1);
        r.SE();
        r.SE();
        const uint32_t n = r.UEMax(255);
        for (uint32_t i = 0; i < n && r.Ok(); ++i)
            r.SE();
    }
}

bool InRange(int64_t v)
{
    return v >= 1 && v <= kMaxPictureSide;
}

} // namespace

int AnalyzeNALUnit(unsigned char nalHeader)
{
    const int type = nalHeader & 0x1F;
    const bool referenced = (nalHeader & 0x60) != 0;
    switch (type) {
    case 7:
        return referenced ? H264_NAL_SPS : H264_NAL_OTHER;
    case 8:
        return referenced ? H264_NAL_PPS : H264_NAL_OTHER;
    case 5:
        return H264_NAL_IDR;
    case 1:
        return H264_NAL_SLICE;
    case 2:
    case 3:
    case 4:
        return H264_NAL_PARTITION;
    case 6:
    case 9:
    case 10:
    case 11:
    case 12:
        return referenced ? H264_NAL_OTHER : H264_NAL_DELIMITING;
    default:
        return H264_NAL_OTHER;
    }
}

bool ReadH264SPSSize(const unsigned char* pNal, unsigned long dwLen, int* pWidth, int* pHeight)
{
    if (!pNal || dwLen < 4 || (pNal[0] & 0x1F) != kTypeSps)
        return false;
    const std::vector<unsigned char> rbsp = Unescape(pNal + 1, dwLen - 1);
    if (rbsp.size() < 3)
        return false;
    ExpGolombReader r(rbsp.data(), rbsp.size());
    const uint32_t profile = r.U(8);
    r.U(16);     // constraint flags, level_idc
    r.UEMax(31); // seq_parameter_set_id
    uint32_t chroma = 1;
    bool separate = false;
    if (HasChromaInfo(profile))
        ReadChromaInfo(r, &chroma, &separate);
    r.UEMax(12); // log2_max_frame_num_minus4
    SkipPicOrderCount(r);
    r.UE(); // max_num_ref_frames
    r.U(1); // gaps_in_frame_num_value_allowed_flag
    const int64_t mbsWide = int64_t(r.UE()) + 1;
    const int64_t mapUnitsHigh = int64_t(r.UE()) + 1;
    const int64_t frameMbsOnly = r.U(1);
    if (!frameMbsOnly)
        r.U(1);                     // mb_adaptive_frame_field_flag
    r.U(1);                         // direct_8x8_inference_flag
    int64_t crop[4] = {0, 0, 0, 0}; // left, right, top, bottom
    if (r.U(1))
        for (int64_t& c : crop)
            c = r.UE();
    if (!r.Ok())
        return false;
    // Crop units by chroma format; monochrome and separate planes count
    // luma samples.
    const bool lumaOnly = separate || chroma == 0;
    const int64_t cropX = lumaOnly || chroma == 3 ? 1 : 2;
    const int64_t cropY = (lumaOnly || chroma != 1 ? 1 : 2) * (2 - frameMbsOnly);
    const int64_t width = mbsWide * 16 - cropX * (crop[0] + crop[1]);
    const int64_t height = (2 - frameMbsOnly) * mapUnitsHigh * 16 - cropY * (crop[2] + crop[3]);
    if (!InRange(width) || !InRange(height))
        return false;
    *pWidth = int(width);
    *pHeight = int(height);
    return true;
}

bool FindH264PictureSize(const unsigned char* pData, unsigned long dwLen, int* pWidth, int* pHeight)
{
    if (!pData)
        return false;
    unsigned long nal = 0; // start of the NAL being looked at; 0: none yet
    for (unsigned long i = 0; i + 3 <= dwLen; ++i) {
        const bool startCode = pData[i] == 0 && pData[i + 1] == 0 && pData[i + 2] == 1;
        if (!startCode)
            continue;
        if (nal && ReadH264SPSSize(pData + nal, i - nal, pWidth, pHeight))
            return true;
        nal = i + 3;
        i += 2;
    }
    return nal && nal < dwLen && ReadH264SPSSize(pData + nal, dwLen - nal, pWidth, pHeight);
}
