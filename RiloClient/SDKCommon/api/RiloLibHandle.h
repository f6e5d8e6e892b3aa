#ifndef RILO_RILOLIBHANDLE_H
#define RILO_RILOLIBHANDLE_H

#include "CHandleRegistry.h"
#include "api/CLibModule.h"
#include "Common.h"
#include "session/CDeliveryScope.h"

#include <memory>

// What the exported functions of stream and notify handles share: the
// handle check and the setters that store a value and hand it to the
// handle's session, when it has one of that kind.
namespace rilolib {

// The stream and notify handles made and not yet destroyed.
inline CHandleRegistry& Handles()
{
    static CHandleRegistry handles('C');
    return handles;
}

// The handle's record, or null, to be answered as a null handle is: for a
// handle the library did not make or has destroyed, and for a call from
// inside one of the handle's own render or audio callbacks, which would wait
// for the lock that the delivering stream holds.
inline CLibModule* Module(void* handle)
{
    auto* h = static_cast<CLibModule*>(Handles().Find(handle));
    return h && !CDeliveryScope::IsInside(h->m_pLive.get()) ? h : nullptr;
}

// The handle of a new record, or null, and the record freed, when it cannot
// be made known (out of memory).
inline void* Register(CLibModule* h)
{
    if (void* handle = Handles().Add(h))
        return handle;
    delete h;
    return nullptr;
}

// The handle's record, the handle now unknown to every later call; null
// when it was not known.
inline CLibModule* Unregister(void* handle)
{
    CLibModule* h = Module(handle);
    return h && Handles().Remove(handle) ? h : nullptr;
}

// A bad handle or argument: the library's message on the given stream, -1.
inline int BadHandle(DiagStream stream)
{
    DiagPrint(stream, "Vorn Lib: Error of parameter!\n");
    return -1;
}

template <class Session>
using SessionOf = std::unique_ptr<Session> CLibModule::*;

inline int SetAddr(void* handle, const char* host, int port)
{
    CLibModule* h = Module(handle);
    if (!h)
        return BadHandle(kDiagOut);
    return h->SetHost(host, port) ? 0 : -1;
}

template <class Session>
int SetAuth(void* handle, SessionOf<Session> session, const char* user, const char* pass,
            int authType)
{
    CLibModule* h = Module(handle);
    if (!h)
        return BadHandle(kDiagOut);
    if (!h->SetCredentials(user, pass, authType))
        return -1;
    if (Session* s = (h->*session).get())
        s->SetAuthData(user, pass, authType);
    return 0;
}

template <class Session>
int SetAuthData(void* handle, SessionOf<Session> session, const char* authorization)
{
    CLibModule* h = Module(handle);
    if (!h)
        return BadHandle(kDiagOut);
    if (!h->SetAuthData(authorization))
        return -1;
    if (Session* s = (h->*session).get())
        s->SetAuthorization(authorization);
    return 0;
}

template <class Session>
int SetConnectMode(void* handle, SessionOf<Session> session, int mode)
{
    CLibModule* h = Module(handle);
    if (!h)
        return BadHandle(kDiagOut);
    h->SetConnectMode(mode);
    if (Session* s = (h->*session).get())
        s->SetConnectMode(mode);
    return 0;
}

} // namespace rilolib

#endif
