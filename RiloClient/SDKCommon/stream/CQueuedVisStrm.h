// What the MPEG-4 and H.264 streams share: the content is cut into units
// on the connection's receive thread, each unit is fed to the recorder and
// queued for a decode thread, which decodes, paces and delivers the
// pictures to the render callback. A stream adds its codec's feeding rules,
// its decoder and how a recording begins.
#ifndef RILO_CQUEUEDVISSTRM_H
#define RILO_CQUEUEDVISSTRM_H

#include "RiloClientLib.h"
#include "codec/CVideoDecThread.h"
#include "record/AVIDefs.h"
#include "stream/CHTTPVisStrm.h"
#include "stream/CVideoPacketReader.h"
#include "stream/CVideoUnitQueue.h"

#include <cstdint>
#include <vector>

class CQueuedVisStrm : public CHTTPVisStrm {
public:
    enum : uint32_t { kQueueBuffers = 30, kSourceParam = 1280 };

    ~CQueuedVisStrm() override;

    bool InitInstance() override;
    int ExitInstance() override;
    void ProcessContent() override;
    // A new connection also waits for a key unit: it may join in mid-group.
    bool AcceptHTTPHeader() override;
    // "video/ACVS" is framed; anything else, or none, raw.
    bool CheckContentType() override;

    bool SetCallbackRenderMode(bool bFlag, VideoRenderCallback pfn, void* user) override;
    // Starts the decode thread; bNoPacing delivers pictures as they decode.
    // Decoding starts with the configuration and a key unit.
    bool InitDecoder(bool bNoPacing) override;
    // Stops the decode thread; no callback runs once it has returned.
    void UninitDecoder() override;
    void GetFPS(double* pFPS) override;
    // Bytes per second / 128.
    void GetBPS(unsigned long* pBPS) override;
    void SetDelayThreshold(unsigned int nThreshold) override;

    // The decode thread's data source (context: the stream).
    static unsigned long GetFrameData(unsigned int nParam, unsigned char* pBuffer,
                                      unsigned long dwCapacity, void* pContext,
                                      unsigned int* pBacklog, unsigned long dwLastKind);

protected:
    // decoder: the subclass's member, used only once it is constructed.
    CQueuedVisStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType, CVideoDecThread& decoder,
                   CVideoPacketReader::Codec codec, uint32_t dwContentSize,
                   RecordMediaType nMediaType);

    // The decoder's Initialize(kSourceParam) and Uninitialize.
    virtual void InitializeDecoder() = 0;
    virtual void UninitializeDecoder() = 0;
    // One unit as the reader cut it.
    virtual void FeedUnit(const MediaUnit& unit) = 0;
    // Adds the video track to the file, sized by the cached configuration:
    // 0, or -1 when it cannot be added (yet).
    virtual int PrepareRecordStream(long long stamp) = 0;

    // The recorder and queue steps of one unit that is not a repeat of the
    // cached configuration (bConfig: it is the new configuration).
    void RecordAndQueue(const unsigned char* pData, unsigned long len, long long stamp, bool bKey,
                        bool bConfig);
    // The header word at offset 12 of the packet being fed.
    uint32_t RecorderValue() const { return m_dwRecorderValue; }

    CVideoUnitQueue m_units;

private:
    int FeedRecorder(const unsigned char* pData, unsigned long len, long long stamp, bool bKey,
                     bool bNewConfig);
    // The key picture that opens the file, with the configuration in front
    // of it as cameras send it: readers find it there, and it takes no
    // picture's place on the timeline.
    int RecordFirstPicture(const unsigned char* pData, unsigned long len, long long stamp);

    CVideoDecThread& m_decoder;
    const uint32_t m_dwContentSize;
    const RecordMediaType m_nMediaType;
    CVideoPacketReader m_reader;         // receive thread only
    uint32_t m_dwRecorderValue;          // receive thread only
    std::vector<uint8_t> m_firstPicture; // receive thread only
};

#endif
