#ifndef RILO_CPICTURECONVERTER_H
#define RILO_CPICTURECONVERTER_H

#include "codec/FFmpegPtr.h"

#include <cstddef>
#include <cstdint>

// Converts decoded pictures into one of the packed output formats
// (OutputPixelFormat) at the same size, straight into the caller's buffer.
// The scaler is kept while the picture's size and source format stay.
class CPictureConverter {
public:
    enum { kModeNone = -1, kModePlanar = 0, kModeBGRA = 1, kModeBGR24 = 2, kModeRGBA = 3 };

    // The mode of an output format code, kModeNone for an unknown code.
    static int ModeOfFormat(int code);
    // Chooses the output; an unknown code answers false and keeps the mode.
    bool SetOutputFormat(int code);
    int GetMode() const { return m_nMode; }

    // Bytes a w x h picture takes in the chosen format; 0 when the mode has
    // no packed output or the size is out of range (1 to kMaxPictureSide).
    size_t OutputSize(int w, int h) const;
    // Converts the picture into dst, which holds capacity bytes. False
    // without a packed mode, for a size out of range, a too small dst or a
    // source the scaler does not take; dst is then untouched.
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
    bool PrepareScaler(const ScalerKey& key);

    int m_nMode = kModeNone;
    SwsContextPtr m_pScaler;
    ScalerKey m_scalerKey;
};

#endif
