/* The client library's public header from C: the frame descriptor keeps
 * its 40-byte layout, the callback types compile, and a program links
 * against the shared library and drives handles it makes. */
#include "RiloClientLib.h"

#include <stddef.h>
#include <stdio.h>

_Static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == 12, "planes");
_Static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36, "last field");

static void OnPicture(void* user, BITMAPINFOHEADER* header, unsigned char* pixels, unsigned long bytes)
{
    (void)user;
    (void)header;
    (void)pixels;
    (void)bytes;
}

static bool OnTalk(void* user, unsigned long code, unsigned long sender)
{
    (void)user;
    (void)sender;
    return code == 0;
}

static void OnNotify(void* first, unsigned long second, unsigned long third)
{
    (void)first;
    (void)second;
    (void)third;
}

int main(void)
{
    int failures = 0;
    int on = 1;
    AudioRenderCallback audio = NULL;
    StreamEventHandler events = NULL;
    void* h = RiloCreateStream(0, 0x0101);
    void* n = RiloCreateNotify();
    if (!h || !n) {
        fprintf(stderr, "no handle\n");
        return 1;
    }
    failures += RiloCreateStream(0, 0x2001) != NULL;
    failures += RiloSetStreamAddr(h, "", 80) != 0;
    failures += RiloSetStreamNotifyMsgHandler(h, events, NULL) != 0;
    failures += RiloStartAudioStreamRenderCB(h, audio, NULL) != -1;
    failures += RiloStartVideoStreamRenderCB(h, OnPicture, NULL, 0, 3, 0) != -1;
    failures += RiloIsVideoStream(h) != 0;
    failures += RiloIsOnRecordingStreamIn(h, 0, &on) != 0 || on != 0;
    failures += RiloStartTwoWayAudioCB(h, 4, OnTalk, NULL) != -3;
    failures += RiloSetNotifyMsgHandler(n, OnNotify, &on) != 0;
    failures += RiloStartNotify(n) != -1;
    failures += RiloDestroyStream(h) != 0;
    failures += RiloDestroyNotify(n) != 0;
    if (failures)
        fprintf(stderr, "%d unexpected results\n", failures);
    return failures ? 1 : 0;
}
