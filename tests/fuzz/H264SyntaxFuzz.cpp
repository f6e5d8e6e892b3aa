// The SPS size reader and the NAL classes over any bytes, as a camera's
// H.264 stream may carry them: read as one NAL unit and as Annex B data.
#include "FuzzInit.h"
#include "codec/H264Syntax.h"
#include "codec/OutputPixelFormat.h"

#include <vector>

RILO_FUZZ_INITIALIZE(false)

namespace {

void CheckSize(bool ok, int w, int h)
{
    if (ok && (w < 1 || h < 1 || w > kMaxPictureSide || h > kMaxPictureSide))
        __builtin_trap();
    if (!ok && (w != -1 || h != -1))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the bytes given, so that an overread past them is caught.
    std::vector<uint8_t> copy(data, data + size);
    if (size) {
        const int nalClass = AnalyzeNALUnit(copy[0]);
        if (nalClass < 0 || nalClass > 6)
            __builtin_trap();
    }
    int w = -1, h = -1;
    CheckSize(ReadH264SPSSize(copy.data(), copy.size(), &w, &h), w, h);
    w = h = -1;
    CheckSize(FindH264PictureSize(copy.data(), copy.size(), &w, &h), w, h);
    return 0;
}
