// The MJPEG cutter with its frame-size scan and stamp lookup on any content,
// fed in chunks as the HTTP worker appends them. Into a buffer that never
// fills it must cut exactly what one pass over the whole content cuts, and
// the pictures are consecutive pieces of the content; into a small buffer
// it must never stall.
//
// Input: chunk-size byte, capacity byte, content.
#include "FuzzInit.h"
#include "stream/MJPEGParse.h"
#include "stream/MjpegTestUtil.h"

#include <string.h>

using namespace mjpegtest;

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t chunk = 1 + data[0] % 97;
    const Bytes content(data + 2, data + size);
    const uint32_t roomy = uint32_t(content.size() + 1);

    CutHarness whole(roomy), chunked(roomy), small(16 + uint32_t(data[1]) * 8);
    whole.Feed(content, content.size());
    chunked.Feed(content, chunk);
    small.Feed(content, chunk);
    if (!(chunked.cuts == whole.cuts) || small.stalls != 0)
        __builtin_trap();
    size_t at = 0;
    for (const Cut& c : whole.cuts) {
        const void* found =
            memmem(content.data() + at, content.size() - at, c.data.data(), c.data.size());
        const size_t pos = found ? size_t(static_cast<const uint8_t*>(found) - content.data()) : 0;
        if (!found || (at != 0 && pos != at) || c.data[0] != 0xFF || c.data[1] != 0xD8 ||
            c.stamp < 0)
            __builtin_trap();
        at = pos + c.data.size();
        int w = 0, h = 0;
        if (ScanJpegFrameSize(c.data.data(), c.data.size(), &w, &h) &&
            (w < 1 || h < 1 || w > 65535 || h > 65535))
            __builtin_trap();
    }
    if (ReadPartStamp(reinterpret_cast<const char*>(content.data()), content.size()) < 0)
        __builtin_trap();
    return 0;
}
