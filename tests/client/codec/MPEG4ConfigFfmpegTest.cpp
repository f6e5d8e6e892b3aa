// The MPEG-4 configuration parser on elementary streams that ffmpeg's
// encoder makes with known parameters.
#include "codec/MPEG4ConfigParser.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/rilo-m4v-XXXXXX";
        if (mkdtemp(tmpl))
            path_ = tmpl;
    }
    ~TempDir()
    {
        if (!path_.empty())
            std::filesystem::remove_all(path_);
    }
    std::string path_;
};

// Runs ffmpeg; its exit status.
int RunFfmpeg(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("ffmpeg"));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// An m4v elementary stream of a few pictures of testsrc2.
std::vector<uint8_t> Encode(const std::string& source, const std::string& options)
{
    TempDir dir;
    EXPECT_FALSE(dir.path_.empty());
    const std::string out = dir.path_ + "/out.m4v";
    std::vector<std::string> args = {"-v", "error", "-nostdin", "-f", "lavfi", "-i", source};
    std::istringstream words(options);
    std::copy(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>(),
              std::back_inserter(args));
    for (const char* a : {"-c:v", "mpeg4", "-frames:v", "5", "-f", "m4v"})
        args.push_back(a);
    args.push_back(out);
    EXPECT_EQ(0, RunFfmpeg(args)) << "ffmpeg " << options;
    std::ifstream in(out, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Offset of the first start code with that last byte at or after from.
size_t Find(const std::vector<uint8_t>& s, uint8_t code, size_t from = 0)
{
    const uint8_t pattern[] = {0, 0, 1, code};
    return size_t(std::search(s.begin() + long(from), s.end(), pattern, pattern + 4) - s.begin());
}

// The configuration unit as the stream cuts it: everything before the first
// video object plane.
std::vector<uint8_t> ConfigUnit(const std::vector<uint8_t>& stream)
{
    return std::vector<uint8_t>(stream.begin(), stream.begin() + long(Find(stream, 0xB6)));
}

struct Case {
    const char* source;
    const char* options;
    uint32_t profile;
    const char* profileText;
    uint32_t width, height, resolution, layerVerId;
};

} // namespace

TEST(MPEG4ConfigFfmpeg, ProfileSizeAndTimeIncrementResolution)
{
    const Case cases[] = {
        {"testsrc2=size=320x240:rate=25", "-bf 0", 0x01, "Simple Profile/Level 1(0x01)", 320, 240, 25, 1},
        {"testsrc2=size=352x288:rate=25", "-bf 0 -level 3 -r 30000/1001", 0x03,
         "Simple Profile/Level 3(0x03)", 352, 288, 30000, 1},
        {"testsrc2=size=640x480:rate=30", "-bf 0 -flags +bitexact", 0x01,
         "Simple Profile/Level 1(0x01)", 640, 480, 30, 1},
        {"testsrc2=size=320x240:rate=25", "-s 176x144 -r 15 -bf 2", 0xF1,
         "Advanced Simple Profile/Level 1(0xF1)", 176, 144, 15, 5},
        {"testsrc2=size=320x240:rate=25", "-bf 0 -flags +qpel+ildct -data_partitioning 1", 0xF1,
         "Advanced Simple Profile/Level 1(0xF1)", 320, 240, 25, 5},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.options);
        const std::vector<uint8_t> unit = ConfigUnit(Encode(t.source, t.options));
        ASSERT_GT(unit.size(), 20u);
        tagMPEG4StrmConfig c;
        ASSERT_TRUE(ParseMPEG4ConfigData(unit.data(), unit.size(), &c));
        EXPECT_EQ(MPEG4_CONFIG_OK, c.nResult);
        EXPECT_EQ(t.profile, c.dwProfileLevel);
        EXPECT_STREQ(t.profileText, GetMPEG4ProfileDescription(uint8_t(c.dwProfileLevel)));
        EXPECT_EQ(t.width, c.dwWidth);
        EXPECT_EQ(t.height, c.dwHeight);
        EXPECT_EQ(t.resolution, c.dwTimeIncResolution);
        EXPECT_EQ(t.layerVerId, c.dwLayerVerId);
        EXPECT_EQ(MPEG4_SHAPE_RECTANGULAR, c.dwLayerShape);
        EXPECT_EQ(0u, c.bFixedVopRate);
        EXPECT_LE(c.dwResultPos, unit.size() * 8);
    }
}

