/* Streaming client library: the exported interface.
 *
 * Plain C; compiles as C and as C++. Records have fixed-width fields and
 * natural alignment: their sizes are part of the binary interface. */
#ifndef RILO_CLIENTLIB_H
#define RILO_CLIENTLIB_H

#include <stdint.h>

#if defined(__GNUC__)
#define RILO_CLIENT_API __attribute__((visibility("default")))
#else
#define RILO_CLIENT_API
#endif

#ifdef __cplusplus
#define RILO_CLIENT_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define RILO_CLIENT_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The 40-byte frame descriptor. Pictures handed to the application have
 * biHeight = -height (top-down rows), 32 bits per pixel and compression 0
 * (R, G, B, A bytes); recordings use it with the codec's fourcc. */
typedef struct tagBITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} BITMAPINFOHEADER;

RILO_CLIENT_STATIC_ASSERT(sizeof(BITMAPINFOHEADER) == 40, "frame descriptor is 40 bytes");

/* One decoded picture; bytes is the size of the pixel buffer handed over,
 * at least biSizeImage. The pixels are valid only during the call. */
typedef void (*VideoRenderCallback)(void* user, struct tagBITMAPINFOHEADER* header,
                                    unsigned char* pixels, unsigned long bytes);

/* Audio: kind 16 a 12-byte format block, kind 0 audio bytes; stamp in
 * milliseconds (0 when the camera sent none). */
typedef void (*AudioRenderCallback)(void* user, unsigned char* data, unsigned long bytes,
                                    unsigned long kind, long long* stamp);

/* Stream events: category 0 live video, 1 live audio, 2 recording. */
typedef void (*StreamEventHandler)(void* user, int category, int code);

/* Stream handles: one camera's live video, audio and recording. 0 is
 * success. ModalType selects the camera's endpoints; the render callback
 * runs on a library thread and no longer once RiloStopVideoStream has
 * returned. */
RILO_CLIENT_API void* RiloCreateStream(unsigned int createParam, unsigned int modalType);
RILO_CLIENT_API int RiloDestroyStream(void* handle);
RILO_CLIENT_API int RiloSetStreamAddr(void* handle, const char* host, int port);
RILO_CLIENT_API int RiloSetStreamAuth(void* handle, const char* lpszUser, const char* lpszPass, int nAuthType);
RILO_CLIENT_API int RiloStartVideoStreamRenderCB(void* handle, VideoRenderCallback pfnCallback, void* user,
                                                 int unused, int profile, int flag);
RILO_CLIENT_API int RiloStopVideoStream(void* handle);

#ifdef __cplusplus
}
#endif

#endif
