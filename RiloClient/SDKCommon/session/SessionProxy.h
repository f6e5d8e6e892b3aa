#ifndef RILO_SESSION_SESSIONPROXY_H
#define RILO_SESSION_SESSIONPROXY_H

#include <string>

class CHTTPCtrl;

// The proxy a session hands every stream before it connects. The session
// serialises access with its own lock.
struct SessionProxy {
    explicit SessionProxy(unsigned int nPort = 0) : nProxyPort(nPort) {}

    std::string strProxy;
    unsigned int nProxyPort;
    bool bUseProxy = false;
    bool bUseBypass = false; // stored only
    std::string strBypass;   // stored only

    // A null text empties the stored one.
    void Assign(const char* lpszProxy, unsigned int nPort);
    void AssignBypass(const char* lpszBypass);
    // The stream goes through the proxy only when it is switched on and named.
    void ApplyTo(CHTTPCtrl& stream) const;
};

#endif
