// The three media packet readers over any body, appended in chunks through a
// worker-like content buffer. Each pass sees exactly the buffered bytes, so a
// read past them is caught; units must lie inside them, and a full buffer
// must always give something up.
#include "FuzzInit.h"
#include "../client/stream/MediaPacketTestUtil.h"

using namespace mediatest;

namespace {

void CheckInside(const std::vector<MediaUnit>& units, const uint8_t* c, uint32_t n)
{
    for (const MediaUnit& u : units)
        if (u.pData < c || u.dwLen > n || u.pData + u.dwLen > c + n)
            __builtin_trap();
}

// Hands the reader a copy of exactly the buffered bytes.
template <typename Read>
uint32_t Exact(const uint8_t* c, uint32_t n, Read read)
{
    std::vector<uint8_t> exact(c, c + n);
    const std::vector<MediaUnit>* units = nullptr;
    uint32_t consumed = read(exact.data(), n, &units);
    CheckInside(*units, exact.data(), n);
    return consumed;
}

} // namespace

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int kind = data[0] % 5;
    const uint32_t cap = 48 + (uint32_t(data[1]) << 4);
    const size_t chunk = 1 + data[2] % 97;
    const Bytes body(data + 3, data + size);

    FeedResult result;
    if (kind == 4) {
        CAudioPacketReader reader;
        result =
            Drive(body, cap, chunk, [&](const uint8_t* c, uint32_t n, uint32_t k, FeedResult&) {
                return Exact(c, n,
                             [&](const uint8_t* e, uint32_t len, const std::vector<MediaUnit>** u) {
                                 uint32_t consumed = reader.Walk(e, len, k);
                                 *u = &reader.Units();
                                 return consumed;
                             });
            });
    } else {
        CVideoPacketReader reader(kind < 2 ? CVideoPacketReader::codecH264
                                           : CVideoPacketReader::codecMPEG4);
        reader.SetForm(kind % 2 ? CVideoPacketReader::formRaw : CVideoPacketReader::formFramed);
        result =
            Drive(body, cap, chunk, [&](const uint8_t* c, uint32_t n, uint32_t k, FeedResult&) {
                return Exact(c, n,
                             [&](const uint8_t* e, uint32_t len, const std::vector<MediaUnit>** u) {
                                 uint32_t consumed = reader.Scan(e, len, k);
                                 *u = &reader.Units();
                                 return consumed;
                             });
            });
    }
    if (result.stuck)
        __builtin_trap();
    return 0;
}
