#include "codec/CPictureConverter.h"

#include "codec/OutputPixelFormat.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

struct ModeInfo {
    AVPixelFormat format;
    int bytesPerPixel;
    bool bottomUp;
};

// Indexed by the packed modes 1 to 3.
const ModeInfo kPackedModes[] = {
    {AV_PIX_FMT_NONE, 0, false},
    {AV_PIX_FMT_BGRA, 4, false},
    {AV_PIX_FMT_BGR24, 3, true},
    {AV_PIX_FMT_RGBA, 4, false},
};

// The JPEG formats are full-range variants of the plain YUV ones; the scaler
// is given the plain format and told the range.
AVPixelFormat PlainYuv(int format, bool* fullRange)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        *fullRange = true;
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        *fullRange = true;
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        *fullRange = true;
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        *fullRange = true;
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        *fullRange = true;
        return AV_PIX_FMT_YUV411P;
    default:
        return AVPixelFormat(format);
    }
}

const size_t kRowAlign = 64;

} // namespace

bool CPictureConverter::ScalerKey::operator==(const ScalerKey& o) const
{
    return width == o.width && height == o.height && srcFormat == o.srcFormat &&
           dstFormat == o.dstFormat && fullRange == o.fullRange && colorspace == o.colorspace;
}

int CPictureConverter::ModeOfFormat(int code)
{
    switch (code) {
    case OPF_PLANAR:
        return kModePlanar;
    case OPF_BGRA:
        return kModeBGRA;
    case OPF_BGR24:
        return kModeBGR24;
    case OPF_RGBA:
        return kModeRGBA;
    default:
        return kModeNone;
    }
}

bool CPictureConverter::SetOutputFormat(int code, int planarPitch)
{
    const int mode = ModeOfFormat(code);
    if (mode == kModeNone)
        return false;
    m_nMode = mode;
    m_nPlanarPitch = mode == kModePlanar && planarPitch > 0 ? planarPitch : 0;
    return true;
}

size_t CPictureConverter::OutputSize(int w, int h) const
{
    if (m_nMode == kModeNone || w < 1 || h < 1 || w > kMaxPictureSide || h > kMaxPictureSide)
        return 0;
    if (m_nMode != kModePlanar)
        return size_t(w) * size_t(h) * size_t(kPackedModes[m_nMode].bytesPerPixel);
    // Odd sizes keep their last chroma row and column.
    const size_t chromaPitch = size_t(m_nPlanarPitch) / 2;
    if (chromaPitch < size_t(w + 1) / 2)
        return 0;
    return size_t(m_nPlanarPitch) * size_t(h) + 2 * chromaPitch * (size_t(h + 1) / 2);
}

