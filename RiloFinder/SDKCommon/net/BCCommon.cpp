#include "net/BCCommon.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdarg>

const uint8_t g_NULLMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

std::string inet_ltoa(uint32_t addr)
{
    in_addr a{};
    a.s_addr = addr;
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &a, text, sizeof text))
        return std::string();
    return std::string(text);
}

void BCPrint(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    DiagVPrint(kDiagOut, fmt, ap);
    va_end(ap);
}
