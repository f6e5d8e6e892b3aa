#ifndef RILO_OUTPUTPIXELFORMAT_H
#define RILO_OUTPUTPIXELFORMAT_H

// The output format codes the video decoders understand; every stream asks
// for OPF_RGBA.
enum OutputPixelFormat {
    OPF_PLANAR = 3, // planar Y, U, V copy at a destination pitch; only H264Dec takes one
    OPF_BGRA = 20,  // packed B, G, R, A, top row first
    OPF_BGR24 = 35, // packed B, G, R, bottom row first
    OPF_RGBA = 36,  // packed R, G, B, A, top row first
};

// A decoded picture wider or higher than this is refused.
const int kMaxPictureSide = 8192;

#endif
