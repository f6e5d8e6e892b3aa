#include "stream/MediaPacketHeader.h"

#include "ByteOrder.h"

MediaPacketHeader MediaPacketHeader::Decode(const uint8_t* p)
{
    MediaPacketHeader h;
    h.dwMagic = GetLE32(p + 0);
    h.dwHeaderLen = GetLE32(p + 4);
    h.dwPayloadLen = GetLE32(p + 8);
    h.dwSequence = GetLE32(p + 12);
    h.dwSeconds = GetLE32(p + 16);
    h.dwMicroseconds = GetLE32(p + 20);
    h.dwReserved1 = GetLE32(p + 24);
    h.wFormatTag = GetLE16(p + 28);
    h.wChannels = GetLE16(p + 30);
    h.wSampleRate = GetLE16(p + 32);
    h.wBitsPerSample = GetLE16(p + 34);
    h.dwReserved2 = GetLE32(p + 36);
    return h;
}

void MediaPacketHeader::Encode(uint8_t* out) const
{
    PutLE32(out + 0, dwMagic);
    PutLE32(out + 4, dwHeaderLen);
    PutLE32(out + 8, dwPayloadLen);
    PutLE32(out + 12, dwSequence);
    PutLE32(out + 16, dwSeconds);
    PutLE32(out + 20, dwMicroseconds);
    PutLE32(out + 24, dwReserved1);
    PutLE16(out + 28, wFormatTag);
    PutLE16(out + 30, wChannels);
    PutLE16(out + 32, wSampleRate);
    PutLE16(out + 34, wBitsPerSample);
    PutLE32(out + 36, dwReserved2);
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
