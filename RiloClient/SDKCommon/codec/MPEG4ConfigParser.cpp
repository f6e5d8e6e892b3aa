#include "codec/MPEG4ConfigParser.h"
#include "Common.h"

#include "RiloAssert.h"

#include <cstdio>
#include <cstring>

namespace {

const uint32_t kVisualObjectSequenceStartCode = 0x000001B0;
const uint32_t kVisualObjectStartCode = 0x000001B5;
const uint32_t kUserDataStartCode = 0x000001B2;
const uint32_t kVideoObjectStartCode = 0x00000100;      // low 5 bits: object number
const uint32_t kVideoObjectLayerStartCode = 0x00000120; // low 5 bits: layer number
const uint32_t kStartCodeNumberMask = 0x1F;
const uint32_t kStartCodePrefix = 0x000001; // 24 bits
const uint32_t kVisualObjectTypeVideo = 1;
const uint32_t kVisualObjectTypeStillTexture = 2;
const uint32_t kObjectTypeFGS = 18;
const uint32_t kAspectRatioExtended = 15;
const uint32_t kSpriteStatic = 1;
const uint32_t kSpriteGMC = 2;

// Reads one configuration; each step answers MPEG4_CONFIG_OK to go on, or
// the failure that ends the parse.
class ConfigReader {
public:
    ConfigReader(BitStreamData& bits, tagMPEG4StrmConfig& config) : m_bits(bits), m_config(config)
    {
    }

    int32_t Run()
    {
        int32_t nRet = VisualObjectSequence();
        if (nRet == MPEG4_CONFIG_OK)
            nRet = VideoObjectStartCodes();
        if (nRet == MPEG4_CONFIG_OK)
            nRet = LayerIdentification();
        if (nRet == MPEG4_CONFIG_OK)
            nRet = Timing();
        if (nRet == MPEG4_CONFIG_OK)
            nRet = ShapeAndSize();
        if (nRet != MPEG4_CONFIG_OK)
            return nRet;
        LayerFlags();
        // Reads past the end answer 0, so a header cut inside its flags
        // would otherwise pass for a complete one.
        if (m_bits.Overrun())
            return MPEG4_CONFIG_TRUNCATED;
        End();
        return MPEG4_CONFIG_OK;
    }

private:
    uint32_t Bits(int n) { return m_bits.GetBits(n); }
    // The fields of a version 1 layer; any other version has the later ones.
    bool VersionOne() const { return m_dwSyntaxVersion == 1; }
    bool Marker() { return m_bits.GetBits(1) == 1; }
    void SetResult(int32_t nResult)
    {
        m_config.nResult = nResult;
        m_config.dwResultPos = m_bits.Position();
    }

    int32_t VisualObjectSequence()
    {
        if (m_bits.GetBits(32, true) != kVisualObjectSequenceStartCode) {
            DiagPrint(kDiagOut,
                      "Parse config data: Error: visual object sequence start code is expected!\n");
            return MPEG4_CONFIG_OK;
        }
        Bits(32);
        m_config.dwProfileLevel = Bits(8);
        if (!ProcUserData(&m_bits)) {
            DiagPrint(kDiagOut, "Parse config data: User_data error\n");
            return MPEG4_CONFIG_USER_DATA_ERROR;
        }
        if (Bits(32) != kVisualObjectStartCode) {
            DiagPrint(kDiagOut,
                      "Parse config data: Error: visual object start code is expected!\n");
            return MPEG4_CONFIG_OK;
        }
        return VisualObject();
    }

    int32_t VisualObject()
    {
        m_config.dwVisualObjectVerId = 1;
        m_config.bVisualObjectIdentified = Bits(1);
        if (m_config.bVisualObjectIdentified) {
            m_config.dwVisualObjectVerId = Bits(4);
            Bits(3); // visual_object_priority
        }
        const uint32_t dwType = Bits(4);
        if ((dwType == kVisualObjectTypeVideo || dwType == kVisualObjectTypeStillTexture) &&
            Bits(1)) {
            Bits(3); // video_format
            Bits(1); // video_range
            if (Bits(1))
                Bits(24); // colour primaries, transfer, matrix
        }
        if (!CheckNextStartCode(&m_bits)) {
            DiagPrint(kDiagOut,
                      "Parse config data: error in checking next start code before Video Object\n");
            return MPEG4_CONFIG_NO_VO_START_CODE;
        }
        if (!ProcUserData(&m_bits)) {
            DiagPrint(kDiagOut, "Parse config data: User_data error\n");
            return MPEG4_CONFIG_USER_DATA_ERROR;
        }
        if (dwType != kVisualObjectTypeVideo) {
            DiagPrint(kDiagOut, "Parse config data: Only support video object now!\n");
            return MPEG4_CONFIG_NOT_VIDEO;
        }
        DiagPrint(kDiagOut, "End of checking visual object layer\n");
        return MPEG4_CONFIG_OK;
    }

