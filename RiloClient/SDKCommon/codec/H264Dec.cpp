#include "codec/H264Dec.h"

#include "RiloAssert.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

H264Dec::H264Dec() : CFFVideoDecoder(AV_CODEC_ID_H264) {}

H264Dec::~H264Dec() = default;

int H264Dec::dec_init()
{
    return Open(nullptr, 0) ? 0 : -2;
}

int H264Dec::dec_config(H264MediaInfo* pInfo)
{
    RILO_ASSERT(pInfo != nullptr);
    return SetOutputFormat(pInfo->nPixelFormat, pInfo->nStride) ? 0 : -3;
}

int H264Dec::dec_parse_info(const unsigned char* pData, unsigned long dwLen, H264MediaInfo* pInfo)
{
    RILO_ASSERT(pInfo != nullptr);
    const int nResult = DecodeUnit(pData, dwLen);
    if (nResult != kPicture)
        return nResult == kNoPicture ? -2 : -1;
    GetPictureSize(&pInfo->nWidth, &pInfo->nHeight);
    // The frame rate, not the time base: the time base counts fields.
    int nNum = 0, nDen = 0;
    if (GetFrameRate(&nNum, &nDen)) {
        pInfo->nTimeBaseNum = nDen;
        pInfo->nTimeBaseDen = nNum;
    } else {
        pInfo->nTimeBaseNum = 1;
        pInfo->nTimeBaseDen = 30;
    }
    return 0;
}

void H264Dec::dec_stop()
{
    Destroy();
}
