// The site-survey page walk and the supported-command walk, fed pages
// straight from the input.
#include "FuzzCamera.h"
#include "FuzzInit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint16_t kSeq = 0x4321;

// The input as a run of datagrams: a u16 length (cut to a page), then bytes.
struct Pages {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool patch;

    int Next(uint8_t* buf)
    {
        if (pos + 2 > size)
            return 0;
        size_t len = size_t(data[pos] | data[pos + 1] << 8) % (kLandapSurveyPageSize + 1);
        pos += 2;
        if (len > size - pos)
            len = size - pos;
        std::memcpy(buf, data + pos, len);
        pos += len;
        // Most pages should get past the header checks.
        if (patch)
            FuzzCamera::NameRequest(buf, len, kSeq, true);
        return int(len);
    }
};

} // namespace

RILO_FUZZ_INITIALIZE(true)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    FuzzCamera cam;

    Pages pages{data + 1, size - 1, 0, (data[0] & 1) != 0};
    // Exactly a page, so reads past it are caught.
    std::vector<uint8_t> buf(kLandapSurveyPageSize, 0);
    int first = pages.Next(buf.data());
    std::vector<_LANDAPWirelessStation> stations;
    cam.WalkSiteSurvey(
        buf.data(), first, [&] { return pages.Next(buf.data()); }, kSeq, &stations);
    for (const auto& s : stations)
        if (std::strlen(s.SSID) > _LANDAPWirelessStation::SSIDWidth)
            __builtin_trap();

    // The same input as a command list reply.
    std::vector<uint8_t> reply(data + 1, data + size);
    if (data[0] & 2)
        FuzzCamera::NameRequest(reply.data(), reply.size(), kSeq, true);
    // Only the parser: the exchange around it would reach the network.
    if (cam.TakeSupportedCommands(reply.data(), int(reply.size()), kSeq) == kFinderOk &&
        (cam.GetSupportedCmdCount() < 0 ||
         cam.GetSupportedCmdCount() > CLANDAPObj::kMaxSupportedCmds))
        __builtin_trap();
    return 0;
}
