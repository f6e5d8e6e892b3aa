#ifndef RILO_CVIDEOPACKETREADER_H
#define RILO_CVIDEOPACKETREADER_H

#include "stream/MediaPacketHeader.h"

#include <cstdint>
#include <vector>

// Cuts the body of a video stream into units: "video/ACVS" packets (framed)
// or a raw elementary stream, for MPEG-4 Part 2 or H.264.
//
// The stream calls Scan after every append to its content buffer. Units
// are cut only when the marker after them has arrived; what was already
// looked at is not scanned again. Scan returns how many bytes the stream
// must drop from the front of the buffer (the rest moves to the front);
// the units point into the buffer and must be used before that move.
//
//   consumed = reader.Scan(m_pContent, m_dwContent, m_dwSizeContent);
//   for (k < reader.Arrivals()) NotifyStreamEvent(0, 1);
//   for (auto& u : reader.Units()) FeedStreamItem(u.pData, u.dwLen, u.llStamp) ...
//   memmove(m_pContent, m_pContent + consumed, m_dwContent - consumed);
//
// Framed MPEG-4: a packet's payload must open with VOS, VO or VOP and match
// the header's length, however short it is; a configuration payload is
// split before its first VOP. Raw MPEG-4: units run from VOP to VOP, the
// configuration before the first VOP being a unit of its own.
// Framed H.264: a packet must hold at least 45 bytes with the start code
// 00 00 00 01 at its payload, and its length must match; the payload is
// handed on whole. Raw H.264: units start at a 4-byte start code before an
// SPS or a non-IDR slice.
class CVideoPacketReader {
public:
    enum Codec { codecMPEG4 = 1, codecH264 = 2 };
    enum Form { formRaw = 1, formFramed = 2 };

    explicit CVideoPacketReader(Codec codec);

    // On each reply header: the content form; scanning starts afresh and a
    // raw MPEG-4 stream first skips to its first VOS or VO.
    void SetForm(Form form);
    Form GetForm() const { return m_form; }
    // Scanning starts at the front again (reply header, decoder start).
    void ResetScan() { m_dwResume = 0; }
    // Raw MPEG-4: skip everything before the first VOS or VO start code.
    void SetLookForConfig(bool bLook) { m_bLookForConfig = bLook; }

    // Scans content[0, len) of a buffer of capacity cap; returns the bytes
    // to drop from its front.
    uint32_t Scan(const uint8_t* content, uint32_t len, uint32_t cap);
    // What the last Scan cut, in stream order.
    const std::vector<MediaUnit>& Units() const { return m_units; }
    // Framed packets of the last Scan that passed the first checks: one
    // frame-arrival event each.
    uint32_t Arrivals() const { return m_nArrivals; }

private:
    uint32_t MarkerSpan() const;
    bool IsMarkerAt(const uint8_t* p) const;
    void Candidate(const uint8_t* content, const uint8_t* base, uint32_t unit, uint32_t end);
    void FramedMPEG4(const uint8_t* packet, uint32_t len);
    void FramedH264(const uint8_t* content, const uint8_t* packet, uint32_t len);
    void RawMPEG4(const uint8_t* unit, uint32_t len);
    void RawH264(const uint8_t* content, const uint8_t* unit, uint32_t len, uint32_t end);
    void Emit(const uint8_t* data, uint32_t len, int64_t stamp, uint32_t seq);

    const Codec m_codec;
    Form m_form;
    bool m_bLookForConfig;
    uint32_t m_dwResume; // where the next scan goes on, from the buffer front
    std::vector<MediaUnit> m_units;
    uint32_t m_nArrivals;
};

// MPEG-4 start codes: VOS 00 00 01 B0, VO 00 00 01 00..1F, VOP 00 00 01 B6.
bool IsMPEG4VOS(const uint8_t* p);
bool IsMPEG4VO(const uint8_t* p);
bool IsMPEG4VOP(const uint8_t* p);

#endif
