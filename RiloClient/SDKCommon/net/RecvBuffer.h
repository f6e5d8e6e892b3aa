#ifndef RILO_RECVBUFFER_H
#define RILO_RECVBUFFER_H

#include <cstddef>
#include <cstring>

// The receive buffer of both transports after the data callback: what it did
// not take moves to the front and the freed tail is zeroed, so the next read
// appends to it. Returns the count still held.
inline int RiloKeepUnconsumed(unsigned char* buf, int held, unsigned long consumed)
{
    if (consumed >= static_cast<unsigned long>(held))
        return 0;
    size_t rest = size_t(held) - consumed;
    std::memmove(buf, buf + consumed, rest);
    std::memset(buf + rest, 0, consumed);
    return int(rest);
}

#endif
