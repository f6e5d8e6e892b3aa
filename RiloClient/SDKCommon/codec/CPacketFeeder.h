#ifndef RILO_CPACKETFEEDER_H
#define RILO_CPACKETFEEDER_H

#include "codec/FFmpegPtr.h"

#include <cstddef>
#include <cstdint>

// Hands compressed units to a decoder. Decoders read past the end of their
// input, so each unit is copied into a zero-padded buffer, which is reused
// while the decoder holds no reference to it.
class CPacketFeeder {
public:
    // Sends len bytes to the decoder. Frames an earlier unit left untaken
    // are dropped through scratch first. Returns avcodec_send_packet's
    // result, or a negative error when memory runs out.
    int Send(AVCodecContext* context, const uint8_t* data, size_t len, AVFrame* scratch);
    // Frees the packet and the buffer.
    void Release();

private:
    bool Fill(const uint8_t* data, size_t len);

    AVPacketPtr m_pPacket;
    AVBufferRefPtr m_pInput;
};

#endif
