// URL splitting with every mask, the port lookup on the whole text and on
// each host part, and the rewriting helpers. Input: a URL, optionally a NUL
// and a related name.
#include "FuzzInit.h"
#include "w3c/HTMemory.h"
#include "w3c/HTParse.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Exactly the bytes of one text and its NUL, so an overread past it is caught.
std::unique_ptr<char[]> Text(const uint8_t* data, size_t len)
{
    std::unique_ptr<char[]> text(new char[len + 1]);
    std::memcpy(text.get(), data, len);
    text[len] = '\0';
    return text;
}

void CheckPort(const char* host)
{
    int port = -1;
    const char* colon = HTParsePort(host, &port);
    if (port < 0 || port > 65535)
        __builtin_trap();
    if (colon && (*colon != ':' || colon < host || colon >= host + std::strlen(host)))
        __builtin_trap();
}

} // namespace

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t nameLen = nul ? size_t(nul - data) : size;
    auto name = Text(data, nameLen);
    auto related = nul ? Text(nul + 1, size - nameLen - 1) : Text(data, 0);
    const size_t bound = std::strlen(name.get()) + std::strlen(related.get()) + 5;

    for (int mask = 0; mask <= PARSE_ALL; ++mask) {
        HTMemoryText out(HTParse(name.get(), related.get(), mask));
        if (!out || std::strlen(out.get()) > bound)
            __builtin_trap();
        if (mask == PARSE_HOST)
            CheckPort(out.get());
    }
    CheckPort(name.get());

    HTMemoryText relative(HTRelative(name.get(), related.get()));
    if (!relative)
        __builtin_trap();
    const size_t before = std::strlen(name.get());
    if (std::strlen(HTSimplify(name.get())) > before)
        __builtin_trap();
    return 0;
}
