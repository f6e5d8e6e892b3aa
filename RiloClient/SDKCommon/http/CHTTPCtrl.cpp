// Connection, reconnect and watchdog of the HTTP worker.
#include "http/CHTTPCtrl.h"

#include "Common.h"
#include "RiloAssert.h"
#include "net/CCliSocket.h"
#include "net/CHttpConnect.h"
#include "net/CTimerService.h"

#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<uint32_t> g_watchdogMs{CHTTPCtrl::kWatchdogPeriodMs};

// lParam of HTTPNOTE_CONN_EVENT: the connection it belongs to, the flag and the reason.
unsigned long PackConnEvent(uint32_t serial, bool ignoreRetry, int reason)
{
    return (static_cast<unsigned long>(serial) << 16) | (ignoreRetry ? 0x100ul : 0ul) |
           (static_cast<unsigned long>(reason) & 0xFFul);
}

} // namespace

const char CHTTPCtrl::kAgent[] = "RiloClient/1.0.0";

void CHTTPCtrl::SetWatchdogPeriodForTest(uint32_t ms)
{
    g_watchdogMs = ms ? ms : uint32_t(kWatchdogPeriodMs);
}

CHTTPCtrl::CHTTPCtrl(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CBLThread(nNotifyMsg), m_bCreated(false), m_bInitResult(true), m_htcState(htcInitial),
      m_nLastReason(-1), m_szHost(), m_nPort(0), m_szObject(), m_szProxy(), m_nProxyPort(0),
      m_bUseProxy(false), m_strAuthorization(), m_szUser(), m_szPassword(), m_szConnHost(),
      m_nConnPort(0), m_szConnObject(), m_szConnProxy(), m_nConnProxyPort(0),
      m_bConnUseProxy(false), m_szAgent(), m_szHeader(), m_dwHeaderLen(0), m_pContent(nullptr),
      m_dwContent(0), m_dwSizeContent(kDefaultContentSize), m_bInContent(false), m_bRxFailed(false),
      m_dwSkipBody(0), m_bSeekStatus(false), m_nDigestSent(0), m_nStaleSent(0),
      m_bKeepDigestCount(false), m_szContentType(), m_bCallerDisconnect(false),
      m_bTryReconnect(false), m_nAuthType(nAuthType), m_bTLS(bTLS), m_bFirstDataReported(false),
      m_bVideoRecordingFirst(true), m_nTimerId(0), m_dwLastDataTick(0),
      m_nWatchdogMs(kWatchdogPeriodMs), m_nReconnectTimer(0), m_nFences(0), m_bTransportUsed(false),
      m_nConnSerial(0), m_workerThread(), m_bWorkerKnown(false)
{
    RILO_ASSERT((nNotifyMsg < WM_HTTPCTRL_FIRST) || (nNotifyMsg > WM_HTTPCTRL_LAST));
    int nErr = pthread_cond_init(&m_evCond, nullptr);
    RILO_ASSERT(nErr == 0);
    RiloCopyText(m_szObject, sizeof m_szObject, "/");
    RiloCopyText(m_szAgent, sizeof m_szAgent, kAgent);
}

CHTTPCtrl::~CHTTPCtrl()
{
    if (m_pTransport) {
        DiagPrint(kDiagOut, "[CHTTPCtrl::~CHTTPCtrl]before close...m_pSocket = %d\n",
                  m_pTransport->GetSocketHandle());
        m_pTransport->Close();
        m_pTransport.reset();
    }
    delete[] m_pContent;
    m_pContent = nullptr;
    pthread_cond_destroy(&m_evCond);
}

bool CHTTPCtrl::OnWorkerThread() const
{
    return m_bWorkerKnown && pthread_equal(m_workerThread, pthread_self());
}

bool CHTTPCtrl::Create(int)
{
    RILO_ASSERT(m_htcState == htcInitial);
    m_htcState = htcCreating;
    {
        std::lock_guard<std::mutex> g(m_evLock);
        m_nLastReason = -1;
    }
    if (BeginThread()) {
        Lock();
        while (!m_bCreated)
            pthread_cond_wait(&m_evCond, &m_mutex);
        bool ok = m_bInitResult;
        Unlock();
        if (ok) {
            m_htcState = htcReady;
            return true;
        }
    }
    m_htcState = htcInitial;
    return false;
}

void CHTTPCtrl::Destroy()
{
    CloseThread(10000, true);
}

int CHTTPCtrl::Connect(const char* lpszIP, unsigned int nPort, const char* lpszObject,
                       bool bTryReconnect)
{
    RILO_ASSERT(lpszIP != NULL);
    RILO_ASSERT(lpszObject != NULL);
    {
        std::lock_guard<std::mutex> g(m_dataLock);
        // Texts that do not fit are refused rather than cut into another address.
        if (std::strlen(lpszIP) >= sizeof m_szHost || std::strlen(lpszObject) >= sizeof m_szObject)
            return 0;
        RiloCopyText(m_szHost, sizeof m_szHost, lpszIP);
        RiloCopyText(m_szObject, sizeof m_szObject, lpszObject);
        m_nPort = nPort;
    }
    m_bTryReconnect = bTryReconnect;
    return PostThreadMessage(GetThreadID(), WM_HTTPCTRL_FIRST, HTTPCMD_CONNECT, 0);
}

void CHTTPCtrl::Disconnect()
{
    PostThreadMessage(GetThreadID(), WM_HTTPCTRL_FIRST, HTTPCMD_DISCONNECT, 0);
    KillTimer();
}

void CHTTPCtrl::ForceReconnect()
{
    if (OnWorkerThread())
        HandleConnEventOnWorker(cerForcedReconnect, false, 0);
    else
        PostThreadMessage(GetThreadID(), WM_HTTPCTRL_FIRST, HTTPCMD_RECONNECT, 0);
}

void CHTTPCtrl::SetNotifyMessageCB(HTTPNotifyMessageCB pfn, void* user)
{
    m_notify.Set(pfn, user);
}

void CHTTPCtrl::SetEventPoster(HTTPEventPoster poster, void* posterCtx)
{
    m_poster.Set(poster, posterCtx);
}

void CHTTPCtrl::SetProxy(const char* lpszProxy, unsigned int nPort)
{
    RILO_ASSERT(lpszProxy);
    std::lock_guard<std::mutex> g(m_dataLock);
    // A name that does not fit is dropped rather than cut into another one.
    if (!RiloCopyText(m_szProxy, sizeof m_szProxy, lpszProxy))
        m_szProxy[0] = 0;
    m_nProxyPort = nPort;
}

void CHTTPCtrl::UseProxy(bool bUse)
{
    std::lock_guard<std::mutex> g(m_dataLock);
    m_bUseProxy = bUse;
}

void CHTTPCtrl::SetVideoRecordingFirst(bool bFirst)
{
    m_bVideoRecordingFirst = bFirst;
}

bool CHTTPCtrl::IsConnected()
{
    return m_pTransport && m_pTransport->IsConnected();
}

bool CHTTPCtrl::InitInstance()
{
    m_workerThread = pthread_self();
    m_bWorkerKnown = true;
    bool ok = CBLThread::InitInstance();
    if (ok)
        ok = PrepareContentBuffer(true);
    if (ok) {
        if (m_bTLS && m_nAuthType != 3)
            m_pTransport.reset(new CHttpConnect(GetThreadID(), WM_HTTPCTRL_LAST));
        else
            m_pTransport.reset(new CCliSocket(GetThreadID(), WM_HTTPCTRL_LAST));
        m_pTransport->SetRecvDataProc(SocketDataReceived, this);
    }
    Lock();
    m_bInitResult = ok;
    m_bCreated = true;
    pthread_cond_broadcast(&m_evCond);
    Unlock();
    return ok;
}

int CHTTPCtrl::ExitInstance()
{
    KillTimer();
    CancelReconnect();
    DiagPrint(kDiagErr, "[CHTTPCtrl::ExitInstance]m_pSocket = %08x\n",
              m_pTransport ? unsigned(m_pTransport->GetSocketHandle()) : 0u);
    if (m_pTransport) {
        DiagPrint(kDiagErr, "[CHTTPCtrl::ExitInstance]before close...\n");
        m_pTransport->Close();
        m_pTransport.reset();
    }
    PrepareContentBuffer(false);
    return CBLThread::ExitInstance();
}

int CHTTPCtrl::OnThreadMessage(unsigned int message, unsigned long wParam, unsigned long lParam)
{
    if (m_bClosing)
        return 0;
    if (message == WM_HTTPCTRL_FIRST)
        OnCommand(wParam, lParam);
    else if (message == WM_HTTPCTRL_LAST)
        OnNote(wParam, lParam);
    else
        DiagPrint(kDiagOut, "Got an unknown message: %d, wParam = %d, lParam = %d\n", int(message),
                  int(wParam), int(lParam));
    return 0;
}

void CHTTPCtrl::OnCommand(unsigned long wParam, unsigned long lParam)
{
    switch (wParam) {
    case HTTPCMD_CONNECT:
        OnConnectCommand(lParam);
        break;
    case HTTPCMD_DISCONNECT:
        m_bCallerDisconnect = true;
        CancelReconnect();
        AfterDisconnected();
        break;
    case HTTPCMD_RECONNECT:
        HandleConnEventOnWorker(cerForcedReconnect, false, 0);
        break;
    default:
        break;
    }
}

void CHTTPCtrl::OnConnectCommand(unsigned long timerId)
{
    if (timerId != 0) {
        // A scheduled reconnect: only the one still pending counts.
        if (timerId != m_nReconnectTimer)
            return;
        m_nReconnectTimer = 0;
        if (m_bCallerDisconnect || m_htcState != htcReady)
            return;
    } else {
        CancelReconnect();
        m_bCallerDisconnect = false;
        if (m_htcState == htcConnecting || m_htcState == htcConnected)
            AfterDisconnected();
    }
    if (ConnectSvr())
        m_htcState = htcConnecting;
    else
        HandleConnEventOnWorker(cerConnectFailed, false, 0);
}

void CHTTPCtrl::OnNote(unsigned long wParam, unsigned long lParam)
{
    switch (wParam) {
    case CLISOCK_NOTIFY_CONNECT:
    case CLISOCK_NOTIFY_CLOSE:
        // Left behind by a connection this worker closed itself.
        if (m_nFences > 0)
            return;
        if (wParam == CLISOCK_NOTIFY_CONNECT) {
            if (m_htcState == htcConnecting)
                OnSessionConnected(lParam);
        } else if (m_htcState == htcConnecting || m_htcState == htcConnected) {
            OnSessionClose(lParam);
        }
        break;
    case HTTPNOTE_FENCE:
        if (m_nFences > 0)
            --m_nFences;
        break;
    case HTTPNOTE_CONN_EVENT:
        OnConnEventNote(lParam);
        break;
    case HTTPNOTE_REOPEN:
        OnReopenNote(lParam);
        break;
    case HTTPNOTE_WATCHDOG:
        if (uint32_t(lParam) == m_nConnSerial)
            OnTimer();
        break;
    case HTTPNOTE_DELIVER:
        m_notify.Call(reinterpret_cast<unsigned long>(this), lParam);
        break;
    default:
        break;
    }
}

void CHTTPCtrl::OnConnEventNote(unsigned long lParam)
{
    uint32_t serial = uint32_t(lParam >> 16);
    int reason = int(lParam & 0xFF);
    bool ignore = (lParam & 0x100) != 0;
    if (serial != m_nConnSerial || (m_htcState != htcConnecting && m_htcState != htcConnected))
        return;
    // The header overflow waited a second before its event.
    HandleConnEventOnWorker(reason, ignore, reason == cerHeaderTooLong ? 1000 : 0);
}

void CHTTPCtrl::OnReopenNote(unsigned long serial)
{
    if (uint32_t(serial) != m_nConnSerial ||
        (m_htcState != htcConnecting && m_htcState != htcConnected))
        return;
    DiagPrint(kDiagOut,
              "[HTTPCtrl] %s:%u closes after its challenge: answering on a new connection\n",
              m_szConnHost, m_nConnPort);
    // Not a failure: no event and no pause; the answer counts of this
    // request go on, so refused answers still end in one event.
    AfterDisconnected();
    m_bKeepDigestCount = true;
    if (ConnectSvr())
        m_htcState = htcConnecting;
    else
        HandleConnEventOnWorker(cerConnectFailed, false, 0);
}

bool CHTTPCtrl::ConnectSvr()
{
    {
        std::lock_guard<std::mutex> g(m_dataLock);
        std::memcpy(m_szConnHost, m_szHost, sizeof m_szConnHost);
        std::memcpy(m_szConnObject, m_szObject, sizeof m_szConnObject);
        std::memcpy(m_szConnProxy, m_szProxy, sizeof m_szConnProxy);
        m_nConnPort = m_nPort;
        m_nConnProxyPort = m_nProxyPort;
        m_bConnUseProxy = m_bUseProxy;
    }
    // Every connection starts from empty buffers: what an earlier one left
    // would sit ahead of this reply.
    ResetReceiveState();
    ++m_nConnSerial;
    m_nWatchdogMs = g_watchdogMs;

    char szIP[kTextSize];
    RiloCopyText(szIP, sizeof szIP, m_szConnHost);
    int family = AF_INET;
    size_t hl = std::strlen(m_szConnHost);
    if (hl >= 2 && m_szConnHost[0] == '[' && m_szConnHost[hl - 1] == ']') {
        RiloCopyText(szIP, sizeof szIP, m_szConnHost + 1, hl - 2);
        family = AF_INET6;
        DiagPrint(kDiagErr, "[CHTTPCtrl::ConnectSvr]connect ipv6 ip: %s\n", szIP);
    }
    if (!m_pTransport)
        return false;
    m_bTransportUsed = true;
    const TransportTarget target = {m_szConnHost,
                                    szIP,
                                    family,
                                    m_nConnPort,
                                    m_bConnUseProxy && m_szConnProxy[0] ? m_szConnProxy : nullptr,
                                    m_nConnProxyPort};
    return m_pTransport->Open(target);
}

void CHTTPCtrl::OnSessionConnected(unsigned long nCode)
{
    if (nCode != 0) {
        char szErr[64];
        std::snprintf(szErr, sizeof szErr, "OnConnect error: %d\n", int(nCode));
        DiagPrint(kDiagOut, "[HTTPCtrl] OnConnected %s:%u report error:%s\n", m_szConnHost,
                  m_nConnPort, szErr);
        // The second's wait before the event is part of the reconnect pause,
        // so the worker stays responsive.
        if (!m_bClosing)
            HandleConnEventOnWorker(cerConnectError, false, 1000);
        return;
    }
    m_htcState = htcConnected;
    DiagPrint(kDiagOut, "[HTTPCtrl] OnConnected %s:%u succssful!\n", m_szConnHost, m_nConnPort);
    if (!SendRequest()) {
        HandleConnEventOnWorker(cerSendFailed, false, 0);
        return;
    }
    m_dwLastDataTick = MonotonicTickMs();
    bool bRet = SetTimer();
    RILO_ASSERT(bRet == true);
}

void CHTTPCtrl::OnSessionClose(unsigned long nCode)
{
    DiagPrint(kDiagOut, "[HTTPCtrl] OnSessionClose: Error: %u %s:%u\n", unsigned(nCode),
              m_szConnHost, m_nConnPort);
    AfterDisconnected();
    if (m_bCallerDisconnect) {
        DiagPrint(kDiagOut,
                  "[HTTPCtrl] OnSessionClose: %s:%u caused by caller invoking Disconnect()!\n",
                  m_szConnHost, m_nConnPort);
        m_bCallerDisconnect = false;
        return;
    }
    DiagPrint(kDiagOut, "[HTTPCtrl] OnSessionClose: %s:%u Call HandleConnEvent!\n", m_szConnHost,
              m_nConnPort);
    HandleConnEventOnWorker(nCode ? cerClosedError : cerClosed, false, 0);
}

void CHTTPCtrl::AfterDisconnected()
{
    RILO_ASSERT(OnWorkerThread());
    KillTimer();
    if (m_pTransport)
        m_pTransport->EndSession();
    if (m_bTransportUsed) {
        // The transport's thread is gone; whatever it posted is queued ahead
        // of this fence and is dropped.
        m_bTransportUsed = false;
        if (PostThreadMessage(GetThreadID(), WM_HTTPCTRL_LAST, HTTPNOTE_FENCE, 0))
            ++m_nFences;
    }
    m_htcState = htcReady;
    m_bFirstDataReported = false;
}

void CHTTPCtrl::HandleConnEvent(int nReason, bool bIgnoreRetry)
{
    if (OnWorkerThread()) {
        HandleConnEventOnWorker(nReason, bIgnoreRetry, 0);
        return;
    }
    BLThreadID id = GetThreadID();
    if (id != 0)
        PostThreadMessage(id, WM_HTTPCTRL_LAST, HTTPNOTE_CONN_EVENT,
                          PackConnEvent(m_nConnSerial, bIgnoreRetry, nReason));
}

void CHTTPCtrl::HandleConnEventOnWorker(int nReason, bool bIgnoreRetry, uint32_t extraPauseMs)
{
    DiagPrint(kDiagOut, "[HTTPCtrl] HCE-> State:%d, Reason:%d\n", int(m_htcState), nReason);
    DiagPrint(kDiagOut, "[HTTPCtrl] HandleConnEvent before calling AfterDisconnected\n");
    AfterDisconnected();
    const bool bHasOwner = m_notify.Get().pfn != nullptr;
    bool post = false;
    {
        std::lock_guard<std::mutex> g(m_evLock);
        post = nReason != m_nLastReason && bHasOwner;
        m_nLastReason = nReason;
    }
    if (post)
        PostOwnerEvent(static_cast<unsigned long>(nReason) * 65536ul + 1ul);
    if (bIgnoreRetry || !m_bTryReconnect) {
        DiagPrint(kDiagOut,
                  "[HTTPCtrl] HandleConnEvent Note! %s:%u Streamming Stop!!! because: "
                  "bIgnoreRetry: %d, m_bTryReconnect: %d\n",
                  m_szConnHost, m_nConnPort, int(bIgnoreRetry), int(m_bTryReconnect.load()));
        return;
    }
    int r = std::rand();
    ScheduleReconnect(uint32_t(r % 5) * 500u + 1000u + extraPauseMs);
}

void CHTTPCtrl::ScheduleReconnect(uint32_t delayMs)
{
    // One pending reconnect at most: a later event replaces the earlier one.
    CancelReconnect();
    m_nReconnectTimer = CTimerService::Instance().Add(delayMs, 0, ReconnectTimerProc, this);
}

void CHTTPCtrl::CancelReconnect()
{
    if (m_nReconnectTimer) {
        CTimerService::Instance().Remove(m_nReconnectTimer);
        m_nReconnectTimer = 0;
    }
}

void CHTTPCtrl::ReconnectTimerProc(void* user, uint64_t timerId)
{
    auto* self = static_cast<CHTTPCtrl*>(user);
    PostThreadMessage(self->GetThreadID(), WM_HTTPCTRL_FIRST, HTTPCMD_CONNECT,
                      static_cast<unsigned long>(timerId));
}

void CHTTPCtrl::NotifyStreamEvent(int nCode, unsigned long nKind)
{
    bool post = true;
    {
        std::lock_guard<std::mutex> g(m_evLock);
        if (nKind == 1) {
            if (nCode == m_nLastReason)
                return;
            m_nLastReason = nCode;
        }
        if (nCode == 0) {
            post = !m_bFirstDataReported;
            m_bFirstDataReported = true;
        }
    }
    if (!post)
        return;
    if (nCode != 0)
        PostOwnerEvent(static_cast<unsigned long>(nCode) * 65536ul + nKind);
    else
        PostOwnerEvent(nKind);
}

void CHTTPCtrl::NotifyError(unsigned long value, bool)
{
    PostOwnerEvent(value);
}

void CHTTPCtrl::PostOwnerEvent(unsigned long value)
{
    const CallbackTarget<HTTPNotifyMessageCB> owner = m_notify.Get();
    if (!owner.pfn)
        return;
    if (m_poster.Call(owner.pfn, owner.user, this, value))
        return;
    BLThreadID id = GetThreadID();
    if (id != 0)
        PostThreadMessage(id, WM_HTTPCTRL_LAST, HTTPNOTE_DELIVER, value);
}

bool CHTTPCtrl::SetTimer()
{
    std::lock_guard<std::mutex> g(m_timerLock);
    if (m_nTimerId) {
        DiagPrint(kDiagOut, "m_pTimerProc is exist\n");
        return true;
    }
    uint32_t period = m_nWatchdogMs;
    m_nTimerId = CTimerService::Instance().Add(period, period, DoTimerProc, this);
    RILO_ASSERT(m_nTimerId != 0); // "osRet == 0"
    DiagPrint(kDiagOut, "[CHTTPCtrl::SetTimer] settings successfully!\n");
    return true;
}

void CHTTPCtrl::KillTimer()
{
    std::lock_guard<std::mutex> g(m_timerLock);
    if (!m_nTimerId)
        return;
    // Waits for a callback that is running; it only posts, so nothing is
    // closed here and nothing twice.
    CTimerService::Instance().Remove(m_nTimerId);
    m_nTimerId = 0;
    DiagPrint(kDiagOut, "[CHTTPCtrl::KillTimer] settings successfully!\n");
}

void CHTTPCtrl::DoTimerProc(void* user, uint64_t)
{
    auto* self = static_cast<CHTTPCtrl*>(user);
    RILO_ASSERT(self != NULL);
    // The check runs on the worker, in order with the connection's own messages.
    PostThreadMessage(self->GetThreadID(), WM_HTTPCTRL_LAST, HTTPNOTE_WATCHDOG,
                      self->m_nConnSerial.load());
}

void CHTTPCtrl::OnTimer()
{
    if (m_htcState != htcConnected)
        return;
    uint32_t now = MonotonicTickMs();
    if (uint32_t(now - m_dwLastDataTick) < m_nWatchdogMs + 1)
        return;
    m_dwLastDataTick = now;
    OnSessionClose(1);
}
