#include "session/CameraURL.h"

#include "w3c/HTMemory.h"
#include "w3c/HTParse.h"

#include <strings.h>

namespace {

// A ":" outside brackets: a port that the port lookup did not take.
bool HasBareColon(const char* host)
{
    int depth = 0;
    for (const char* p = host; *p; ++p) {
        if (*p == '[')
            ++depth;
        else if (*p == ']' && depth > 0)
            --depth;
        else if (*p == ':' && depth == 0)
            return true;
    }
    return false;
}

} // namespace

bool SplitCameraURL(const char* url, CameraURL* out)
{
    if (!url || !out)
        return false;
    HTMemoryText hostPart(HTParse(url, "", PARSE_HOST));
    if (!hostPart || !*hostPart)
        return false;
    int port = 0;
    const char* colon = HTParsePort(hostPart.get(), &port);
    std::string host;
    if (colon) {
        host.assign(static_cast<const char*>(hostPart.get()), colon);
    } else {
        if (HasBareColon(hostPart.get()))
            return false;
        host = hostPart.get();
        port = 0;
    }
    if (host.empty())
        return false;
    HTMemoryText scheme(HTParse(url, "", PARSE_ACCESS));
    if (!scheme || strcasecmp(scheme.get(), "HTTP") != 0)
        return false;
    HTMemoryText path(HTParse(url, "", PARSE_PATH | PARSE_PUNCTUATION));
    out->host = host;
    out->port = port == 0 ? 80u : unsigned(port);
    out->path = (path && *path) ? path.get() : "/";
    return true;
}