    int32_t VideoObjectStartCodes()
    {
        DiagPrint(kDiagOut, "Start check video object...\n");
        if ((Bits(32) & ~kStartCodeNumberMask) != kVideoObjectStartCode) {
            DiagPrint(
                kDiagOut,
                "Parse config data: except video object, other visual types are not supported!\n");
            return MPEG4_CONFIG_NO_VIDEO_OBJECT;
        }
        if ((Bits(32) & ~kStartCodeNumberMask) != kVideoObjectLayerStartCode) {
            DiagPrint(kDiagOut, "Parse config data: short video header is not supported\n");
            return MPEG4_CONFIG_SHORT_HEADER;
        }
        return MPEG4_CONFIG_OK;
    }

    int32_t LayerIdentification()
    {
        Bits(1); // random_accessible_vol
        if (Bits(8) == kObjectTypeFGS) {
            DiagPrint(kDiagOut, "Parse config data: FGS is not supported\n");
            return MPEG4_CONFIG_FGS;
        }
        m_config.dwLayerVerId = 0;
        // Without its own version the layer has the visual object's.
        m_dwSyntaxVersion = m_config.dwVisualObjectVerId;
        if (Bits(1)) {
            m_config.dwLayerVerId = Bits(4);
            m_dwSyntaxVersion = m_config.dwLayerVerId;
            Bits(3); // video_object_layer_priority
        }
        m_config.dwAspectRatio = Bits(4);
        if (m_config.dwAspectRatio == kAspectRatioExtended)
            Bits(16);  // par_width, par_height
        if (Bits(1)) { // vol_control_parameters
            Bits(2);   // chroma_format
            Bits(1);   // low_delay
            if (Bits(1)) {
                Bits(32); // VBV parameters, 79 bits
                Bits(16);
                Bits(15);
                Bits(16);
            }
        }
        m_config.dwLayerShape = Bits(2);
        if (m_config.dwLayerShape == MPEG4_SHAPE_GRAYSCALE && !VersionOne())
            Bits(4); // video_object_layer_shape_extension
        return MPEG4_CONFIG_OK;
    }

    int32_t Timing()
    {
        if (!Marker()) {
            DiagPrint(kDiagOut, "Parse config data: error in check marker before vop_time_inc\n");
            return MPEG4_CONFIG_MARKER;
        }
        m_config.dwTimeIncResolution = Bits(16);
        // Its users divide by it.
        if (m_config.dwTimeIncResolution == 0) {
            DiagPrint(kDiagOut, "Parse config data: vop_time_increment_resolution is 0\n");
            return MPEG4_CONFIG_ZERO_RESOLUTION;
        }
        if (!Marker()) {
            DiagPrint(kDiagOut, "Parse config data: error in check marker before fixed_vop_rate\n");
            return MPEG4_CONFIG_MARKER;
        }
        m_config.bFixedVopRate = Bits(1);
        m_config.dwFixedVopTimeInc = 0;
        if (m_config.bFixedVopRate) {
            const uint32_t dwWidth = CountMinBits(m_config.dwTimeIncResolution - 1);
            m_config.dwFixedVopTimeInc = Bits(dwWidth > 0 ? int(dwWidth) : 1);
        }
        return MPEG4_CONFIG_OK;
    }

    int32_t ShapeAndSize()
    {
        switch (m_config.dwLayerShape) {
        case MPEG4_SHAPE_BINARY_ONLY:
            DiagPrint(kDiagOut, "Parse config data: binary only mode\n");
            if (!VersionOne() && Bits(1))
                Bits(24);
            Bits(1);
            return MPEG4_CONFIG_BINARY_ONLY;
        case MPEG4_SHAPE_RECTANGULAR:
            if (!Marker())
                return MPEG4_CONFIG_MARKER;
            m_config.dwWidth = Bits(13);
            if (!Marker())
                return MPEG4_CONFIG_MARKER;
            m_config.dwHeight = Bits(13);
            if (!Marker())
                return MPEG4_CONFIG_MARKER;
            return MPEG4_CONFIG_OK;
        default:
            return MPEG4_CONFIG_SHAPE;
        }
    }

