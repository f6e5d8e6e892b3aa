// The Microsoft ADPCM block decoder on any block: the first byte picks the
// channel count (0 to 9, so counts out of range come too), the rest is the
// block, exactly as long as given.
#include "codec/CAdpcmDecoder.h"

#include "FuzzInit.h"

#include <cstdint>
#include <cstring>
#include <vector>

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned short channels = data[0] % 10;
    std::vector<uint8_t> block(data + 1, data + size);
    const size_t room = CAdpcmDecoder::MSOutputSize(block.size(), channels);
    // Exactly the room the decoder may use, so a write past it is caught.
    std::vector<uint8_t> out(room);
    const int n = CAdpcmDecoder::DecodeMS(block.data(), out.data(), block.size(), channels);
    if (n < 0 || size_t(n) != room)
        __builtin_trap();
    const bool valid = channels >= 1 && channels <= 8 && block.size() >= 7u * channels;
    if (valid != (n > 0))
        __builtin_trap();
    return 0;
}
