// The video stream of MPEG-4 Part 2 content, framed ("video/ACVS") or raw:
// units run from one plane to the next, configuration headers apart; the
// configuration is cached, recordings are XVID, and the decode thread is
// CMPG4VideoDec.
#ifndef RILO_CHTTPMP4STRM_H
#define RILO_CHTTPMP4STRM_H

#include "codec/CMPG4VideoDec.h"
#include "stream/CQueuedVisStrm.h"

class CHTTPMP4Strm : public CQueuedVisStrm {
public:
    enum : uint32_t { kContentSize = 524288 };

    CHTTPMP4Strm(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPMP4Strm() override;

    // The size in the parsed configuration; false before one.
    bool GetVideoResolution(int* pcx, int* pcy) override;

protected:
    // One unit (a configuration or one plane) with its stamp in ms.
    virtual void FeedStreamItem(const unsigned char* pData, unsigned long len, long long* pStamp);

private:
    void InitializeDecoder() override;
    void UninitializeDecoder() override;
    void FeedUnit(const MediaUnit& unit) override;
    int PrepareRecordStream(long long stamp) override;
    bool IsKeyUnit(const unsigned char* p, unsigned long len) const;

    CMPG4VideoDec m_Decoder;
    // Of the cached configuration's time increments; 0 while unknown.
    // Receive thread only.
    int m_nIncrementBits = 0;
};

#endif
