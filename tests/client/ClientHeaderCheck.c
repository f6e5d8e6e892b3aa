/* The client library's public header from C: the frame descriptor keeps
 * its 40-byte layout, the callback types compile, and a program links
 * against the shared library and drives the handles it makes. */
#include "RiloClientLib.h"

#include <stddef.h>

_Static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == 12, "planes");
_Static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36, "last field");

static bool OnTalk(void* user, unsigned long code, unsigned long sender)
{
    return user == NULL && code == sender;
}

static void OnNotify(void* first, unsigned long second, unsigned long third)
{
    (void)first;
    (void)second;
    (void)third;
}

int main(void)
{
    int on = 1;
    VideoRenderCallback video = NULL;
    AudioRenderCallback audio = NULL;
    StreamEventHandler events = NULL;
    void* h = RiloCreateStream(0, 0x0101);
    void* n = RiloCreateNotify();
    int failures = !h || !n || RiloCreateStream(0, 0x2001) != NULL;
    failures += RiloSetStreamNotifyMsgHandler(h, events, NULL) != 0;
    failures += RiloStartVideoStreamRenderCB(h, video, NULL, 0, 3, 0) != -1;
    failures += RiloStartAudioStreamRenderCB(h, audio, NULL) != -1;
    failures += RiloIsOnRecordingStreamIn(h, 0, &on) != 0 || on != 0;
    failures += RiloStartTwoWayAudioCB(h, 4, OnTalk, NULL) != -3;
    failures += RiloSetNotifyMsgHandler(n, OnNotify, &on) != 0;
    failures += RiloDestroyStream(h) != 0 || RiloDestroyNotify(n) != 0;
    return failures ? 1 : 0;
}