// MPEG quantisation is not read (its matrix flags are taken for the fields
// after them), so the parse goes on with a warning result; the size, read
// before, is right.
TEST(MPEG4ConfigFfmpeg, UnsupportedQuantisationStillGivesTheSize)
{
    const std::vector<uint8_t> unit = ConfigUnit(Encode("testsrc2=size=320x240:rate=25", "-bf 0 -mpeg_quant 1"));
    tagMPEG4StrmConfig c;
    ASSERT_TRUE(ParseMPEG4ConfigData(unit.data(), unit.size(), &c));
    EXPECT_NE(MPEG4_CONFIG_OK, c.nResult);
    EXPECT_EQ(320u, c.dwWidth);
    EXPECT_EQ(240u, c.dwHeight);
    EXPECT_EQ(25u, c.dwTimeIncResolution);
}

bool Bit(const std::vector<uint8_t>& s, size_t i)
{
    return (s[i / 8] >> (7 - i % 8)) & 1;
}

// The same layer with its vop_time_increment_resolution (found between its
// two marker bits after the layer start code) set to 0.
TEST(MPEG4ConfigFfmpeg, ZeroTimeIncrementResolutionIsRefused)
{
    std::vector<uint8_t> unit = ConfigUnit(Encode("testsrc2=size=320x240:rate=25", "-bf 0"));
    const size_t layer = Find(unit, 0x20) * 8 + 32;
    ASSERT_LT(layer, unit.size() * 8);
    const uint32_t pattern = (1u << 17) | (25u << 1) | 1u; // marker, 25, marker
    size_t at = 0;
    for (size_t i = layer; i + 18 <= unit.size() * 8 && !at; ++i) {
        uint32_t v = 0;
        for (size_t k = 0; k < 18; ++k)
            v = (v << 1) | uint32_t(Bit(unit, i + k));
        if (v == pattern)
            at = i + 1;
    }
    ASSERT_NE(0u, at);
    for (size_t k = at; k < at + 16; ++k)
        unit[k / 8] &= uint8_t(~(0x80 >> (k % 8)));
    tagMPEG4StrmConfig c;
    EXPECT_FALSE(ParseMPEG4ConfigData(unit.data(), unit.size(), &c));
    EXPECT_EQ(MPEG4_CONFIG_ZERO_RESOLUTION, c.nResult);
    EXPECT_EQ(at + 16, c.dwResultPos);
}

// Cut anywhere inside the three headers: refused. Cut in the user data
// after them: accepted with every field.
TEST(MPEG4ConfigFfmpeg, TruncatedConfigurationsAreRefused)
{
    const std::vector<uint8_t> unit = ConfigUnit(Encode("testsrc2=size=320x240:rate=25", "-bf 0"));
    const size_t layerEnd = Find(unit, 0xB2);
    ASSERT_LT(layerEnd, unit.size());
    for (size_t n = 0; n < unit.size(); ++n) {
        tagMPEG4StrmConfig c;
        const bool ok = ParseMPEG4ConfigData(unit.data(), n, &c);
        if (n < layerEnd) {
            EXPECT_FALSE(ok) << n;
        } else {
            EXPECT_TRUE(ok) << n;
            EXPECT_EQ(320u, c.dwWidth);
            EXPECT_EQ(25u, c.dwTimeIncResolution);
        }
    }
}
