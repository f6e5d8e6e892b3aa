#include "codec/CMPG4Decoder.h"

#include "RiloAssert.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

CMPG4Decoder::CMPG4Decoder() : CFFVideoDecoder(AV_CODEC_ID_MPEG4) {}

CMPG4Decoder::~CMPG4Decoder() = default;

bool CMPG4Decoder::Create()
{
    return Open(nullptr, 0);
}

bool CMPG4Decoder::InitConfig(MP4MediaInfo* pMediaInfo, const unsigned char* pConfig,
                              unsigned long dwLen)
{
    RILO_ASSERT(pMediaInfo != nullptr);
    if (!SetOutputFormat(pMediaInfo->nPixelFormat))
        return false;
    // The decoder reads the headers only as extradata at its opening; sent
    // as a unit of their own they are refused.
    return Open(pConfig, dwLen);
}
