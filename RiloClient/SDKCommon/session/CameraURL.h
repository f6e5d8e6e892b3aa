#ifndef RILO_CAMERAURL_H
#define RILO_CAMERAURL_H

#include <string>

// A camera URL as the sessions connect to it.
struct CameraURL {
    std::string host; // name, IPv4 address, or IPv6 address in brackets
    unsigned int port;
    std::string path; // path and query, from the leading "/"
};

// Splits an "http:" URL (scheme in any case). The port is 80 when the URL
// has none (or ":0"). False, and out untouched, for another scheme, an empty
// host or a port that is not a number up to 65535.
bool SplitCameraURL(const char* url, CameraURL* out);

#endif
