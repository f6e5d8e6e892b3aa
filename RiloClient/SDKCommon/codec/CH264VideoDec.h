#ifndef RILO_CH264VIDEODEC_H
#define RILO_CH264VIDEODEC_H

#include "codec/CVideoDecThread.h"
#include "codec/H264Dec.h"

#include <cstdint>

// What GetStrmInfo reports: the data source parameter given to Initialize,
// the stream's picture size, and flags (bit 0: the size is known).
struct CH264DecInitParam {
    unsigned int nID;
    int nWidth;
    int nHeight;
    uint32_t dwFlags;
};

// The decode thread of an H.264 stream. Units from the data source start
// with a 4-byte start code; the class of the NAL unit after it
// (AnalyzeNALUnit) sorts them. A sequence parameter set, and every unit
// while no configuration is known, re-creates the decoder and reads the
// size and frame rate from the first picture (that picture is not shown);
// other units are pictures, paced at the stream's frame rate (1/30 s while
// it gives none) and delivered to the render callback.
//
// What the stream calls (besides CVideoDecThread's SetFrameSource,
// SetPacing, SetDelayThreshold, SetRenderCallback, StartDecodingProc,
// StopDecodingProc, GetFPS, GetBPS):
//   Initialize(1280) when its worker starts, Uninitialize when it ends;
//   GetStrmInfo for the picture size (GetVideoResolution).
// The data source receives the parameter given to Initialize. Units up to
// kUnitBufferSize bytes are decoded whole.
class CH264VideoDec : public CVideoDecThread {
public:
    CH264VideoDec();
    ~CH264VideoDec() override;

    // Keeps nID and forgets the size; answers 1.
    int Initialize(unsigned int nID);
    // Forgets nID and the size.
    void Uninitialize();
    // False for a null record; else fills it and answers whether the
    // stream's size is known.
    bool GetStrmInfo(CH264DecInitParam* pParam);

private:
    bool OpenDecoder() override;
    void OnDecodingStarted() override;
    void HandleUnit(unsigned char* pUnit, unsigned long dwLen) override;
    void CloseDecoder() override;

    // 0 the size is known now; 1 an empty unit; else dec_parse_info's result.
    int ProcessConfigureData(const unsigned char* pData, unsigned long dwLen);
    bool InnerConfigurate();
    void TakeConfiguration(unsigned char* pUnit, unsigned long dwLen);
    // A unit that did not configure: the next one is tried too.
    int RetryConfiguration(unsigned char* pUnit);
    void TakePicture(const unsigned char* pUnit, unsigned long dwLen);
    bool ConfigurationKnown();

    // Decode thread only.
    H264MediaInfo m_MediaInfo{};
    bool m_bConfigured = false;
    H264Dec m_Decoder;
    int64_t m_llFrameDuration = 0; // 100-ns units

    // Guarded by m_mutex.
    CH264DecInitParam m_InitParam{};
    bool m_bConfigKnown = false;
};

#endif
