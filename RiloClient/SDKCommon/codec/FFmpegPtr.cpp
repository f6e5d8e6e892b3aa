#include "codec/FFmpegPtr.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

void FFmpegDeleter::operator()(AVCodecContext* p) const
{
    avcodec_free_context(&p);
}

void FFmpegDeleter::operator()(AVFrame* p) const
{
    av_frame_free(&p);
}

void FFmpegDeleter::operator()(AVPacket* p) const
{
    av_packet_free(&p);
}

void FFmpegDeleter::operator()(AVBufferRef* p) const
{
    av_buffer_unref(&p);
}

void FFmpegDeleter::operator()(SwsContext* p) const
{
    sws_freeContext(p);
}

void FFmpegDeleter::operator()(SwrContext* p) const
{
    swr_free(&p);
}
