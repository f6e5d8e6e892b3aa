#include "stream/CAudioPacketReader.h"
#include "Common.h"

#include <cstdio>

namespace {

const uint32_t kHdr = MediaPacketHeader::kSize;
const uint32_t kMagicLen = 4;

bool IsAudioMagicAt(const uint8_t* p)
{
    return MediaPacketHeader::IsMagicAt(p, MediaPacketHeader::kAudioMagic);
}

} // namespace

CAudioPacketReader::CAudioPacketReader() : m_dwLastSequence(0)
{
    m_units.reserve(16);
}

uint32_t CAudioPacketReader::Walk(const uint8_t* content, uint32_t len, uint32_t cap)
{
    m_units.clear();
    uint32_t pos = 0;
    while (len - pos > kHdr) {
        const uint8_t* packet = content + pos;
        uint32_t from;
        if (!IsAudioMagicAt(packet)) {
            // After a dropped or resynchronised stretch the start may be junk.
            from = pos + 1;
        } else {
            const uint64_t whole = uint64_t(kHdr) + MediaPacketHeader::PayloadLenAt(packet);
            if (whole + kMagicLen > cap) {
                // It could never be complete in this buffer: not a packet.
                from = pos + 1;
            } else if (len - pos < whole + kMagicLen) {
                break; // the rest, and the next magic, are still to come
            } else if (!IsAudioMagicAt(packet + whole)) {
                from = pos + uint32_t(whole);
            } else {
                Take(packet);
                pos += uint32_t(whole);
                continue;
            }
        }
        bool found = false;
        pos = Resync(content, len, from, &found);
        DiagPrint(kDiagOut, "Audio Token is not at corrent position. position:%d, Read:%d\n",
                  int(pos), int(len));
        if (!found)
            break;
    }
    return pos;
}

uint32_t CAudioPacketReader::Resync(const uint8_t* content, uint32_t len, uint32_t from,
                                    bool* found)
{
    for (uint32_t q = from; q + kMagicLen <= len; ++q) {
        if (IsAudioMagicAt(content + q)) {
            *found = true;
            return q;
        }
    }
    *found = false;
    const uint32_t tail = len >= kMagicLen - 1 ? len - (kMagicLen - 1) : 0;
    return tail > from ? tail : from;
}

void CAudioPacketReader::Take(const uint8_t* packet)
{
    const MediaPacketHeader hdr = MediaPacketHeader::Decode(packet);
    if (hdr.dwSequence <= m_dwLastSequence)
        DiagPrint(kDiagOut, "Audio Sequance ID isn't equal: Last %u, now %u\n", m_dwLastSequence,
                  hdr.dwSequence);
    m_dwLastSequence = hdr.dwSequence;
    m_units.push_back(MediaUnit{packet + kHdr, hdr.dwPayloadLen, hdr.Stamp(), hdr.dwSequence,
                                hdr.wFormatTag, hdr.wChannels, hdr.wSampleRate});
}
