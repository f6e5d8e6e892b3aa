#ifndef RILO_NET_RESOLVE_H
#define RILO_NET_RESOLVE_H

#include "Common.h"

#include <sys/socket.h>

#include <cstdint>

// How one caller names itself in the look-up's diagnostic lines.
struct ResolveDiag {
    DiagStream stream;
    const char* connectTag; // "[Class::Connect]"
    const char* failTag;    // tag of the failed look-up line
};

// The socket address of a numeric or named host for a stream socket, with
// the port set. 0, or an errno value when the host has no address.
int ResolveHostAddress(const char* host, uint16_t port, int family, sockaddr_storage* addr,
                       socklen_t* len, const ResolveDiag& diag);

#endif
