#ifndef RILO_BCCOMMON_H
#define RILO_BCCOMMON_H

#include "Common.h"

#include <cstdint>
#include <string>

struct BCCommon {};

// The finder's own MAC record, compared byte by byte.
struct MAC_ADDR {
    uint8_t addr[6];
};
static_assert(sizeof(MAC_ADDR) == 6, "MAC_ADDR is six bytes");

// Target MAC of a discovery request: every camera answers it.
extern const uint8_t g_NULLMac[6];

// Dotted text of an IPv4 address in network order. Each call has its own
// result, so threads never share a buffer.
std::string inet_ltoa(uint32_t addr);

// One diagnostic line of the finder, on standard output through the common
// diagnostic output (a test may point it elsewhere).
void BCPrint(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

#endif
