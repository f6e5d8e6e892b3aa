// The video stream of H.264 content, framed ("video/ACVS") or raw Annex B:
// on the connection's receive thread it cuts the content into units, keeps
// the configuration (sequence and picture parameter sets), feeds the
// recorder (H264) and queues the units for its decode thread, which
// decodes, paces and delivers the pictures to the render callback.
#ifndef RILO_CHTTPH264STREAM_H
#define RILO_CHTTPH264STREAM_H

#include "RiloClientLib.h"
#include "codec/CH264VideoDec.h"
#include "stream/CHTTPVisStrm.h"
#include "stream/CVideoPacketReader.h"
#include "stream/CVideoUnitQueue.h"

#include <cstdint>
#include <vector>

class CHTTPH264Stream : public CHTTPVisStrm {
public:
    enum : uint32_t {
        kContentSize = 0x60000,
        kQueueBuffers = 30,
        kQueueBufferSize = 0x60000,
        kSourceParam = 1280,
    };

    CHTTPH264Stream(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPH264Stream() override;

    bool InitInstance() override;
    int ExitInstance() override;
    void ProcessContent() override;
    bool AcceptHTTPHeader() override;
    bool CheckContentType() override;

    bool SetCallbackRenderMode(bool bFlag, VideoRenderCallback pfn, void* user) override;
    // Starts the decode thread; bNoPacing delivers pictures as they decode.
    bool InitDecoder(bool bNoPacing) override;
    // Stops the decode thread; no callback runs once it has returned.
    void UninitDecoder() override;
    // The size the decoder found; false before it knows one.
    bool GetVideoResolution(int* pcx, int* pcy) override;
    void GetFPS(double* pFPS) override;
    // Bytes per second / 128.
    void GetBPS(unsigned long* pBPS) override;
    void SetDelayThreshold(unsigned int nThreshold) override;

    // The decode thread's data source (context: the stream).
    static unsigned long GetFrameData(unsigned int nParam, unsigned char* pBuffer,
                                      unsigned long dwCapacity, void* pContext,
                                      unsigned int* pBacklog, unsigned long dwLastKind);

protected:
    // One unit, led by 00 00 00 01: a configuration, or a picture's NAL
    // units; the stamp in ms (0 for raw content).
    virtual void FeedStreamItem(const unsigned char* pData, unsigned long len, long long* pStamp);

private:
    // A unit as cut: leading SEI and delimiters skipped, a unit led by a
    // sequence parameter set split before its first slice.
    void FeedCutUnit(const uint8_t* p, uint32_t len, long long stamp);
    // One piece, given a 4-byte start code when it has a 3-byte one.
    void FeedPiece(const uint8_t* p, uint32_t len, long long stamp);
    int FeedRecorder(const unsigned char* pData, unsigned long len, long long stamp, bool bKey,
                     bool bNewConfig);
    // 0 (or the file-started result) when the file has begun; -1 otherwise.
    int PrepareRecordStream(long long stamp);

    CH264VideoDec m_Decoder;
    CVideoUnitQueue m_units;
    CVideoPacketReader m_reader;   // receive thread only
    std::vector<uint8_t> m_scratch; // receive thread only
    uint32_t m_dwSequence;          // of the packet being fed
};

#endif
