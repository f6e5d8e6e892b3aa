#ifndef RILO_CJPEGDECODER_H
#define RILO_CJPEGDECODER_H

#include "codec/CFFVideoDecoder.h"

// What the owner asks of the decoder: the picture size it has seen in the
// stream, the output format code (OutputPixelFormat) and its bits per pixel.
struct JPGMediaInfo {
    int nWidth;
    int nHeight;
    int nPixelFormat;
    int nBitCount;
};

// Decodes JPEG pictures from memory and converts them into the output
// format (decoding and conversion: CFFVideoDecoder).
class CJPEGDecoder : public CFFVideoDecoder {
public:
    CJPEGDecoder();
    ~CJPEGDecoder() override;

    // Opens the decoder. An output format chosen before (InitConfig) stays
    // chosen across Destroy and Create.
    bool Create();
    // Chooses the output format; an unknown code answers false and keeps the
    // format as it was.
    bool InitConfig(const JPGMediaInfo* pMediaInfo);
    bool Reset();
};

#endif
