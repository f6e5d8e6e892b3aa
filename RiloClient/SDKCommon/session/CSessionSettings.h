#ifndef RILO_CSESSIONSETTINGS_H
#define RILO_CSESSIONSETTINGS_H

#include "session/SessionCredentials.h"
#include "session/SessionProxy.h"

#include <mutex>

// What both sessions are told before they make a stream: credentials, proxy
// and connect mode, each setter under the session mutex. The mutex lives here
// because it guards these settings; the session built on this guards the rest
// of its state with it too.
class CSessionSettings {
public:
    CSessionSettings(const CSessionSettings&) = delete;
    CSessionSettings& operator=(const CSessionSettings&) = delete;

    // 1: streams made afterwards use TLS.
    void SetConnectMode(int nMode);
    void SetAuthData(const char* lpszUser, const char* lpszPass, int nType);
    void SetAuthorization(const char* lpszAuth);
    void SetAuthMD5Realm(const char* lpszRealm);
    void AssignProxy(const char* lpszProxy, unsigned int nPort);
    void UseProxy(bool bUse);
    void UseBypass(bool bUse);
    void AssignSpecifiedBypass(const char* lpszBypass);

protected:
    explicit CSessionSettings(unsigned int nProxyPort) : m_proxy(nProxyPort) {}
    ~CSessionSettings() = default;

    // Under m_mutex.
    bool UseTLS() const { return m_nConnectMode == 1; }

    mutable std::mutex m_mutex; // the session mutex
    SessionCredentials m_auth;
    SessionProxy m_proxy;

private:
    int m_nConnectMode = 0;
};

#endif
