#include "stream/MediaPacketHeader.h"

#include <endian.h>

#include <cstring>

namespace {

uint32_t Le32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return le32toh(v);
}

uint16_t Le16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return le16toh(v);
}

void PutLe32(uint8_t* p, uint32_t v)
{
    v = htole32(v);
    std::memcpy(p, &v, sizeof v);
}

void PutLe16(uint8_t* p, uint16_t v)
{
    v = htole16(v);
    std::memcpy(p, &v, sizeof v);
}

} // namespace

MediaPacketHeader MediaPacketHeader::Decode(const uint8_t* p)
{
    MediaPacketHeader h;
    h.dwMagic = Le32(p + 0);
    h.dwHeaderLen = Le32(p + 4);
    h.dwPayloadLen = Le32(p + 8);
    h.dwSequence = Le32(p + 12);
    h.dwSeconds = Le32(p + 16);
    h.dwMicroseconds = Le32(p + 20);
    h.dwReserved1 = Le32(p + 24);
    h.wFormatTag = Le16(p + 28);
    h.wChannels = Le16(p + 30);
    h.wSampleRate = Le16(p + 32);
    h.wBitsPerSample = Le16(p + 34);
    h.dwReserved2 = Le32(p + 36);
    return h;
}

void MediaPacketHeader::Encode(uint8_t* out) const
{
    PutLe32(out + 0, dwMagic);
    PutLe32(out + 4, dwHeaderLen);
    PutLe32(out + 8, dwPayloadLen);
    PutLe32(out + 12, dwSequence);
    PutLe32(out + 16, dwSeconds);
    PutLe32(out + 20, dwMicroseconds);
    PutLe32(out + 24, dwReserved1);
    PutLe16(out + 28, wFormatTag);
    PutLe16(out + 30, wChannels);
    PutLe16(out + 32, wSampleRate);
    PutLe16(out + 34, wBitsPerSample);
    PutLe32(out + 36, dwReserved2);
}

int64_t MediaPacketHeader::Stamp() const
{
    return int64_t(uint64_t(dwSeconds) * 1000u + dwMicroseconds / 1000u);
}

uint32_t MediaPacketHeader::PayloadLenAt(const uint8_t* p)
{
    return Le32(p + 8);
}

bool MediaPacketHeader::IsMagicAt(const uint8_t* p, uint32_t magic)
{
    return Le32(p) == magic;
}
