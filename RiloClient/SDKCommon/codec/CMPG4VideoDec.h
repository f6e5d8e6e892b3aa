#ifndef RILO_CMPG4VIDEODEC_H
#define RILO_CMPG4VIDEODEC_H

#include "codec/CMPG4Decoder.h"
#include "codec/CMPG4PlaneClock.h"
#include "codec/CVideoDecThread.h"
#include "codec/MPEG4ConfigParser.h"

#include <cstdint>
#include <vector>

// What the thread knows of the stream's configuration: the data source
// parameter, the parsed picture size, and the configuration headers.
struct CMP4DecInitParam {
    unsigned int nParam = 0;
    int nWidth = 0;
    int nHeight = 0;
    bool bConfigured = false;
    std::vector<unsigned char> config;
};

// The decode thread of an MPEG-4 Part 2 stream. Units from the data source
// that begin with a visual object sequence or video object start code are
// configurations, read by ParseMPEG4ConfigData and handed to the decoder;
// video object planes are decoded, and each picture is paced by the time
// of its plane (vop_time_increment) in the order the decoder shows them.
//
// What the stream calls (besides CVideoDecThread's SetFrameSource,
// SetPacing, SetDelayThreshold, SetRenderCallback, StartDecodingProc,
// StopDecodingProc, GetFPS, GetBPS):
//   Initialize(1280) when its worker starts, Uninitialize when it ends: both
//   forget the configuration, which otherwise survives stops and restarts
//   of the thread, so that a restarted thread decodes at once;
//   GetStrmInfo for the picture size (GetVideoResolution).
// The data source receives the parameter given to Initialize.
class CMPG4VideoDec : public CVideoDecThread {
public:
    CMPG4VideoDec();
    ~CMPG4VideoDec() override;

    // Forgets the configuration and keeps nParam; answers 1.
    int Initialize(unsigned int nParam);
    // Forgets the configuration; answers 0.
    int Uninitialize();
    // The parsed configuration (14 words); answers whether one has been
    // parsed. Pointer required.
    bool GetStrmInfo(tagMPEG4StrmConfig* pStrmConfig);

private:
    bool OpenDecoder() override;
    void OnDecodingStarted() override;
    void HandleUnit(unsigned char* pUnit, unsigned long dwLen) override;
    void CloseDecoder() override;

    void Clear();
    // 0 a new configuration was stored, 1 nothing new, -1 it did not parse.
    int ProcessConfigureData(const unsigned char* pData, unsigned long dwLen);
    bool InnerConfigurate();
    int ConfigDecoder(const unsigned char* pData, unsigned long dwLen);
    void TakeConfiguration(const unsigned char* pUnit, unsigned long dwLen);
    void TakePlane(const unsigned char* pUnit, unsigned long dwLen);
    // Waits for the picture at llTime (ticks), one step after the last.
    void PaceShown(int64_t llTime);

    // Decode thread only.
    MP4MediaInfo m_DecoderSetup{};
    bool m_bDecoderConfigured = false;
    CMPG4Decoder m_Decoder;
    int64_t m_llUnitsPerIncrement = 0; // 100-ns units per tick
    CMPG4PlaneClock m_clock;
    int64_t m_llLastShown = 0; // ticks

    // Guarded by m_mutex.
    CMP4DecInitParam m_InitParam;
    tagMPEG4StrmConfig m_StrmConfig{};
};

#endif
