#include "codec/CJPEGDecoder.h"

#include "RiloAssert.h"
#include "codec/OutputPixelFormat.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

CJPEGDecoder::CJPEGDecoder() = default;

CJPEGDecoder::~CJPEGDecoder() = default;

bool CJPEGDecoder::Create()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return CreateLocked();
}

bool CJPEGDecoder::CreateLocked()
{
    DestroyLocked();
    m_pCodec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    if (!m_pCodec)
        return false;
    m_pContext.reset(avcodec_alloc_context3(m_pCodec));
    m_pPicture.reset(av_frame_alloc());
    if (!m_pContext || !m_pPicture) {
        DestroyLocked();
        return false;
    }
    // A header announcing a huge picture fails before anything is allocated.
    m_pContext->max_pixels = int64_t(kMaxPictureSide) * kMaxPictureSide;
    if (avcodec_open2(m_pContext.get(), m_pCodec, nullptr) < 0) {
        DestroyLocked();
        return false;
    }
    return true;
}

bool CJPEGDecoder::InitConfig(const JPGMediaInfo* pMediaInfo)
{
    RILO_ASSERT(pMediaInfo != nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_converter.SetOutputFormat(pMediaInfo->nPixelFormat);
}

bool CJPEGDecoder::Decode(const uint8_t* data, unsigned len, uint8_t* dst, size_t dstCapacity)
{
    return DecodePicture(data, len) && ConvertPicture(dst, dstCapacity);
}

bool CJPEGDecoder::DecodePicture(const uint8_t* data, unsigned len)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bGotPicture = false;
    if (!m_pContext || !data || len == 0)
        return false;
    AVFrame* picture = m_pPicture.get();
    // Back to the decoder's pool first: the next picture is then decoded
    // into the same, still cached, buffer.
    av_frame_unref(picture);
    if (m_feeder.Send(m_pContext.get(), data, len, picture) < 0)
        return false;
    if (avcodec_receive_frame(m_pContext.get(), picture) < 0)
        return false;
    m_bGotPicture = picture->width >= 1 && picture->height >= 1 &&
                    picture->width <= kMaxPictureSide && picture->height <= kMaxPictureSide;
    if (!m_bGotPicture)
        av_frame_unref(picture);
    return m_bGotPicture;
}

bool CJPEGDecoder::ConvertPicture(uint8_t* dst, size_t dstCapacity)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bGotPicture && m_converter.Convert(*m_pPicture, dst, dstCapacity);
}

void CJPEGDecoder::GetPictureSize(int* pWidth, int* pHeight) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *pWidth = m_bGotPicture ? m_pPicture->width : 0;
    *pHeight = m_bGotPicture ? m_pPicture->height : 0;
}

size_t CJPEGDecoder::GetOutputSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bGotPicture ? m_converter.OutputSize(m_pPicture->width, m_pPicture->height) : 0;
}

void CJPEGDecoder::Destroy()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DestroyLocked();
}

void CJPEGDecoder::DestroyLocked()
{
    m_pContext.reset();
    m_pPicture.reset();
    m_feeder.Release();
    m_converter.Release();
    m_pCodec = nullptr;
    m_bGotPicture = false;
}

bool CJPEGDecoder::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return CreateLocked();
}
