#include "net/NetResolve.h"

#include "net/NetHandles.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

int ResolveHostAddress(const char* host, uint16_t port, int family, sockaddr_storage* addr,
                       socklen_t* len, const ResolveDiag& diag)
{
    *addr = sockaddr_storage{};
    *len = 0;
    void* where = family == AF_INET6
                      ? static_cast<void*>(&reinterpret_cast<sockaddr_in6*>(addr)->sin6_addr)
                      : static_cast<void*>(&reinterpret_cast<sockaddr_in*>(addr)->sin_addr);
    if (inet_pton(family, host, where) == 1) {
        addr->ss_family = sa_family_t(family);
        *len = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        DiagPrint(diag.stream, "%sinet_pton successful, family=%d, len=%d\n", diag.connectTag,
                  family, int(*len));
    } else {
        DiagPrint(diag.stream, "%sBefore gethostbyname = %s\n", diag.connectTag, host);
        addrinfo hints{};
        hints.ai_family = family;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        int rc = getaddrinfo(host, nullptr, &hints, &res);
        AddrInfoList list(res);
        if (rc != 0 || !list || list->ai_addrlen > sizeof *addr) {
            DiagPrint(diag.stream, "%sgethostbyname failed, err = %d\n", diag.failTag, rc);
            return (rc == EAI_SYSTEM && errno != 0) ? errno : EHOSTUNREACH;
        }
        std::memcpy(addr, list->ai_addr, list->ai_addrlen);
        *len = list->ai_addrlen;
    }
    if (addr->ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(addr)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in*>(addr)->sin_port = htons(port);
    return 0;
}
