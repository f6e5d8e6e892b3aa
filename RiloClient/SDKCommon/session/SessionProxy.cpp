#include "session/SessionProxy.h"

#include "http/CHTTPCtrl.h"

void SessionProxy::Assign(const char* lpszProxy, unsigned int nPort)
{
    strProxy = lpszProxy ? lpszProxy : "";
    nProxyPort = nPort;
}

void SessionProxy::AssignBypass(const char* lpszBypass)
{
    strBypass = lpszBypass ? lpszBypass : "";
}

void SessionProxy::ApplyTo(CHTTPCtrl& stream) const
{
    stream.SetProxy(strProxy.c_str(), nProxyPort);
    if (!bUseProxy || strProxy.empty())
        stream.UseProxy(false);
}
