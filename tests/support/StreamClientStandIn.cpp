// A stand-in for the client library's stream handle, for as long as the
// library does not export one: a handle runs the library's own MJPEG stream
// against the camera's MJPEG endpoint, with the same calls, results and
// callback guarantees the front end relies on. Only MJPEG, only one stream.
#include "Common.h"
#include "RiloClientLib.h"
#include "stream/CHTTPMJPStrm.h"


#include <cstdio>
#include <string>

namespace {

struct StandInHandle {
    std::string host;
    int port = 0;
    std::string user, password;
    int authType = 2;
    CHTTPMJPStrm* stream = nullptr;  // deletes itself on Destroy
};

StandInHandle* Handle(void* h)
{
    return static_cast<StandInHandle*>(h);
}

// Types 1 and 2 send a ready value; Digest (3, 4) answers the challenge.
void Authorize(CHTTPMJPStrm* stream, const StandInHandle& h)
{
    if (h.authType == 1) {
        stream->SetAuthorization((h.user + ":" + h.password).c_str());
    } else if (h.authType == 2) {
        std::string encoded(4 * ((h.user.size() + h.password.size() + 3) / 3) + 1, '\0');
        EncBase64AuthData(h.user.c_str(), h.password.c_str(), &encoded[0], unsigned(encoded.size()));
        stream->SetAuthorization(("Basic " + std::string(encoded.c_str())).c_str());
    } else {
        stream->SetAuthData(h.user.c_str(), h.password.c_str());
    }
}

void Stop(StandInHandle* h)
{
    if (!h->stream)
        return;
    // No delivery once the decoder is down; then the worker ends.
    h->stream->UninitDecoder();
    h->stream->Destroy();
    h->stream = nullptr;
}

}  // namespace

extern "C" {

RILO_CLIENT_API void* RiloCreateStream(unsigned int, unsigned int)
{
    return new StandInHandle;
}

RILO_CLIENT_API int RiloDestroyStream(void* h)
{
    if (!h)
        return -1;
    Stop(Handle(h));
    delete Handle(h);
    return 0;
}

RILO_CLIENT_API int RiloSetStreamAddr(void* h, const char* host, int port)
{
    if (!h || !host)
        return -1;
    Handle(h)->host = host;
    Handle(h)->port = port;
    return 0;
}

RILO_CLIENT_API int RiloSetStreamAuth(void* h, const char* user, const char* password, int authType)
{
    if (!h)
        return -1;
    Handle(h)->user = user ? user : "";
    Handle(h)->password = password ? password : "";
    Handle(h)->authType = authType;
    return 0;
}

RILO_CLIENT_API int RiloStartVideoStreamRenderCB(void* h, VideoRenderCallback cb, void* user, int, int profile, int)
{
    if (!h || !cb)
        return -1;
    StandInHandle* s = Handle(h);
    if (s->stream)
        return 0;  // a stream of the profile runs already
    auto* stream = new CHTTPMJPStrm(1124, false, s->authType);
    if (!stream->Create()) {
        stream->Destroy();
        return -1;
    }
    Authorize(stream, *s);
    stream->SetCallbackRenderMode(true, cb, user);
    stream->InitDecoder(false);
    const std::string path =
        std::string(s->authType == 3 ? "/av2/mjpg.cgi" : "/video/mjpg.cgi") + "?profileid=" + std::to_string(profile);
    stream->Connect(s->host.c_str(), unsigned(s->port), path.c_str(), true);
    s->stream = stream;
    return 0;
}

RILO_CLIENT_API int RiloStopVideoStream(void* h)
{
    if (!h)
        return -1;
    Stop(Handle(h));
    return 0;
}

}  // extern "C"
