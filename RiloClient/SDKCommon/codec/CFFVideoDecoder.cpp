#include "codec/CFFVideoDecoder.h"

#include "codec/OutputPixelFormat.h"

#include <climits>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

CFFVideoDecoder::CFFVideoDecoder(int nCodecId) : m_nCodecId(nCodecId) {}

CFFVideoDecoder::~CFFVideoDecoder() = default;

bool CFFVideoDecoder::Open(const uint8_t* extradata, size_t extradataLen)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return OpenLocked(extradata, extradataLen);
}

bool CFFVideoDecoder::OpenLocked(const uint8_t* extradata, size_t extradataLen)
{
    DestroyLocked();
    m_pCodec = avcodec_find_decoder(AVCodecID(m_nCodecId));
    if (!m_pCodec)
        return false;
    m_pContext.reset(avcodec_alloc_context3(m_pCodec));
    m_pPicture.reset(av_frame_alloc());
    m_pScratch.reset(av_frame_alloc());
    if (!m_pContext || !m_pPicture || !m_pScratch || !SetExtradata(extradata, extradataLen)) {
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

bool CFFVideoDecoder::SetExtradata(const uint8_t* extradata, size_t extradataLen)
{
    if (!extradata || extradataLen == 0)
        return true;
    if (extradataLen > size_t(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE))
        return false;
    // The context frees it.
    auto* copy = static_cast<uint8_t*>(av_mallocz(extradataLen + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!copy)
        return false;
    std::memcpy(copy, extradata, extradataLen);
    m_pContext->extradata = copy;
    m_pContext->extradata_size = int(extradataLen);
    return true;
}

bool CFFVideoDecoder::SetOutputFormat(int code, int planarPitch)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_converter.SetOutputFormat(code, planarPitch);
}

int CFFVideoDecoder::DecodeUnit(const uint8_t* data, size_t len)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bGotPicture = false;
    if (!m_pContext || !data || len == 0)
        return kDecodeError;
    AVFrame* picture = m_pPicture.get();
    av_frame_unref(picture);
    if (m_feeder.Send(m_pContext.get(), data, len, m_pScratch.get()) < 0)
        return kDecodeError;
    bool got = false;
    while (avcodec_receive_frame(m_pContext.get(), m_pScratch.get()) >= 0) {
        av_frame_unref(picture);
        av_frame_move_ref(picture, m_pScratch.get());
        got = true;
    }
    if (!got)
        return kNoPicture;
    m_bGotPicture = picture->width >= 1 && picture->height >= 1 &&
                    picture->width <= kMaxPictureSide && picture->height <= kMaxPictureSide;
    if (!m_bGotPicture) {
        av_frame_unref(picture);
        return kDecodeError;
    }
    return kPicture;
}

bool CFFVideoDecoder::DecodePicture(const uint8_t* data, unsigned len)
{
    return DecodeUnit(data, len) == kPicture;
}

bool CFFVideoDecoder::Decode(const uint8_t* data, unsigned len, uint8_t* dst, size_t dstCapacity)
{
    return DecodePicture(data, len) && ConvertPicture(dst, dstCapacity);
}

bool CFFVideoDecoder::ConvertPicture(uint8_t* dst, size_t dstCapacity)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bGotPicture && m_converter.Convert(*m_pPicture, dst, dstCapacity);
}

void CFFVideoDecoder::GetPictureSize(int* pWidth, int* pHeight) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *pWidth = m_bGotPicture ? m_pPicture->width : 0;
    *pHeight = m_bGotPicture ? m_pPicture->height : 0;
}

size_t CFFVideoDecoder::GetOutputSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bGotPicture ? m_converter.OutputSize(m_pPicture->width, m_pPicture->height) : 0;
}

bool CFFVideoDecoder::GetFrameRate(int* pNum, int* pDen) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_pContext || m_pContext->framerate.num <= 0 || m_pContext->framerate.den <= 0)
        return false;
    *pNum = m_pContext->framerate.num;
    *pDen = m_pContext->framerate.den;
    return true;
}

int CFFVideoDecoder::GetReorderDelay() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pContext ? m_pContext->has_b_frames : 0;
}

bool CFFVideoDecoder::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pContext != nullptr;
}

void CFFVideoDecoder::Destroy()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DestroyLocked();
}

void CFFVideoDecoder::DestroyLocked()
{
    m_pContext.reset();
    m_pPicture.reset();
    m_pScratch.reset();
    m_feeder.Release();
    m_converter.Release();
    m_pCodec = nullptr;
    m_bGotPicture = false;
}
