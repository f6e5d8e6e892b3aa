#ifndef RILO_SESSION_SESSIONCREDENTIALS_H
#define RILO_SESSION_SESSIONCREDENTIALS_H

#include <string>

class CHTTPCtrl;

// What a session keeps to authorize the requests of every stream it makes.
// The session serialises access with its own lock.
struct SessionCredentials {
    int nAuthType = 2;
    std::string strAuthorization; // a ready value (types 1 and 2, or given whole)
    std::string strUser;          // Digest (types 3 and 4)
    std::string strPassword;
    std::string strRealm;

    // Type 1 joins "user:password" at its full length, type 2 makes the Basic
    // value, types 3 and 4 keep the texts for a Digest answer.
    void SetAuthData(const char* lpszUser, const char* lpszPass, int nType);
    // A null value leaves the stored one.
    void SetAuthorization(const char* lpszAuth);
    // The ready value and the Digest texts onto a stream.
    void ApplyTo(CHTTPCtrl& stream) const;
};

#endif
