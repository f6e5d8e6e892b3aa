// The MJPEG cutter with its frame-size scan and stamp lookup on any content,
// fed in chunks as the HTTP worker appends them. Each call sees exactly the
// bytes held, so a read past them is caught. Fed in chunks into a buffer
// that never fills, it must cut exactly what one pass over the whole
// content cuts; into a small buffer, it must not stall or misbehave.
//
// Input: chunk-size byte, capacity byte, content.
#include "FuzzInit.h"
#include "stream/CMJPEGCutter.h"
#include "stream/MJPEGParse.h"

#include <string.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Cut {
    std::vector<uint8_t> data;
    int64_t stamp;
    bool operator==(const Cut& o) const { return data == o.data && stamp == o.stamp; }
};

class Collector : public CMJPEGCutter::Sink {
public:
    void OnPicture(const uint8_t* data, uint32_t len, int64_t stamp) override
    {
        if (len < 2 || data[0] != 0xFF || data[1] != 0xD8 || stamp < 0)
            __builtin_trap();
        int w = 0, h = 0;
        if (ScanJpegFrameSize(data, len, &w, &h) && (w < 1 || h < 1 || w > 65535 || h > 65535))
            __builtin_trap();
        cuts.push_back({std::vector<uint8_t>(data, data + len), stamp});
    }
    std::vector<Cut> cuts;
};

std::vector<Cut> CutInChunks(const uint8_t* p, size_t n, size_t chunk, uint32_t capacity)
{
    Collector sink;
    CMJPEGCutter cutter;
    std::vector<uint8_t> held;
    size_t pos = 0;
    while (pos < n) {
        const size_t take = std::min({chunk, n - pos, size_t(capacity) - held.size()});
        held.insert(held.end(), p + pos, p + pos + take);
        pos += take;
        std::unique_ptr<uint8_t[]> exact(new uint8_t[held.size()]);
        std::memcpy(exact.get(), held.data(), held.size());
        const uint32_t drop = cutter.Cut(exact.get(), uint32_t(held.size()), capacity, sink);
        if (drop > held.size() || (held.size() == capacity && drop == 0))
            __builtin_trap();
        held.erase(held.begin(), held.begin() + drop);
    }
    return sink.cuts;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    RiloFuzzInit(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t chunk = 1 + data[0] % 97;
    const uint32_t small = 16 + uint32_t(data[1]) * 8;
    const uint8_t* content = data + 2;
    const size_t n = size - 2;
    const uint32_t roomy = uint32_t(n + 1);

    const std::vector<Cut> whole = CutInChunks(content, n, n, roomy);
    if (!(CutInChunks(content, n, chunk, roomy) == whole))
        __builtin_trap();
    // Pictures are consecutive pieces of the content.
    size_t at = 0;
    for (const Cut& c : whole) {
        const uint8_t* found = static_cast<const uint8_t*>(
            memmem(content + at, n - at, c.data.data(), c.data.size()));
        if (!found || (at != 0 && size_t(found - content) != at))
            __builtin_trap();
        at = size_t(found - content) + c.data.size();
    }
    CutInChunks(content, n, chunk, small);
    if (ReadPartStamp(reinterpret_cast<const char*>(content), n) < 0)
        __builtin_trap();
    return 0;
}
