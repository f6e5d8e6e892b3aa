// The audio stream's receive path on any "audio/ACAS" body: the packet walk,
// the tag rules of each pass, the format checks and every decoder (AAC
// included). The body arrives in chunks of a size the first byte picks.
// Both callbacks must get a sound format block before any data, and every
// byte they are given must be readable.
#include "../client/stream/PCMStreamTestUtil.h"
#include "FuzzInit.h"

#include <cstdint>
#include <cstring>

namespace {

struct Checker {
    bool told = false;
    bool render = false;
    uint8_t sum = 0;

    static void On(void* user, unsigned char* data, unsigned long bytes, unsigned long kind,
                   long long* stamp)
    {
        auto* c = static_cast<Checker*>(user);
        if (!stamp || (bytes && !data))
            __builtin_trap();
        for (unsigned long i = 0; i < bytes; ++i)
            c->sum = uint8_t(c->sum + data[i]);
        if (kind == CHTTPPCMStrm::kFormatBlockKind) {
            uint16_t channels, bits;
            uint32_t rate, zero;
            if (bytes != CHTTPPCMStrm::kFormatBlockSize)
                __builtin_trap();
            std::memcpy(&channels, data, 2);
            std::memcpy(&bits, data + 2, 2);
            std::memcpy(&rate, data + 4, 4);
            std::memcpy(&zero, data + 8, 4);
            if (channels < 1 || (bits != 8 && bits != 16) || rate == 0 || zero != 0)
                __builtin_trap();
            c->told = true;
        } else if (kind != 0 || !c->told || (c->render && bytes == 0)) {
            __builtin_trap();
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    RiloFuzzInit(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t chunk = 1 + size_t(data[0]) * 64;
    pcmtest::FedPCMStrm s;
    Checker enc, render;
    render.render = true;
    s.SetGetEncAudioSampleCB(Checker::On, &enc);
    s.SetRenderCallback(Checker::On, &render);
    s.InitDecoder();
    s.Reply("audio/ACAS");
    s.Feed(pcmtest::Bytes(data + 1, data + size), chunk);
    s.UninitDecoder();
    return 0;
}
