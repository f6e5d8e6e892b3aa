#ifndef RILO_CPICTURECONVERTER_H
#define RILO_CPICTURECONVERTER_H

#include "codec/FFmpegPtr.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Converts decoded pictures into one of the packed output formats
// (OutputPixelFormat) at the same size, or copies the planes of a 4:2:0
// picture into the planar format at a destination pitch. The scaler is kept
// while the picture's size and source format stay.
//
// The scaler's vector code writes whole blocks of pixels, past the end of a
// row whose width is not a multiple of the block. A top-down picture is
// therefore converted straight into the caller's buffer only when at least
// kSpareBytes follow the picture there; otherwise it goes through a buffer
// of the converter's own with padded rows, and is copied.
//
// The scaler converts 4:2:0 and 4:2:2 pictures of an even height on its own
// path, which gives each chroma sample to the pixels it covers, as JPEG
// decoders do; an odd height would take its general path, which filters
// and places the chroma otherwise. So the rows of an odd height but the
// last are converted as an even picture, and the last as the top of a
// two-row picture of it twice.
class CPictureConverter {
public:
    enum { kModeNone = -1, kModePlanar = 0, kModeBGRA = 1, kModeBGR24 = 2, kModeRGBA = 3 };
    enum : size_t { kSpareBytes = 1024 };

    // The mode of an output format code, kModeNone for an unknown code.
    static int ModeOfFormat(int code);
    // Chooses the output; an unknown code answers false and keeps the mode.
    // planarPitch is the bytes per luma row of the planar format (the
    // chroma rows take half of it); the other formats ignore it, and
    // without one the planar format has no output.
    bool SetOutputFormat(int code, int planarPitch = 0);
    int GetMode() const { return m_nMode; }

    // Bytes a w x h picture takes in the chosen format; 0 when the mode has
    // no output, the size is out of range (1 to kMaxPictureSide) or a row
    // does not fit the planar pitch.
    size_t OutputSize(int w, int h) const;
    // Converts the picture into dst, which holds capacity bytes. False
    // without output, for a size out of range, a too small dst or a source
    // the scaler (the planar copy: anything but 8-bit 4:2:0) does not take;
    // dst is then untouched.
    bool Convert(const AVFrame& picture, uint8_t* dst, size_t capacity);
    // Frees the scaler.
    void Release();

private:
    struct ScalerKey {
        int width = 0;
        int height = 0;
        int srcFormat = -1;
        int dstFormat = -1;
        bool fullRange = false;
        int colorspace = -1;
        bool operator==(const ScalerKey& o) const;
    };
    static bool PrepareScaler(SwsContextPtr& scaler, ScalerKey& current, const ScalerKey& key);
    // Rows but the last are converted apart (see above).
    static bool SplitsLastRow(const ScalerKey& key);
    // All rows into out (bSplit: the last apart, with one more row after).
    bool Scale(const AVFrame& picture, uint8_t* out, int stride, bool bSplit);
    // The last row into out, and a copy of it into the row after.
    bool ScaleLastRow(const AVFrame& picture, uint8_t* out, int stride);
    bool ConvertThroughBuffer(const AVFrame& picture, uint8_t* dst, bool bSplit);
    // Y, then U, then V, each row at the pitch (half of it for U and V).
    bool CopyPlanes(const AVFrame& picture, uint8_t* dst) const;

    int m_nMode = kModeNone;
    int m_nPlanarPitch = 0;
    SwsContextPtr m_pScaler;
    ScalerKey m_scalerKey;
    SwsContextPtr m_pRowScaler; // the last row of an odd height
    ScalerKey m_rowScalerKey;
    std::vector<uint8_t> m_conversion; // rows padded to kRowAlign, grown to each picture
    std::vector<uint8_t> m_lastRow;    // that row twice, in each plane
};

#endif
