#ifndef RILO_ADAPTERINFO_H
#define RILO_ADAPTERINFO_H

#include <cstdint>

// One host interface as the enumerator lists it.
struct AdapterInfo {
    char name[64];
    char ipAddress[64]; // dotted text, empty without a usable IPv4 address
    char mask[64];
    char broadcast[64]; // broadcast (or point-to-point destination) address
    uint8_t mac[6];     // zero when the interface has none
};

#endif
