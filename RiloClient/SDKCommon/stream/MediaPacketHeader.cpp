#include "stream/MediaPacketHeader.h"

#include "ByteOrder.h"

MediaPacketHeader MediaPacketHeader::Decode(const uint8_t* p)
{
    MediaPacketHeader h;
    LEReader r(p);
    r.U32(h.dwMagic).U32(h.dwHeaderLen).U32(h.dwPayloadLen).U32(h.dwSequence);
    r.U32(h.dwSeconds).U32(h.dwMicroseconds).U32(h.dwReserved1);
    r.U16(h.wFormatTag).U16(h.wChannels).U16(h.wSampleRate).U16(h.wBitsPerSample);
    r.U32(h.dwReserved2);
    return h;
}

void MediaPacketHeader::Encode(uint8_t* out) const
{
    LEWriter w(out);
    w.U32(dwMagic).U32(dwHeaderLen).U32(dwPayloadLen).U32(dwSequence);
    w.U32(dwSeconds).U32(dwMicroseconds).U32(dwReserved1);
    w.U16(wFormatTag).U16(wChannels).U16(wSampleRate).U16(wBitsPerSample);
    w.U32(dwReserved2);
}

int64_t MediaPacketHeader::Stamp() const
{
    return int64_t(uint64_t(dwSeconds) * 1000u + dwMicroseconds / 1000u);
}

uint32_t MediaPacketHeader::PayloadLenAt(const uint8_t* p)
{
    return GetLE32(p + 8);
}

bool MediaPacketHeader::IsMagicAt(const uint8_t* p, uint32_t magic)
{
    return GetLE32(p) == magic;
}