    void Sprite()
    {
        const uint32_t dwSprite = Bits(VersionOne() ? 1 : 2);
        if (dwSprite == kSpriteStatic) {
            Bits(28); // sprite width and height with markers
            Bits(28); // sprite left and top with markers
        }
        if (dwSprite == kSpriteStatic || dwSprite == kSpriteGMC) {
            Bits(6); // no_of_sprite_warping_points
            Bits(2); // sprite_warping_accuracy
            Bits(1); // sprite_brightness_change
        }
        if (dwSprite == kSpriteStatic)
            Bits(1); // low_latency_sprite_enable
    }

    void LayerFlags()
    {
        Bits(1); // interlaced
        Bits(1); // obmc_disable
        Sprite();
        if (Bits(1)) // not_8_bit
            Bits(8); // quant_precision, bits_per_pixel
        if (m_config.dwLayerShape == MPEG4_SHAPE_GRAYSCALE)
            Bits(3);
        if (Bits(1)) {
            DiagPrint(kDiagOut, "Parse config data: quant_type is not supported\n");
            SetResult(MPEG4_CONFIG_QUANT_TYPE);
        }
        if (!VersionOne())
            Bits(1); // quarter_sample
        if (!Bits(1)) {
            DiagPrint(kDiagOut, "Parse config data: complexity_estimation is not supported\n");
            SetResult(MPEG4_CONFIG_COMPLEXITY);
        }
        m_config.bResyncMarkerDisable = Bits(1);
        if (Bits(1)) // data_partitioned
            Bits(1); // reversible_vlc
        if (!VersionOne()) {
            if (Bits(1)) // newpred_enable
                Bits(3);
            Bits(1); // reduced_resolution_vop_enable
        }
        if (Bits(1)) { // scalability
            Bits(1);
            Bits(26);
        }
    }

    void End()
    {
        if (!CheckNextStartCode(&m_bits)) {
            DiagPrint(
                kDiagOut,
                "Parse config data: Error in check next start code at the end of vidoe object\n");
            SetResult(MPEG4_CONFIG_NO_END_START_CODE);
        }
        if (m_bits.Position() < m_bits.LengthInBits() && !ProcUserData(&m_bits)) {
            DiagPrint(kDiagOut, "Parse config data: User_data error!\n");
            SetResult(MPEG4_CONFIG_USER_DATA_AT_END);
        }
        if (m_config.nResult == MPEG4_CONFIG_OK)
            m_config.dwResultPos = m_bits.Position();
    }

    BitStreamData& m_bits;
    tagMPEG4StrmConfig& m_config;
    uint32_t m_dwSyntaxVersion = 1;
};

struct ProfileRow {
    unsigned char id;
    const char* text;
};

const ProfileRow kProfiles[] = {
    {0x01, "Simple Profile/Level 1(0x01)"},
    {0x02, "Simple Profile/Level 2(0x02)"},
    {0x03, "Simple Profile/Level 3(0x03)"},
    {0x08, "Simple Profile/Level 0(0x08)"},
    {0x11, "Simple Scalable Profile/Level 1(0x11)"},
    {0x12, "Simple Scalable Profile/Level 2(0x12)"},
    {0x21, "Core Profile/Level 1(0x21)"},
    {0x22, "Core Profile/Level 2(0x22)"},
    {0x32, "Main Profile/Level 2(0x32)"},
    {0x33, "Main Profile/Level 3(0x33)"},
    {0x34, "Main Profile/Level 4(0x34)"},
    {0x42, "N-bit Profile/Level 2(0x42)"},
    {0x51, "Scalable Texture Profile/Level 1(0x51)"},
    {0x61, "Simple Face Animation Profile/Level 1(0x61)"},
    {0x62, "Simple Face Animation Profile/Level 2(0x62)"},
    {0x63, "Simple FBA Profile/Level 1(0x63)"},
    {0x64, "Simple FBA Profile/Level 2(0x64)"},
    {0x71, "Basic Animated Texture Profile/Level 1(0x71)"},
    {0x72, "Basic Animated Texture Profile/Level 2(0x72)"},
    {0x81, "Hybrid Profile/Level 1(0x81)"},
    {0x82, "Hybrid Profile/Level 2(0x82)"},
    {0x91, "Advanced Real Time Simple Profile/Level 1(0x91)"},
    {0x92, "Advanced Real Time Simple Profile/Level 2(0x92)"},
    {0x93, "Advanced Real Time Simple Profile/Level 3(0x93)"},
    {0x94, "Advanced Real Time Simple Profile/Level 4(0x94)"},
    {0xA1, "Core Scalable Profile/Level1(0xA1)"},
    {0xA2, "Core Scalable Profile/Level2(0xA2)"},
    {0xA3, "Core Scalable Profile/Level3(0xA3)"},
    {0xB1, "Advanced Coding Efficiency Profile/Level 1(0xB1)"},
    {0xB2, "Advanced Coding Efficiency Profile/Level 2(0xB2)"},
    {0xB3, "Advanced Coding Efficiency Profile/Level 3(0xB3)"},
    {0xB4, "Advanced Coding Efficiency Profile/Level 4(0xB4)"},
    {0xC1, "Advanced Core Profile/Level 1(0xC1)"},
    {0xC2, "Advanced Core Profile/Level 2(0xC2)"},
    {0xD1, "Advanced Scalable Texture/Level1(0xD1)"},
    {0xD2, "Advanced Scalable Texture/Level2(0xD2)"},
    {0xD3, "Advanced Scalable Texture/Level3(0xD3)"},
    {0xE1, "Simple Studio Profile/Level 1(0xE1)"},
    {0xE2, "Simple Studio Profile/Level 2(0xE2)"},
    {0xE3, "Simple Studio Profile/Level 3(0xE3)"},
    {0xE4, "Simple Studio Profile/Level 4(0xE4)"},
    {0xE5, "Core Studio Profile/Level 1(0xE5)"},
    {0xE6, "Core Studio Profile/Level 2(0xE6)"},
    {0xE7, "Core Studio Profile/Level 3(0xE7)"},
    {0xE8, "Core Studio Profile/Level 4(0xE8)"},
    {0xF0, "Advanced Simple Profile/Level 0(0xF0)"},
    {0xF1, "Advanced Simple Profile/Level 1(0xF1)"},
    {0xF2, "Advanced Simple Profile/Level 2(0xF2)"},
    {0xF3, "Advanced Simple Profile/Level 3(0xF3)"},
    {0xF4, "Advanced Simple Profile/Level 4(0xF4)"},
    {0xF5, "Advanced Simple Profile/Level 5(0xF5)"},
    {0xF8, "Fine Granularity Scalable Profile/Level 0(0xF8)"},
    {0xF9, "Fine Granularity Scalable Profile/Level 1(0xF9)"},
    {0xFA, "Fine Granularity Scalable Profile/Level 2(0xFA)"},
    {0xFB, "Fine Granularity Scalable Profile/Level 3(0xFB)"},
    {0xFC, "Fine Granularity Scalable Profile/Level 4(0xFC)"},
    {0xFD, "Fine Granularity Scalable Profile/Level 5(0xFD)"},
};

} // namespace

