#include "codec/CJPEGDecoder.h"

#include "RiloAssert.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

CJPEGDecoder::CJPEGDecoder() : CFFVideoDecoder(AV_CODEC_ID_MJPEG) {}

CJPEGDecoder::~CJPEGDecoder() = default;

bool CJPEGDecoder::Create()
{
    return Open(nullptr, 0);
}

bool CJPEGDecoder::InitConfig(const JPGMediaInfo* pMediaInfo)
{
    RILO_ASSERT(pMediaInfo != nullptr);
    return SetOutputFormat(pMediaInfo->nPixelFormat);
}

bool CJPEGDecoder::Reset()
{
    return Create();
}
