// The audio stream's receive path on any "audio/ACAS" body: the packet walk,
// the tag rules of each pass, the format checks and every decoder. The
// first byte picks the chunk size. Both callbacks must be told a sound
// format before any data, and every byte they get must be readable.
#include "../client/stream/PCMStreamTestUtil.h"
#include "FuzzInit.h"

namespace {

struct Checker {
    bool told = false;
    uint8_t sum = 0;

    static void On(void* user, unsigned char* data, unsigned long bytes, unsigned long kind,
                   long long* stamp)
    {
        auto* c = static_cast<Checker*>(user);
        for (unsigned long i = 0; i < bytes; ++i)
            c->sum = uint8_t(c->sum + data[i]);
        const bool block = kind == CHTTPPCMStrm::kFormatBlockKind && bytes == 12;
        // channels (u16), bits (u16), rate (u32), 0 (u32)
        if (!stamp || (kind == 0 && !c->told) || (kind != 0 && !block) ||
            (block && ((data[0] | data[1]) == 0 || (data[2] != 8 && data[2] != 16) || data[3] ||
                       (data[4] | data[5] | data[6] | data[7]) == 0 ||
                       (data[8] | data[9] | data[10] | data[11]) != 0)))
            __builtin_trap();
        c->told = c->told || block;
    }
};

} // namespace

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    pcmtest::FedPCMStrm s;
    Checker enc, render;
    s.SetGetEncAudioSampleCB(Checker::On, &enc);
    s.SetRenderCallback(Checker::On, &render);
    s.InitDecoder();
    s.Reply("audio/ACAS");
    s.Feed(pcmtest::Bytes(data + 1, data + size), 1 + size_t(data[0]) * 64);
    s.UninitDecoder();
    return 0;
}
