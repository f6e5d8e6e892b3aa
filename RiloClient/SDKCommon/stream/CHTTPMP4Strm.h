// The video stream of MPEG-4 Part 2 content, framed ("video/ACVS") or raw:
// on the connection's receive thread it cuts the content into units,
// caches the configuration, feeds the recorder (XVID) and queues the units
// for its decode thread, which decodes, paces and delivers the pictures to
// the render callback.
#ifndef RILO_CHTTPMP4STRM_H
#define RILO_CHTTPMP4STRM_H

#include "RiloClientLib.h"
#include "codec/CMPG4VideoDec.h"
#include "stream/CHTTPVisStrm.h"
#include "stream/CVideoPacketReader.h"
#include "stream/CVideoUnitQueue.h"

#include <cstdint>

class CHTTPMP4Strm : public CHTTPVisStrm {
public:
    enum : uint32_t {
        kContentSize = 524288,
        kQueueBuffers = 30,
        kQueueBufferSize = 524288,
        kSourceParam = 1280,
    };

    CHTTPMP4Strm(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPMP4Strm() override;

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
    // The size in the parsed configuration; false before one.
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
    // One unit (a configuration or one plane) with its stamp in ms.
    virtual void FeedStreamItem(const unsigned char* pData, unsigned long len, long long* pStamp);

private:
    // The recorder step: a result to report, or 0.
    int FeedRecorder(const unsigned char* pData, unsigned long len, long long stamp, bool bKey,
                     bool bNewConfig);
    // 0 (or the file-started result) when the file has begun; -1 otherwise.
    int PrepareRecordStream(long long stamp);

    CMPG4VideoDec m_Decoder;
    CVideoUnitQueue m_units;
    CVideoPacketReader m_reader; // receive thread only
    uint32_t m_dwRecorderValue;  // header word 12 of the packet being fed
};

#endif
