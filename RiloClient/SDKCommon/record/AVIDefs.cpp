#include "record/AVIDefs.h"

void AVIPutMainHeader(uint8_t* p, const AVIMainHeader& h)
{
    LEWriter w(p);
    w.U32(h.dwMicroSecPerFrame).U32(h.dwMaxBytesPerSec).U32(h.dwPaddingGranularity);
    w.U32(h.dwFlags).U32(h.dwTotalFrames).U32(h.dwInitialFrames).U32(h.dwStreams);
    w.U32(h.dwSuggestedBufferSize).U32(h.dwWidth).U32(h.dwHeight);
    for (uint32_t r : h.dwReserved)
        w.U32(r);
}

void AVIPutStreamHeader(uint8_t* p, const AVIStreamHeader& h)
{
    LEWriter w(p);
    w.U32(h.fccType).U32(h.fccHandler).U32(h.dwFlags).U16(h.wPriority).U16(h.wLanguage);
    w.U32(h.dwInitialFrames).U32(h.dwScale).U32(h.dwRate).U32(h.dwStart).U32(h.dwLength);
    w.U32(h.dwSuggestedBufferSize).U32(h.dwQuality).U32(h.dwSampleSize);
    for (int16_t v : h.rcFrame)
        w.U16(uint16_t(v));
}

void AVIPutBitmapInfo(uint8_t* p, const BITMAPINFOHEADER& h)
{
    LEWriter w(p);
    w.U32(h.biSize).U32(uint32_t(h.biWidth)).U32(uint32_t(h.biHeight)).U16(h.biPlanes);
    w.U16(h.biBitCount).U32(h.biCompression).U32(h.biSizeImage);
    w.U32(uint32_t(h.biXPelsPerMeter)).U32(uint32_t(h.biYPelsPerMeter));
    w.U32(h.biClrUsed).U32(h.biClrImportant);
}

void AVIPutWaveFormat(uint8_t* p, const WAVEFORMATEX& f)
{
    LEWriter w(p);
    w.U16(f.wFormatTag).U16(f.nChannels).U32(f.nSamplesPerSec).U32(f.nAvgBytesPerSec);
    w.U16(f.nBlockAlign).U16(f.wBitsPerSample).U16(f.cbSize);
}

void AVIPutIndexEntry(uint8_t* p, const AVIIndexEntry& e)
{
    LEWriter w(p);
    w.U32(e.ckid).U32(e.dwFlags).U32(e.dwChunkOffset).U32(e.dwChunkLength);
}
