/* The client library's public header from C: the frame descriptor keeps
 * its 40-byte layout and the callback types compile. */
#include "RiloClientLib.h"

#include <stddef.h>

_Static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == 12, "planes");
_Static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36, "last field");

int main(void)
{
    VideoRenderCallback video = NULL;
    AudioRenderCallback audio = NULL;
    StreamEventHandler events = NULL;
    return video == NULL && audio == NULL && events == NULL ? 0 : 1;
}
