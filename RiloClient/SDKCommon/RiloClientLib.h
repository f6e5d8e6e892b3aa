/* Streaming client library: the exported interface.
 *
 * Plain C; compiles as C and as C++. Records have fixed-width fields and
 * natural alignment: their sizes are part of the binary interface. */
#ifndef RILO_CLIENTLIB_H
#define RILO_CLIENTLIB_H

#include <stdbool.h>
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

/* One decoded picture. bytes is the capacity of the pixel buffer handed
 * over: at least biSizeImage, and larger once the picture has shrunk (the
 * buffer is kept), so the picture's size is always read from the header.
 * The pixels are valid only during the call. */
typedef void (*VideoRenderCallback)(void* user, struct tagBITMAPINFOHEADER* header,
                                    unsigned char* pixels, unsigned long bytes);

/* Audio: kind 16 a 12-byte format block, kind 0 audio bytes; stamp in
 * milliseconds (0 when the camera sent none). */
typedef void (*AudioRenderCallback)(void* user, unsigned char* data, unsigned long bytes,
                                    unsigned long kind, long long* stamp);

/* Stream events: category 0 live video, 1 live audio, 2 recording. Live
 * video code 65537 (0x10001): a picture larger than an MJPEG stream takes
 * (8 MiB) was dropped; the stream goes on with the next one. Told once until
 * another event (a picture shown, for one) comes between. */
typedef void (*StreamEventHandler)(void* user, int category, int code);

/* Talk-back events: (user, code, sender); code 1 the connection or its
 * request failed, 2 a packet could not be sent. */
typedef bool (*TalkEventCallback)(void* user, unsigned long code, unsigned long sender);

/* Camera events of a notify handle: (first, second, third). The first word
 * is the event stream, or a text; the others carry the event id and value,
 * or the addresses of texts. Every text handed over (an event's value, the
 * copies of a general event's tag and value, "socket closed") belongs to the
 * library and lives only during the call: a handler that needs it later
 * copies it. */
typedef void (*NotifyMsgHandler)(void* first, unsigned long second, unsigned long third);

/* Calls from callbacks. Each callback runs on a library thread.
 * - VideoRenderCallback: runs on the MJPEG stream's receive thread while it
 *   holds the connection's lock and the stream's own lock, or on the MPEG-4
 *   or H.264 stream's decode thread while it holds the decoder's lock.
 *   RiloStopVideoStream and RiloDestroyStream wait for these, so no picture
 *   callback runs once they have returned.
 * - AudioRenderCallback: runs on the audio stream's receive thread while it
 *   holds the connection's lock; the stream's own lock is not held (the
 *   stream takes its callbacks under it and calls them after releasing it).
 *   A stop that ends the audio stream, and RiloDestroyStream, wait for the
 *   receive thread; RiloStopAudioStream while a recording keeps the stream
 *   does not wait for a sound callback already under way.
 *   Both must return promptly. On their own handle they may call only the
 *   functions that wait for no lock and no thread: RiloIsVideoStream and
 *   RiloIsAudioStream answer what runs, RiloFeedAudioStreamOutData queues,
 *   RiloSetStreamAddr, RiloSetStreamNotifyMsgHandler and
 *   RiloSetRecordingInterval store for the next start. Every other exported
 *   function called there with that handle is refused at once: it gives
 *   its bad-handle answer and does nothing. Calls on other handles are
 *   allowed, unless a callback of that handle calls this one (each would
 *   wait for the other).
 * - StreamEventHandler: runs on the handle's session thread with no lock of
 *   the library held; may call any exported function, on its own handle
 *   too, RiloDestroyStream included (then as its last call on that handle).
 *   A stop that ends one of the handle's streams waits for a handler call
 *   about that stream, and RiloDestroyStream for any handler call of the
 *   handle, unless called from the handler itself.
 * - TalkEventCallback: runs on the talk-back sender's thread with no lock
 *   held; may call any exported function on its own handle (stop talk-back,
 *   start it again) except RiloDestroyStream. A talk-back stop called there
 *   returns at once; called on any other thread it returns, as
 *   RiloDestroyStream does, only after every talk-back callback of the
 *   handle has returned, whichever thread asked first, and a talk-back that
 *   the callback started again meanwhile is stopped too.
 * - NotifyMsgHandler: runs with no lock of the library held; may call any
 *   exported function, on its own handle too, RiloStopNotify and
 *   RiloDestroyNotify included (then as its last call on that handle).
 * Two callbacks that each make a call waiting for the other wait for ever:
 * for example a talk-back callback stopping live video while that video's
 * event handler stops talk-back.
 *
 * Results: 0 success, -1 failure or bad handle, -3 no such talk path,
 * -6 the camera model has no audio for the recording asked for.
 *
 * Handles are opaque values, not addresses, and no value is handed out twice
 * while the library is loaded: a destroyed handle stays bad whatever was
 * created since.
 *
 * A bad handle is a null one, one the library did not make or has destroyed,
 * or, for the functions refused there, the handle of the render or audio
 * callback making the call. The functions answer it with -1
 * (RiloIsVideoStream and RiloIsAudioStream with 0) and print "Vorn Lib:
 * Error of parameter!" (from inside a render or audio callback only at the
 * first refusal of each kind of callback of that handle):
 * - on standard output: the setters, live video and audio, and the notify
 *   functions other than RiloStartNotify;
 * - on standard error: the recording functions and RiloFeedAudioStreamOutData;
 * - RiloDestroyStream and RiloDestroyNotify print, on standard output,
 *   "Vorn Lib RiloDestroyStream: Error of parameter!" and "Vorn Lib
 *   RiloDestroyNotify: Error of parameter!" instead;
 * - RiloStartTwoWayAudioCB, RiloStartAudioStreamOutCB, RiloStopTwoWayAudio,
 *   RiloStopAudioStreamOut and RiloStartNotify print nothing.
 * A handle's functions may be called on several threads at once (the
 * application's and its callbacks', as allowed above): what the setters
 * store is kept under a lock of the handle's own, and each start works with
 * a copy taken as it begins, so a setter that runs meanwhile takes effect
 * at the next start. A handle in use on one thread must not be destroyed on
 * another.
 *
 * Texts must be shorter than 1024 bytes; longer ones are refused with -1. A
 * NULL text (host, user, password, authorization, realm, recording path) is
 * a programming error: the library ends the process with a message naming
 * its source line. */