bool CPictureConverter::PrepareScaler(SwsContextPtr& scaler, ScalerKey& current,
                                      const ScalerKey& key)
{
    if (scaler && current == key)
        return true;
    current = ScalerKey();
    scaler.reset(sws_getContext(key.width, key.height, AVPixelFormat(key.srcFormat), key.width,
                                key.height, AVPixelFormat(key.dstFormat), SWS_BICUBIC, nullptr,
                                nullptr, nullptr));
    if (!scaler)
        return false;
    // Without this a full-range picture would be read as limited range and
    // its blacks and whites crushed.
    const int* coefficients = sws_getCoefficients(key.colorspace);
    sws_setColorspaceDetails(scaler.get(), coefficients, key.fullRange ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    current = key;
    return true;
}

bool CPictureConverter::SplitsLastRow(const ScalerKey& key)
{
    return (key.height & 1) &&
           (key.srcFormat == AV_PIX_FMT_YUV420P || key.srcFormat == AV_PIX_FMT_YUV422P);
}

bool CPictureConverter::Convert(const AVFrame& picture, uint8_t* dst, size_t capacity)
{
    const size_t need = OutputSize(picture.width, picture.height);
    if (need == 0 || !dst || capacity < need)
        return false;
    if (m_nMode == kModePlanar)
        return CopyPlanes(picture, dst);
    const ModeInfo& info = kPackedModes[m_nMode];
    ScalerKey key;
    key.width = picture.width;
    key.height = picture.height;
    key.fullRange = picture.color_range == AVCOL_RANGE_JPEG;
    key.srcFormat = PlainYuv(picture.format, &key.fullRange);
    key.dstFormat = info.format;
    key.colorspace = picture.colorspace;
    if (!sws_isSupportedInput(AVPixelFormat(key.srcFormat)))
        return false;
    const bool bSplit = SplitsLastRow(key);
    if (bSplit) {
        ScalerKey lastRow = key;
        lastRow.height = 2;
        if (!PrepareScaler(m_pRowScaler, m_rowScalerKey, lastRow))
            return false;
        key.height -= 1;
    }
    if (key.height > 0 && !PrepareScaler(m_pScaler, m_scalerKey, key))
        return false;
    if (info.bottomUp || capacity - need < kSpareBytes || bSplit)
        return ConvertThroughBuffer(picture, dst, bSplit);
    return Scale(picture, dst, picture.width * info.bytesPerPixel, false);
}

bool CPictureConverter::Scale(const AVFrame& picture, uint8_t* out, int stride, bool bSplit)
{
    const int rows = picture.height - (bSplit ? 1 : 0);
    uint8_t* planes[4] = {out, nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    if (rows > 0 &&
        sws_scale(m_pScaler.get(), picture.data, picture.linesize, 0, rows, planes, strides) != rows)
        return false;
    return !bSplit || ScaleLastRow(picture, out + size_t(rows) * size_t(stride), stride);
}

bool CPictureConverter::ScaleLastRow(const AVFrame& picture, uint8_t* out, int stride)
{
    // Rows padded as a decoder's are: the scaler reads whole blocks.
    const size_t width = size_t(picture.width);
    const size_t pitch = (width + kRowAlign - 1) / kRowAlign * kRowAlign + kRowAlign;
    m_lastRow.assign(6 * pitch, 0);
    const int chromaShift = m_rowScalerKey.srcFormat == AV_PIX_FMT_YUV420P ? 1 : 0;
    const size_t widths[3] = {width, (width + 1) / 2, (width + 1) / 2};
    const uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int strides[4] = {int(pitch), int(pitch), int(pitch), 0};
    for (int plane = 0; plane < 3; ++plane) {
        const int row = (picture.height - 1) >> (plane ? chromaShift : 0);
        const uint8_t* from = picture.data[plane] + ptrdiff_t(row) * picture.linesize[plane];
        uint8_t* to = m_lastRow.data() + size_t(2 * plane) * pitch;
        std::memcpy(to, from, widths[plane]);
        std::memcpy(to + pitch, from, widths[plane]);
        planes[plane] = to;
    }
    uint8_t* dst[4] = {out, nullptr, nullptr, nullptr};
    int dstStrides[4] = {stride, 0, 0, 0};
    return sws_scale(m_pRowScaler.get(), planes, strides, 0, 2, dst, dstStrides) == 2;
}

bool CPictureConverter::ConvertThroughBuffer(const AVFrame& picture, uint8_t* dst, bool bSplit)
{
    const ModeInfo& info = kPackedModes[m_nMode];
    const size_t rowBytes = size_t(picture.width) * size_t(info.bytesPerPixel);
    const size_t stride = (rowBytes + kRowAlign - 1) / kRowAlign * kRowAlign;
    const size_t rows = size_t(picture.height);
    // The last row of a split picture is converted with a copy after it.
    const size_t bufferRows = rows + (bSplit ? 1 : 0);
    if (m_conversion.size() < stride * bufferRows + kSpareBytes)
        m_conversion.resize(stride * bufferRows + kSpareBytes);
    if (!Scale(picture, m_conversion.data(), int(stride), bSplit))
        return false;
    for (size_t r = 0; r < rows; ++r) {
        const size_t from = info.bottomUp ? rows - 1 - r : r;
        std::memcpy(dst + r * rowBytes, m_conversion.data() + from * stride, rowBytes);
    }
    return true;
}

bool CPictureConverter::CopyPlanes(const AVFrame& picture, uint8_t* dst) const
{
    if (picture.format != AV_PIX_FMT_YUV420P && picture.format != AV_PIX_FMT_YUVJ420P)
        return false;
    const size_t pitch = size_t(m_nPlanarPitch);
    const size_t widths[3] = {size_t(picture.width), size_t(picture.width + 1) / 2,
                              size_t(picture.width + 1) / 2};
    const size_t rows[3] = {size_t(picture.height), size_t(picture.height + 1) / 2,
                            size_t(picture.height + 1) / 2};
    const size_t pitches[3] = {pitch, pitch / 2, pitch / 2};
    for (int plane = 0; plane < 3; ++plane) {
        const uint8_t* from = picture.data[plane];
        for (size_t r = 0; r < rows[plane];
             ++r, from += picture.linesize[plane], dst += pitches[plane])
            std::memcpy(dst, from, widths[plane]);
    }
    return true;
}

void CPictureConverter::Release()
{
    m_pScaler.reset();
    m_scalerKey = ScalerKey();
    m_pRowScaler.reset();
    m_rowScalerKey = ScalerKey();
    std::vector<uint8_t>().swap(m_conversion);
    std::vector<uint8_t>().swap(m_lastRow);
}
