#ifndef RILO_TESTS_MEDIAPACKETTESTUTIL_H
#define RILO_TESTS_MEDIAPACKETTESTUTIL_H

// Packets built by hand from the wire layout, and a content buffer that
// plays the HTTP worker's part around the readers.

#include "stream/CAudioPacketReader.h"
#include "stream/CVideoPacketReader.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace mediatest {

typedef std::vector<uint8_t> Bytes;

inline void PutLe(Bytes& b, size_t at, uint64_t v, int width)
{
    for (int i = 0; i < width; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

struct PacketSpec {
    uint32_t magic = 0xF5010000u;
    uint32_t seq = 0;
    uint32_t sec = 0;
    uint32_t usec = 0;
    int64_t lengthDelta = 0; // added to the true payload length
    bool lengthSet = false;
    uint32_t length = 0; // used when lengthSet
    uint16_t tag = 0, channels = 0, rate = 0, bits = 0;
};

// A 40-byte header (written byte by byte, little-endian) and the payload.
inline Bytes Packet(const Bytes& payload, const PacketSpec& s)
{
    Bytes b(40 + payload.size(), 0);
    PutLe(b, 0, s.magic, 4);
    PutLe(b, 4, 40, 4);
    PutLe(b, 8, s.lengthSet ? s.length : uint32_t(int64_t(payload.size()) + s.lengthDelta), 4);
    PutLe(b, 12, s.seq, 4);
    PutLe(b, 16, s.sec, 4);
    PutLe(b, 20, s.usec, 4);
    PutLe(b, 28, s.tag, 2);
    PutLe(b, 30, s.channels, 2);
    PutLe(b, 32, s.rate, 2);
    PutLe(b, 34, s.bits, 2);
    if (!payload.empty())
        std::memcpy(b.data() + 40, payload.data(), payload.size());
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Fill(size_t n, uint8_t v)
{
    return Bytes(n, v);
}

// One unit as a test sees it.
struct Got {
    Bytes data;
    int64_t stamp = 0;
    uint32_t seq = 0;
    uint16_t tag = 0, channels = 0, rate = 0;
    bool operator==(const Got& o) const
    {
        return data == o.data && stamp == o.stamp && seq == o.seq && tag == o.tag &&
               channels == o.channels && rate == o.rate;
    }
};

// What a run of the content buffer gave.
struct FeedResult {
    std::vector<Got> units;
    uint32_t arrivals = 0;
    size_t left = 0;    // bytes still in the buffer at the end
    bool stuck = false; // full, and the reader consumed nothing
};

// The worker's side: append what fits (chunk bytes at a time), let the
// reader look, drop what it consumed, until the input is gone.
// scan(content, len, cap) returns the consumed count and adds its units.
inline FeedResult
Drive(const Bytes& input, uint32_t cap, size_t chunk,
      const std::function<uint32_t(const uint8_t*, uint32_t, uint32_t, FeedResult&)>& scan)
{
    FeedResult run;
    Bytes buf(cap);
    uint32_t len = 0;
    size_t at = 0;
    while (at < input.size()) {
        size_t take = std::min<size_t>({chunk, input.size() - at, size_t(cap - len)});
        std::memcpy(buf.data() + len, input.data() + at, take);
        len += uint32_t(take);
        at += take;
        uint32_t consumed = scan(buf.data(), len, cap, run);
        if (consumed > len) {
            run.stuck = true; // a reader bug: report it as a failure
            break;
        }
        std::memmove(buf.data(), buf.data() + consumed, len - consumed);
        len -= consumed;
        if (take == 0 && consumed == 0) {
            run.stuck = true;
            break;
        }
    }
    run.left = len;
    return run;
}

inline FeedResult DriveVideo(CVideoPacketReader& reader, const Bytes& input, uint32_t cap,
                             size_t chunk)
{
    return Drive(input, cap, chunk, [&](const uint8_t* c, uint32_t n, uint32_t k, FeedResult& run) {
        uint32_t consumed = reader.Scan(c, n, k);
        run.arrivals += reader.Arrivals();
        for (auto& u : reader.Units())
            run.units.push_back(Got{Bytes(u.pData, u.pData + u.dwLen), u.llStamp, u.dwSequence});
        return consumed;
    });
}

inline FeedResult DriveAudio(CAudioPacketReader& reader, const Bytes& input, uint32_t cap,
                             size_t chunk)
{
    return Drive(input, cap, chunk, [&](const uint8_t* c, uint32_t n, uint32_t k, FeedResult& run) {
        uint32_t consumed = reader.Walk(c, n, k);
        for (auto& u : reader.Units())
            run.units.push_back(Got{Bytes(u.pData, u.pData + u.dwLen), u.llStamp, u.dwSequence,
                                    u.wFormatTag, u.wChannels, u.wSampleRate});
        return consumed;
    });
}

} // namespace mediatest

#endif
