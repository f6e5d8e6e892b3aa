#ifndef RILO_MEDIAPACKETHEADER_H
#define RILO_MEDIAPACKETHEADER_H

#include <cstddef>
#include <cstdint>

// The 40-byte header in front of every "video/ACVS" and "audio/ACAS" packet
// and every talk-back block. On the wire all fields are little-endian; this
// struct is only ever filled by Decode and written by Encode, never laid over
// a buffer.
struct MediaPacketHeader {
    uint32_t dwMagic;
    uint32_t dwHeaderLen;
    uint32_t dwPayloadLen;
    uint32_t dwSequence;
    uint32_t dwSeconds;
    uint32_t dwMicroseconds;
    uint32_t dwReserved1;
    uint16_t wFormatTag;     // audio only
    uint16_t wChannels;      // audio only
    uint16_t wSampleRate;    // audio only, Hz
    uint16_t wBitsPerSample; // audio only
    uint32_t dwReserved2;

    enum : uint32_t {
        kSize = 40,
        kVideoMagic = 0xF5010000u, // bytes 00 00 01 F5
        kAudioMagic = 0xF6010000u, // bytes 00 00 01 F6
    };

    // Reads the 40 bytes at p (the caller guarantees they are there).
    static MediaPacketHeader Decode(const uint8_t* p);
    // Writes the 40 bytes to out.
    void Encode(uint8_t* out) const;
    // seconds * 1000 + microseconds / 1000, formed in 64 bits.
    int64_t Stamp() const;

    // The payload length field at offset 8 of the packet at p.
    static uint32_t PayloadLenAt(const uint8_t* p);
    // Whether the 4 bytes at p are the given magic.
    static bool IsMagicAt(const uint8_t* p, uint32_t magic);
};

static_assert(sizeof(MediaPacketHeader) == MediaPacketHeader::kSize,
              "MediaPacketHeader must stay 40 bytes");

// One piece the readers cut from the content buffer: a video unit or an
// audio packet's payload. pData points into the buffer the reader scanned
// and is valid only until the caller drops the consumed bytes.
struct MediaUnit {
    const uint8_t* pData;
    uint32_t dwLen;
    int64_t llStamp;     // ms; 0 = no time stamp (raw streams)
    uint32_t dwSequence; // header word at offset 12; 0 for raw streams
    uint16_t wFormatTag; // audio only, as in the header
    uint16_t wChannels;
    uint16_t wSampleRate;
};

#endif
