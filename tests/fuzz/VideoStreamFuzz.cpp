// The H.264 and MPEG-4 streams' receive path on any body, framed or raw:
// the reader, the H.264 splitting and the configuration cache. The first
// bytes pick the codec and form, the content buffer's size and the chunk
// size. Every piece fed must lie whole in what was received and open with
// its codec's start code.
#include "../client/stream/VideoStreamTestUtil.h"
#include "FuzzInit.h"
#include "codec/CTransferQueue.h"
#include "stream/H264Units.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

template <class S>
void Run(const vstest::Bytes& body, const char* type, uint32_t cap, size_t chunk, bool h264)
{
    vstest::FedVideoStream<S> s(cap);
    s.Reply(type);
    s.Feed(body, chunk);
    for (const vstest::Piece& p : s.fed) {
        const vstest::Bytes& d = p.data;
        Check(d.size() >= 4 && d[0] == 0 && d[1] == 0);
        Check(h264 ? d[2] == 0 && d[3] == 1 : d[2] == 1);
        if (h264)
            Check(H264ConfigSpan(d.data(), uint32_t(d.size())) <= d.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    RiloFuzzInit(false);
    // No decoder is started here, so the streams' transfer queues stay
    // unused; small buffers spare each input mapping 12-15 MiB of them.
    CTransferQueue::SetBufferSizeForTest(4096);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int kind = data[0] % 4;
    const uint32_t cap = 64 + (uint32_t(data[1]) << 5);
    const size_t chunk = 1 + data[2] % 251;
    const vstest::Bytes body(data + 3, data + size);
    const char* type = kind % 2 ? "video/ACVS" : "video/raw";
    if (kind < 2)
        Run<CHTTPH264Stream>(body, type, cap, chunk, true);
    else
        Run<CHTTPMP4Strm>(body, type, cap, chunk, false);

    // The splitting helpers on the body as one unit.
    const uint32_t n = uint32_t(body.size());
    Check(SkipH264Delimiting(body.data(), n) <= n);
    Check(H264SliceSplit(body.data(), n) <= n);
    Check(H264ConfigSpan(body.data(), n) <= n);
    HasH264IDR(body.data(), n);
    return 0;
}
