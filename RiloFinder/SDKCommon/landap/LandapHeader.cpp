#include "landap/LandapHeader.h"

#include "ByteOrder.h"
#include "landap/LANDAPRecords.h"

#include <cstring>

LandapHeader LandapHeader::Decode(const uint8_t* p)
{
    LandapHeader h;
    h.LandapSignature = GetLE16(p + OffSignature);
    h.LandapSeqNo = GetLE16(p + OffSeqNo);
    h.LandapCommand = GetLE16(p + OffCommand);
    std::memcpy(h.LandapTargetMAC, p + OffTargetMAC, sizeof h.LandapTargetMAC);
    h.LandapTargetIP = LANDAPGetIPv4(p + OffTargetIP);
    h.LandapStatus = GetLE16(p + OffStatus);
    h.LandapFixedOne = GetLE16(p + OffFixedOne);
    h.LandapBodyLen = GetLE16(p + OffBodyLen);
    return h;
}

void LandapHeader::Encode(uint8_t* p) const
{
    PutLE16(p + OffSignature, LandapSignature);
    PutLE16(p + OffSeqNo, LandapSeqNo);
    PutLE16(p + OffCommand, LandapCommand);
    std::memcpy(p + OffTargetMAC, LandapTargetMAC, sizeof LandapTargetMAC);
    LANDAPPutIPv4(p + OffTargetIP, LandapTargetIP);
    PutLE16(p + OffStatus, LandapStatus);
    PutLE16(p + OffFixedOne, LandapFixedOne);
    PutLE16(p + OffBodyLen, LandapBodyLen);
}
