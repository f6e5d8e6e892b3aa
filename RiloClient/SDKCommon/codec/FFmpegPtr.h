#ifndef RILO_FFMPEGPTR_H
#define RILO_FFMPEGPTR_H

// Owning pointers for the FFmpeg objects of the decoders, so headers need no
// FFmpeg includes.

#include <memory>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVBufferRef;
struct SwsContext;
struct SwrContext;

struct FFmpegDeleter {
    void operator()(AVCodecContext* p) const;
    void operator()(AVFrame* p) const;
    void operator()(AVPacket* p) const;
    void operator()(AVBufferRef* p) const;
    void operator()(SwsContext* p) const;
    void operator()(SwrContext* p) const;
};

using AVCodecContextPtr = std::unique_ptr<AVCodecContext, FFmpegDeleter>;
using AVFramePtr = std::unique_ptr<AVFrame, FFmpegDeleter>;
using AVPacketPtr = std::unique_ptr<AVPacket, FFmpegDeleter>;
using AVBufferRefPtr = std::unique_ptr<AVBufferRef, FFmpegDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, FFmpegDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, FFmpegDeleter>;

#endif
