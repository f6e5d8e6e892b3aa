// The exported interface: the stream handle, live video and audio, recording.
#include "RiloClientLib.h"

#include "api/CLibModule.h"
#include "Common.h"
#include "session/ModalType.h"
#include "RiloAssert.h"
#include "api/RiloLibHandle.h"
#include "session/CHTTPSCHLive.h"

#include <cstdint>
#include <new>

using rilolib::BadHandle;
using rilolib::Module;

namespace {

const char kCreateFailed[] = "Create Rilo component failed: out of memory!\n";

enum : int {
    kFlagVideo = 1,
    kFlagAudio = 2,
};

enum : int {
    kNoSuchAudio = -6,
};

// The reserve is handed on in bytes; 64 bits, so it does not wrap at 4 GiB.
static_assert(sizeof(unsigned long) >= sizeof(uint64_t), "the disk reserve needs 64 bits");

int InnerStartAudioStream(CLibModule* h, AudioRenderCallback fn, void* user)
{
    if (!h->m_pLive || !DetermineAssignAudioModalType(h, h->TakeSettings()))
        return -1;
    h->m_pLive->SetAudioCallbackRender(fn, user);
    return h->m_pLive->StartLiveAudio(true) ? 0 : -1;
}

// Flags 0 or with the video bit: video, with audio into the same AVI when
// asked (flags 0 without an audio URL records video only).
int StartVideoRecording(CLibModule* h, const CLibModule::Settings& s, int flags, const char* path,
                        int profile)
{
    CHTTPSCHLive* live = h->m_pLive.get();
    if (!DetermineAssignVideoModalType(h, s, &profile))
        return -1;
    if (flags == 0 || (flags & kFlagAudio)) {
        if (DetermineAssignAudioModalType(h, s))
            return live->StartRecordAvi(path, true, profile) ? 0 : -1;
        if (flags != 0)
            return kNoSuchAudio;
    }
    return live->StartRecordVideo(path, true, profile) ? 0 : -1;
}

// 1 while the session runs what query asks about; a null handle prints the
// message and gives 0. The query takes no lock: answered from inside the
// handle's callbacks too.
int IsLive(void* hStream, bool (CHTTPSCHLive::*query)())
{
    CLibModule* h = rilolib::ModuleWithoutWait(hStream);
    if (!h) {
        BadHandle(hStream, kDiagOut);
        return 0;
    }
    return h->m_pLive && (h->m_pLive.get()->*query)() ? 1 : 0;
}

} // namespace

