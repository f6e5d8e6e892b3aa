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

// The handle's record, or null for a handle the library did not make or has
// destroyed: for the calls that wait for no lock and no thread, which answer
// also from inside the handle's own render and audio callbacks.
inline CLibModule* ModuleWithoutWait(void* handle)
{
    return static_cast<CLibModule*>(Handles().Find(handle));
}

// The callback kind of the handle that this thread runs, or kNone.
inline CDeliveryScope::Kind InsideCallbackOf(CLibModule* h)
{
    return h ? CDeliveryScope::Inside(h->m_pLive.get()) : CDeliveryScope::kNone;
}

// The handle's record, or null, to be answered as a null handle is: for a
// handle the library did not make or has destroyed, and for a call from
// inside one of the handle's own render or audio callbacks, which could wait
// for a lock that the delivering thread holds or for that thread.
inline CLibModule* Module(void* handle)
{
    CLibModule* h = ModuleWithoutWait(handle);
    return InsideCallbackOf(h) == CDeliveryScope::kNone ? h : nullptr;
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

const char kBadParameter[] = "Vorn Lib: Error of parameter!\n";

// A bad handle or argument: the library's message on the given stream, -1.
// Calls refused inside the handle's own callbacks are reported once per
// handle and kind of callback, not at every picture.
inline int BadHandle(void* handle, DiagStream stream, const char* text = kBadParameter)
{
    CLibModule* h = ModuleWithoutWait(handle);
    const CDeliveryScope::Kind kind = InsideCallbackOf(h);
    if (kind == CDeliveryScope::kNone || h->FirstRefusal(kind))
        DiagPrint(stream, "%s", text);
    return -1;
}

template <class Session>
using SessionOf = std::unique_ptr<Session> CLibModule::*;

// Stores only: answered from inside the handle's callbacks too.
inline int SetAddr(void* handle, const char* host, int port)
{
    CLibModule* h = ModuleWithoutWait(handle);
    if (!h)
        return BadHandle(handle, kDiagOut);
    return h->SetHost(host, port) ? 0 : -1;
}

template <class Session>
int SetAuth(void* handle, SessionOf<Session> session, const char* user, const char* pass,
            int authType)
{
    CLibModule* h = Module(handle);
    if (!h)
        return BadHandle(handle, kDiagOut);
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
        return BadHandle(handle, kDiagOut);
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
        return BadHandle(handle, kDiagOut);
    h->SetConnectMode(mode);
    if (Session* s = (h->*session).get())
        s->SetConnectMode(mode);
    return 0;
}

} // namespace rilolib

#endif
