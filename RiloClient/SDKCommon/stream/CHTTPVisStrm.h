// The base of the video streams (MJPEG, MPEG-4, H.264): the interface
// through which the live session drives a stream, and its recorder.
#ifndef RILO_CHTTPVISSTRM_H
#define RILO_CHTTPVISSTRM_H

#include "http/CHTTPCtrl.h"
#include "RiloClientLib.h"
#include "stream/CRecorderHooks.h"

class CAVIWriter;

class CHTTPVisStrm : public CHTTPCtrl, public CRecorderHooks {
public:
    CHTTPVisStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPVisStrm() override;

    virtual bool SetCallbackRenderMode(bool bFlag, VideoRenderCallback pfn, void* user);
    virtual bool InitDecoder(bool bNoPacing);
    virtual void UninitDecoder();
    virtual bool GetVideoResolution(int* cx, int* cy);
    virtual void GetFPS(double* pFPS);
    virtual void GetBPS(unsigned long* pBPS);
    virtual bool TakeSnapshot(unsigned char** ppData, unsigned long& nLen);
    virtual void ReleaseSnapshot(unsigned char* pData);
    virtual void SetDelayThreshold(unsigned int nThreshold);

    // Reports a recorder result to the owner (kind 2) when it is one to report.
    void HandleAVIResult(int nRet);

protected:
    bool IsVideoRecordingFirst() const override;

    bool m_bDecoderOn; // set by a subclass once its decoder runs, under the object lock
    // Set when a unit had to be dropped for a full decode queue: the
    // subclass then feeds nothing until the next key unit.
    bool m_bWaitForKey;
};

#endif
