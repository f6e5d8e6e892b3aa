#include "session/SessionCredentials.h"

#include "Common.h"
#include "RiloAssert.h"
#include "http/CHTTPCtrl.h"

void SessionCredentials::SetAuthData(const char* lpszUser, const char* lpszPass, int nType)
{
    RILO_ASSERT(lpszUser != NULL);
    RILO_ASSERT(lpszPass != NULL);
    nAuthType = nType;
    switch (nType) {
    case 1:
        strAuthorization = std::string(lpszUser) + ":" + lpszPass;
        break;
    case 2:
        strAuthorization = BasicAuthValue(lpszUser, lpszPass);
        break;
    case 3:
    case 4:
        strUser = lpszUser;
        strPassword = lpszPass;
        break;
    default:
        break;
    }
}

void SessionCredentials::SetAuthorization(const char* lpszAuth)
{
    if (lpszAuth)
        strAuthorization = lpszAuth;
}

void SessionCredentials::ApplyTo(CHTTPCtrl& stream) const
{
    stream.SetAuthorization(strAuthorization.c_str());
    stream.SetAuthData(strUser.c_str(), strPassword.c_str());
}
