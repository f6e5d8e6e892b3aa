#include "landap/LandapSetResult.h"

#include "ByteOrder.h"
#include "landap/LandapHeader.h"
#include "landap/LANDAPRecords.h"

LandapSetResult LandapSetResult::Decode(const uint8_t* body)
{
    LandapSetResult r;
    r.value = GetLE32(body + OffValue);
    r.waitMs = GetLE32(body + OffWaitMs);
    return r;
}

FinderResult LandapDecodeSetResult(const uint8_t* packet, _CmdResult* result)
{
    LandapHeader h = LandapHeader::Decode(packet);
    if (h.LandapStatus == 2)
        return kFinderCamRefused;
    if (h.LandapStatus != 0)
        return kFinderCamFailed;
    const uint8_t* body = packet + LandapHeader::WireSize;
    if (h.LandapBodyLen == LandapSetResult::WireSize) {
        LandapSetResult r = LandapSetResult::Decode(body);
        *result = _CmdResult{0, r.value, r.waitMs};
        return kFinderOk;
    }
    uint32_t code = h.LandapBodyLen == LandapSetResult::ErrorWireSize ? GetLE32(body) : 0;
    *result = _CmdResult{code, 0, 0};
    return kFinderCamFailed;
}
