#include "Common.h"

#include <sys/time.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

int Base64_Encode(const unsigned char* in, unsigned len, unsigned char* out)
{
    unsigned n = 0;
    unsigned i = 0;
    for (; i + 3 <= len; i += 3) {
        uint32_t g = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        out[n++] = kAlphabet[(g >> 18) & 63];
        out[n++] = kAlphabet[(g >> 12) & 63];
        out[n++] = kAlphabet[(g >> 6) & 63];
        out[n++] = kAlphabet[g & 63];
    }
    if (len - i == 1) {
        uint32_t g = uint32_t(in[i]) << 16;
        out[n++] = kAlphabet[(g >> 18) & 63];
        out[n++] = kAlphabet[(g >> 12) & 63];
        out[n++] = '=';
        out[n++] = '=';
    } else if (len - i == 2) {
        uint32_t g = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8);
        out[n++] = kAlphabet[(g >> 18) & 63];
        out[n++] = kAlphabet[(g >> 12) & 63];
        out[n++] = kAlphabet[(g >> 6) & 63];
        out[n++] = '=';
    }
    out[n] = 0;
    return int(n);
}

int Base64_Decode(const unsigned char* in, unsigned len, unsigned char* out)
{
    unsigned n = 0;
    uint32_t group = 0;
    int count = 0; // values in the current group
    for (unsigned i = 0; i < len; ++i) {
        unsigned char c = in[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            if (count == 2) {
                // One-byte group: "xx==".
                out[n++] = uint8_t(group >> 4);
            } else if (count == 3) {
                // Two-byte group: "xxx=".
                out[n++] = uint8_t(group >> 10);
                out[n++] = uint8_t(group >> 2);
            }
            count = 0;
            group = 0;
            break;
        }
        int v = Base64Value(c);
        if (v < 0)
            continue; // not Base64: skipped rather than guessed at
        group = (group << 6) | uint32_t(v);
        if (++count == 4) {
            out[n++] = uint8_t(group >> 16);
            out[n++] = uint8_t(group >> 8);
            out[n++] = uint8_t(group);
            count = 0;
            group = 0;
        }
    }
    out[n] = 0;
    return int(n);
}

int EncBase64AuthData(const char* user, const char* password, char* out, unsigned outLen)
{
    // Sized to what it holds, so long credentials are never cut or overrun.
    std::string joined = std::string(user ? user : "") + ":" + (password ? password : "");
    std::string text(4 * ((joined.size() + 2) / 3) + 1, '\0');
    int len = Base64_Encode(reinterpret_cast<const unsigned char*>(joined.data()),
                            unsigned(joined.size()), reinterpret_cast<unsigned char*>(&text[0]));
    if (out && outLen) {
        unsigned copy = unsigned(len) < outLen ? unsigned(len) + 1 : outLen;
        memcpy(out, text.data(), copy);
    }
    return 1;
}

std::string BasicAuthValue(const char* user, const char* password)
{
    const size_t n = (user ? strlen(user) : 0) + (password ? strlen(password) : 0) + 1;
    std::string encoded(4 * ((n + 2) / 3) + 1, '\0');
    EncBase64AuthData(user, password, &encoded[0], unsigned(encoded.size()));
    return "Basic " + std::string(encoded.c_str());
}

int DecBase64AuthData(const char* text, char* user, unsigned userLen, char* password,
                      unsigned passwordLen)
{
    if (!text)
        return 0;
    size_t len = strlen(text);
    std::string plain(len * 3 / 4 + 4, '\0');
    int n = Base64_Decode(reinterpret_cast<const unsigned char*>(text), unsigned(len),
                          reinterpret_cast<unsigned char*>(&plain[0]));
    plain.resize(size_t(n));
    size_t colon = plain.find(':');
    if (colon == std::string::npos)
        return 0;
    auto put = [](const std::string& s, char* dst, unsigned dstLen) {
        if (!dst || dstLen == 0)
            return;
        size_t k = s.size() < dstLen - 1 ? s.size() : dstLen - 1;
        memcpy(dst, s.data(), k);
        dst[k] = 0;
    };
    put(plain.substr(0, colon), user, userLen);
    put(plain.substr(colon + 1), password, passwordLen);
    return 1;
}

uint64_t GetTime()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return uint64_t(tv.tv_sec) * 1000000u + uint64_t(tv.tv_usec);
}

uint32_t GetTickCount()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return uint32_t(uint64_t(tv.tv_sec) * 1000u + uint64_t(tv.tv_usec) / 1000u);
}

uint64_t MonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

void SleepMs(uint64_t ms)
{
    // An absolute deadline, so that restarts after a signal do not add up.
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += time_t(ms / 1000);
    deadline.tv_nsec += long(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

bool RiloCopyText(char* dst, size_t dstWidth, const char* src, size_t srcWidth)
{
    if (!dst || dstWidth == 0)
        return false;
    std::memset(dst, 0, dstWidth);
    if (!src)
        return true;
    const size_t room = dstWidth - 1;
    const size_t n = strnlen(src, srcWidth < room ? srcWidth : room);
    std::memcpy(dst, src, n);
    return n < room || n == srcWidth || src[n] == '\0';
}

namespace {

std::atomic<DiagSinkProc> g_diagSink{nullptr};

} // namespace

void SetDiagSink(DiagSinkProc sink)
{
    g_diagSink = sink;
}

void DiagVPrint(DiagStream stream, const char* fmt, va_list ap)
{
    char small[512];
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    std::string large;
    const char* text = small;
    if (n >= int(sizeof small)) {
        large.resize(size_t(n) + 1);
        std::vsnprintf(&large[0], large.size(), fmt, again);
        text = large.c_str();
    }
    va_end(again);
    if (n < 0)
        return;
    if (DiagSinkProc sink = g_diagSink.load()) {
        sink(stream, text);
        return;
    }
    std::FILE* out = stream == kDiagErr ? stderr : stdout;
    std::fputs(text, out);
    // Flushed, so that each line keeps its place among other components' lines.
    std::fflush(out);
}

void DiagPrint(DiagStream stream, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    DiagVPrint(stream, fmt, ap);
    va_end(ap);
}
