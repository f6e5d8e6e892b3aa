#ifndef RILO_BCCOMMON_H
#define RILO_BCCOMMON_H

#include <cstdint>

struct BCCommon {};

// Target MAC of a discovery request: every camera answers it.
extern const uint8_t g_NULLMac[6];

#endif
