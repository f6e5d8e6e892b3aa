// The video stream of H.264 content, framed ("video/ACVS") or raw Annex B:
// units are cut at parameter sets and slices, leading SEI and delimiters
// are skipped, and parameter sets travel apart from the slice after them;
// the configuration (sequence and picture parameter sets) is cached,
// recordings are H264, and the decode thread is CH264VideoDec.
#ifndef RILO_CHTTPH264STREAM_H
#define RILO_CHTTPH264STREAM_H

#include "codec/CH264VideoDec.h"
#include "stream/CQueuedVisStrm.h"

#include <vector>

class CHTTPH264Stream : public CQueuedVisStrm {
public:
    enum : uint32_t { kContentSize = 0x60000 };

    CHTTPH264Stream(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPH264Stream() override;

    // The size the decoder found; false before it knows one.
    bool GetVideoResolution(int* pcx, int* pcy) override;

protected:
    // One unit, led by 00 00 00 01: a configuration, or a picture's NAL
    // units; the stamp in ms (0 for raw content).
    virtual void FeedStreamItem(const unsigned char* pData, unsigned long len, long long* pStamp);

private:
    void InitializeDecoder() override;
    void UninitializeDecoder() override;
    void FeedUnit(const MediaUnit& unit) override;
    int PrepareRecordStream(long long stamp) override;
    // One piece, given a 4-byte start code when it has a 3-byte one.
    void FeedPiece(const uint8_t* p, uint32_t len, long long stamp);

    CH264VideoDec m_Decoder;
    std::vector<uint8_t> m_scratch; // receive thread only
};

#endif
