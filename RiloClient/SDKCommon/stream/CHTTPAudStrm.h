// The base of the audio stream: its callbacks, its live flag and its recorder.
#ifndef RILO_CHTTPAUDSTRM_H
#define RILO_CHTTPAUDSTRM_H

#include "http/CHTTPCtrl.h"
#include "RiloClientLib.h"
#include "stream/CRecorderHooks.h"

class CAVIWriter;

class CHTTPAudStrm : public CHTTPCtrl, public CRecorderHooks {
public:
    CHTTPAudStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPAudStrm() override;

    virtual bool InitDecoder();
    virtual void UninitDecoder();
    virtual void SetLive(bool bLive);

    // Decoded audio to the application (null clears it).
    bool SetRenderCallback(AudioRenderCallback pfn, void* user);
    // The camera's samples as they came, to a second consumer.
    bool SetGetEncAudioSampleCB(AudioRenderCallback pfn, void* user);

    // Reports a recorder result to the owner (kind 2) when it is one to report.
    void HandleAVIResult(int nRet);

protected:
    bool IsVideoRecordingFirst() const override;

    // The callbacks and the live flag change under the object lock; the
    // subclass reads them under it.
    bool m_bLive;
    AudioRenderCallback m_pfnRender;
    void* m_pRenderUser;
    AudioRenderCallback m_pfnEncSample;
    void* m_pEncSampleUser;

private:
    void StoreCallback(AudioRenderCallback* pSlot, void** pUserSlot, AudioRenderCallback pfn,
                       void* user);
};

#endif
