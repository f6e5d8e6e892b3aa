#ifndef RILO_CFFVIDEODECODER_H
#define RILO_CFFVIDEODECODER_H

#include "codec/CPacketFeeder.h"
#include "codec/CPictureConverter.h"
#include "codec/FFmpegPtr.h"

#include <cstddef>
#include <cstdint>
#include <mutex>

struct AVCodec;

// One libavcodec video decoder and the conversion of its pictures into an
// output format (OutputPixelFormat). Output sizes follow each decoded
// picture, never a header. Every operation takes the decoder's lock, so
// Destroy on one thread waits for a decode in progress on another. The
// decoders of each format derive from it and open it with their codec.
class CFFVideoDecoder {
public:
    // Results of DecodeUnit.
    enum { kPicture = 0, kDecodeError = -1, kNoPicture = -2 };

    virtual ~CFFVideoDecoder();
    CFFVideoDecoder(const CFFVideoDecoder&) = delete;
    CFFVideoDecoder& operator=(const CFFVideoDecoder&) = delete;

    // Chooses the output format (planarPitch: CPictureConverter's); an
    // unknown code answers false and keeps the format as it was. The format
    // stays chosen across Destroy and reopening.
    bool SetOutputFormat(int code, int planarPitch = 0);
    // Decodes one unit and keeps the newest picture it gave: kPicture, or
    // kDecodeError (no decoder, no data, refused data, a picture over
    // kMaxPictureSide on a side), or kNoPicture (taken, nothing came out).
    int DecodeUnit(const uint8_t* data, size_t len);
    // DecodeUnit gave a picture.
    bool DecodePicture(const uint8_t* data, unsigned len);
    // DecodePicture, then ConvertPicture into dst (dstCapacity bytes).
    bool Decode(const uint8_t* data, unsigned len, uint8_t* dst, size_t dstCapacity);
    // Converts the last decoded picture into dst. False without one, without
    // an output format, or when dst holds less than GetOutputSize();
    // dst is then untouched. May be called again after growing dst. With
    // CPictureConverter::kSpareBytes to spare in dst, a copy is saved.
    bool ConvertPicture(uint8_t* dst, size_t dstCapacity);
    // The last decoded picture's size; 0 and 0 without one.
    void GetPictureSize(int* pWidth, int* pHeight) const;
    // Bytes the last decoded picture takes in the output format; 0 without one.
    size_t GetOutputSize() const;
    // The stream's frame rate as the decoder has read it; false while unknown.
    bool GetFrameRate(int* pNum, int* pDen) const;
    // Pictures the decoder holds back to show them in their own order (B
    // pictures); 0 while it shows each as it decodes it.
    int GetReorderDelay() const;
    bool IsOpen() const;
    // Closes the decoder, after a decode in progress has ended.
    void Destroy();

protected:
    explicit CFFVideoDecoder(int nCodecId);
    // (Re)opens the decoder; extradata (may be null) are the stream's
    // headers, given to the decoder before any unit.
    bool Open(const uint8_t* extradata, size_t extradataLen);

private:
    bool OpenLocked(const uint8_t* extradata, size_t extradataLen);
    bool SetExtradata(const uint8_t* extradata, size_t extradataLen);
    void DestroyLocked();

    const int m_nCodecId;
    mutable std::mutex m_mutex; // held for each whole decode
    const AVCodec* m_pCodec = nullptr;
    AVCodecContextPtr m_pContext;
    AVFramePtr m_pPicture;
    AVFramePtr m_pScratch; // frames of a unit before its newest
    CPacketFeeder m_feeder;
    bool m_bGotPicture = false;
    CPictureConverter m_converter;
};

#endif
