#ifndef RILO_CSESSIONMSGQUEUE_H
#define RILO_CSESSIONMSGQUEUE_H

#include "http/CHTTPCtrl.h"
#include "session/CSessionMsg.h"

#include <cstddef>
#include <memory>

// A session's own message queue and the one thread that runs its entries, in
// the order posted. Each session owns one; no queue is shared between
// sessions, so a session's quit, its entries and its thread are its own.
//
//   CSessionMsgQueue q;
//   q.Start();                                  // the message thread
//   stream->SetEventPoster(CSessionMsgQueue::PostHTTPEvent, &q);
//   q.Post(CSessionMsg::Handler(h, p, 1, 2));   // h(p, 1, 2) on that thread
//   ...
//   stream->Destroy();                          // nothing posts for it any more
//   q.Discard(stream);                          // its entries dropped, its call over
//   q.Stop();                                   // thread ended, the rest dropped
//
// Guarantees:
// - Post never blocks on a running call; it only appends under the queue's
//   mutex, which is never held while a call runs.
// - Discard(source) returns when no entry of source is queued and no call of
//   source is running, so none runs after it (unless called from the
//   message thread itself, which is then inside some call: it drops the
//   entries and does not wait).
// - Stop is final and idempotent: later posts are refused, queued entries are
//   dropped (their text copies freed), a running call is waited for and the
//   thread is joined. Called from the message thread (a handler that ends its
//   session), it does not join: the thread ends by itself after that call
//   returns and touches nothing of the queue object, which may be deleted at
//   once. The destructor stops.
class CSessionMsgQueue {
public:
    CSessionMsgQueue();
    ~CSessionMsgQueue();
    CSessionMsgQueue(const CSessionMsgQueue&) = delete;
    CSessionMsgQueue& operator=(const CSessionMsgQueue&) = delete;

    // Starts the message thread. True when it runs (also when it already
    // did); false when the thread cannot be made or the queue was stopped.
    bool Start();
    bool IsRunning() const;

    // Queues an entry. An empty entry is discarded (true). False, and the
    // entry freed, when the queue does not run.
    bool Post(CSessionMsg&& msg);
    bool PostCallback(SessionMsgCallback pfn, void* param, unsigned long first,
                      unsigned long second, const void* source = nullptr);

    // The HTTP worker's event poster (CHTTPCtrl::SetEventPoster with this
    // queue as ctx): the worker's event becomes cb(user, stream, value) on the
    // message thread, with the stream as the entry's source.
    static int PostHTTPEvent(void* queue, HTTPNotifyMessageCB cb, void* user, CHTTPCtrl* stream,
                             unsigned long value);

    // Drops the queued entries of source (of every source when null) and
    // waits for a running call of it; returns how many were dropped.
    size_t Discard(const void* source);
    void Stop();

    // True on this queue's message thread.
    bool OnMessageThread() const;
    size_t Pending() const;

private:
    struct State;
    static void ThreadProc(std::shared_ptr<State> st);

    // Shared with the thread, so a thread left to end by itself never
    // reaches into a deleted queue.
    std::shared_ptr<State> m_state;
};

#endif
