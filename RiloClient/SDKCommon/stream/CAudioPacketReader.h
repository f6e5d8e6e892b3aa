#ifndef RILO_CAUDIOPACKETREADER_H
#define RILO_CAUDIOPACKETREADER_H

#include "stream/MediaPacketHeader.h"

#include <cstdint>
#include <vector>

// Walks an "audio/ACAS" body packet by packet. A packet is taken when its
// payload and the next packet's magic have arrived; the magic must stand
// both at the packet's start and right after its payload, otherwise the
// walk resynchronises at the next audio magic and the packet is dropped.
// A length that can never fit the content buffer is a framing error too.
// Sequence numbers must rise; one that does not is only reported.
//
// The stream calls Walk after every append to its content buffer; Walk
// returns the bytes to drop from the front (the rest moves to the front).
// The units point into the buffer and must be used before that move.
class CAudioPacketReader {
public:
    CAudioPacketReader();

    // A new connection or decoder start: the previous sequence number is 0.
    void Reset() { m_dwLastSequence = 0; }
    uint32_t LastSequence() const { return m_dwLastSequence; }

    // Walks content[0, len) of a buffer of capacity cap; returns the bytes
    // to drop from its front.
    uint32_t Walk(const uint8_t* content, uint32_t len, uint32_t cap);
    // The packets of the last Walk, in stream order, with their header's
    // format fields.
    const std::vector<MediaUnit>& Units() const { return m_units; }

private:
    // Where to go on after a framing fault found at from: the next audio
    // magic at or after from, or, when there is none, the start of the
    // last bytes that may still begin one. Sets *found.
    static uint32_t Resync(const uint8_t* content, uint32_t len, uint32_t from, bool* found);
    void Take(const uint8_t* packet);

    uint32_t m_dwLastSequence;
    std::vector<MediaUnit> m_units;
};

#endif
