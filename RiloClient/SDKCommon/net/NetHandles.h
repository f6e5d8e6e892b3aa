#ifndef RILO_NETHANDLES_H
#define RILO_NETHANDLES_H

// Owners of the transports' descriptors and address lists, so that every
// exit path frees them.

#include <netdb.h>
#include <unistd.h>

#include <memory>

// One descriptor; closed when replaced or destroyed.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor held (if any) and takes fd; close's result.
    int Reset(int fd = -1)
    {
        int old = m_fd;
        m_fd = fd;
        return old >= 0 ? close(old) : 0;
    }

private:
    int m_fd = -1;
};

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
// A getaddrinfo result list.
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

#endif
