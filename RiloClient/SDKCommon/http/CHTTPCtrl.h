#ifndef RILO_CHTTPCTRL_H
#define RILO_CHTTPCTRL_H

#include "CBLThread.h"
#include "LockedCallback.h"
#include "net/CTransport.h"

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Connection states (m_htcState).
enum HTTPCtrlState {
    htcInitial = 0,
    htcCreating = 1,
    htcReady = 2,
    htcConnecting = 3,
    htcConnected = 4,
};

// Why a connection ended, as reported to the owner (reason * 65536 + 1).
enum ConnEventReason {
    cerConnectFailed = 1,   // the connect could not be started
    cerConnectError = 2,    // the transport reported the connect with an error
    cerSendFailed = 3,      // the request could not be sent
    cerHeaderTooLong = 4,   // the reply header did not end within 8192 bytes
    cerForcedReconnect = 5, // ForceReconnect
    cerBadStatus = 6,       // status 400 or above, or an empty header
    cerAuthFailed = 7,      // credentials refused
    cerClosed = 10,         // the camera closed the connection
    cerClosedError = 11,    // closed with an error, or no data for the watchdog period
};

// wParam values of WM_HTTPCTRL_FIRST (commands).
enum : unsigned long {
    HTTPCMD_CONNECT = 1,
    HTTPCMD_DISCONNECT = 2,
    HTTPCMD_RECONNECT = 17,
};

// wParam values of WM_HTTPCTRL_LAST beside the transport's 2 (connected) and
// 3 (closed): what other threads hand to the worker.
enum : unsigned long {
    HTTPNOTE_CONN_EVENT = 4, // a reason raised off the worker thread
    HTTPNOTE_WATCHDOG = 5,   // the watchdog timer fired
    HTTPNOTE_DELIVER = 6,    // an owner event to deliver on the worker thread
    HTTPNOTE_FENCE = 7,      // transport notifications before this one are stale
    HTTPNOTE_REOPEN = 8,     // the server closes after its challenge: answer on a new connection
};

// The owner's event callback: (user, stream, code * 65536 + kind).
typedef bool (*HTTPNotifyMessageCB)(void* user, unsigned long stream, unsigned long value);

class CHTTPCtrl;
// How events reach the owner: a session hands its queue's poster in, so the
// callback runs on the session's message thread. Without one the event is
// delivered on this worker's thread.
typedef int (*HTTPEventPoster)(void* posterCtx, HTTPNotifyMessageCB cb, void* user,
                               CHTTPCtrl* stream, unsigned long value);

// One HTTP connection to a camera on a worker thread of its own: connect,
// one GET, the reply header, then an endless body into the content buffer,
// which subclasses consume in ProcessContent.
class CHTTPCtrl : public CBLThread {
public:
    enum {
        kTextSize = 1024,
        kHeaderSize = 8192,
        kContentTypeSize = 8192,
        kDefaultContentSize = 65536,
        kWatchdogPeriodMs = 45000,
    };

