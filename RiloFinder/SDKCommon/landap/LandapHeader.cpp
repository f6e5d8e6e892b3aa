#include "landap/LandapHeader.h"

#include "landap/LANDAPRecords.h"

#include <cstring>

LandapHeader LandapHeader::Decode(const uint8_t* p)
{
    LandapHeader h;
    h.LandapSignature = LANDAPGetU16(p + OffSignature);
    h.LandapSeqNo = LANDAPGetU16(p + OffSeqNo);
    h.LandapCommand = LANDAPGetU16(p + OffCommand);
    std::memcpy(h.LandapTargetMAC, p + OffTargetMAC, sizeof h.LandapTargetMAC);
    h.LandapTargetIP = LANDAPGetIPv4(p + OffTargetIP);
    h.LandapStatus = LANDAPGetU16(p + OffStatus);
    h.LandapFixedOne = LANDAPGetU16(p + OffFixedOne);
    h.LandapBodyLen = LANDAPGetU16(p + OffBodyLen);
    return h;
}

void LandapHeader::Encode(uint8_t* p) const
{
    LANDAPPutU16(p + OffSignature, LandapSignature);
    LANDAPPutU16(p + OffSeqNo, LandapSeqNo);
    LANDAPPutU16(p + OffCommand, LandapCommand);
    std::memcpy(p + OffTargetMAC, LandapTargetMAC, sizeof LandapTargetMAC);
    LANDAPPutIPv4(p + OffTargetIP, LandapTargetIP);
    LANDAPPutU16(p + OffStatus, LandapStatus);
    LANDAPPutU16(p + OffFixedOne, LandapFixedOne);
    LANDAPPutU16(p + OffBodyLen, LandapBodyLen);
}