extern "C" {

// The stream handle.

RILO_CLIENT_API void* RiloCreateStream(unsigned createParam, unsigned modalType)
{
    auto* h = new (std::nothrow) CLibModule(createParam, modalType);
    if (!h) {
        DiagPrint(kDiagOut, "Vorn Lib RiloCreateStream: Out of memory!\n");
        return nullptr;
    }
    if (IsRefusedModalFamily(modalType) || !h->CreateLive()) {
        DiagPrint(kDiagOut, "%s", kCreateFailed);
        delete h;
        return nullptr;
    }
    void* handle = rilolib::Register(h);
    if (!handle) {
        DiagPrint(kDiagOut, "Vorn Lib RiloCreateStream: Out of memory!\n");
        return nullptr;
    }
    return handle;
}

RILO_CLIENT_API int RiloDestroyStream(void* hStream)
{
    CLibModule* h = rilolib::Unregister(hStream);
    if (!h)
        return BadHandle(hStream, kDiagOut, "Vorn Lib RiloDestroyStream: Error of parameter!\n");
    h->StopAllStream();
    delete h;
    return 0;
}

RILO_CLIENT_API int RiloSetStreamAddr(void* hStream, const char* host, int port)
{
    return rilolib::SetAddr(hStream, host, port);
}

RILO_CLIENT_API int RiloSetStreamAuth(void* hStream, const char* user, const char* pass,
                                      int authType)
{
    return rilolib::SetAuth(hStream, &CLibModule::m_pLive, user, pass, authType);
}

RILO_CLIENT_API int RiloSetStreamAuthData(void* hStream, const char* authorization)
{
    return rilolib::SetAuthData(hStream, &CLibModule::m_pLive, authorization);
}

RILO_CLIENT_API int RiloSetConnectMode(void* hStream, int mode)
{
    return rilolib::SetConnectMode(hStream, &CLibModule::m_pLive, mode);
}

RILO_CLIENT_API int RiloSetAuthMD5Realm(void* hStream, const char* realm)
{
    CLibModule* h = Module(hStream);
    if (!h)
        return BadHandle(hStream, kDiagOut);
    if (!h->m_pLive)
        return 0;
    if (!h->SetAuthOption(realm))
        return -1;
    h->m_pLive->SetAuthMD5Realm(realm);
    return 0;
}

RILO_CLIENT_API int RiloSetStreamNotifyMsgHandler(void* hStream, StreamEventHandler handler,
                                                  void* user)
{
    CLibModule* h = rilolib::ModuleWithoutWait(hStream); // stores only
    if (!h)
        return BadHandle(hStream, kDiagOut);
    h->SetStreamNotify(handler, user);
    return 0;
}

// Live video and audio.

RILO_CLIENT_API int RiloStartVideoStreamRenderCB(void* hStream, VideoRenderCallback callback,
                                                 void* user, int, int profile, int flag)
{
    CLibModule* h = Module(hStream);
    if (!h || !callback)
        return BadHandle(hStream, kDiagOut);
    CHTTPSCHLive* live = h->m_pLive.get();
    const CLibModule::Settings s = h->TakeSettings();
    if (!live || !DetermineAssignVideoModalType(h, s, &profile))
        return -1;
    s.ApplyAuthorization(live);
    live->SetStreamNotifyCB(s.pfnStreamNotify, s.pStreamNotifyUser);
    live->SetCallbackRenderMode(true, callback, user);
    if (!live->StartLiveVideo(true, profile, flag != 0))
        return -1;
    h->SetProfileID(profile);
    return 0;
}

RILO_CLIENT_API int RiloStopVideoStream(void* hStream)
{
    CLibModule* h = Module(hStream);
    if (!h)
        return BadHandle(hStream, kDiagOut);
    if (h->m_pLive)
        h->m_pLive->StopLiveVideo();
    h->SetProfileID(0);
    return 0;
}

RILO_CLIENT_API int RiloStartAudioStreamRenderCB(void* hStream, AudioRenderCallback callback,
                                                 void* user)
{
    CLibModule* h = Module(hStream);
    if (!h || !callback)
        return BadHandle(hStream, kDiagOut);
    return InnerStartAudioStream(h, callback, user);
}

RILO_CLIENT_API int RiloStopAudioStream(void* hStream)
{
    CLibModule* h = Module(hStream);
    if (!h)
        return BadHandle(hStream, kDiagOut);
    if (!h->m_pLive)
        return -1;
    h->m_pLive->StopLiveAudio();
    return 0;
}

RILO_CLIENT_API int RiloIsVideoStream(void* hStream)
{
    return IsLive(hStream, &CHTTPSCHLive::IsLiveVideo);
}

RILO_CLIENT_API int RiloIsAudioStream(void* hStream)
{
    return IsLive(hStream, &CHTTPSCHLive::IsLiveAudio);
}

// Recording: a bad handle is reported on standard error.

RILO_CLIENT_API int RiloSetRecordingInterval(void* hStream, int kind, int value)
{
    CLibModule* h = rilolib::ModuleWithoutWait(hStream); // stores only
    if (!h)
        return BadHandle(hStream, kDiagErr);
    h->SetRecordingInterval(kind, value);
    return 0;
}

RILO_CLIENT_API int RiloStartRecordingStreamIn(void* hStream, int flags, const char* path,
                                               int profile)
{
    CLibModule* h = Module(hStream);
    if (!h)
        return BadHandle(hStream, kDiagErr);
    CHTTPSCHLive* live = h->m_pLive.get();
    if (!live)
        return -1;
    RILO_ASSERT(path != NULL);
    const CLibModule::Settings s = h->TakeSettings();
    s.ApplyAuthorization(live);
    live->SetStreamNotifyCB(s.pfnStreamNotify, s.pStreamNotifyUser);
    live->SetRecordingInterval(s.nRecIntervalValue, s.nRecIntervalKind);
    if (flags == 0 || (flags & kFlagVideo))
        return StartVideoRecording(h, s, flags, path, profile);
    if (flags & kFlagAudio) {
        if (!DetermineAssignAudioModalType(h, s))
            return kNoSuchAudio;
        return live->StartRecordAudio(path, true, true) ? 0 : -1;
    }
    return -1;
}

RILO_CLIENT_API int RiloStopRecordingStreamIn(void* hStream, int flags)
{
    CLibModule* h = Module(hStream);
    if (!h)
        return BadHandle(hStream, kDiagErr);
    CHTTPSCHLive* live = h->m_pLive.get();
    if (!live)
        return -1;
    if (flags == 0) {
        if (live->IsRecordAvi())
            live->StopRecorder();
        return 0;
    }
    if (flags & kFlagVideo)
        live->StopRecordVideo();
    if (flags & kFlagAudio)
        live->StopRecordAudio();
    return 0;
}

RILO_CLIENT_API int RiloIsOnRecordingStreamIn(void* hStream, int flags, int* on)
{
    CLibModule* h = Module(hStream);
    if (!h || !on)
        return BadHandle(hStream, kDiagErr);
    CHTTPSCHLive* live = h->m_pLive.get();
    if (!live) {
        *on = 0;
        return -1;
    }
    if (flags == 0)
        *on = live->IsRecordAvi() ? 1 : 0;
    else
        *on = ((flags & kFlagVideo) && live->IsRecordVideo()) ||
              ((flags & kFlagAudio) && live->IsRecordAudio());
    return 0;
}

RILO_CLIENT_API int RiloReserveDiskFreeSpace(void* hStream, unsigned mebibytes)
{
    CLibModule* h = Module(hStream);
    if (!h)
        return BadHandle(hStream, kDiagErr);
    if (!h->m_pLive) {
        DiagPrint(kDiagErr, "[RiloReserveDiskFreeSpace]: no stream is created.!\r\n");
        return -1;
    }
    h->m_pLive->SetLimitSpace(static_cast<unsigned long>(mebibytes) << 20);
    return 0;
}

} // extern "C"
