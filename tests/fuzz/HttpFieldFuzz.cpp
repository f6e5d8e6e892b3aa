// GetFiledValue over any data (headers, or binary content as the MJPEG
// stream hands it), with any name and output size.
#include "http/HttpParse.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t nameLen = data[0] % 24;
    const unsigned long outLen = 1 + data[1] % 64;
    if (size < 2 + nameLen)
        return 0;
    const std::string name(reinterpret_cast<const char*>(data + 2), nameLen);
    // Exactly the bytes given, so an overread past them is caught.
    std::vector<char> body(data + 2 + nameLen, data + size);
    std::vector<char> out(outLen, '\x55');
    bool ok = GetFiledValue(body.data(), body.size(), name.c_str(), out.data(), outLen);
    if (ok) {
        size_t n = strnlen(out.data(), outLen);
        if (n == 0 || n >= outLen)
            __builtin_trap();
        // The value is a piece of the data without a line end.
        if (std::memchr(out.data(), '\r', n) || std::memchr(out.data(), '\n', n))
            __builtin_trap();
        std::string hay(body.begin(), body.end());
        if (hay.find(std::string(out.data(), n)) == std::string::npos)
            __builtin_trap();
    }
    return 0;
}