/* Stream handle. modalType is the camera model code: bits 8-15 family,
 * 4-7 audio codec, 0-3 video codec. Null for a refused family. */
RILO_CLIENT_API void* RiloCreateStream(unsigned createParam, unsigned modalType);
RILO_CLIENT_API int RiloDestroyStream(void* hStream);
RILO_CLIENT_API int RiloSetStreamAddr(void* hStream, const char* host, int port);
/* authType: 1 "user:pass" as is, 2 Basic, 3 and 4 Digest (3 also selects
 * the camera's second set of endpoints). */
RILO_CLIENT_API int RiloSetStreamAuth(void* hStream, const char* user, const char* pass,
                                      int authType);
RILO_CLIENT_API int RiloSetStreamAuthData(void* hStream, const char* authorization);
/* 0 plain TCP, 1 TLS. */
RILO_CLIENT_API int RiloSetConnectMode(void* hStream, int mode);
RILO_CLIENT_API int RiloSetAuthMD5Realm(void* hStream, const char* realm);
RILO_CLIENT_API int RiloSetStreamNotifyMsgHandler(void* hStream, StreamEventHandler handler,
                                                  void* user);

/* Live video and audio. */
RILO_CLIENT_API int RiloStartVideoStreamRenderCB(void* hStream, VideoRenderCallback callback,
                                                 void* user, int unused, int profile, int flag);
RILO_CLIENT_API int RiloStopVideoStream(void* hStream);
RILO_CLIENT_API int RiloStartAudioStreamRenderCB(void* hStream, AudioRenderCallback callback,
                                                 void* user);
RILO_CLIENT_API int RiloStopAudioStream(void* hStream);
/* 1 while it runs, else 0. */
RILO_CLIENT_API int RiloIsVideoStream(void* hStream);
RILO_CLIENT_API int RiloIsAudioStream(void* hStream);

/* Recording. flags: 0 video and audio into one AVI (video only when the
 * model has no audio), 1 video, 2 audio, 3 video and audio. */
RILO_CLIENT_API int RiloSetRecordingInterval(void* hStream, int kind, int value);
RILO_CLIENT_API int RiloStartRecordingStreamIn(void* hStream, int flags, const char* path,
                                               int profile);
RILO_CLIENT_API int RiloStopRecordingStreamIn(void* hStream, int flags);
RILO_CLIENT_API int RiloIsOnRecordingStreamIn(void* hStream, int flags, int* on);
RILO_CLIENT_API int RiloReserveDiskFreeSpace(void* hStream, unsigned mebibytes);

/* Talk-back: 16-bit PCM to the camera's speaker. path 1, 2 or 3. */
RILO_CLIENT_API int RiloStartTwoWayAudioCB(void* hStream, int path, TalkEventCallback callback,
                                           void* user);
RILO_CLIENT_API int RiloStartAudioStreamOutCB(void* hStream, TalkEventCallback callback,
                                              void* user);
RILO_CLIENT_API int RiloFeedAudioStreamOutData(void* hStream, unsigned char* data, int bytes);
RILO_CLIENT_API int RiloStopTwoWayAudio(void* hStream);
RILO_CLIENT_API int RiloStopAudioStreamOut(void* hStream);

/* Event notification. */
RILO_CLIENT_API void* RiloCreateNotify(void);
RILO_CLIENT_API int RiloDestroyNotify(void* hNotify);
RILO_CLIENT_API int RiloSetNotifyAddr(void* hNotify, const char* host, int port);
RILO_CLIENT_API int RiloSetNotifyAuth(void* hNotify, const char* user, const char* pass,
                                      int authType);
RILO_CLIENT_API int RiloSetNotifyAuthData(void* hNotify, const char* authorization);
RILO_CLIENT_API int RiloSetNotifyAuthMD5Realm(void* hNotify, const char* realm);
RILO_CLIENT_API int RiloSetNotifyConnectMode(void* hNotify, int mode);
RILO_CLIENT_API int RiloSetNotifyMsgHandler(void* hNotify, NotifyMsgHandler handler, void* param);
RILO_CLIENT_API int RiloStartNotify(void* hNotify);
RILO_CLIENT_API int RiloStopNotify(void* hNotify);

#ifdef __cplusplus
}
#endif

#endif