    CHTTPCtrl(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPCtrl() override;

    bool Create(int nUnused = 0);
    void Destroy();
    int Connect(const char* lpszIP, unsigned int nPort, const char* lpszObject, bool bTryReconnect);
    void Disconnect();
    void ForceReconnect();
    void SetNotifyMessageCB(HTTPNotifyMessageCB pfn, void* user);
    void SetEventPoster(HTTPEventPoster poster, void* posterCtx);
    void SetProxy(const char* lpszProxy, unsigned int nPort);
    void UseProxy(bool bUse);
    void SetAuthData(const char* lpszUser, const char* lpszPass);
    void SetAuthorization(const char* lpszAuth);

    // Raises a connection event. On the worker thread it is handled at once;
    // from any other thread it is handed to the worker, which drops it when
    // the connection it belongs to has already ended.
    void HandleConnEvent(int nReason, bool bIgnoreRetry);
    void NotifyStreamEvent(int nCode, unsigned long nKind);
    void NotifyError(unsigned long value, bool bFlag);

    // The receive path, on the transport's thread; returns the bytes consumed.
    unsigned long OnDataReceived(unsigned char* pData, unsigned long dwLen);
    static unsigned long SocketDataReceived(void* user, unsigned char* pData, unsigned long dwLen);
    bool SendRequest();

    int GetState() const { return m_htcState; }
    int GetAuthType() const { return m_nAuthType; }
    uint32_t GetConnectionSerial() const { return m_nConnSerial; }

    // The client nonce of the Digest answers.
    static const char kClientNonce[];
    static const char kAgent[];

    // Tests only: the watchdog period of workers that connect afterwards.
    static void SetWatchdogPeriodForTest(uint32_t ms);

    // CBLThread
    bool InitInstance() override;
    int ExitInstance() override;
    int OnThreadMessage(unsigned int message, unsigned long wParam, unsigned long lParam) override;

    virtual bool IsConnected();
    virtual void SetVideoRecordingFirst(bool bFirst);
    virtual bool PrepareContentBuffer(bool bAlloc);
    // On the receive thread: the content buffer grows to dwSize bytes,
    // keeping what it holds; false (unchanged) when memory runs out.
    bool GrowContentBuffer(uint32_t dwSize);
    virtual void ProcessContent();
    virtual void AfterDisconnected();
    virtual bool AcceptHTTPHeader();
    virtual bool CheckContentType();
    virtual bool ConnectSvr();
    virtual bool OnDetermineRequest(char* pBuf, int nSize);
    virtual void OnSessionConnected(unsigned long nCode);
    virtual void OnSessionClose(unsigned long nCode);
    virtual void OnTimer();

protected:
    // The worker's messages: commands (WM_HTTPCTRL_FIRST) and notes (WM_HTTPCTRL_LAST).
    void OnCommand(unsigned long wParam, unsigned long lParam);
    void OnConnectCommand(unsigned long timerId);
    void OnNote(unsigned long wParam, unsigned long lParam);
    void OnConnEventNote(unsigned long lParam);
    void OnReopenNote(unsigned long serial);
    bool SetTimer();
    void KillTimer();
    static void DoTimerProc(void* user, uint64_t timerId);
    static void ReconnectTimerProc(void* user, uint64_t timerId);
    void ScheduleReconnect(uint32_t delayMs);
    void CancelReconnect();
    void HandleConnEventOnWorker(int nReason, bool bIgnoreRetry, uint32_t extraPauseMs);
    void PostOwnerEvent(unsigned long value);
    bool OnWorkerThread() const;
    bool SendText(const char* text, int length);
    void ResetReceiveState();

    // Receive path steps.
    unsigned long CollectHeader(const unsigned char* p, unsigned long n);
    unsigned long TakeContent(const unsigned char* p, unsigned long n);
    unsigned long SeekStatusLine(const unsigned char* p, unsigned long n);
    void JudgeHeader();
    bool DigestRetry();
    void SkipUnauthorizedBody();
    void FailReceive(int nReason);

    // Lifetime.
    bool m_bCreated;
    pthread_cond_t m_evCond;
    bool m_bInitResult;
    std::atomic<int> m_htcState;
    int m_nLastReason;                        // under m_evLock
    std::unique_ptr<CTransport> m_pTransport; // the worker's, between InitInstance and ExitInstance

    // What callers set, under m_dataLock.
    std::mutex m_dataLock;
    char m_szHost[kTextSize];
    unsigned int m_nPort;
    char m_szObject[kTextSize];
    char m_szProxy[kTextSize];
    unsigned int m_nProxyPort;
    bool m_bUseProxy;
    std::string m_strAuthorization; // any length: long credentials make long values
    char m_szUser[kTextSize];
    char m_szPassword[kTextSize];

    // The current connection's copies, written by the worker between
    // connections, read by the receive path during one.
    char m_szConnHost[kTextSize];
    unsigned int m_nConnPort;
    char m_szConnObject[kTextSize];
    char m_szConnProxy[kTextSize];
    unsigned int m_nConnProxyPort;
    bool m_bConnUseProxy;

    char m_szAgent[kTextSize];

    // Receive state: the transport thread's while a connection runs, the
    // worker's between connections.
    char m_szHeader[kHeaderSize + 1];
    uint32_t m_dwHeaderLen;
    unsigned char* m_pContent;
    uint32_t m_dwContent;
    uint32_t m_dwSizeContent;
    bool m_bInContent;
    bool m_bRxFailed;        // the connection is being ended: drop what comes
    uint64_t m_dwSkipBody;   // body bytes of a 401 still to skip
    bool m_bSeekStatus;      // a 401 body of unknown length: skip to the next status line
    int m_nDigestSent;       // Digest answers of this request, also across a reopen
    int m_nStaleSent;        // of them, after stale=true
    bool m_bKeepDigestCount; // the next connection carries the answer: its counts go on
    char m_szContentType[kContentTypeSize];

    std::atomic<bool> m_bCallerDisconnect;
    std::atomic<bool> m_bTryReconnect;
    const int m_nAuthType;
    const bool m_bTLS;
    std::atomic<bool> m_bFirstDataReported;
    bool m_bVideoRecordingFirst;

    // Watchdog.
    std::mutex m_timerLock; // m_nTimerId; never taken by the timer callbacks
    uint64_t m_nTimerId;
    std::atomic<uint32_t> m_dwLastDataTick;
    uint32_t m_nWatchdogMs;

    // Reconnect: at most one pending, worker only.
    uint64_t m_nReconnectTimer;
    int m_nFences; // fences posted and not yet seen: transport notes are stale
    bool m_bTransportUsed;
    std::atomic<uint32_t> m_nConnSerial;
    pthread_t m_workerThread;
    std::atomic<bool> m_bWorkerKnown;

    // Owner events.
    std::mutex m_evLock;
    LockedCallback<HTTPNotifyMessageCB> m_notify;
    LockedCallback<HTTPEventPoster> m_poster;
};

#endif
