// The MPEG-4 configuration parser on elementary streams that ffmpeg's
// encoder makes with known parameters.
#include "codec/MPEG4ConfigParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The configuration unit of an m4v stream of testsrc2, as the stream cuts
// it: everything before the first video object plane.
std::vector<uint8_t> ConfigUnit(const std::string& source, const std::string& options)
{
    const std::string cmd = "ffmpeg -v error -nostdin -f lavfi -i " + source + " " + options +
                            " -c:v mpeg4 -frames:v 3 -f m4v -";
    std::vector<uint8_t> out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    uint8_t chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, p)) > 0;)
        out.insert(out.end(), chunk, chunk + n);
    EXPECT_EQ(0, pclose(p)) << cmd;
    const uint8_t vop[] = {0, 0, 1, 0xB6};
    out.erase(std::search(out.begin(), out.end(), vop, vop + 4), out.end());
    return out;
}

} // namespace

TEST(MPEG4ConfigFfmpeg, ProfileSizeAndTimeIncrementResolution)
{
    const struct {
        const char* source;
        const char* options;
        int32_t result;
        const char* profile;
        uint32_t width, height, resolution, layerVerId;
    } cases[] = {
        {"testsrc2=size=320x240:rate=25", "-bf 0", MPEG4_CONFIG_OK, "Simple Profile/Level 1(0x01)",
         320, 240, 25, 1},
        {"testsrc2=size=352x288:rate=25", "-bf 0 -level 3 -r 30000/1001", MPEG4_CONFIG_OK,
         "Simple Profile/Level 3(0x03)", 352, 288, 30000, 1},
        {"testsrc2=size=640x480:rate=30", "-bf 0 -flags +bitexact", MPEG4_CONFIG_OK,
         "Simple Profile/Level 1(0x01)", 640, 480, 30, 1},
        {"testsrc2=size=320x240:rate=25", "-s 176x144 -r 15 -bf 2", MPEG4_CONFIG_OK,
         "Advanced Simple Profile/Level 1(0xF1)", 176, 144, 15, 5},
        {"testsrc2=size=320x240:rate=25", "-bf 0 -flags +qpel+ildct -data_partitioning 1",
         MPEG4_CONFIG_OK, "Advanced Simple Profile/Level 1(0xF1)", 320, 240, 25, 5},
        // The quantiser matrix flags are not read, so the fields after them
        // are off and the end is not where it should be; the size came first.
        {"testsrc2=size=320x240:rate=25", "-bf 0 -mpeg_quant 1", MPEG4_CONFIG_NO_END_START_CODE,
         "Simple Profile/Level 1(0x01)", 320, 240, 25, 1},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.options);
        const std::vector<uint8_t> unit = ConfigUnit(t.source, t.options);
        tagMPEG4StrmConfig c;
        ASSERT_TRUE(ParseMPEG4ConfigData(unit.data(), unit.size(), &c));
        EXPECT_EQ(t.result, c.nResult);
        EXPECT_STREQ(t.profile, GetMPEG4ProfileDescription(uint8_t(c.dwProfileLevel)));
        EXPECT_EQ(t.width, c.dwWidth);
        EXPECT_EQ(t.height, c.dwHeight);
        EXPECT_EQ(t.resolution, c.dwTimeIncResolution);
        EXPECT_EQ(t.layerVerId, c.dwLayerVerId);
        EXPECT_EQ(0u, c.bFixedVopRate);
    }
}

// Cut anywhere inside the three headers: refused. Cut in the user data
// after them: accepted with every field.
TEST(MPEG4ConfigFfmpeg, TruncatedConfigurationsAreRefused)
{
    const std::vector<uint8_t> unit = ConfigUnit("testsrc2=size=320x240:rate=25", "-bf 0");
    const uint8_t userData[] = {0, 0, 1, 0xB2};
    const size_t layerEnd =
        size_t(std::search(unit.begin(), unit.end(), userData, userData + 4) - unit.begin());
    ASSERT_LT(layerEnd, unit.size());
    for (size_t n = 0; n < unit.size(); ++n) {
        tagMPEG4StrmConfig c;
        const bool ok = ParseMPEG4ConfigData(unit.data(), n, &c);
        EXPECT_EQ(n >= layerEnd, ok) << n;
        if (ok) {
            EXPECT_EQ(320u, c.dwWidth);
            EXPECT_EQ(25u, c.dwTimeIncResolution);
        }
    }
}
