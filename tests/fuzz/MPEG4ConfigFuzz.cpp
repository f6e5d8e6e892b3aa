// ParseMPEG4ConfigData over any bytes, as a camera's stream may carry them,
// and the plane clock over the same bytes taken as planes.
#include "FuzzInit.h"
#include "codec/CMPG4PlaneClock.h"
#include "codec/MPEG4ConfigParser.h"

#include <vector>

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the bytes given, so an overread past them is caught (one
    // byte that is not part of them for empty input: the reader needs a pointer).
    std::vector<uint8_t> copy(data, data + size);
    copy.reserve(1);
    tagMPEG4StrmConfig c;
    const bool ok = ParseMPEG4ConfigData(copy.data(), copy.size(), &c);
    const bool success =
        c.nResult == MPEG4_CONFIG_OK || c.nResult == MPEG4_CONFIG_NO_END_START_CODE ||
        c.nResult == MPEG4_CONFIG_USER_DATA_AT_END || c.nResult == MPEG4_CONFIG_QUANT_TYPE ||
        c.nResult == MPEG4_CONFIG_COMPLEXITY;
    if (ok != success || c.dwResultPos > size * 8)
        __builtin_trap();
    if (ok && (c.dwTimeIncResolution == 0 || c.dwLayerShape != MPEG4_SHAPE_RECTANGULAR))
        __builtin_trap();
    if (!GetMPEG4ProfileDescription(size ? data[0] : 0))
        __builtin_trap();

    // Planes at the parsed resolution (or one from the data): no time runs
    // backwards by more than the counter's range, whatever the headers say.
    CMPG4PlaneClock clock;
    const uint32_t resolution = ok ? c.dwTimeIncResolution : (size ? data[0] * 257u : 0u);
    clock.Restart(resolution);
    for (size_t at = 0; at < size; at += 1 + size / 4) {
        clock.TakeUnit(copy.data() + at, size - at);
        const int64_t shown = clock.Shown(), passed = clock.Passed();
        if (shown < -int64_t(resolution) || passed < -int64_t(resolution))
            __builtin_trap();
    }

    // The reader at every width the data asks for.
    BitStreamData bits(copy.data(), copy.size());
    for (size_t i = 0; i < size && i < 64; ++i) {
        const uint32_t before = bits.Position();
        const int n = data[i] % 40;
        const uint32_t v = bits.GetBits(n, data[i] & 0x80);
        if (n < 32 && (v >> n) != 0)
            __builtin_trap();
        if (bits.Position() < before || bits.Position() > size * 8)
            __builtin_trap();
    }
    return 0;
}
