#ifndef RILO_CJPEGDECODER_H
#define RILO_CJPEGDECODER_H

#include "codec/CPacketFeeder.h"
#include "codec/CPictureConverter.h"
#include "codec/FFmpegPtr.h"

#include <cstddef>
#include <cstdint>
#include <mutex>

struct AVCodec;

// What the owner asks of the decoder: the picture size it has seen in the
// stream, the output format code (OutputPixelFormat) and its bits per pixel.
struct JPGMediaInfo {
    int nWidth;
    int nHeight;
    int nPixelFormat;
    int nBitCount;
};

// Decodes JPEG pictures from memory and converts them into the output
// format. Output sizes follow each decoded picture, never a header. Every
// operation takes the decoder's lock, so Destroy on one thread waits for a
// decode in progress on another.
class CJPEGDecoder {
public:
    CJPEGDecoder();
    virtual ~CJPEGDecoder();
    CJPEGDecoder(const CJPEGDecoder&) = delete;
    CJPEGDecoder& operator=(const CJPEGDecoder&) = delete;

    // Opens the decoder. An output format chosen before (InitConfig) stays
    // chosen across Destroy and Create.
    bool Create();
    // Chooses the output format; an unknown code answers false and keeps the
    // format as it was.
    bool InitConfig(const JPGMediaInfo* pMediaInfo);
    // DecodePicture, then ConvertPicture into dst (dstCapacity bytes).
    bool Decode(const uint8_t* data, unsigned len, uint8_t* dst, size_t dstCapacity);
    // Decodes one picture. False without a decoder, when no picture comes
    // out, or for a picture over kMaxPictureSide on a side.
    bool DecodePicture(const uint8_t* data, unsigned len);
    // Converts the last decoded picture into dst. False without one, without
    // a packed output format, or when dst holds less than GetOutputSize();
    // dst is then untouched. May be called again after growing dst. With
    // CPictureConverter::kSpareBytes to spare in dst, a copy is saved.
    bool ConvertPicture(uint8_t* dst, size_t dstCapacity);
    // The last decoded picture's size; 0 and 0 without one.
    void GetPictureSize(int* pWidth, int* pHeight) const;
    // Bytes the last decoded picture takes in the output format; 0 without one.
    size_t GetOutputSize() const;
    // Closes the decoder, after a decode in progress has ended.
    void Destroy();
    bool Reset();

private:
    bool CreateLocked();
    void DestroyLocked();

    mutable std::mutex m_mutex; // held for each whole decode: the decoding flag
    const AVCodec* m_pCodec = nullptr;
    AVCodecContextPtr m_pContext;
    AVFramePtr m_pPicture;
    CPacketFeeder m_feeder;
    bool m_bGotPicture = false;
    CPictureConverter m_converter;
};

#endif
