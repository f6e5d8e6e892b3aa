#ifndef RILO_CMPG4DECODER_H
#define RILO_CMPG4DECODER_H

#include "codec/CFFVideoDecoder.h"

// The decoder setup: width and height (written back when the decoder knows
// them), the output format code (OutputPixelFormat) and bits per pixel.
struct MP4MediaInfo {
    int nWidth;
    int nHeight;
    int nPixelFormat;
    int nBitCount;
};

// Decodes MPEG-4 Part 2 video planes and converts the pictures into the
// output format (decoding and conversion: CFFVideoDecoder).
class CMPG4Decoder : public CFFVideoDecoder {
public:
    CMPG4Decoder();
    ~CMPG4Decoder() override;

    bool Create();
    // Chooses the output format (an unknown code answers false at once) and
    // hands the stream's configuration headers to the decoder, which opens
    // anew with them.
    bool InitConfig(MP4MediaInfo* pMediaInfo, const unsigned char* pConfig, unsigned long dwLen);
};

#endif
