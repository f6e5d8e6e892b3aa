#ifndef RILO_CHTTPNOTIFYLIVE_H
#define RILO_CHTTPNOTIFYLIVE_H

#include "LockedCallback.h"
#include "session/CSessionMsgQueue.h"
#include "session/CSessionSettings.h"
#include "stream/CHTTPNotify.h"

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
class CHTTPNotifyLive : public CSessionSettings {
public:
    enum { kNotifyMsg = 1325 };

    CHTTPNotifyLive();
    virtual ~CHTTPNotifyLive();
    CHTTPNotifyLive(const CHTTPNotifyLive&) = delete;
    CHTTPNotifyLive& operator=(const CHTTPNotifyLive&) = delete;

    bool Create();
    bool AssignNotifyURL(const char* lpszURL);
    void SetParentCallback(void* lpParam, NotifyMsgHandler pfn);
    void SetContentType(unsigned long type);

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

    std::string m_strHost;
    std::string m_strReqPath;
    unsigned int m_nPort;
    bool m_bTryReconnect;
    unsigned long m_dwContentType;
    LockedCallback<NotifyMsgHandler> m_handler;
    CHTTPNotify* m_pNotify;
    CSessionMsgQueue m_queue;
};

#endif
