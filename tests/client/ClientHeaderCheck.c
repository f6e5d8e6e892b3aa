/* The client library's public header from C: the frame descriptor keeps
 * its 40-byte layout. */
#include "RiloClientLib.h"

#include <stddef.h>

_Static_assert(sizeof(BITMAPINFOHEADER) == 40, "frame descriptor");
_Static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == 12, "planes");
_Static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16, "compression");
_Static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36, "last field");

static void Render(void* user, struct tagBITMAPINFOHEADER* header, unsigned char* pixels,
                   unsigned long bytes)
{
    (void)user;
    (void)pixels;
    (void)bytes;
    header->biCompression = 0;
}

int main(void)
{
    BITMAPINFOHEADER h = {0};
    VideoRenderCallback cb = Render;
    cb(NULL, &h, NULL, 0);
    return h.biCompression == 0 ? 0 : 1;
}
