#include "codec/CPacketFeeder.h"

#include <climits>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

bool CPacketFeeder::Fill(const uint8_t* data, size_t len)
{
    if (len > size_t(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE))
        return false;
    if (!m_pPacket)
        m_pPacket.reset(av_packet_alloc());
    if (!m_pPacket)
        return false;
    const size_t need = len + AV_INPUT_BUFFER_PADDING_SIZE;
    AVBufferRef* input = m_pInput.get();
    if (!input || input->size < need || !av_buffer_is_writable(input)) {
        m_pInput.reset(av_buffer_alloc(need));
        input = m_pInput.get();
        if (!input)
            return false;
    }
    std::memcpy(input->data, data, len);
    std::memset(input->data + len, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    av_packet_unref(m_pPacket.get());
    m_pPacket->buf = av_buffer_ref(input);
    if (!m_pPacket->buf)
        return false;
    m_pPacket->data = input->data;
    m_pPacket->size = int(len);
    return true;
}

int CPacketFeeder::Send(AVCodecContext* context, const uint8_t* data, size_t len, AVFrame* scratch)
{
    if (!Fill(data, len))
        return AVERROR(ENOMEM);
    int sent = avcodec_send_packet(context, m_pPacket.get());
    if (sent == AVERROR(EAGAIN)) {
        while (avcodec_receive_frame(context, scratch) >= 0)
            av_frame_unref(scratch);
        sent = avcodec_send_packet(context, m_pPacket.get());
    }
    av_packet_unref(m_pPacket.get());
    return sent;
}

void CPacketFeeder::Release()
{
    m_pPacket.reset();
    m_pInput.reset();
}
