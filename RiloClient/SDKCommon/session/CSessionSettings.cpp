#include "session/CSessionSettings.h"

#include "RiloAssert.h"

void CSessionSettings::SetConnectMode(int nMode)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_nConnectMode = nMode;
}

void CSessionSettings::SetAuthData(const char* lpszUser, const char* lpszPass, int nType)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_auth.SetAuthData(lpszUser, lpszPass, nType);
}

void CSessionSettings::SetAuthorization(const char* lpszAuth)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_auth.SetAuthorization(lpszAuth);
}

void CSessionSettings::SetAuthMD5Realm(const char* lpszRealm)
{
    RILO_ASSERT(lpszRealm != NULL);
    std::lock_guard<std::mutex> g(m_mutex);
    m_auth.strRealm = lpszRealm;
}

void CSessionSettings::AssignProxy(const char* lpszProxy, unsigned int nPort)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_proxy.Assign(lpszProxy, nPort);
}

void CSessionSettings::UseProxy(bool bUse)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_proxy.bUseProxy = bUse;
}

void CSessionSettings::UseBypass(bool bUse)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_proxy.bUseBypass = bUse;
}

void CSessionSettings::AssignSpecifiedBypass(const char* lpszBypass)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_proxy.AssignBypass(lpszBypass);
}
