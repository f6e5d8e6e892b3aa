// Elementary video streams cut into units as a camera's framed stream
// carries them, and queued for a decode thread as a stream queues them:
// shared by the decoder tests and the decoding benchmark.
#ifndef RILO_TESTS_VIDEOUNITS_H
#define RILO_TESTS_VIDEOUNITS_H

#include "codec/CSimpleBuffer.h"
#include "codec/CTransferQueue.h"
#include "codec/CVideoDecThread.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace videounits {

using Bytes = std::vector<uint8_t>;

// One unit for the queue; frame is the index of its picture among all the
// pictures fed, -1 for a configuration.
struct Unit {
    Bytes bytes;
    int frame;
};

// Start codes 00 00 01 in es; the positions of their first zero.
inline std::vector<size_t> StartCodes(const Bytes& es)
{
    std::vector<size_t> at;
    for (size_t i = 0; i + 3 < es.size(); ++i)
        if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1) {
            at.push_back(i);
            i += 2;
        }
    return at;
}

enum { kInside, kConfig, kPicture, kDropped };

// What the NAL or header after a start code does to the units. H.264: a
// parameter set starts a configuration unless one is open, a slice starts a
// picture, supplemental information is dropped (the stream's configuration
// cache leaves it out, so a repeated configuration stays equal). MPEG-4: a
// visual object sequence or video object starts a configuration unless one
// is open, a plane a picture.
inline int UnitKind(const std::string& codec, uint8_t code, bool inConfig)
{
    if (codec == "h264") {
        const int type = code & 0x1F;
        if (type == 7 || type == 8)
            return inConfig ? kInside : kConfig;
        if (type == 6)
            return kDropped;
        return type == 1 || type == 5 ? kPicture : kInside;
    }
    if (code == 0xB0 || code <= 0x1F)
        return inConfig ? kInside : kConfig;
    return code == 0xB6 ? kPicture : kInside;
}

// Cuts an elementary stream as a framed camera stream does: configurations
// apart from the picture that follows them, a configuration equal to the
// last one dropped (the stream's cache), H.264 units led by a 4-byte start
// code. Picture numbers start at firstFrame.
inline std::vector<Unit> CutUnits(const std::string& codec, const Bytes& es, int firstFrame,
                                  Bytes* lastConfig)
{
    std::vector<Unit> units;
    const std::vector<size_t> codes = StartCodes(es);
    int frame = firstFrame;
    bool inConfig = false;
    for (size_t k = 0; k < codes.size(); ++k) {
        const int kind = UnitKind(codec, es[codes[k] + 3], inConfig);
        if (kind == kInside || kind == kDropped)
            continue;
        size_t end = es.size();
        for (size_t j = k + 1; j < codes.size(); ++j)
            if (UnitKind(codec, es[codes[j] + 3], kind == kConfig) != kInside) {
                end = codes[j];
                break;
            }
        while (end > codes[k] && es[end - 1] == 0)
            --end;
        Unit u{Bytes(es.begin() + long(codes[k]), es.begin() + long(end)),
               kind == kConfig ? -1 : frame++};
        if (codec == "h264")
            u.bytes.insert(u.bytes.begin(), 0);
        inConfig = kind == kConfig;
        if (inConfig && u.bytes == *lastConfig)
            continue;
        if (inConfig)
            *lastConfig = u.bytes;
        units.push_back(std::move(u));
    }
    return units;
}

// Queues units for a decode thread as a stream does, from a thread of its
// own, in order and without dropping any (it waits for free buffers), and
// is the decode thread's data source. Each unit's index goes along, so the
// deliveries can be matched to units.
class UnitFeeder {
public:
    explicit UnitFeeder(std::vector<Unit> units) : m_units(std::move(units)) {}
    ~UnitFeeder() { Stop(); }

    // Queues units [first, last) (last -1: to the end); with loop, over and
    // over until Stop.
    void Start(size_t first = 0, long last = -1, bool loop = false)
    {
        Stop();
        m_stop = false;
        const size_t end = last < 0 ? m_units.size() : size_t(last);
        m_thread = std::thread([this, first, end, loop] {
            do {
                for (size_t i = first; i < end; ++i)
                    if (!Put(i))
                        return;
            } while (loop);
        });
    }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    const std::vector<Unit>& Units() const { return m_units; }
    // The unit the decode thread pulled last (-1 before the first).
    int Current() const { return m_current; }

    static unsigned long Source(unsigned int, unsigned char* pBuffer, unsigned long dwCapacity,
                                void* pContext, unsigned int* pBacklog, unsigned long)
    {
        auto* self = static_cast<UnitFeeder*>(pContext);
        const unsigned long n = TakeQueuedUnit(&self->m_queue, 100, pBuffer, dwCapacity, pBacklog);
        if (n) {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_current = self->m_indexes.front();
            self->m_indexes.pop_front();
        }
        return n;
    }

private:
    bool Put(size_t i)
    {
        CSimpleBuffer* buffer = nullptr;
        while (!buffer) {
            if (m_stop)
                return false;
            buffer = m_queue.GetEmptyBuffer();
        }
        const Bytes& b = m_units[i].bytes;
        buffer->Write(b.data(), b.size());
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_indexes.push_back(int(i));
        }
        m_queue.PutQueueObject(buffer);
        return true;
    }

    CTransferQueue m_queue{30, 0x60000};
    const std::vector<Unit> m_units;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::deque<int> m_indexes;
    std::atomic<int> m_current{-1};
};

} // namespace videounits

#endif
