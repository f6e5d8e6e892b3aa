// The MPEG-4 configuration parser on headers written bit by bit here, and
// its bit reader.
#include "codec/MPEG4ConfigParser.h"

#include "BitWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Layer {
    bool sequence = true;
    uint32_t profile = 0x03;
    bool userDataBeforeObject = false;
    bool objectIdentified = true;
    uint32_t objectVerId = 2;
    uint32_t objectType = 1;
    uint32_t objectTypeIndication = 1;
    bool layerIdentified = true;
    uint32_t verId = 1;
    uint32_t aspectRatio = 1;
    uint32_t parWidth = 0, parHeight = 0;
    bool volControl = false;
    bool vbv = false;
    uint32_t shape = 0;
    uint32_t resolution = 30;
    bool fixedRate = false;
    int incrementBits = 0;
    uint32_t increment = 0;
    uint32_t timingMarker = 1;
    uint32_t width = 640, height = 480;
    uint32_t interlaced = 0;
    uint32_t sprite = 0; // sprite_enable: 1 static, 2 GMC (2 needs version 2)
    uint32_t quantType = 0;
    uint32_t complexityDisable = 1;
    uint32_t resyncDisable = 1;
    bool trailingUserData = false;
    bool stuffing = true;
    bool cutInFields = false; // the byte with the last field's last bit is gone
};

// The version whose fields the layer has.
uint32_t SyntaxVersion(const Layer& l)
{
    if (l.layerIdentified)
        return l.verId;
    return l.sequence && l.objectIdentified ? l.objectVerId : 1;
}

void PutSprite(BitWriter& w, const Layer& l)
{
    w.Put(SyntaxVersion(l) == 1 ? 1 : 2, l.sprite);
    if (l.sprite == 1) {
        for (uint32_t v : {176u, 144u, 0u, 0u}) { // size, then left and top
            w.Put(13, v);
            w.Put(1, 1);
        }
    }
    if (l.sprite != 0) {
        w.Put(6, 3); // no_of_sprite_warping_points
        w.Put(2, 1); // sprite_warping_accuracy
        w.Put(1, 0); // sprite_brightness_change
    }
    if (l.sprite == 1)
        w.Put(1, 0); // low_latency_sprite_enable
}

std::vector<uint8_t> Write(const Layer& l)
{
    BitWriter w;
    if (l.sequence) {
        w.StartCode(0x1B0);
        w.Put(8, l.profile);
        if (l.userDataBeforeObject) {
            w.StartCode(0x1B2);
            w.Text("camera");
        }
        w.StartCode(0x1B5);
        w.Put(1, l.objectIdentified);
        if (l.objectIdentified) {
            w.Put(4, l.objectVerId);
            w.Put(3, 1); // priority
        }
        w.Put(4, l.objectType);
        w.Put(1, 0); // video_signal_type
        w.Stuff();
    }
    w.StartCode(0x100);
    w.StartCode(0x120);
    w.Put(1, 0);
    w.Put(8, l.objectTypeIndication);
    w.Put(1, l.layerIdentified);
    if (l.layerIdentified) {
        w.Put(4, l.verId);
        w.Put(3, 1);
    }
    w.Put(4, l.aspectRatio);
    if (l.aspectRatio == 15) {
        w.Put(8, l.parWidth);
        w.Put(8, l.parHeight);
    }
    w.Put(1, l.volControl);
    if (l.volControl) {
        w.Put(2, 1); // chroma_format 4:2:0
        w.Put(1, 1); // low_delay
        w.Put(1, l.vbv);
        if (l.vbv) { // 79 bits: bit rate, buffer size, occupancy, markers
            w.Put(32, 0xAAAAAAAB);
            w.Put(32, 0x55555555);
            w.Put(15, 0x2AAB);
        }
    }
    w.Put(2, l.shape);
    w.Put(1, l.timingMarker);
    w.Put(16, l.resolution);
    w.Put(1, 1);
    w.Put(1, l.fixedRate);
    if (l.fixedRate)
        w.Put(l.incrementBits, l.increment);
    if (l.shape == 0) {
        w.Put(1, 1);
        w.Put(13, l.width);
        w.Put(1, 1);
        w.Put(13, l.height);
        w.Put(1, 1);
    }
    w.Put(1, l.interlaced);
    w.Put(1, 1); // obmc_disable
    PutSprite(w, l);
    w.Put(1, 0); // not_8_bit
    w.Put(1, l.quantType);
    const bool v1 = SyntaxVersion(l) == 1;
    if (!v1)
        w.Put(1, 0); // quarter_sample
    w.Put(1, l.complexityDisable);
    w.Put(1, l.resyncDisable);
    w.Put(1, 0); // data_partitioned
    if (!v1)
        w.Put(2, 0); // newpred, reduced resolution
    w.Put(1, 0);     // scalability
    if (l.cutInFields) {
        w.bytes_.resize((w.bits_ - 1) / 8);
        w.bits_ = w.bytes_.size() * 8;
    }
    if (l.stuffing)
        w.Stuff();
    if (l.trailingUserData) {
        w.StartCode(0x1B2);
        w.Text("no start code follows");
    }
    return w.bytes_;
}

