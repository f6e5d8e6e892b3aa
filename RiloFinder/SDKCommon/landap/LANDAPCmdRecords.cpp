#include "landap/LANDAPCmdRecords.h"

#include "ByteOrder.h"
#include "landap/LANDAPRecords.h"

#include <cstring>

bool _LANDAPWirelessStation::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    LANDAPGetText(SSID, sizeof SSID, p + OffSSID, SSIDWidth);
    Signal = p[OffSignal];
    Packed = GetLE16(p + OffPacked);
    return true;
}

size_t _LANDAPWirelessStation::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    LANDAPPutText(p + OffSSID, SSIDWidth, SSID, sizeof SSID);
    p[OffSignal] = Signal;
    PutLE16(p + OffPacked, Packed);
    return WireSize;
}

bool _TESSEL12Enable::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    Enabled = p[OffEnabled];
    return true;
}

size_t _TESSEL12Enable::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    std::memset(p, 0, WireSize);
    p[OffEnabled] = Enabled;
    return WireSize;
}

bool _TESSEL12ProcStatus::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    State = GetLE32(p + OffState);
    Value4 = GetLE32(p + OffValue4);
    Value8 = GetLE32(p + OffValue8);
    return true;
}

size_t _TESSEL12ProcStatus::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    std::memset(p, 0, WireSize);
    PutLE32(p + OffState, State);
    PutLE32(p + OffValue4, Value4);
    PutLE32(p + OffValue8, Value8);
    return WireSize;
}

bool _TESSEL12URL::Decode(const uint8_t* p, size_t len)
{
    if (!p || len < WireSize)
        return false;
    // A camera may fill the field without a terminator.
    LANDAPGetText(URL, sizeof URL, p + OffURL, WireSize);
    return true;
}

size_t _TESSEL12URL::Encode(uint8_t* p, size_t cap) const
{
    if (!p || cap < WireSize)
        return 0;
    LANDAPPutText(p + OffURL, WireSize, URL, sizeof URL);
    return WireSize;
}
