#ifndef RILO_CHTTPNOTIFYLIVE_H
#define RILO_CHTTPNOTIFYLIVE_H

#include "session/CSessionMsgQueue.h"
#include "session/SessionCredentials.h"
#include "session/SessionProxy.h"
#include "stream/CHTTPNotify.h"

#include <mutex>
#include <string>

// The session behind one notify handle: the camera's event URL and
// credentials, the application's handler, one event stream, and a message
// thread of its own on which the handler runs.
//
// Lifetime: Create starts the message thread; StartNotify / StopNotifyHTTP
// may alternate any number of times; Destroy (or the destructor) ends the
// stream and the thread. Once StopNotifyHTTP, StopNotify or Destroy has
// returned, the handler is not called again for that stream (except the call
// that made it, when reached from the handler itself), and the object may be
// deleted after Destroy.
class CHTTPNotifyLive {
public:
    enum { kNotifyMsg = 1325 };

    CHTTPNotifyLive();
    virtual ~CHTTPNotifyLive();
    CHTTPNotifyLive(const CHTTPNotifyLive&) = delete;
    CHTTPNotifyLive& operator=(const CHTTPNotifyLive&) = delete;

    bool Create();
    bool AssignNotifyURL(const char* lpszURL);
    void SetAuthData(const char* lpszUser, const char* lpszPass, int nAuthType);
    void SetAuthorization(const char* lpszAuth);
    void SetAuthMD5Realm(const char* lpszRealm);
    void SetParentCallback(void* lpParam, NotifyMsgHandler pfn);
    void SetContentType(unsigned long type);
    void SetConnectMode(int nMode);
    void AssignProxy(const char* lpszProxy, unsigned int nPort);
    void UseProxy(bool bUse);
    void UseBypass(bool bUse);
    void AssignSpecifiedBypass(const char* lpszBypass);

    // Makes and connects the stream; false when one exists or it cannot start.
    bool StartNotify(bool bReconnect);
    virtual int CreateNotifyHTTP();
    virtual int StartNotifyHTTP();
    // Disconnects and destroys the stream; the message thread keeps running,
    // so notification can start again.
    virtual void StopNotifyHTTP();
    // Destroys the stream without a disconnect request.
    void StopNotify();
    // Ends the stream and the message thread; final.
    void Destroy();

    // The stream's poster: one event into this session's queue, its texts
    // copied into the entry.
    static bool PostNotifyMessage(void* session, const CHTTPNotify* stream,
                                  const NotifyEventPost& ev);

    bool IsRunning() const { return m_queue.IsRunning(); }
    bool HasNotifyStream() const;
    // Tests only: the stream, valid until it is stopped.
    CHTTPNotify* GetNotifyStreamForTest() const;

private:
    CHTTPNotify* TakeStream();
    void FinishStream(CHTTPNotify* pStream, bool bDisconnect);

    mutable std::mutex m_mutex;
    std::string m_strHost;
    std::string m_strReqPath;
    unsigned int m_nPort;
    SessionProxy m_proxy;
    bool m_bTryReconnect;
    unsigned long m_dwContentType;
    SessionCredentials m_auth;
    int m_nConnectMode;
    NotifyMsgHandler m_pfnHandler;
    void* m_pHandlerUser;
    CHTTPNotify* m_pNotify;
    CSessionMsgQueue m_queue;
};

#endif
