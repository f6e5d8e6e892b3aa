// Hand-made multipart JPEG content for the cutter's tests and fuzz seeds:
// pictures with the segments that trip a naive cutter, parts with or without
// stamps, and a buffer that takes content as the HTTP worker does.
#ifndef RILO_MJPEG_TEST_UTIL_H
#define RILO_MJPEG_TEST_UTIL_H

#include "stream/CMJPEGCutter.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace mjpegtest {

using Bytes = std::vector<uint8_t>;

inline Bytes Segment(uint8_t marker, const Bytes& payload)
{
    const size_t n = payload.size() + 2;
    Bytes out = {0xFF, marker, uint8_t(n >> 8), uint8_t(n)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A picture with a quantisation table holding FF D8, a frame header of
// the given kind and size, and scan data with stuffed FF bytes; extra
// segments go right after the start of image.
inline Bytes Picture(int w, int h, uint8_t sof = 0xC0, const Bytes& extra = {},
                     size_t scanBytes = 64)
{
    Bytes out = {0xFF, 0xD8};
    out.insert(out.end(), extra.begin(), extra.end());
    Bytes dqt(65, 0x10);
    dqt[10] = 0xFF;
    dqt[11] = 0xD8;
    const Bytes app0 = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    const Bytes frame =
        Segment(sof, {8, uint8_t(h >> 8), uint8_t(h), uint8_t(w >> 8), uint8_t(w), 1, 1, 0x11, 0});
    const Bytes sos = Segment(0xDA, {1, 1, 0, 0, 63, 0});
    for (const Bytes* s : {&app0, &frame, &sos})
        out.insert(out.end(), s->begin(), s->end());
    const Bytes dq = Segment(0xDB, dqt);
    out.insert(out.begin() + 2 + extra.size() + app0.size(), dq.begin(), dq.end());
    for (size_t i = 0; i < scanBytes; ++i) {
        out.push_back(uint8_t(i * 37));
        if (out.back() == 0xFF)
            out.push_back(0x00);
    }
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

// The same picture with an EXIF block whose thumbnail is a picture of its own.
inline Bytes ExifPicture(int w, int h)
{
    const Bytes thumb = Picture(16, 8);
    Bytes exif = {'E', 'x', 'i', 'f', 0, 0};
    exif.insert(exif.end(), thumb.begin(), thumb.end());
    return Picture(w, h, 0xC0, Segment(0xE1, exif));
}

// The boundary and part headers before a picture; stampMs 0 sends no stamp fields.
inline Bytes PartHead(const Bytes& picture, int64_t stampMs)
{
    std::string head =
        "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(picture.size()) +
        "\r\n";
    if (stampMs)
        head += "x-ts-sec: " + std::to_string(stampMs / 1000) +
                "\r\nx-ts-usec: " + std::to_string(stampMs % 1000 * 1000) + "\r\n";
    head += "\r\n";
    return Bytes(head.begin(), head.end());
}

inline Bytes Part(const Bytes& picture, int64_t stampMs)
{
    Bytes out = PartHead(picture, stampMs);
    out.insert(out.end(), picture.begin(), picture.end());
    out.push_back('\r');
    out.push_back('\n');
    return out;
}

struct Cut {
    Bytes data;
    int64_t stamp;
    bool operator==(const Cut& o) const { return data == o.data && stamp == o.stamp; }
};

// A content buffer of a fixed capacity fed in chunks, cut after every
// append, as the HTTP worker and the stream handle it: each chunk is
// appended once, and what a cut drops goes by moving the rest to the front.
// The room past the held bytes is poisoned for the address sanitizer, so a
// read past them is caught.
class CutHarness : private CMJPEGCutter::Sink {
public:
    explicit CutHarness(uint32_t capacity) : m_capacity(capacity), m_buf(new uint8_t[capacity])
    {
        PoisonRoom();
    }
    ~CutHarness() { ASAN_UNPOISON_MEMORY_REGION(m_buf.get(), m_capacity); }
    CutHarness(const CutHarness&) = delete;
    CutHarness& operator=(const CutHarness&) = delete;

    void Feed(const uint8_t* p, size_t n)
    {
        while (n > 0) {
            const size_t take = std::min(n, m_capacity - m_held);
            ASAN_UNPOISON_MEMORY_REGION(m_buf.get() + m_held, take);
            std::memcpy(m_buf.get() + m_held, p, take);
            m_held += take;
            p += take;
            n -= take;
            const uint32_t drop = m_cutter.Cut(m_buf.get(), uint32_t(m_held), m_capacity, *this);
            drops += m_cutter.LastCutDropped();
            stalls += drop == 0 && m_held == m_capacity;
            const size_t gone = std::min(size_t(drop), m_held);
            if (gone > 0) {
                std::memmove(m_buf.get(), m_buf.get() + gone, m_held - gone);
                m_held -= gone;
                PoisonRoom();
            }
        }
    }
    void Feed(const Bytes& b, size_t chunk)
    {
        for (size_t i = 0; i < b.size(); i += chunk)
            Feed(b.data() + i, std::min(chunk, b.size() - i));
    }
    // The worker emptied the buffer (a new connection).
    void Empty()
    {
        m_held = 0;
        PoisonRoom();
        m_cutter.Reset();
    }

    std::vector<Cut> cuts;
    int drops = 0;
    int stalls = 0; // a full buffer that nothing was dropped from

private:
    void OnPicture(const uint8_t* data, uint32_t len, int64_t stamp) override
    {
        cuts.push_back({Bytes(data, data + len), stamp});
    }

    void PoisonRoom() { ASAN_POISON_MEMORY_REGION(m_buf.get() + m_held, m_capacity - m_held); }

    CMJPEGCutter m_cutter;
    size_t m_capacity;
    std::unique_ptr<uint8_t[]> m_buf;
    size_t m_held = 0;
};

} // namespace mjpegtest

#endif