bool CheckNextStartCode(BitStreamData* pBits)
{
    // Data that ends here has no next_start_code at all.
    if (pBits->BitsLeft() == 0 || pBits->GetBits(1) != 0) {
        DiagPrint(kDiagOut, "Parse config data: Error in check next start code: at bits: %u!\n",
                  pBits->Position() - 1);
        return false;
    }
    if (pBits->IsByteAligned())
        return true;
    const int n = int(8 - pBits->Position() % 8);
    if (pBits->GetBits(n) != (1u << n) - 1) {
        DiagPrint(kDiagOut, "Parse config data: Error in checking next start code: at bits: %u!\n",
                  pBits->Position() - 1);
        return false;
    }
    return true;
}

bool ProcUserData(BitStreamData* pBits)
{
    if (pBits->BitsLeft() < 32 || pBits->GetBits(32, true) != kUserDataStartCode)
        return true;
    pBits->SkipBits(32);
    while (pBits->BitsLeft() >= 24) {
        if (pBits->GetBits(24, true) == kStartCodePrefix)
            return true;
        pBits->SkipBits(8);
    }
    pBits->SkipBits(pBits->BitsLeft());
    return false;
}

bool ParseMPEG4ConfigData(const unsigned char* pData, unsigned long dwLen,
                          tagMPEG4StrmConfig* pConfig)
{
    RILO_ASSERT(pConfig != NULL);
    static const unsigned char kNothing = 0;
    if (pData == nullptr) {
        pData = &kNothing;
        dwLen = 0;
    }
    std::memset(pConfig, 0, sizeof(*pConfig));
    pConfig->dwVisualObjectVerId = 1;
    BitStreamData bits(pData, dwLen);
    ConfigReader reader(bits, *pConfig);
    const int32_t nFailure = reader.Run();
    if (nFailure == MPEG4_CONFIG_OK)
        return true;
    pConfig->nResult = nFailure;
    pConfig->dwResultPos = bits.Position();
    return false;
}

const char* GetMPEG4ProfileDescription(unsigned char id)
{
    for (const ProfileRow& row : kProfiles)
        if (row.id == id)
            return row.text;
    return "Invalid profile/level id";
}

uint32_t CountMinBits(uint32_t dwValue)
{
    uint32_t n = 0;
    for (; dwValue != 0; dwValue >>= 1)
        ++n;
    return n;
}
