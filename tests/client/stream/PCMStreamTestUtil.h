// What the audio stream's two callbacks received, and a stream fed through
// its receive path directly, with no connection (unit tests, fuzz target).
#ifndef RILO_TESTS_PCMSTREAMTESTUTIL_H
#define RILO_TESTS_PCMSTREAMTESTUTIL_H

#include "stream/CHTTPPCMStrm.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace pcmtest {

typedef std::vector<uint8_t> Bytes;

// A format block as the callbacks get it.
struct Block {
    unsigned channels = 0, bits = 0, rate = 0;
    bool operator==(const Block& o) const
    {
        return channels == o.channels && bits == o.bits && rate == o.rate;
    }
};

inline void PrintTo(const Block& b, std::ostream* os)
{
    *os << "{" << b.channels << ", " << b.bits << ", " << b.rate << "}";
}

// Each block a callback got, with the number of data calls before it.
typedef std::vector<std::pair<size_t, Block>> Announcements;

struct Call {
    unsigned long kind = 0;
    Bytes data;
    long long stamp = 0;
    Block AsBlock() const
    {
        Block b;
        if (data.size() == 12) {
            b.channels = data[0] | data[1] << 8;
            b.bits = data[2] | data[3] << 8;
            b.rate = uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16 |
                     uint32_t(data[7]) << 24;
        }
        return b;
    }
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
    // The blocks into *blocks; empty text when every call is a well-formed
    // block or data that follows one.
    std::string Blocks(Announcements* blocks)
    {
        size_t data = 0;
        bool told = false;
        for (const Call& c : Calls()) {
            if (c.kind == CHTTPPCMStrm::kFormatBlockKind) {
                if (c.data.size() != 12 || c.data[8] || c.data[9] || c.data[10] || c.data[11])
                    return "malformed block";
                blocks->emplace_back(data, c.AsBlock());
                told = true;
            } else if (c.kind != 0 || !told || c.data.empty()) {
                return "data call " + std::to_string(data) + " kind " + std::to_string(c.kind) +
                       (told ? "" : " before any block");
            } else {
                ++data;
            }
        }
        return "";
    }

private:
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