tagMPEG4StrmConfig Parse(const std::vector<uint8_t>& data, bool expectOk)
{
    tagMPEG4StrmConfig c;
    EXPECT_EQ(expectOk, ParseMPEG4ConfigData(data.data(), data.size(), &c));
    return c;
}

// The result for the default layer with one change.
template <typename Change>
int32_t ResultOf(Change change, bool expectOk)
{
    Layer l;
    change(l);
    return Parse(Write(l), expectOk).nResult;
}

} // namespace

TEST(BitStreamData, ReadsAnyWidthUpToThirtyTwoBits)
{
    const unsigned char bytes[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x12};
    BitStreamData bits(bytes, sizeof bytes);
    EXPECT_EQ(0xDEADBEEFu, bits.GetBits(32, true));
    EXPECT_EQ(0u, bits.Position());
    EXPECT_EQ(0xDu, bits.GetBits(4));
    EXPECT_EQ(0xEADBEEF1u, bits.GetBits(32));
    EXPECT_EQ(1u, bits.GetBits(3, true));
    EXPECT_EQ(0u, bits.GetBits(5)); // past the end: 0, no move
    EXPECT_EQ(36u, bits.Position());
    EXPECT_TRUE(bits.Overrun());
    EXPECT_EQ(0x2u, bits.GetBits(4));

    BitStreamData wide(bytes, sizeof bytes);
    EXPECT_EQ(0xDEADBEEFu, wide.GetBits(40)); // more than 32 reads 32
    EXPECT_EQ(0u, wide.GetBits(0));

    EXPECT_EQ(0u, CountMinBits(0));
    EXPECT_EQ(5u, CountMinBits(29));
    EXPECT_EQ(10u, CountMinBits(1023));
    EXPECT_EQ(32u, CountMinBits(0xFFFFFFFFu));
}

TEST(MPEG4Config, ProfileTexts)
{
    int rows = 0;
    for (int id = 0; id < 256; ++id)
        rows += std::string(GetMPEG4ProfileDescription(uint8_t(id))) != "Invalid profile/level id";
    EXPECT_EQ(57, rows);
    EXPECT_STREQ("Core Scalable Profile/Level2(0xA2)", GetMPEG4ProfileDescription(0xA2));
    EXPECT_STREQ("Advanced Scalable Texture/Level3(0xD3)", GetMPEG4ProfileDescription(0xD3));
    EXPECT_STREQ("Invalid profile/level id", GetMPEG4ProfileDescription(0x00));
}

TEST(MPEG4Config, LayerFieldsAndTheFixedIncrementWidth)
{
    Layer l;
    tagMPEG4StrmConfig c = Parse(Write(l), true);
    EXPECT_EQ(MPEG4_CONFIG_OK, c.nResult);
    EXPECT_EQ(1u, c.bVisualObjectIdentified);
    EXPECT_EQ(2u, c.dwVisualObjectVerId);
    EXPECT_EQ(1u, c.dwAspectRatio);
    EXPECT_EQ(1u, c.bResyncMarkerDisable);
    EXPECT_EQ(Write(l).size() * 8, c.dwResultPos);

    // resolution -> width of fixed_vop_time_increment
    const struct {
        uint32_t resolution;
        int bits;
        uint32_t increment;
    } cases[] = {{30, 5, 29}, {1024, 10, 1000}, {1, 1, 1}, {25, 5, 1}, {65535, 16, 65534}};
    for (const auto& t : cases) {
        Layer f;
        f.resolution = t.resolution;
        f.fixedRate = true;
        f.incrementBits = t.bits;
        f.increment = t.increment;
        f.verId = 2; // two-bit sprite field, quarter_sample, newpred
        c = Parse(Write(f), true);
        EXPECT_EQ(1u, c.bFixedVopRate);
        EXPECT_EQ(t.increment, c.dwFixedVopTimeInc) << t.resolution;
        EXPECT_EQ(640u, c.dwWidth) << t.resolution;
        EXPECT_EQ(480u, c.dwHeight) << t.resolution;
    }
}

