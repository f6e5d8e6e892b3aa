// The exported interface: talk-back and event notification on a handle.
#include "RiloClientLib.h"

#include "api/CLibModule.h"
#include "Common.h"
#include "api/RiloLibHandle.h"
#include "session/CHTTPNotifyLive.h"

#include <new>

using rilolib::BadHandle;
using rilolib::Module;

extern "C" {

// Talk-back: a null handle gives -1 without a message, except the feed.

RILO_CLIENT_API int RiloStartTwoWayAudioCB(void* hStream, int path, TalkEventCallback callback,
                                           void* user)
{
    CLibModule* h = Module(hStream);
    return h ? h->StartTwoWayAudio(path, callback, user) : -1;
}

RILO_CLIENT_API int RiloStartAudioStreamOutCB(void* hStream, TalkEventCallback callback, void* user)
{
    CLibModule* h = Module(hStream);
    return h ? h->StartAudioStreamOut(callback, user) : -1;
}

RILO_CLIENT_API int RiloFeedAudioStreamOutData(void* hStream, unsigned char* data, int bytes)
{
    // Only queues: answered from inside the handle's callbacks too.
    CLibModule* h = rilolib::ModuleWithoutWait(hStream);
    if (!h)
        return BadHandle(hStream, kDiagErr);
    if (bytes < 0)
        return -1;
    return h->m_WaveOut.FeedAudioData(data, unsigned(bytes));
}

RILO_CLIENT_API int RiloStopTwoWayAudio(void* hStream)
{
    CLibModule* h = Module(hStream);
    if (!h)
        return -1;
    h->m_WaveOut.UninitWaveOut();
    return 0;
}

RILO_CLIENT_API int RiloStopAudioStreamOut(void* hStream)
{
    return RiloStopTwoWayAudio(hStream);
}

// Event notification.

RILO_CLIENT_API void* RiloCreateNotify(void)
{
    auto* h = new (std::nothrow) CLibModule(0, 0);
    if (!h) {
        DiagPrint(kDiagOut, "Vorn Lib RiloCreateNotify: Out of memory!\n");
        return nullptr;
    }
    if (!h->CreateNotify()) {
        DiagPrint(kDiagOut, "Create Rilo component failed: out of memory!\n");
        delete h;
        return nullptr;
    }
    void* handle = rilolib::Register(h);
    if (!handle) {
        DiagPrint(kDiagOut, "Vorn Lib RiloCreateNotify: Out of memory!\n");
        return nullptr;
    }
    return handle;
}

RILO_CLIENT_API int RiloDestroyNotify(void* hNotify)
{
    CLibModule* h = rilolib::Unregister(hNotify);
    if (!h)
        return BadHandle(hNotify, kDiagOut, "Vorn Lib RiloDestroyNotify: Error of parameter!\n");
    h->DestroyNotify();
    delete h;
    return 0;
}

RILO_CLIENT_API int RiloSetNotifyAddr(void* hNotify, const char* host, int port)
{
    return rilolib::SetAddr(hNotify, host, port);
}

RILO_CLIENT_API int RiloSetNotifyAuth(void* hNotify, const char* user, const char* pass,
                                      int authType)
{
    return rilolib::SetAuth(hNotify, &CLibModule::m_pNotifyLive, user, pass, authType);
}

RILO_CLIENT_API int RiloSetNotifyAuthData(void* hNotify, const char* authorization)
{
    return rilolib::SetAuthData(hNotify, &CLibModule::m_pNotifyLive, authorization);
}

RILO_CLIENT_API int RiloSetNotifyAuthMD5Realm(void* hNotify, const char* realm)
{
    CLibModule* h = Module(hNotify);
    if (!h)
        return BadHandle(hNotify, kDiagOut);
    if (!CLibModule::FitsText(realm) || !h->m_pNotifyLive)
        return -1;
    h->m_pNotifyLive->SetAuthMD5Realm(realm);
    return 0;
}

RILO_CLIENT_API int RiloSetNotifyConnectMode(void* hNotify, int mode)
{
    return rilolib::SetConnectMode(hNotify, &CLibModule::m_pNotifyLive, mode);
}

RILO_CLIENT_API int RiloSetNotifyMsgHandler(void* hNotify, NotifyMsgHandler handler, void* param)
{
    CLibModule* h = Module(hNotify);
    if (!h || !handler || !param)
        return BadHandle(hNotify, kDiagOut);
    if (!h->m_pNotifyLive)
        return -1;
    h->m_pNotifyLive->SetParentCallback(param, handler);
    return 0;
}

RILO_CLIENT_API int RiloStartNotify(void* hNotify)
{
    CLibModule* h = Module(hNotify);
    return h ? h->StartNotify() : -1;
}

RILO_CLIENT_API int RiloStopNotify(void* hNotify)
{
    CLibModule* h = Module(hNotify);
    if (!h)
        return BadHandle(hNotify, kDiagOut);
    return h->StopNotify();
}

} // extern "C"
