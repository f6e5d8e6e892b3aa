#ifndef RILO_H264DEC_H
#define RILO_H264DEC_H

#include "codec/CFFVideoDecoder.h"

#include <cstdint>

// Decoder setup and stream information: the picture size, the output format
// code (OutputPixelFormat) and bits per pixel, the duration of one frame as
// a time base (numerator / denominator seconds), and the bytes per luma row
// of the planar format.
struct H264MediaInfo {
    int32_t nWidth;
    int32_t nHeight;
    int32_t nPixelFormat;
    int32_t nBitCount;
    int32_t nTimeBaseNum;
    int32_t nTimeBaseDen;
    int32_t nStride;
};

// The H.264 decoder (decoding and conversion: CFFVideoDecoder).
class H264Dec : public CFFVideoDecoder {
public:
    H264Dec();
    ~H264Dec() override;

    // Opens the decoder: 0, or -2 when it cannot be opened.
    int dec_init();
    // Chooses the output format (the planar one with the record's stride;
    // without a stride wide enough for the picture it gives no output): 0,
    // or -3 for an unknown code.
    int dec_config(H264MediaInfo* pInfo);
    // Decodes the unit and reads the stream's size and frame duration from
    // its picture: 0; -1 the unit was refused; -2 no picture came out. The
    // duration is 1/30 s while the stream gives no frame rate.
    int dec_parse_info(const unsigned char* pData, unsigned long dwLen, H264MediaInfo* pInfo);
    void dec_stop();
};

#endif
