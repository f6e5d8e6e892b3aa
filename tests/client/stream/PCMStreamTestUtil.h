// What the audio stream's two callbacks received, and a stream fed through
// its receive path directly, with no connection (unit tests, fuzz target).
#ifndef RILO_TESTS_PCMSTREAMTESTUTIL_H
#define RILO_TESTS_PCMSTREAMTESTUTIL_H

#include "stream/CHTTPPCMStrm.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace pcmtest {

typedef std::vector<uint8_t> Bytes;

struct Call {
    unsigned long kind = 0;
    Bytes data;
    long long stamp = 0;
};

// One callback's calls, as a test reads them.
class AudioSink {
public:
    static void On(void* user, unsigned char* data, unsigned long bytes, unsigned long kind,
                   long long* stamp)
    {
        auto* s = static_cast<AudioSink*>(user);
        std::lock_guard<std::mutex> g(s->m_mu);
        s->m_calls.push_back(Call{kind, Bytes(data, data + bytes), stamp ? *stamp : -1});
    }
    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> g(m_mu);
        return m_calls;
    }
    // The data calls' bytes, back to back.
    Bytes Data()
    {
        Bytes out;
        for (const Call& c : Calls())
            if (c.kind == 0)
                out.insert(out.end(), c.data.begin(), c.data.end());
        return out;
    }
    // The calls in short: a format block as "{channels,bits,rate}", a run of
    // n data calls of len bytes as "nxlen" (or "len" alone), anything else
    // as "kind?len".
    std::string Describe()
    {
        std::string out;
        size_t run = 0, len = 0;
        auto flush = [&] {
            if (run)
                out += (run > 1 ? std::to_string(run) + "x" : "") + std::to_string(len) + " ";
            run = 0;
        };
        for (const Call& c : Calls()) {
            const Bytes& d = c.data;
            if (c.kind == 0 && run && d.size() == len) {
                ++run;
            } else if (c.kind == 0) {
                flush();
                run = 1;
                len = d.size();
            } else {
                flush();
                out += Token(c) + " ";
            }
        }
        flush();
        return out.empty() ? out : out.substr(0, out.size() - 1);
    }

private:
    static std::string Token(const Call& c)
    {
        const Bytes& d = c.data;
        auto le = [&](size_t at, size_t n) {
            uint32_t v = 0;
            for (size_t k = n; k-- > 0;)
                v = v << 8 | d[at + k];
            return std::to_string(v);
        };
        if (c.kind == CHTTPPCMStrm::kFormatBlockKind && d.size() == 12 && le(8, 4) == "0")
            return "{" + le(0, 2) + "," + le(2, 2) + "," + le(4, 4) + "}";
        return std::to_string(c.kind) + "?" + std::to_string(d.size());
    }

    std::mutex m_mu;
    std::vector<Call> m_calls;
};

// A stream whose receive path is called directly, as the transport would:
// the reply header, then body bytes in chunks.
class FedPCMStrm : public CHTTPPCMStrm {
public:
    FedPCMStrm() : CHTTPPCMStrm(1124, false, 2) { PrepareContentBuffer(true); }

    void Reply(const std::string& contentType)
    {
        std::string h = "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\n\r\n";
        OnDataReceived(reinterpret_cast<unsigned char*>(&h[0]), h.size());
    }
    void Feed(const Bytes& body, size_t chunk)
    {
        Bytes copy(body);
        for (size_t at = 0; at < copy.size(); at += chunk)
            OnDataReceived(copy.data() + at, std::min(chunk, copy.size() - at));
    }
};

} // namespace pcmtest

#endif
