#ifndef RILO_COMMON_H
#define RILO_COMMON_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

// Base64 (RFC 4648, section 4). out must hold 4 * ceil(len / 3) + 1 bytes.
int Base64_Encode(const unsigned char* in, unsigned len, unsigned char* out);
// out must hold len * 3 / 4 + 1 bytes.
int Base64_Decode(const unsigned char* in, unsigned len, unsigned char* out);

// "user:password" as Base64 into out (at most outLen characters; terminated
// only when shorter). Returns 1.
int EncBase64AuthData(const char* user, const char* password, char* out, unsigned outLen);
// The Basic Authorization value of user and password ("Basic " and the
// Base64 text), whatever their length.
std::string BasicAuthValue(const char* user, const char* password);
// Splits a Base64 "user:password" text. Returns 1, or 0 without a colon.
int DecBase64AuthData(const char* text, char* user, unsigned userLen, char* password,
                      unsigned passwordLen);

// Wall clock, microseconds since the epoch.
uint64_t GetTime();
// Wall clock, milliseconds since the epoch, modulo 2^32.
uint32_t GetTickCount();

// Milliseconds of the monotonic clock: every time-out, pacing and watchdog is
// measured on it, so none jumps with the wall clock.
uint64_t MonotonicMs();
// The same clock modulo 2^32, for ticks compared by their difference.
inline uint32_t MonotonicTickMs()
{
    return uint32_t(MonotonicMs());
}
// Sleeps ms milliseconds of the monotonic clock; a signal does not cut it short.
void SleepMs(uint64_t ms);

// Copies the text src (at most srcWidth bytes; it need not end in a NUL) into
// the fixed field dst of dstWidth bytes: at most dstWidth - 1 bytes, then NULs
// to the end of the field, so dst is always terminated. A NULL src leaves the
// field empty. True when the whole text fit.
bool RiloCopyText(char* dst, size_t dstWidth, const char* src, size_t srcWidth = SIZE_MAX);

// The libraries' diagnostic lines. Each goes, as it is, to standard output or
// standard error, unless a test has pointed them elsewhere.
enum DiagStream { kDiagOut = 1, kDiagErr = 2 };
typedef void (*DiagSinkProc)(DiagStream stream, const char* text);
// Every later diagnostic goes to sink; nullptr gives them back to the streams.
void SetDiagSink(DiagSinkProc sink);
void DiagPrint(DiagStream stream, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void DiagVPrint(DiagStream stream, const char* fmt, va_list ap)
    __attribute__((format(printf, 2, 0)));

#endif
