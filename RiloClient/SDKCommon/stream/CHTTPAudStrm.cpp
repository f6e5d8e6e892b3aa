#include "stream/CHTTPAudStrm.h"
#include "Common.h"

#include <cstdio>

CHTTPAudStrm::CHTTPAudStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CHTTPCtrl(nNotifyMsg, bTLS, nAuthType), CRecorderHooks(static_cast<CBLThread&>(*this)),
      m_bLive(false), m_pfnRender(nullptr), m_pRenderUser(nullptr), m_pfnEncSample(nullptr),
      m_pEncSampleUser(nullptr)
{
}

CHTTPAudStrm::~CHTTPAudStrm() = default;

bool CHTTPAudStrm::InitDecoder()
{
    return false;
}

void CHTTPAudStrm::UninitDecoder() {}

bool CHTTPAudStrm::IsVideoRecordingFirst() const
{
    return m_bVideoRecordingFirst;
}

void CHTTPAudStrm::SetLive(bool bLive)
{
    Lock();
    m_bLive = bLive;
    Unlock();
}

void CHTTPAudStrm::StoreCallback(AudioRenderCallback* pSlot, void** pUserSlot,
                                 AudioRenderCallback pfn, void* user)
{
    Lock();
    *pSlot = pfn;
    *pUserSlot = user;
    Unlock();
}

bool CHTTPAudStrm::SetRenderCallback(AudioRenderCallback pfn, void* user)
{
    StoreCallback(&m_pfnRender, &m_pRenderUser, pfn, user);
    return true;
}

bool CHTTPAudStrm::SetGetEncAudioSampleCB(AudioRenderCallback pfn, void* user)
{
    StoreCallback(&m_pfnEncSample, &m_pEncSampleUser, pfn, user);
    return true;
}

void CHTTPAudStrm::HandleAVIResult(int nRet)
{
    DiagPrint(kDiagErr, "[CHTTPAudStrm::HandleAVIResult]nRet = %d\n", nRet);
    unsigned long value;
    if (AVIResultEvent(nRet, &value))
        PostOwnerEvent(value);
}
