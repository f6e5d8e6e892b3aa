#ifndef RILO_TESTS_DIAGCAPTURE_H
#define RILO_TESTS_DIAGCAPTURE_H

// What the libraries linked into a test write as diagnostics to standard
// output, taken through their diagnostic sink rather than from the process's
// descriptor. Lines meant for standard error still go there, unless the
// capture is asked to take them too.

#include "Common.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace testsupport {

namespace diagcapture {

inline std::mutex& Mutex()
{
    static std::mutex m;
    return m;
}

inline std::string& Text()
{
    static std::string t;
    return t;
}

inline std::atomic<bool>& AlsoErr()
{
    static std::atomic<bool> b{false};
    return b;
}

inline void Sink(DiagStream stream, const char* text)
{
    if (stream != kDiagOut && !AlsoErr()) {
        std::fputs(text, stderr);
        return;
    }
    std::lock_guard<std::mutex> g(Mutex());
    Text() += text;
}

} // namespace diagcapture

// Starts taking the standard-output diagnostics (with alsoErr, the
// standard-error ones too), from nothing.
inline void CaptureDiagOut(bool alsoErr = false)
{
    {
        std::lock_guard<std::mutex> g(diagcapture::Mutex());
        diagcapture::Text().clear();
    }
    diagcapture::AlsoErr() = alsoErr;
    SetDiagSink(diagcapture::Sink);
}

// Gives the diagnostics back to the streams and returns what was taken.
inline std::string TakeDiagOut()
{
    SetDiagSink(nullptr);
    std::lock_guard<std::mutex> g(diagcapture::Mutex());
    std::string out;
    out.swap(diagcapture::Text());
    return out;
}

} // namespace testsupport

#endif
