#include "stream/CHTTPVisStrm.h"
#include "Common.h"

#include <cstdio>

CHTTPVisStrm::CHTTPVisStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CHTTPCtrl(nNotifyMsg, bTLS, nAuthType), CRecorderHooks(static_cast<CBLThread&>(*this)),
      m_bDecoderOn(false), m_bWaitForKey(false)
{
}

CHTTPVisStrm::~CHTTPVisStrm() = default;

bool CHTTPVisStrm::SetCallbackRenderMode(bool, VideoRenderCallback, void*)
{
    return false;
}

bool CHTTPVisStrm::InitDecoder(bool)
{
    return false;
}

void CHTTPVisStrm::UninitDecoder() {}

bool CHTTPVisStrm::GetVideoResolution(int*, int*)
{
    return false;
}

void CHTTPVisStrm::GetFPS(double*) {}

void CHTTPVisStrm::GetBPS(unsigned long*) {}

bool CHTTPVisStrm::TakeSnapshot(unsigned char**, unsigned long&)
{
    return false;
}

void CHTTPVisStrm::ReleaseSnapshot(unsigned char*) {}

void CHTTPVisStrm::SetDelayThreshold(unsigned int) {}

bool CHTTPVisStrm::IsVideoRecordingFirst() const
{
    return m_bVideoRecordingFirst;
}

void CHTTPVisStrm::HandleAVIResult(int nRet)
{
    DiagPrint(kDiagErr, "[CHTTPVisStrm::HandleAVIResult]nRet = %d\n", nRet);
    unsigned long value;
    if (AVIResultEvent(nRet, &value))
        PostOwnerEvent(value);
}
