// The video stream of multipart JPEG content: on the connection's receive
// thread it cuts the pictures out of the content, stamps them, feeds the
// recorder, decodes them into R, G, B, A pixels and hands them with their
// frame descriptor to the render callback, picture by picture.
#ifndef RILO_CHTTPMJPSTRM_H
#define RILO_CHTTPMJPSTRM_H

#include "RiloClientLib.h"
#include "codec/CJPEGDecoder.h"
#include "stream/CHTTPVisStrm.h"
#include "stream/CMJPEGCutter.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class CHTTPMJPStrm : public CHTTPVisStrm, private CMJPEGCutter::Sink {
public:
    // The content buffer, and what it grows to at most for a picture whose
    // part declares a larger length: a larger picture is dropped.
    enum : uint32_t { kContentSize = 524288, kMaxContentSize = 8 * 1024 * 1024 };
    // Connection events (kind 1) of the pictures: a new size; a picture
    // dropped as larger than the buffer can grow to (told once until
    // another event, such as a picture shown, comes between).
    enum : int { kEventSizeChanged = 13, kEventPictureTooLarge = 14 };

    CHTTPMJPStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPMJPStrm() override;

    bool InitInstance() override;
    void ProcessContent() override;

    // Under the stream lock: once it has returned, no callback runs with
    // the settings it replaced. A null callback is never called.
    bool SetCallbackRenderMode(bool bFlag, VideoRenderCallback pfn, void* user) override;
    // Opens the decoder; true when pictures will be delivered (callback mode).
    bool InitDecoder(bool bNoPacing) override;
    // Stops decoding and delivery, then frees the decoder and the pixels.
    void UninitDecoder() override;
    // The size of the last frame header seen; 0 and 0 before the first.
    bool GetVideoResolution(int* pcx, int* pcy) override;
    void GetFPS(double* pFPS) override;
    // Bytes per second / 128.
    void GetBPS(unsigned long* pBPS) override;

    // Sets the frame descriptor for pictures of that size.
    void SetFrameSize(int width, int height);

protected:
    // One cut picture with its stamp in ms: size, recorder, decode and delivery.
    virtual void FeedStreamItem(const unsigned char* pData, unsigned long len, long long* pStamp);
    // 0 decoded (or not decoding), -1 decode failed, -2 no output buffer.
    int ProcessFrame(const unsigned char* pData, unsigned long len);

private:
    void OnPicture(const uint8_t* data, uint32_t len, int64_t stamp) override;
    void GrowForPicture();
    int64_t NextSubstituteStamp();
    void OnFrameSize(int width, int height);
    int FeedRecorder(const unsigned char* pData, unsigned long len, long long stamp);
    bool PrepareRecordStream(long long stamp);
    int DecodeIntoOutput(const unsigned char* pData, unsigned long len);
    unsigned char* AllocBuffer(size_t bytes);
    void DeliverToCallback(VideoRenderCallback pfn, void* user);
    void SetFrameSizeLocked(int width, int height);
    void CountFrame(unsigned long len);

    // Delivery, under the stream lock.
    bool m_bCallbackMode;
    VideoRenderCallback m_pfnRender;
    void* m_pRenderUser;

    // Statistics, under the stream lock. Rates over the last closed window.
    double m_dFrameRate;  // frames per 100 ns
    uint32_t m_nByteRate; // bytes per second
    uint32_t m_nWindowBytes;
    uint32_t m_nWindowFrames;
    int64_t m_llWindowStart;  // 100 ns units of the monotonic clock
    uint32_t m_nFrameCounter; // frames cut since InitDecoder; the recorder's value

    // The size of the last frame header: width << 32 | height.
    std::atomic<uint64_t> m_nFrameSize;
    int64_t m_llLastSubstitute; // receive thread only

    // Decoding and its output, under the stream lock.
    BITMAPINFOHEADER m_bih;
    const int m_nBitCount;
    const int m_nPixelFormat;
    CJPEGDecoder m_Decoder;
    std::unique_ptr<unsigned char[]> m_pOutput;
    size_t m_nOutputCapacity; // bytes handed to the callback; the spare follows them
    int m_nStride;

    // Cutting, receive thread only.
    CMJPEGCutter m_cutter;
    uint32_t m_nCutSerial; // connection the cutter's state belongs to
    uint32_t m_dwCutHeld;  // content bytes left after the last cut
};

#endif