TEST(MPEG4Config, OptionalHeadersAndPartialSupport)
{
    Layer l;
    l.sequence = false;
    tagMPEG4StrmConfig c = Parse(Write(l), true);
    EXPECT_EQ(0u, c.dwProfileLevel);
    EXPECT_EQ(640u, c.dwWidth);

    l = Layer();
    l.userDataBeforeObject = true;
    c = Parse(Write(l), true);
    EXPECT_EQ(MPEG4_CONFIG_OK, c.nResult);
    EXPECT_EQ(480u, c.dwHeight);

    EXPECT_EQ(MPEG4_CONFIG_USER_DATA_AT_END,
              ResultOf([](Layer& x) { x.trailingUserData = true; }, true));
    EXPECT_EQ(MPEG4_CONFIG_QUANT_TYPE, ResultOf([](Layer& x) { x.quantType = 1; }, true));
    EXPECT_EQ(MPEG4_CONFIG_COMPLEXITY, ResultOf([](Layer& x) { x.complexityDisable = 0; }, true));

    // A layer whose stuffing is not 0 then 1s.
    std::vector<uint8_t> bad = Write(Layer());
    bad.back() &= 0xFE;
    EXPECT_EQ(MPEG4_CONFIG_NO_END_START_CODE, Parse(bad, true).nResult);
}

// Layer headers with and without their own version, and the optional parts
// of the layer: each to its size, clock, result and stored layer version
// (0 when the layer gives none). A misread field shifts everything after
// it, which the end's next_start_code shows.
TEST(MPEG4Config, LayerVariants)
{
    const struct {
        const char* name;
        void (*change)(Layer&);
        uint32_t width, height, resolution, fixedIncrement;
        int32_t result;
        uint32_t layerVerId;
    } cases[] = {
        {"no layer identifier, object version 1",
         [](Layer& l) {
             l.layerIdentified = false;
             l.objectVerId = 1;
         },
         640, 480, 30, 0, MPEG4_CONFIG_OK, 0},
        {"no layer identifier, object without version",
         [](Layer& l) {
             l.layerIdentified = false;
             l.objectIdentified = false;
             l.width = 352;
             l.height = 288;
         },
         352, 288, 30, 0, MPEG4_CONFIG_OK, 0},
        {"no layer identifier, no visual object sequence",
         [](Layer& l) {
             l.layerIdentified = false;
             l.sequence = false;
             l.resolution = 25;
         },
         640, 480, 25, 0, MPEG4_CONFIG_OK, 0},
        {"no layer identifier, object version 2",
         [](Layer& l) {
             l.layerIdentified = false;
             l.sprite = 2;
         },
         640, 480, 30, 0, MPEG4_CONFIG_OK, 0},
        {"layer version 1 under object version 2",
         [](Layer& l) {
             l.width = 176;
             l.height = 144;
         },
         176, 144, 30, 0, MPEG4_CONFIG_OK, 1},
        {"layer version 2 under object version 1",
         [](Layer& l) {
             l.verId = 2;
             l.objectVerId = 1;
         },
         640, 480, 30, 0, MPEG4_CONFIG_OK, 2},
        {"extended aspect ratio",
         [](Layer& l) {
             l.aspectRatio = 15;
             l.parWidth = 12;
             l.parHeight = 11;
         },
         640, 480, 30, 0, MPEG4_CONFIG_OK, 1},
        {"control parameters without VBV", [](Layer& l) { l.volControl = true; }, 640, 480, 30, 0,
         MPEG4_CONFIG_OK, 1},
        {"control parameters with VBV",
         [](Layer& l) {
             l.volControl = true;
             l.vbv = true;
             l.layerIdentified = false;
         },
         640, 480, 30, 0, MPEG4_CONFIG_OK, 0},
        {"fixed rate",
         [](Layer& l) {
             l.resolution = 25;
             l.fixedRate = true;
             l.incrementBits = 5;
             l.increment = 1;
         },
         640, 480, 25, 1, MPEG4_CONFIG_OK, 1},
        {"interlaced",
         [](Layer& l) {
             l.interlaced = 1;
             l.width = 720;
             l.height = 576;
         },
         720, 576, 30, 0, MPEG4_CONFIG_OK, 1},
        // The matrices that would follow are not read.
        {"quant_type 1", [](Layer& l) { l.quantType = 1; }, 640, 480, 30, 0,
         MPEG4_CONFIG_QUANT_TYPE, 1},
        {"static sprite, version 1", [](Layer& l) { l.sprite = 1; }, 640, 480, 30, 0,
         MPEG4_CONFIG_OK, 1},
        {"static sprite, version 2",
         [](Layer& l) {
             l.sprite = 1;
             l.verId = 2;
         },
         640, 480, 30, 0, MPEG4_CONFIG_OK, 2},
        {"GMC, version 2",
         [](Layer& l) {
             l.sprite = 2;
             l.verId = 2;
         },
         640, 480, 30, 0, MPEG4_CONFIG_OK, 2},
        {"every field, no next_start_code",
         [](Layer& l) {
             l.layerIdentified = false;
             l.stuffing = false;
         },
         640, 480, 30, 0, MPEG4_CONFIG_NO_END_START_CODE, 0},
        {"cut inside the fields",
         [](Layer& l) {
             l.layerIdentified = false;
             l.stuffing = false;
             l.cutInFields = true;
         },
         640, 480, 30, 0, MPEG4_CONFIG_TRUNCATED, 0},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        Layer l;
        t.change(l);
        const std::vector<uint8_t> data = Write(l);
        tagMPEG4StrmConfig c;
        EXPECT_EQ(t.result >= 0, ParseMPEG4ConfigData(data.data(), data.size(), &c));
        EXPECT_EQ(t.result, c.nResult);
        EXPECT_EQ(t.width, c.dwWidth);
        EXPECT_EQ(t.height, c.dwHeight);
        EXPECT_EQ(t.resolution, c.dwTimeIncResolution);
        EXPECT_EQ(t.fixedIncrement, c.dwFixedVopTimeInc);
        EXPECT_EQ(t.layerVerId, c.dwLayerVerId);
        EXPECT_EQ(l.aspectRatio, c.dwAspectRatio);
        if (t.result == MPEG4_CONFIG_OK) {
            EXPECT_EQ(data.size() * 8, c.dwResultPos);
        }
    }
}

