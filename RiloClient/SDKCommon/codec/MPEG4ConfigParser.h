#ifndef RILO_MPEG4CONFIGPARSER_H
#define RILO_MPEG4CONFIGPARSER_H

// The configuration headers of an MPEG-4 Visual elementary stream (visual
// object sequence, visual object, one rectangular video object layer).

#include "codec/BitStreamData.h"

#include <cstdint>

struct tagMPEG4StrmConfig {
    uint32_t dwProfileLevel; // 0 without a visual object sequence
    uint32_t bVisualObjectIdentified;
    uint32_t dwVisualObjectVerId; // 1 unless given
    uint32_t dwWidth;
    uint32_t dwHeight;
    uint32_t dwLayerVerId; // 0 unless given
    uint32_t dwAspectRatio;
    uint32_t dwLayerShape; // MPEG4_SHAPE_*
    uint32_t dwTimeIncResolution;
    uint32_t bFixedVopRate;
    uint32_t dwFixedVopTimeInc; // 0 when the rate is not fixed
    uint32_t bResyncMarkerDisable;
    int32_t nResult;      // MPEG4_CONFIG_*
    uint32_t dwResultPos; // bit position that goes with the result
};
static_assert(sizeof(tagMPEG4StrmConfig) == 14 * 4, "fourteen words");

enum : uint32_t {
    MPEG4_SHAPE_RECTANGULAR = 0,
    MPEG4_SHAPE_BINARY = 1,
    MPEG4_SHAPE_BINARY_ONLY = 2,
    MPEG4_SHAPE_GRAYSCALE = 3,
};

// Results. The first five are successes.
enum : int32_t {
    MPEG4_CONFIG_OK = 0,
    MPEG4_CONFIG_NO_END_START_CODE = 1, // the layer did not end in next_start_code
    MPEG4_CONFIG_USER_DATA_AT_END = 2,  // user data after the layer ran to the end
    MPEG4_CONFIG_QUANT_TYPE = 16,       // quant_type 1: later fields may be wrong
    MPEG4_CONFIG_COMPLEXITY = 17,       // complexity estimation: later fields may be wrong
    MPEG4_CONFIG_USER_DATA_ERROR = int32_t(0x80000004u),
    MPEG4_CONFIG_NO_VO_START_CODE =
        int32_t(0x80000005u), // no next_start_code before the video object
    MPEG4_CONFIG_NOT_VIDEO = int32_t(0x80000006u),
    MPEG4_CONFIG_NO_VIDEO_OBJECT = int32_t(0x80000007u),
    MPEG4_CONFIG_SHORT_HEADER = int32_t(0x80000008u), // no video object layer start code
    MPEG4_CONFIG_FGS = int32_t(0x80000009u),
    MPEG4_CONFIG_MARKER = int32_t(0x8000000Au),
    MPEG4_CONFIG_SHAPE = int32_t(0x8000000Bu), // not rectangular
    MPEG4_CONFIG_BINARY_ONLY = int32_t(0x8000000Cu),
    MPEG4_CONFIG_ZERO_RESOLUTION = int32_t(0x8000000Du), // vop_time_increment_resolution 0
    MPEG4_CONFIG_TRUNCATED = int32_t(0x8000000Eu),       // the layer header runs past the data
};

// True for the successes. The result and its position are always written,
// the other fields as far as parsing got.
bool ParseMPEG4ConfigData(const unsigned char* pData, unsigned long dwLen,
                          tagMPEG4StrmConfig* pConfig);

// next_start_code: a 0 bit, then 1 bits up to the byte boundary.
bool CheckNextStartCode(BitStreamData* pBits);
// Skips user data (00 00 01 B2) up to the next start code; false when it
// runs to the end of the data.
bool ProcUserData(BitStreamData* pBits);

// "Simple Profile/Level 1(0x01)", or "Invalid profile/level id".
const char* GetMPEG4ProfileDescription(unsigned char id);
// The position of the highest set bit counted from 1; 0 for 0.
uint32_t CountMinBits(uint32_t dwValue);

#endif
