#include "codec/CAACDec.h"

#include <climits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

const int kBytesPerSample = 2;

} // namespace

bool CAACDec::ResamplerKey::operator==(const ResamplerKey& o) const
{
    return format == o.format && rate == o.rate && channels == o.channels && order == o.order &&
           mask == o.mask;
}

CAACDec::CAACDec() = default;

CAACDec::~CAACDec()
{
    dec_stop();
}

int CAACDec::dec_init()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    StopLocked();
    m_pCodec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    return m_pCodec ? 0 : -1;
}

bool CAACDec::OpenLocked()
{
    if (m_pContext)
        return true;
    if (!m_pCodec)
        return false;
    m_pContext.reset(avcodec_alloc_context3(m_pCodec));
    m_pFrame.reset(av_frame_alloc());
    if (!m_pContext || !m_pFrame || avcodec_open2(m_pContext.get(), m_pCodec, nullptr) < 0) {
        StopLocked();
        return false;
    }
    return true;
}

bool CAACDec::PrepareResampler(const AVFrame& frame)
{
    ResamplerKey key;
    key.format = frame.format;
    key.rate = frame.sample_rate;
    key.channels = frame.ch_layout.nb_channels;
    key.order = frame.ch_layout.order;
    key.mask = frame.ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame.ch_layout.u.mask : 0;
    if (m_pResampler && m_resamplerKey == key)
        return true;
    m_pResampler.reset();
    SwrContext* resampler = nullptr;
    // This FFmpeg's prototype lacks the const; the layout is only read.
    AVChannelLayout* layout = const_cast<AVChannelLayout*>(&frame.ch_layout);
    if (swr_alloc_set_opts2(&resampler, layout, AV_SAMPLE_FMT_S16, frame.sample_rate, layout,
                            AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr) < 0)
        return false;
    m_pResampler.reset(resampler);
    if (swr_init(resampler) < 0) {
        m_pResampler.reset();
        return false;
    }
    m_resamplerKey = key;
    return true;
}

bool CAACDec::AppendFrame(const AVFrame& frame, std::vector<uint8_t>& pcm, size_t* used)
{
    const int channels = frame.ch_layout.nb_channels;
    if (channels < 1 || frame.nb_samples < 0 || frame.sample_rate < 1 || !PrepareResampler(frame))
        return false;
    const size_t frameBytes = size_t(frame.nb_samples) * size_t(channels) * kBytesPerSample;
    if (*used + frameBytes > size_t(INT_MAX))
        return false;
    if (pcm.size() < *used + frameBytes)
        pcm.resize(*used + frameBytes);
    uint8_t* out = pcm.data() + *used;
    const int converted =
        swr_convert(m_pResampler.get(), &out, frame.nb_samples,
                    const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
    if (converted < 0)
        return false;
    *used += size_t(converted) * size_t(channels) * kBytesPerSample;
    m_nSampleRate = frame.sample_rate;
    m_nChannels = channels;
    return true;
}

int CAACDec::dec_main(const uint8_t* data, int len, std::vector<uint8_t>& pcm, int* pOutLen)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pOutLen)
        *pOutLen = 0;
    if (!OpenLocked())
        return -1;
    if (!data || len <= 0)
        return 0;
    AVCodecContext* context = m_pContext.get();
    AVFrame* frame = m_pFrame.get();
    bool failed = m_feeder.Send(context, data, size_t(len), frame) < 0;
    size_t used = 0;
    // Every frame is taken, also after a failure, so nothing of this packet
    // is left for the next. Each frame uses at least a byte of the packet,
    // which bounds the loop whatever the decoder does.
    for (int i = 0; i <= len; ++i) {
        const int received = avcodec_receive_frame(context, frame);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            break;
        if (received < 0 || (!failed && !AppendFrame(*frame, pcm, &used)))
            failed = true;
        av_frame_unref(frame);
    }
    if (failed)
        return -1;
    if (pOutLen)
        *pOutLen = int(used);
    return 0;
}

int CAACDec::GetSampleRate() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nSampleRate;
}

int CAACDec::GetChannels() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nChannels;
}

void CAACDec::dec_stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    StopLocked();
}

void CAACDec::StopLocked()
{
    m_pContext.reset();
    m_pFrame.reset();
    m_feeder.Release();
    m_pResampler.reset();
    m_resamplerKey = ResamplerKey();
    m_pCodec = nullptr;
    m_nSampleRate = 0;
    m_nChannels = 0;
}