TEST(MPEG4Config, Refusals)
{
    Layer l;
    l.shape = 1;
    tagMPEG4StrmConfig c = Parse(Write(l), false);
    EXPECT_EQ(MPEG4_CONFIG_SHAPE, c.nResult);
    EXPECT_EQ(30u, c.dwTimeIncResolution); // timing was read first

    EXPECT_EQ(MPEG4_CONFIG_BINARY_ONLY, ResultOf([](Layer& x) { x.shape = 2; }, false));
    EXPECT_EQ(MPEG4_CONFIG_ZERO_RESOLUTION, ResultOf(
                                                [](Layer& x) {
                                                    x.resolution = 0;
                                                    x.fixedRate = true;
                                                    x.incrementBits = 1;
                                                },
                                                false));
    EXPECT_EQ(MPEG4_CONFIG_MARKER, ResultOf([](Layer& x) { x.timingMarker = 0; }, false));
    EXPECT_EQ(MPEG4_CONFIG_FGS, ResultOf([](Layer& x) { x.objectTypeIndication = 18; }, false));
    EXPECT_EQ(MPEG4_CONFIG_NOT_VIDEO, ResultOf([](Layer& x) { x.objectType = 2; }, false));

    // User data before the visual object that runs to the end.
    const std::vector<uint8_t> userData = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB2, 'x', 'y'};
    EXPECT_EQ(MPEG4_CONFIG_USER_DATA_ERROR, Parse(userData, false).nResult);

    // A video object plane where the video object should be, and a short
    // video header where the layer should be.
    std::vector<uint8_t> noObject = Write(Layer());
    noObject[11 + 3] = 0xB6;
    EXPECT_EQ(MPEG4_CONFIG_NO_VIDEO_OBJECT, Parse(noObject, false).nResult);
    std::vector<uint8_t> noLayer = Write(Layer());
    noLayer[15 + 3] = 0x00;
    EXPECT_EQ(MPEG4_CONFIG_SHORT_HEADER, Parse(noLayer, false).nResult);

    EXPECT_FALSE(ParseMPEG4ConfigData(nullptr, 0, &c));
}
