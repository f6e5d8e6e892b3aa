#include "session/CHTTPNotifyLive.h"

#include "Common.h"
#include "RiloAssert.h"
#include "session/CameraURL.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

CHTTPNotifyLive::CHTTPNotifyLive()
    : CSessionSettings(0), m_nPort(0), m_bTryReconnect(false), m_dwContentType(0),
      m_pNotify(nullptr)
{
}

CHTTPNotifyLive::~CHTTPNotifyLive()
{
    Destroy();
}

bool CHTTPNotifyLive::Create()
{
    return m_queue.Start();
}

bool CHTTPNotifyLive::AssignNotifyURL(const char* lpszURL)
{
    RILO_ASSERT(lpszURL != NULL);
    CameraURL url;
    if (!SplitCameraURL(lpszURL, &url))
        return false;
    std::lock_guard<std::mutex> g(m_mutex);
    m_strHost = url.host;
    m_nPort = url.port;
    m_strReqPath = url.path;
    return true;
}

void CHTTPNotifyLive::SetParentCallback(void* lpParam, NotifyMsgHandler pfn)
{
    RILO_ASSERT(pfn);
    RILO_ASSERT(lpParam);
    m_handler.Set(pfn, lpParam);
}

void CHTTPNotifyLive::SetContentType(unsigned long type)
{
    std::lock_guard<std::mutex> g(m_mutex);
    m_dwContentType = type;
}

bool CHTTPNotifyLive::StartNotify(bool bReconnect)
{
    // Events need the message thread: none before Create or after Destroy.
    if (!m_queue.IsRunning())
        return false;
    std::unique_lock<std::mutex> lk(m_mutex);
    if (CreateNotifyHTTP() == 0)
        return false;
    m_bTryReconnect = bReconnect;
    if (StartNotifyHTTP() != 0)
        return true;
    // A stream that could not start is not left behind.
    CHTTPNotify* pStream = std::exchange(m_pNotify, nullptr);
    lk.unlock();
    FinishStream(pStream, false);
    return false;
}

int CHTTPNotifyLive::CreateNotifyHTTP()
{
    if (m_pNotify)
        return 0;
    auto* pStream = new (std::nothrow) CHTTPNotify(kNotifyMsg, UseTLS(), m_auth.nAuthType);
    if (!pStream) {
        DiagPrint(kDiagOut, "HTTP Notify  create failed!\n");
        return 0;
    }
    pStream->SetContentType(m_dwContentType);
    const CallbackTarget<NotifyMsgHandler> handler = m_handler.Get();
    if (handler.pfn)
        pStream->SetParentCallback(handler.user, handler.pfn);
    pStream->SetAuthorization(m_auth.strAuthorization.c_str());
    pStream->SetNotifyPoster(PostNotifyMessage, this);
    // Connection events would come this way too; no callback is installed
    // for them, so a notify stream's connection reasons are not delivered.
    pStream->SetEventPoster(CSessionMsgQueue::PostHTTPEvent, &m_queue);
    if (!pStream->Create()) {
        pStream->Destroy();
        DiagPrint(kDiagOut, "HTTP Notify failed!\n");
        return 0;
    }
    m_pNotify = pStream;
    return 1;
}

int CHTTPNotifyLive::StartNotifyHTTP()
{
    if (!m_pNotify || m_strHost.empty())
        return 0;
    m_proxy.ApplyTo(*m_pNotify);
    m_auth.ApplyTo(*m_pNotify);
    return m_pNotify->Connect(m_strHost.c_str(), m_nPort, m_strReqPath.c_str(), m_bTryReconnect)
               ? 1
               : 0;
}

CHTTPNotify* CHTTPNotifyLive::TakeStream()
{
    std::lock_guard<std::mutex> g(m_mutex);
    return std::exchange(m_pNotify, nullptr);
}

void CHTTPNotifyLive::FinishStream(CHTTPNotify* pStream, bool bDisconnect)
{
    if (!pStream)
        return;
    if (bDisconnect)
        pStream->Disconnect();
    // Joins the worker and its transport: nothing posts for the stream after this.
    pStream->Destroy();
    // Its events still queued are dropped and a running handler call is over.
    m_queue.Discard(pStream);
}

void CHTTPNotifyLive::StopNotifyHTTP()
{
    FinishStream(TakeStream(), true);
}

void CHTTPNotifyLive::StopNotify()
{
    FinishStream(TakeStream(), false);
}

void CHTTPNotifyLive::Destroy()
{
    StopNotifyHTTP();
    m_queue.Stop();
}

bool CHTTPNotifyLive::PostNotifyMessage(void* session, const CHTTPNotify* stream,
                                        const NotifyEventPost& ev)
{
    auto* self = static_cast<CHTTPNotifyLive*>(session);
    if (!self)
        return false;
    CSessionMsg msg =
        CSessionMsg::Handler(ev.pfnHandler, ev.pFirst, ev.dwSecond, ev.dwThird, stream);
    const std::pair<CSessionMsg::Arg, const char*> texts[] = {
        {CSessionMsg::argParam, ev.pszFirst},
        {CSessionMsg::argFirst, ev.pszSecond},
        {CSessionMsg::argSecond, ev.pszThird},
    };
    for (const auto& t : texts)
        if (t.second && !msg.SetText(t.first, t.second))
            return false;
    return self->m_queue.Post(std::move(msg));
}

bool CHTTPNotifyLive::HasNotifyStream() const
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_pNotify != nullptr;
}

CHTTPNotify* CHTTPNotifyLive::GetNotifyStreamForTest() const
{
    std::lock_guard<std::mutex> g(m_mutex);
    return m_pNotify;
}
